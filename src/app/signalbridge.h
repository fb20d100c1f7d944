#pragma once

#include <QObject>

class QSocketNotifier;

namespace plovern {

// Turns SIGTERM, SIGHUP and SIGINT (log-off, shutdown, Ctrl+C) into a Qt
// signal delivered on the event loop, where the window can be closed properly.
class SignalBridge final : public QObject
{
    Q_OBJECT
public:
    explicit SignalBridge(QObject* parent = nullptr);
    ~SignalBridge() override;

    // Empty when the signals are caught; otherwise why they are not.
    QString error() const { return m_error; }

signals:
    void terminationRequested();

private:
    QSocketNotifier* m_notifier = nullptr;
    QString m_error;
};

} // namespace plovern
