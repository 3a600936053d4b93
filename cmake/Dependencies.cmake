# Every system library the project links, found once so that each target only
# names what it uses.
find_package(PkgConfig REQUIRED)
pkg_check_modules(ICU REQUIRED IMPORTED_TARGET icu-uc icu-i18n)
pkg_check_modules(LIBXML2 REQUIRED IMPORTED_TARGET libxml-2.0)
pkg_check_modules(UUID REQUIRED IMPORTED_TARGET uuid)
pkg_check_modules(SODIUM REQUIRED IMPORTED_TARGET libsodium)
pkg_check_modules(LIBCURL REQUIRED IMPORTED_TARGET libcurl)
pkg_check_modules(LIBCRYPTO REQUIRED IMPORTED_TARGET libcrypto)
pkg_check_modules(PANGOCAIRO REQUIRED IMPORTED_TARGET pangocairo cairo-pdf)
find_package(RapidJSON REQUIRED)
find_package(Threads REQUIRED)

if(QL_BUILD_APP)
  # The AI key store keeps provider keys in the desktop's Secret Service.
  pkg_check_modules(LIBSECRET REQUIRED IMPORTED_TARGET libsecret-1)
  # The desktop's animation setting is a GSettings key; libsecret brings GIO along.
  pkg_check_modules(GIO REQUIRED IMPORTED_TARGET gio-2.0)
  find_package(Qt6 6.4 REQUIRED COMPONENTS Core Gui Widgets Svg Network Test)
endif()
if(QL_BUILD_TESTS)
  find_package(GTest REQUIRED)
  include(GoogleTest)
  # Only the test support links it: the loopback HTTPS server and its test CA.
  find_package(OpenSSL REQUIRED)
endif()
if(QL_BUILD_BENCH)
  find_package(benchmark REQUIRED)
endif()
