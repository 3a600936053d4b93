#include <QCoreApplication>
#include <QStandardPaths>

#include <gtest/gtest.h>

// The store lives on a Qt event loop and keeps its files under the XDG folders;
// tests get a private application object and Qt's test locations.
int main(int argc, char** argv) {
    QStandardPaths::setTestModeEnabled(true);
    QCoreApplication::setOrganizationName(QStringLiteral("Quorilanth"));
    QCoreApplication::setApplicationName(QStringLiteral("QuorilanthTests"));
    QCoreApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
