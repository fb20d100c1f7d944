#pragma once

#include <atomic>
#include <chrono>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <vector>

#include <QElapsedTimer>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QThread>

#include "core/engine/datedcopy.h"
#include "core/engine/purge.h"
#include "core/storage/copybook.h"

class QTimer;

namespace plovern {

class Clock;
class LogFile;
class Notifier;

// One copy that fell due.
struct DueCopy
{
    QString source;
    QString destination;
    qint64 second = 0; // the wall-clock second it fell due
    bool purge = false; // the yearly purge follows it
};

// Makes the due copies on threads of their own, so the window never waits
// for one: a lane per destination, so that a drive that hangs holds up only
// the copies to it. Within a lane the copies run in the order they were
// handed over; each copy is recorded whenever its folder exists, logged, told
// on standard error when it failed, and followed by the purge when asked.
// The purges run one at a time on a thread of their own. The failures of one
// batch in one lane make one desktop notification; a copy that makes no
// progress for `stallAfter` is logged once.
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

signals:
    // A copy finished, whole, in part or stopped (queued to the window).
    void copyFinished(qint64 second);

private:
    struct Notice
    {
        QString summary;
        QString body;
    };
    // One destination's thread and what it is copying now.
    struct Lane
    {
        QThread thread;
        QObject* runner = nullptr; // lives on `thread`
        std::shared_ptr<CopyControl> control; // of the running copy
        QString source;
        QString target;
        qint64 startedAt = 0; // m_uptime milliseconds
        quint64 lastProgress = 0;
        qint64 lastProgressAt = 0;
        bool stallTold = false;
    };

    Lane& laneFor(const QString& destination);
    void startThread(QThread& thread, QObject*& runner, const QString& name);
    void runBatch(Lane& lane, const std::vector<DueCopy>& batch);
    // Where a due copy goes, told by what the folders are, not how they are spelled.
    struct Destination
    {
        QString target;
        QString targetReal; // empty while its parent is not there
        QString sourceReal;
        std::optional<MadeCopy> earlier; // what the book knows of the folder, when it is there
        QString refusal; // why the copy must not be made there
    };
    // One copy, recorded; what the user must hear of it, if anything.
    // FoldCopy, SavedFilesDB and FolderPurge keep the names these steps have
    // always had in the program.
    std::optional<Notice> FoldCopy(Lane& lane, const DueCopy& copy);
    // The folder a copy of `copy` on `day` goes to: its dated folder, or the
    // padded name where that holds the copy of another day; never a folder
    // another source made, nor one another copy is writing now for another
    // source. Called with m_filesMutex held.
    Destination destinationOf(const std::vector<MadeCopy>& book, const DueCopy& copy, QDate day);
    // The earlier copy whose blocks this one may share: the newest that
    // qualifies and is still a real folder.
    static std::optional<MadeCopy> referenceFor(const std::vector<MadeCopy>& book, const DueCopy& copy, QDate day,
                                                const QString& sourceReal);
    void noteMade(const DueCopy& copy, const Destination& where, const CopyOutcome& outcome, QDate day);
    void SavedFilesDB(const QString& tfolder);
    void requestPurge(int year);
    void FolderPurge(int year);
    void watchProgress();
    void log(const QString& line);

    CopyPlaces m_places;
    Clock& m_clock;
    LogFile& m_log;
    Notifier& m_notifier;
    const qint64 m_stallAfter; // milliseconds
    QElapsedTimer m_uptime;
    QTimer* m_watch = nullptr;
    std::atomic<bool> m_stopped{false};
    mutable std::mutex m_mutex; // guards what follows
    std::map<QString, std::unique_ptr<Lane>> m_lanes;
    std::multiset<qint64> m_pending; // due seconds of the copies not finished
    int m_busy = 0; // batches and purges handed over and not yet through
    std::set<int> m_purgesQueued; // years whose purge waits to start
    // The record, the copy book and the kept lines: one writer at a time.
    mutable std::mutex m_filesMutex;
    // The folders being written now, by real path, and the source of each.
    std::map<QString, QString> m_writing;
    QThread m_purgeThread;
    QObject* m_purgeRunner = nullptr;
};

} // namespace plovern
