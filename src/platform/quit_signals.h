#pragma once
// SIGTERM, SIGINT and SIGHUP (a session that ends, a service manager, Ctrl-C
// in a terminal) as a request to close the program's window, handled in the
// event loop like a click on the close button, instead of ending the process
// wherever it is.
#include <QObject>
#include <functional>

class QSocketNotifier;

namespace orlix {

class QuitSignals final : public QObject {
    Q_OBJECT
public:
    // Installs the handlers; `onSignal` runs in the event loop with the
    // signal's number. One instance at a time; the destructor restores the
    // default actions.
    explicit QuitSignals(std::function<void(int)> onSignal, QObject* parent = nullptr);
    ~QuitSignals() override;

    // False when the handlers could not be installed (then the signals keep
    // their default action); the reason has been logged (orlix.app).
    bool installed() const { return notifier_ != nullptr; }

private:
    void readPending();

    std::function<void(int)> onSignal_;
    QSocketNotifier* notifier_ = nullptr;
};

}  // namespace orlix
