#pragma once

#include <QObject>

class QSocketNotifier;

namespace plovern {

// Turns SIGTERM, SIGHUP and SIGINT (log-off, shutdown, Ctrl+C) into a Qt
// signal delivered on the event loop, where the window can be closed properly,
// and SIGUSR1, a second start's request to show this one, into another.
class SignalBridge final : public QObject
{
    Q_OBJECT
public:
    // Holds the signals back until a bridge exists, so that one arriving while
    // the program starts waits for it instead of ending the program unsaved.
    // Call first thing in main(), before any thread is started.
    static void holdSignals();

    // Takes the signals over and lets any held one through.
    explicit SignalBridge(QObject* parent = nullptr);
    ~SignalBridge() override;

    // Empty when the signals are caught; otherwise why they are not.
    QString error() const { return m_error; }

signals:
    void terminationRequested();
    void raiseRequested();

private:
    QSocketNotifier* m_notifier = nullptr;
    QString m_error;
};

} // namespace plovern
