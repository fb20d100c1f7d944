#include "core/engine/workthread.h"

#include <QMetaObject>

namespace plovern {

WorkThread::WorkThread(const QString& name)
    : m_runner(new QObject)
{
    m_thread.setObjectName(name);
    m_runner->moveToThread(&m_thread);
    QObject::connect(&m_thread, &QThread::finished, m_runner, &QObject::deleteLater);
    m_thread.start();
}

WorkThread::~WorkThread()
{
    stop(QDeadlineTimer(QDeadlineTimer::Forever));
}

void WorkThread::post(std::function<void()> work)
{
    QMetaObject::invokeMethod(m_runner, std::move(work), Qt::QueuedConnection);
}

bool WorkThread::stop(QDeadlineTimer deadline)
{
    m_thread.quit();
    return m_thread.wait(deadline);
}

} // namespace plovern
