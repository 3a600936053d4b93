#pragma once

#include "app/kit/QLTheme.h"
#include "app/store/AppLanguage.h"

#include <QApplication>
#include <QDir>
#include <QTemporaryDir>
#include <cstdlib>
#include <gtest/gtest.h>

namespace quorilanth::test {

// The main of a test program with widgets, on Qt's offscreen platform, in
// English. Home, settings and data go to a private folder, so that no test
// sees another's frame, scans or downloads, nor touches the user's own. (Qt's
// test mode is not used: its folder is shared by every test process that
// CTest runs side by side.)
inline int runWidgetTests(int argc, char** argv) {
    QTemporaryDir home(QDir::tempPath() + QStringLiteral("/ql-app-test-home-XXXXXX"));
    if (!home.isValid()) return 2;
    ::setenv("HOME", home.path().toLocal8Bit().constData(), 1);
    ::setenv("XDG_CONFIG_HOME", (home.path() + "/config").toLocal8Bit().constData(), 1);
    ::setenv("XDG_DATA_HOME", (home.path() + "/data").toLocal8Bit().constData(), 1);
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    // Desktop settings (animations among them) start at their defaults and
    // whatever a test sets stays inside this process.
    ::setenv("GSETTINGS_BACKEND", "memory", 1);
    QApplication::setOrganizationName(QStringLiteral("Quorilanth"));
    QApplication::setApplicationName(QStringLiteral("Quorilanth"));
    QApplication app(argc, argv);
    applyDarkLook();
    AppLanguage::setPreferredLanguagesForTesting(QStringList{QStringLiteral("en-GB")});
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}

} // namespace quorilanth::test
