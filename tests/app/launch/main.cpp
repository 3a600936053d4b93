#include <QCoreApplication>
#include <gtest/gtest.h>

// The tests start the program as a child process; QProcess wants an
// application object in the parent.
int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
