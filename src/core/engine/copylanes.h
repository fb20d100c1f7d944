#pragma once

#include <atomic>
#include <chrono>
#include <functional>
#include <map>
#include <memory>
#include <mutex>

#include <QElapsedTimer>
#include <QObject>
#include <QString>

#include "core/engine/copytypes.h"
#include "core/engine/workthread.h"

class QTimer;

namespace plovern {

// The threads the copies run on: a lane per destination, so that a drive
// that hangs holds up only the copies to it, each lane running what it is
// given in order. What each lane is copying now is watched: a copy that makes
// no progress for `stallAfter` is told once through `stalled`, and each copy
// that begins or ends is told through `firstSourceChanged`, so that what is
// said of the running copies follows them rather than a poll.
class CopyLanes final : public QObject
{
    Q_OBJECT
public:
    struct Lane;
    using Stalled = std::function<void(const QString& line)>;

    CopyLanes(std::chrono::milliseconds stallAfter, Stalled stalled);
    ~CopyLanes() override;

    // Runs `work` on the lane of `destination`, after what it was given before.
    void post(const QString& destination, std::function<void(Lane&)> work);
    // The copy of `source` to `target` starts on `lane`: its control, already
    // stopped when the lanes are.
    std::shared_ptr<CopyControl> begin(Lane& lane, const QString& source, const QString& target);
    void end(Lane& lane);

    // The source of the copy that started first, and the files of all.
    QString firstSource() const;
    quint64 files() const;
    bool stopped() const { return m_stopped; }
    // Ends the running copies at their next file, drops the work not begun
    // and waits for the threads until `deadline`; false when one did not end.
    bool stop(QDeadlineTimer deadline);

signals:
    // A copy began or ended; `source` is firstSource() just after, empty
    // when none runs. Emitted on the lane's thread.
    void firstSourceChanged(const QString& source);

private:
    void watch();
    QString firstSourceLocked() const; // m_mutex held

    const qint64 m_stallAfter; // milliseconds
    Stalled m_stalled;
    QElapsedTimer m_uptime;
    QTimer* m_watch = nullptr;
    std::atomic<bool> m_stopped{false};
    mutable std::mutex m_mutex; // guards the lanes' state
    std::map<QString, std::unique_ptr<Lane>> m_lanes;
};

} // namespace plovern
