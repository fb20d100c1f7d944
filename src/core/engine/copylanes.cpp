#include "core/engine/copylanes.h"

#include <algorithm>

#include <QTimer>

namespace plovern {

struct CopyLanes::Lane
{
    WorkThread thread{QStringLiteral("copies")};
    std::shared_ptr<CopyControl> control; // of the running copy
    QString source;
    QString target;
    qint64 startedAt = 0; // m_uptime milliseconds
    quint64 lastProgress = 0;
    qint64 lastProgressAt = 0;
    bool stallTold = false;
};

CopyLanes::CopyLanes(std::chrono::milliseconds stallAfter, Stalled stalled)
    : m_stallAfter(stallAfter.count())
    , m_stalled(std::move(stalled))
{
    m_uptime.start();
    m_watch = new QTimer(this);
    m_watch->setInterval(std::clamp<qint64>(m_stallAfter / 4, 50, 5000));
    connect(m_watch, &QTimer::timeout, this, &CopyLanes::watch);
    m_watch->start();
}

CopyLanes::~CopyLanes()
{
    stop(QDeadlineTimer(QDeadlineTimer::Forever));
}

void CopyLanes::post(const QString& destination, std::function<void(Lane&)> work)
{
    std::lock_guard lock(m_mutex);
    // Keyed by the text: asking a hung drive which device it is would hang too.
    std::unique_ptr<Lane>& lane = m_lanes[destination];
    if (!lane)
        lane = std::make_unique<Lane>();
    Lane* target = lane.get();
    target->thread.post([target, work = std::move(work)] { work(*target); });
}

std::shared_ptr<CopyControl> CopyLanes::begin(Lane& lane, const QString& source, const QString& target)
{
    auto control = std::make_shared<CopyControl>();
    QString first;
    {
        std::lock_guard lock(m_mutex);
        lane.control = control;
        lane.source = source;
        lane.target = target;
        lane.startedAt = lane.lastProgressAt = m_uptime.elapsed();
        lane.lastProgress = 0;
        lane.stallTold = false;
        control->stop = m_stopped.load(); // a stop that came just now
        first = firstSourceLocked();
    }
    emit firstSourceChanged(first);
    return control;
}

void CopyLanes::end(Lane& lane)
{
    QString first;
    {
        std::lock_guard lock(m_mutex);
        lane.control.reset();
        first = firstSourceLocked();
    }
    emit firstSourceChanged(first);
}

QString CopyLanes::firstSource() const
{
    std::lock_guard lock(m_mutex);
    return firstSourceLocked();
}

QString CopyLanes::firstSourceLocked() const
{
    const Lane* first = nullptr;
    for (const auto& [destination, lane] : m_lanes) {
        if (lane->control && (!first || lane->startedAt < first->startedAt))
            first = lane.get();
    }
    return first ? first->source : QString();
}

quint64 CopyLanes::files() const
{
    std::lock_guard lock(m_mutex);
    quint64 files = 0;
    for (const auto& [destination, lane] : m_lanes)
        files += lane->control ? lane->control->files.load() : 0;
    return files;
}

bool CopyLanes::stop(QDeadlineTimer deadline)
{
    std::vector<WorkThread*> threads;
    {
        std::lock_guard lock(m_mutex);
        m_stopped = true;
        for (auto& [destination, lane] : m_lanes) {
            if (lane->control)
                lane->control->stop = true;
            threads.push_back(&lane->thread);
        }
    }
    bool ended = true;
    for (WorkThread* thread : threads)
        ended = thread->stop(deadline) && ended;
    return ended;
}

void CopyLanes::watch()
{
    QStringList stalled;
    {
        std::lock_guard lock(m_mutex);
        const qint64 now = m_uptime.elapsed();
        for (auto& [destination, lane] : m_lanes) {
            if (!lane->control)
                continue;
            const quint64 progress = lane->control->progress.load();
            if (progress != lane->lastProgress) {
                lane->lastProgress = progress;
                lane->lastProgressAt = now;
            } else if (!lane->stallTold && now - lane->lastProgressAt >= m_stallAfter) {
                lane->stallTold = true;
                stalled.append(
                    QStringLiteral("copy of %1 to %2: no progress for %3 s; the drive may have hung")
                        .arg(lane->source, lane->target, QString::number((now - lane->lastProgressAt) / 1000)));
            }
        }
    }
    for (const QString& line : stalled)
        m_stalled(line);
}

} // namespace plovern
