#pragma once

#include "app/store/AppLanguage.h"
#include "app/window/QLTheme.h"

#include <QApplication>
#include <QDir>
#include <QTemporaryDir>
#include <cstdlib>
#include <gtest/gtest.h>

namespace quorilanth::test {

// The main of a test executable of widgets. Widgets need an application
// object; settings and the library go to private folders so that no test sees
// another's frame or scans. (Qt's test mode is not used: its folder is shared
// by every test process running in parallel.)
inline int runWidgetTests(int argc, char** argv) {
    QTemporaryDir home(QDir::tempPath() + QStringLiteral("/ql-app-widgets-XXXXXX"));
    if (!home.isValid()) return 2;
    ::setenv("XDG_CONFIG_HOME", (home.path() + "/config").toLocal8Bit().constData(), 1);
    ::setenv("XDG_DATA_HOME", (home.path() + "/data").toLocal8Bit().constData(), 1);
    // Also when run by hand or listed by the build, never on the desktop.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication::setOrganizationName(QStringLiteral("Quorilanth"));
    QApplication::setApplicationName(QStringLiteral("Quorilanth"));
    QApplication app(argc, argv);
    applyDarkLook();
    AppLanguage::setPreferredLanguagesForTesting(QStringList{QStringLiteral("en-GB")});
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}

} // namespace quorilanth::test
