// The process entry. The update self-tests are decided from the command line
// alone, before any Qt object exists, so they need no display.

#include "app/kit/QLTheme.h"
#include "app/window/AppDelegate.h"
#include "app/window/TerminationSignals.h"
#include "core/update/ApplicationBundle.h"
#include "core/update/UpdateChannelSelfTest.h"

#include <QApplication>
#include <QTimer>
#include <cstdio>
#include <iostream>
#include <string>
#include <vector>

namespace {

// The desktop mode prints nothing but its snapshot failures; the toolkit's own
// diagnostics (a platform plugin that cannot raise a window, a missing runtime
// folder) would bury them. Only what ends the process still gets through.
void quietMessages(QtMsgType type, const QMessageLogContext&, const QString& message) {
    if (type != QtCriticalMsg && type != QtFatalMsg) return;
    const QByteArray bytes = (message + QLatin1Char('\n')).toLocal8Bit();
    std::fwrite(bytes.constData(), 1, static_cast<std::size_t>(bytes.size()), stderr);
}

} // namespace

int main(int argc, char** argv) {
    const std::vector<std::string> arguments(argv, argv + argc);
    if (auto status = quorilanth::runUpdateSelfTestMode(
            arguments, quorilanth::ApplicationBundle::main(),
            quorilanth::UpdateSessionConfiguration::ephemeral(), std::cout, std::cerr))
        return *status;

    qInstallMessageHandler(quietMessages);
    QApplication::setOrganizationName(QStringLiteral("Quorilanth"));
    QApplication::setApplicationName(QStringLiteral("Quorilanth"));
    QApplication::setApplicationDisplayName(QStringLiteral("Quorilanth"));
    QApplication application(argc, argv);
    if (const auto version =
            quorilanth::ApplicationBundle::main().value("CFBundleShortVersionString"))
        QApplication::setApplicationVersion(
            QString::fromUtf8(version->data(), qsizetype(version->size())));
    quorilanth::applyDarkLook();

    QStringList processArguments;
    for (const std::string& argument : arguments)
        processArguments.append(QString::fromLocal8Bit(argument.c_str()));
    // A snapshot shows the views at rest, never halfway through a motion.
    if (processArguments.contains(QStringLiteral("--snapshot"))) qputenv("QL_REDUCE_MOTION", "1");
    // Held until the process ends: the store reads and rewrites the library
    // index whole, so only one copy may have it.
    quorilanth::LibraryLock lock(quorilanth::WorkspaceStore::defaultDirectory());
    if (const auto status = quorilanth::AppDelegate::enterLibrary(lock, processArguments))
        return *status;
    // Made before the delegate, so that it outlasts it: a signal that comes
    // while the delegate saves on its way out changes nothing, and a second
    // one ends the process at once.
    quorilanth::TerminationSignals terminations;
    quorilanth::AppDelegate delegate(processArguments);
    QObject::connect(&lock, &quorilanth::LibraryLock::requested, &delegate,
                     &quorilanth::AppDelegate::openRequest);
    QObject::connect(&application, &QApplication::aboutToQuit, &delegate,
                     &quorilanth::AppDelegate::applicationWillTerminate);
    // What the window still does on its way out (the library written, a scan
    // stopped) takes time in which no request could be served any more.
    QObject::connect(&application, &QApplication::aboutToQuit, &lock,
                     &quorilanth::LibraryLock::stopListening);
    QObject::connect(&application, &QGuiApplication::applicationStateChanged, &delegate,
                     [&delegate](Qt::ApplicationState state) {
                         if (state == Qt::ApplicationActive) delegate.applicationDidBecomeActive();
                     });
    QTimer::singleShot(0, &delegate, &quorilanth::AppDelegate::applicationDidFinishLaunching);
    return application.exec();
}
