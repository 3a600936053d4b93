// Fontconfig keeps a small cache for the life of the process, which the leak
// checker of the sanitizer build reports at exit. It is allocated once, however
// many documents are drawn, so it is not a leak of ours.
extern "C" __attribute__((used, visibility("default"))) const char* __lsan_default_suppressions() {
    return "leak:libfontconfig.so\n";
}
