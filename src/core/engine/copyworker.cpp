#include "core/engine/copyworker.h"

#include <QDateTime>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QScopeGuard>

#include "core/engine/room.h"
#include "core/platform/clock.h"
#include "core/platform/log.h"
#include "core/platform/logfile.h"
#include "core/platform/notifier.h"
#include "core/platform/paths.h"
#include "core/platform/textfile.h"
#include "core/schedule/scheduler.h"
#include "core/storage/resultsfile.h"

namespace plovern {

CopyWorker::CopyWorker(CopyPlaces places, Clock& clock, LogFile& log, Notifier& notifier,
                       std::chrono::seconds stallAfter)
    : m_places(std::move(places))
    , m_clock(clock)
    , m_log(log)
    , m_notifier(notifier)
    , m_lanes(stallAfter, [this](const QString& line) {
        logLine(line);
        this->log(line);
    })
{
    // The lanes tell from their threads; the window hears it on its own.
    connect(&m_lanes, &CopyLanes::firstSourceChanged, this,
            [this](const QString& source) { emit copyingChanged(source.isEmpty() ? QString() : lastName(source)); });
}

CopyWorker::~CopyWorker()
{
    stop(-1);
}

void CopyWorker::enqueue(std::vector<DueCopy> batch)
{
    if (batch.empty() || m_lanes.stopped())
        return;
    std::map<QString, std::vector<DueCopy>> byDestination;
    for (DueCopy& copy : batch)
        byDestination[copy.destination].push_back(std::move(copy));
    std::lock_guard lock(m_mutex);
    for (auto& [destination, copies] : byDestination) {
        for (const DueCopy& copy : copies)
            m_pending.insert(copy.second);
        ++m_busy;
        m_lanes.post(destination,
                     [this, copies = std::move(copies)](CopyLanes::Lane& lane) { runBatch(lane, copies); });
    }
}

bool CopyWorker::busy() const
{
    std::lock_guard lock(m_mutex);
    return m_busy > 0;
}

std::optional<qint64> CopyWorker::oldestPending() const
{
    std::lock_guard lock(m_mutex);
    if (m_pending.empty())
        return std::nullopt;
    return *m_pending.begin();
}

QString CopyWorker::currentSource() const
{
    const QString source = m_lanes.firstSource();
    return source.isEmpty() ? QString() : lastName(source);
}

quint64 CopyWorker::currentFiles() const
{
    return m_lanes.files();
}

bool CopyWorker::stop(int milliseconds)
{
    const QDeadlineTimer deadline
        = milliseconds < 0 ? QDeadlineTimer(QDeadlineTimer::Forever) : QDeadlineTimer(milliseconds);
    const bool lanesEnded = m_lanes.stop(deadline);
    return m_purges.stop(deadline) && lanesEnded;
}

void CopyWorker::log(const QString& line)
{
    m_log.write(m_clock.now(), line);
}

void CopyWorker::runBatch(CopyLanes::Lane& lane, const std::vector<DueCopy>& batch)
{
    // Busy until the batch is told about, notification included.
    const auto done = qScopeGuard([this] {
        std::lock_guard lock(m_mutex);
        --m_busy;
    });
    std::vector<Notice> notices;
    for (const DueCopy& copy : batch) {
        if (!m_lanes.stopped()) {
            const CopyResult result = FoldCopy(lane, copy);
            if (std::optional<Notice> notice = noticeOf(result))
                notices.push_back(std::move(*notice));
            if (!result.roomWarning.isEmpty())
                notices.push_back(
                    {QStringLiteral("Little room left for the backups of %1").arg(copy.source), result.roomWarning});
            if (copy.purge && !m_lanes.stopped())
                requestPurge(wallDate(copy.second).year());
        }
        // A copy the end of the program stopped or kept from starting stays
        // pending, so the kept mark never passes it and the next start makes it.
        if (m_lanes.stopped())
            continue;
        {
            std::lock_guard lock(m_mutex);
            m_pending.erase(m_pending.find(copy.second));
        }
        emit copyFinished(copy.second);
    }
    if (notices.empty())
        return;
    const Notice told = batchNotice(notices, m_log.path());
    m_notifier.notify(told.summary, told.body);
}

void CopyWorker::requestPurge(int year)
{
    std::lock_guard lock(m_mutex);
    if (!m_purgesQueued.insert(year).second)
        return; // one waiting to start does the same
    ++m_busy;
    m_purges.post([this, year] {
        {
            std::lock_guard lock(m_mutex);
            m_purgesQueued.erase(year);
        }
        if (!m_lanes.stopped())
            FolderPurge(year);
        std::lock_guard lock(m_mutex);
        --m_busy;
    });
}

CopyResult CopyWorker::FoldCopy(CopyLanes::Lane& lane, const DueCopy& copy)
{
    const QDate day = wallDate(copy.second);
    std::unique_lock lock(m_filesMutex);
    std::vector<MadeCopy> book;
    if (QString error; !loadCopyBook(*m_places.files, &book, &error)) {
        // Knowing no copy, it goes where it is due, as the first copy would.
        const QString line = QStringLiteral("could not read %1: %2").arg(m_places.path(kCopyBookFile), error);
        logLine(line);
        log(line);
    }
    const Destination where = destinationOf(book, copy, day, m_writing);
    std::vector<EntryResult> results;
    loadResults(*m_places.files, &results); // an estimate: a file that cannot be read gives none
    const std::optional<EntryResult> last = lastResultOf(lastResults(results, {}), copy.source, copy.destination);
    const quint64 lastFull = last ? last->fullBytes : 0;
    CopyResult result{copy, where.target, {}, 0, where.refusal};
    if (!where.note.isEmpty())
        log(where.note);
    if (result.refused()) {
        lock.unlock();
        tell(result);
        lock.lock();
        keepResult(result);
        return result;
    }
    m_writing[where.writingKey] = writerOf(where, copy);
    lock.unlock();

    const std::shared_ptr<CopyControl> control = m_lanes.begin(lane, copy.source, where.target);
    const Reuse reuse = reuseFor(book, copy, day, where);
    const QString drive = QFileInfo(where.target).absolutePath();
    // What the entry's last whole copy held; a listing of the source before its first.
    const std::optional<quint64> full
        = lastFull != 0 ? std::optional(lastFull) : bytesToCopy(copy.source, control.get());
    // A copy that cannot fit is not begun: it would fill the drive and fail
    // the next copies too. Only a merge or a drive that shares the
    // reference's blocks writes less than the full size.
    if (const std::optional<Room> room = roomOf(drive);
        full && room && !where.earlier && (reuse.reference.isEmpty() || !room->sharesBlocks))
        result.refusal = roomRefusal(where.target, *full, *room);
    QElapsedTimer clock;
    clock.start();
    if (!result.refused())
        result.report = makeCopy(copy.source, where.target, control.get(), &reuse).report;
    result.seconds = clock.elapsed() / 1000.0;
    m_lanes.end(lane);
    if (const std::optional<Room> room = roomOf(drive); full && room && result.whole())
        result.roomWarning = roomWarning(copy, *full, *room);
    tell(result);

    lock.lock();
    m_writing.erase(where.writingKey);
    if (result.recorded()) {
        noteMade(result, where, day);
        SavedFilesDB(result.target);
    }
    keepResult(result);
    return result;
}

QString CopyWorker::roomWarning(const DueCopy& copy, quint64 full, const Room& room)
{
    const quint64 copies = copiesRoomFor(full, room);
    if (copies >= 3)
        return {};
    std::lock_guard lock(m_mutex);
    QDate& told = m_toldRoom[copy.source + QLatin1Char('\n') + copy.destination];
    if (told == m_clock.now().date())
        return {}; // once a day
    told = m_clock.now().date();
    const QString purge = !copy.purge        ? QStringLiteral("the purge is off")
        : wallDate(copy.second).month() == 1 ? QStringLiteral("the purge frees room once this year's copy is whole")
                                             : QStringLiteral("the purge frees room only in January");
    return QStringLiteral("room for %1 more copies of %2 on %3; %4")
        .arg(QString::number(copies), lastName(copy.source), room.drive, purge);
}

void CopyWorker::tell(const CopyResult& result)
{
    for (const QString& line : errorLinesOf(result))
        logLine(line);
    log(logLineOf(result));
    if (!result.roomWarning.isEmpty()) {
        logLine(result.roomWarning);
        log(result.roomWarning);
    }
}

void CopyWorker::noteMade(const CopyResult& result, const Destination& where, QDate day)
{
    std::vector<MadeCopy> book;
    QString error;
    if (!loadCopyBook(*m_places.files, &book, &error)) {
        // Never an empty book saved over one that could not be read.
        const QString line = QStringLiteral("copy %1 made but not noted in %2: %3; the purge keeps the copies it "
                                            "would replace")
                                 .arg(result.target, m_places.path(kCopyBookFile), error);
        logLine(line);
        log(line);
        return;
    }
    const CopyReport& report = result.report;
    MadeCopy made{result.target,  result.due.source, result.due.destination, day,
                  result.whole(), report.files,      where.targetReal,       where.sourceReal,
                  report.started, report.ended,      report.targetId,        where.sourceId};
    if (!result.whole()) {
        // What this copy did not reach is as the earlier copy of the day left
        // it; with none known, nothing in the folder is vouched for.
        made.started = where.earlier ? where.earlier->started : 0;
        made.ended = where.earlier ? where.earlier->ended : 0;
    }
    noteCopy(&book, std::move(made));
    if (!m_places.files->save(QString::fromLatin1(kCopyBookFile), formatCopyBook(book), &error)) {
        const QString line = QStringLiteral("copy %1 made but not noted in %2: %3; the purge keeps the copies it "
                                            "would replace")
                                 .arg(result.target, m_places.path(kCopyBookFile), error);
        logLine(line);
        log(line);
    }
}

void CopyWorker::keepResult(const CopyResult& result)
{
    std::vector<EntryResult> results;
    QString error;
    // Never a file of one line saved over one that could not be read.
    bool kept = loadResults(*m_places.files, &results, &error);
    if (kept) {
        noteResult(&results, entryResultOf(result, wallSecond(m_clock.now())));
        kept = m_places.files->save(QString::fromLatin1(kResultsFile), formatResults(results), &error);
    }
    if (!kept)
        logLine(QStringLiteral("could not keep the result of the copy of %1 in %2: %3")
                    .arg(result.due.source, m_places.path(kResultsFile), error));
}

void CopyWorker::SavedFilesDB(const QString& tfolder)
{
    QString error;
    if (!m_places.files->append(QString::fromLatin1(kRecordFile), pathBytes(tfolder) + kLineEnd, &error))
        logLine(
            QStringLiteral("copy %1 made but not recorded in %2: %3").arg(tfolder, m_places.path(kRecordFile), error));
}

void CopyWorker::FolderPurge(int year)
{
    const PurgeResult result = purgeEarlierCopies(m_places, year, &m_filesMutex, [this] { return m_lanes.stopped(); });
    for (const QString& folder : result.deleted)
        log(QStringLiteral("purged %1").arg(folder));
    for (const QString& folder : result.waiting)
        log(QStringLiteral("kept %1: no complete copy of this year yet").arg(folder));
    if (!result.stopped.isEmpty()) {
        const QString line = QStringLiteral("purge stopped as the program ended: %1 is left in part and kept in the "
                                            "record; the purge finishes it at the next start")
                                 .arg(result.stopped);
        logLine(line);
        log(line);
    }
    for (const QString& failure : result.failures) {
        logLine(failure);
        log(failure);
    }
}

} // namespace plovern
