#include <QCoreApplication>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cstdlib>

// The store lives on a Qt event loop and keeps settings and files under the
// XDG folders; tests get a private application object and private folders.
int main(int argc, char** argv) {
    QTemporaryDir home;
    if (!home.isValid()) return 2;
    ::setenv("XDG_CONFIG_HOME", (home.path() + "/config").toLocal8Bit().constData(), 1);
    ::setenv("XDG_DATA_HOME", (home.path() + "/data").toLocal8Bit().constData(), 1);
    QStandardPaths::setTestModeEnabled(true);
    QCoreApplication::setOrganizationName(QStringLiteral("Quorilanth"));
    QCoreApplication::setApplicationName(QStringLiteral("Quorilanth"));
    QCoreApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
