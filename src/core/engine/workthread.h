#pragma once

#include <functional>

#include <QDeadlineTimer>
#include <QObject>
#include <QString>
#include <QThread>

namespace plovern {

// A thread of its own that runs what it is given, one after another, in the
// order given.
class WorkThread
{
public:
    explicit WorkThread(const QString& name);
    ~WorkThread();
    WorkThread(const WorkThread&) = delete;
    WorkThread& operator=(const WorkThread&) = delete;

    void post(std::function<void()> work);
    // Lets the thread end after the work it is running, dropping the rest;
    // false when it did not end by `deadline`.
    bool stop(QDeadlineTimer deadline);

private:
    QThread m_thread;
    QObject* m_runner; // lives on m_thread
};

} // namespace plovern
