#include "app/store/AppLanguage.h"
#include "app/window/QLTheme.h"

#include <QApplication>
#include <QDir>
#include <QTemporaryDir>
#include <cstdlib>
#include <gtest/gtest.h>

// Widgets need an application object; settings and the library go to private
// folders so that no test process sees another's.
int main(int argc, char** argv) {
    QTemporaryDir home(QDir::tempPath() + QStringLiteral("/ql-app-guide-XXXXXX"));
    if (!home.isValid()) return 2;
    ::setenv("XDG_CONFIG_HOME", (home.path() + "/config").toLocal8Bit().constData(), 1);
    ::setenv("XDG_DATA_HOME", (home.path() + "/data").toLocal8Bit().constData(), 1);
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication::setOrganizationName(QStringLiteral("Quorilanth"));
    QApplication::setApplicationName(QStringLiteral("Quorilanth"));
    QApplication app(argc, argv);
    quorilanth::applyDarkLook();
    quorilanth::AppLanguage::setPreferredLanguagesForTesting(QStringList{QStringLiteral("en-GB")});
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
