#include <QCoreApplication>
#include <QTemporaryDir>
#include <cstdlib>
#include <gtest/gtest.h>

// The store lives on a Qt event loop and keeps settings and files under the
// XDG folders; each test process gets private folders (Qt's own test mode would
// share one settings file between processes that CTest runs side by side).
int main(int argc, char** argv) {
    QTemporaryDir home;
    if (!home.isValid()) return 2;
    ::setenv("XDG_CONFIG_HOME", (home.path() + "/config").toLocal8Bit().constData(), 1);
    ::setenv("XDG_DATA_HOME", (home.path() + "/data").toLocal8Bit().constData(), 1);
    QCoreApplication::setOrganizationName(QStringLiteral("Quorilanth"));
    QCoreApplication::setApplicationName(QStringLiteral("QuorilanthStoreTests"));
    QCoreApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
