#pragma once

#include <atomic>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <vector>

#include <QObject>
#include <QString>
#include <QStringList>
#include <QThread>

#include "engine/foldcopy.h"
#include "engine/purge.h"
#include "storage/copybook.h"

namespace plovern {

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

// Makes the due copies on a thread of its own, so the window never waits for
// one: the copies of each batch in order, each followed by its purge, the
// batches in the order they were handed over. Every copy is recorded
// whenever its folder exists, logged, and told on standard error when it
// failed; the failures of one batch make one desktop notification.
class CopyWorker final : public QObject
{
    Q_OBJECT
public:
    CopyWorker(CopyPlaces places, LogFile& log, Notifier& notifier);
    ~CopyWorker() override;

    // From the window's thread. A stopped worker takes no more copies.
    void enqueue(std::vector<DueCopy> batch);
    // True from the hand-over of a batch until it is through.
    bool busy() const;
    // The earliest due second whose copy has not finished.
    std::optional<qint64> oldestPending() const;
    // What the running copy is doing, for the window's title.
    QString currentSource() const;
    quint64 currentFiles() const { return m_control ? m_control->files.load() : 0; }
    // Ends the running copy at its next file, drops the copies not begun and
    // waits for the thread; false when it did not end within `milliseconds`.
    bool stop(int milliseconds);

signals:
    // A copy finished, whole, in part or stopped (queued to the window).
    void copyFinished(qint64 second);

private:
    // What a desktop notification says of one copy.
    struct Notice
    {
        QString summary;
        QString body;
    };

    void runBatch(const std::vector<DueCopy>& batch);
    // One copy, recorded and followed by its purge; what the user must hear
    // of it, if anything.
    std::optional<Notice> FoldCopy(const DueCopy& copy);
    // The copy of another source that made `target`, if any: a copy never
    // writes into it.
    std::optional<MadeCopy> madeByAnother(const QString& target, const QString& source) const;
    void noteMade(const DueCopy& copy, const CopyOutcome& outcome, QDate day);
    void SavedFilesDB(const QString& tfolder);
    void FolderPurge(int year);

    CopyPlaces m_places;
    LogFile& m_log;
    Notifier& m_notifier;
    QThread m_thread;
    QObject* m_runner = nullptr; // lives on m_thread
    std::atomic<bool> m_stopped{false};
    mutable std::mutex m_mutex;
    std::multiset<qint64> m_pending; // due seconds of the copies not finished
    int m_batches = 0; // handed over and not yet through
    QString m_current;
    std::shared_ptr<CopyControl> m_control;
};

} // namespace plovern
