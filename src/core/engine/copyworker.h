#pragma once

#include <chrono>
#include <map>
#include <mutex>
#include <optional>
#include <set>
#include <vector>

#include <QDate>
#include <QObject>
#include <QString>

#include "core/engine/copylanes.h"
#include "core/engine/copyresult.h"
#include "core/engine/datedcopy.h"
#include "core/engine/destination.h"
#include "core/engine/purge.h"
#include "core/engine/workthread.h"
#include "core/storage/copybook.h"

namespace plovern {

class Clock;
struct Room;
class LogFile;
class Notifier;

// Makes the due copies on threads of their own, so the window never waits
// for one: on CopyLanes, a lane per destination, so that a drive that hangs
// holds up only the copies to it. Within a lane the copies run in the order
// they were handed over. Each goes where destinationOf says, and comes to a
// CopyResult, from which it is recorded (whenever its folder exists), noted
// in the copy book, logged, told on standard error and, with the others of
// its batch, on the desktop; the purge follows when asked. The purges run one
// at a time on a thread of their own; a copy that makes no progress for
// `stallAfter` is logged once.
class CopyWorker final : public QObject
{
    Q_OBJECT
public:
    CopyWorker(CopyPlaces places, Clock& clock, LogFile& log, Notifier& notifier,
               std::chrono::seconds stallAfter = std::chrono::seconds(60));
    ~CopyWorker() override;

    // From the window's thread. A stopped worker takes no more copies.
    void enqueue(std::vector<DueCopy> batch);
    // True from the hand-over of a batch until it and its purges are through.
    bool busy() const;
    // The earliest due second whose copy has not finished.
    std::optional<qint64> oldestPending() const;
    // What the running copies are doing, for the window's title: the source
    // name of the one that started first, and the files of all.
    QString currentSource() const;
    quint64 currentFiles() const;
    // Ends the running copies at their next file, drops those not begun and
    // waits for the threads; false when one did not end within `milliseconds`
    // (a drive that hangs), which then must not be waited for.
    bool stop(int milliseconds);

    // The purge of `year`, as after a copy; at a start, one the end of the
    // program cut short is finished.
    void requestPurge(int year);

signals:
    // A copy finished, whole, in part or stopped (queued to the window).
    void copyFinished(qint64 second);
    // A copy began or ended: `source` is currentSource() then (queued to the window).
    void copyingChanged(const QString& source);

private:
    void runBatch(CopyLanes::Lane& lane, const std::vector<DueCopy>& batch);
    // One copy, made, told and recorded. FoldCopy, SavedFilesDB and
    // FolderPurge keep the names these steps have always had in the program.
    CopyResult FoldCopy(CopyLanes::Lane& lane, const DueCopy& copy);
    // What the user must hear when the drive holds fewer than three more
    // full copies (`full` bytes each) of the entry: once a day.
    QString roomWarning(const DueCopy& copy, quint64 full, const Room& room);
    void tell(const CopyResult& result);
    void noteMade(const CopyResult& result, const Destination& where, QDate day);
    // The entry's last result, into its file; m_filesMutex held.
    void keepResult(const CopyResult& result);
    void SavedFilesDB(const QString& tfolder);
    void FolderPurge(int year);
    void log(const QString& line);

    CopyPlaces m_places;
    Clock& m_clock;
    LogFile& m_log;
    Notifier& m_notifier;
    CopyLanes m_lanes;
    WorkThread m_purges{QStringLiteral("purges")};
    mutable std::mutex m_mutex; // guards what follows
    std::multiset<qint64> m_pending; // due seconds of the copies not finished
    int m_busy = 0; // batches and purges handed over and not yet through
    std::set<int> m_purgesQueued; // years whose purge waits to start
    std::map<QString, QDate> m_toldRoom; // the day each entry was last told it runs out of room
    // The record, the copy book and the kept lines: one writer at a time.
    mutable std::mutex m_filesMutex;
    // The folders being written now, by real path, and the source of each.
    Writing m_writing;
};

} // namespace plovern
