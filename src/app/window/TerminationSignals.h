#pragma once

#include <QObject>
#include <vector>

class QSocketNotifier;

namespace quorilanth {

// SIGTERM, SIGINT and SIGHUP (a desktop logging out, a service manager, a
// closed terminal) end the application as its Quit command does, so that what
// it still holds reaches the library. A handler may do next to nothing, so it
// only writes a byte that the event loop turns into the request to quit; a
// second signal, while the first is being served, ends the process at once.
class TerminationSignals : public QObject {
    Q_OBJECT
public:
    // Installs the handlers; one instance per process.
    explicit TerminationSignals(QObject* parent = nullptr);
    // Gives the signals back their default action.
    ~TerminationSignals() override;

private:
    void quit();

    QSocketNotifier* notifier_ = nullptr;
    std::vector<int> installed_;
};

} // namespace quorilanth
