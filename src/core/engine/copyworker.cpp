#include "core/engine/copyworker.h"

#include <QDateTime>
#include <QElapsedTimer>
#include <QMetaObject>
#include <QScopeGuard>
#include <QTimer>

#include <algorithm>

#include "core/platform/clock.h"
#include "core/platform/log.h"
#include "core/platform/logfile.h"
#include "core/platform/notifier.h"
#include "core/platform/paths.h"
#include "core/platform/textfile.h"
#include "core/schedule/clocktext.h"
#include "core/schedule/scheduler.h"

namespace plovern {

CopyWorker::CopyWorker(CopyPlaces places, Clock& clock, LogFile& log, Notifier& notifier,
                       std::chrono::seconds stallAfter)
    : m_places(std::move(places))
    , m_clock(clock)
    , m_log(log)
    , m_notifier(notifier)
    , m_stallAfter(std::chrono::milliseconds(stallAfter).count())
{
    m_uptime.start();
    startThread(m_purgeThread, m_purgeRunner, QStringLiteral("purges"));
    m_watch = new QTimer(this);
    m_watch->setInterval(std::clamp<qint64>(m_stallAfter / 4, 50, 5000));
    connect(m_watch, &QTimer::timeout, this, &CopyWorker::watchProgress);
    m_watch->start();
}

CopyWorker::~CopyWorker()
{
    stop(-1);
}

void CopyWorker::startThread(QThread& thread, QObject*& runner, const QString& name)
{
    thread.setObjectName(name);
    runner = new QObject;
    runner->moveToThread(&thread);
    connect(&thread, &QThread::finished, runner, &QObject::deleteLater);
    thread.start();
}

CopyWorker::Lane& CopyWorker::laneFor(const QString& destination)
{
    // Called with m_mutex held. Keyed by the text: asking a hung drive which
    // device it is would hang too.
    std::unique_ptr<Lane>& lane = m_lanes[destination];
    if (!lane) {
        lane = std::make_unique<Lane>();
        startThread(lane->thread, lane->runner, QStringLiteral("copies"));
    }
    return *lane;
}

void CopyWorker::enqueue(std::vector<DueCopy> batch)
{
    if (batch.empty() || m_stopped)
        return;
    std::map<QString, std::vector<DueCopy>> byDestination;
    for (DueCopy& copy : batch)
        byDestination[copy.destination].push_back(std::move(copy));
    std::lock_guard lock(m_mutex);
    for (auto& [destination, copies] : byDestination) {
        for (const DueCopy& copy : copies)
            m_pending.insert(copy.second);
        ++m_busy;
        Lane& lane = laneFor(destination);
        QMetaObject::invokeMethod(
            lane.runner, [this, &lane, copies = std::move(copies)] { runBatch(lane, copies); }, Qt::QueuedConnection);
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
    std::lock_guard lock(m_mutex);
    const Lane* first = nullptr;
    for (const auto& [destination, lane] : m_lanes) {
        if (lane->control && (!first || lane->startedAt < first->startedAt))
            first = lane.get();
    }
    return first ? lastName(first->source) : QString();
}

quint64 CopyWorker::currentFiles() const
{
    std::lock_guard lock(m_mutex);
    quint64 files = 0;
    for (const auto& [destination, lane] : m_lanes)
        files += lane->control ? lane->control->files.load() : 0;
    return files;
}

bool CopyWorker::stop(int milliseconds)
{
    std::vector<QThread*> threads{&m_purgeThread};
    {
        std::lock_guard lock(m_mutex);
        m_stopped = true;
        for (auto& [destination, lane] : m_lanes) {
            if (lane->control)
                lane->control->stop = true;
            threads.push_back(&lane->thread);
        }
    }
    const QDeadlineTimer deadline
        = milliseconds < 0 ? QDeadlineTimer(QDeadlineTimer::Forever) : QDeadlineTimer(milliseconds);
    bool ended = true;
    for (QThread* thread : threads) {
        thread->quit();
        ended = thread->wait(deadline) && ended;
    }
    return ended;
}

void CopyWorker::watchProgress()
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
    for (const QString& line : stalled) {
        logLine(line);
        log(line);
    }
}

void CopyWorker::log(const QString& line)
{
    m_log.write(m_clock.now(), line);
}

void CopyWorker::runBatch(Lane& lane, const std::vector<DueCopy>& batch)
{
    // Busy until the batch is told about, notification included.
    const auto done = qScopeGuard([this] {
        std::lock_guard lock(m_mutex);
        --m_busy;
    });
    std::vector<Notice> notices;
    for (const DueCopy& copy : batch) {
        if (!m_stopped) {
            if (std::optional<Notice> notice = FoldCopy(lane, copy))
                notices.push_back(std::move(*notice));
            if (copy.purge && !m_stopped)
                requestPurge(wallDate(copy.second).year());
        }
        // A copy the end of the program stopped or kept from starting stays
        // pending, so the kept mark never passes it and the next start makes it.
        if (m_stopped)
            continue;
        {
            std::lock_guard lock(m_mutex);
            m_pending.erase(m_pending.find(copy.second));
        }
        emit copyFinished(copy.second);
    }
    if (notices.empty())
        return;
    // Names are shown as in the log: none starts a line of its own.
    const QString summary = notices.size() == 1 ? shownText(notices.front().summary)
                                                : QStringLiteral("%1 backups need a look").arg(notices.size());
    QStringList bodies;
    for (const Notice& notice : notices) {
        bodies.append(notices.size() == 1 ? shownText(notice.body)
                                          : shownText(notice.summary) + QLatin1Char('\n') + shownText(notice.body));
    }
    m_notifier.notify(summary, bodies.join(QLatin1Char('\n')) + QStringLiteral("\nSee %1").arg(m_log.path()));
}

void CopyWorker::requestPurge(int year)
{
    std::lock_guard lock(m_mutex);
    if (!m_purgesQueued.insert(year).second)
        return; // one waiting to start does the same
    ++m_busy;
    QMetaObject::invokeMethod(
        m_purgeRunner,
        [this, year] {
            {
                std::lock_guard lock(m_mutex);
                m_purgesQueued.erase(year);
            }
            if (!m_stopped)
                FolderPurge(year);
            std::lock_guard lock(m_mutex);
            --m_busy;
        },
        Qt::QueuedConnection);
}

std::optional<MadeCopy> CopyWorker::referenceFor(const std::vector<MadeCopy>& book, const DueCopy& copy, QDate day,
                                                 const QString& sourceReal)
{
    for (const MadeCopy& earlier : referencesFor(book, copy.source, copy.destination, day, sourceReal)) {
        if (isRealFolder(earlier.target))
            return earlier;
    }
    return std::nullopt;
}

CopyWorker::Destination CopyWorker::destinationOf(const std::vector<MadeCopy>& book, const DueCopy& copy, QDate day)
{
    Destination where;
    where.sourceReal = realPath(copy.source);
    const auto look = [&](const QString& target) {
        where.target = target;
        where.targetReal = realLocation(target);
        where.earlier.reset();
        const MadeCopy* made = findCopy(book, target, where.targetReal);
        if (made && isRealFolder(where.targetReal.isEmpty() ? target : where.targetReal))
            where.earlier = *made;
    };
    look(targetPath(copy.source, copy.destination, day));
    if (where.earlier && where.earlier->day != day && paddedDateStamp(day) != dateStamp(day)) {
        const QString plain = where.target;
        const QDate other = where.earlier->day;
        look(paddedTargetPath(copy.source, copy.destination, day));
        log(QStringLiteral("%1 holds the copy of %2, whose date has the same digits; the copy of %3 goes to %4")
                .arg(plain, other.toString(Qt::ISODate), copy.source, where.target));
    }
    const QString key = where.targetReal.isEmpty() ? where.target : where.targetReal;
    const QString source = where.sourceReal.isEmpty() ? copy.source : where.sourceReal;
    if (where.earlier && !isCopyOf(*where.earlier, copy.source, where.sourceReal)) {
        where.refusal = QStringLiteral("%1 holds the copy of %2; the copy of %3 was not made into it")
                            .arg(where.target, where.earlier->source, copy.source);
    } else if (const auto writing = m_writing.find(key); writing != m_writing.end() && writing->second != source) {
        where.refusal = QStringLiteral("%1 is being written by the copy of %2; the copy of %3 was not made into it")
                            .arg(where.target, writing->second, copy.source);
    }
    return where;
}

void CopyWorker::noteMade(const DueCopy& copy, const Destination& where, const CopyOutcome& outcome, QDate day)
{
    std::vector<MadeCopy> book = loadCopyBook(*m_places.files);
    const CopyReport& report = outcome.report;
    const bool whole = report.complete() && !report.stopped;
    MadeCopy made{outcome.target,   copy.source,      copy.destination, day,         whole, report.files,
                  where.targetReal, where.sourceReal, report.started,   report.ended};
    if (!whole) {
        // What this copy did not reach is as the earlier copy of the day left
        // it; with none known, nothing in the folder is vouched for.
        made.started = where.earlier ? where.earlier->started : 0;
        made.ended = where.earlier ? where.earlier->ended : 0;
    }
    noteCopy(&book, std::move(made));
    QString error;
    if (!m_places.files->save(QString::fromLatin1(kCopyBookFile), formatCopyBook(book), &error)) {
        const QString line = QStringLiteral("copy %1 made but not noted in %2: %3; the purge keeps the copies it "
                                            "would replace")
                                 .arg(outcome.target, m_places.path(kCopyBookFile), error);
        logLine(line);
        log(line);
    }
}

std::optional<CopyWorker::Notice> CopyWorker::FoldCopy(Lane& lane, const DueCopy& copy)
{
    const QDate day = wallDate(copy.second);
    std::unique_lock lock(m_filesMutex);
    const std::vector<MadeCopy> book = loadCopyBook(*m_places.files);
    Destination where = destinationOf(book, copy, day);
    const QString target = where.target;
    if (where.refusal.isEmpty())
        where.refusal = refusedTarget(target, where.earlier.has_value());
    if (!where.refusal.isEmpty()) {
        lock.unlock();
        logLine(QStringLiteral("copy of %1 failed: %2").arg(copy.source, where.refusal));
        log(QStringLiteral("copy failed: %1").arg(where.refusal));
        return Notice{QStringLiteral("The backup of %1 failed").arg(copy.source), where.refusal};
    }
    const QString writingKey = where.targetReal.isEmpty() ? target : where.targetReal;
    m_writing[writingKey] = where.sourceReal.isEmpty() ? copy.source : where.sourceReal;
    lock.unlock();
    auto control = std::make_shared<CopyControl>();
    {
        std::lock_guard lock(m_mutex);
        lane.control = control;
        lane.source = copy.source;
        lane.target = target;
        lane.startedAt = lane.lastProgressAt = m_uptime.elapsed();
        lane.lastProgress = 0;
        lane.stallTold = false;
        control->stop = m_stopped.load(); // a stop that came just now
    }
    QElapsedTimer clock;
    clock.start();
    Reuse reuse;
    if (const std::optional<MadeCopy> reference = referenceFor(book, copy, day, where.sourceReal)) {
        reuse.reference = reference->target;
        reuse.referenceWritten = {reference->started, reference->ended};
    }
    if (where.earlier)
        reuse.merged = {where.earlier->started, where.earlier->ended};
    const CopyOutcome outcome = makeCopy(copy.source, target, control.get(), &reuse);
    const double seconds = clock.elapsed() / 1000.0;
    {
        std::lock_guard lock(m_mutex);
        lane.control.reset();
    }
    const CopyReport& report = outcome.report;
    const QString what = QStringLiteral("%1 to %2").arg(copy.source, outcome.target);
    const QString warnings = report.warnings.join(QStringLiteral("; "));
    std::optional<Notice> notice;
    if (report.stopped) {
        log(QStringLiteral("copy stopped as the program ended: %1, %2 files, %3 bytes so far")
                .arg(what, QString::number(report.files), QString::number(report.bytes)));
    } else if (report.complete()) {
        const QString shared = report.sharedFiles == 0
            ? QString()
            : QStringLiteral(", %1 files (%2 MiB) shared with %3")
                  .arg(QString::number(report.sharedFiles),
                       QString::number(double(report.sharedBytes) / (1 << 20), 'f', 1), report.reference);
        log(QStringLiteral("copy made: %1, %2 files, %3 bytes, %4 s%5%6")
                .arg(what, QString::number(report.files), QString::number(report.bytes),
                     QString::number(seconds, 'f', 1), shared,
                     warnings.isEmpty() ? QString() : ", warnings: " + warnings));
        if (!warnings.isEmpty())
            notice = Notice{QStringLiteral("The backup of %1 was made with warnings").arg(copy.source), warnings};
    } else {
        const QString failure = report.failureText();
        logLine(QStringLiteral("copy of %1 failed: %2").arg(what, failure));
        log(QStringLiteral("copy failed: %1, %2 failures, first: %3%4")
                .arg(what, QString::number(report.failures), report.firstFailure,
                     warnings.isEmpty() ? QString() : ", warnings: " + warnings));
        notice = Notice{QStringLiteral("The backup of %1 failed").arg(copy.source), failure};
    }
    if (!warnings.isEmpty())
        logLine(QStringLiteral("copy of %1: %2").arg(what, warnings));
    lock.lock();
    m_writing.erase(writingKey);
    if (outcome.record()) {
        noteMade(copy, where, outcome, day);
        SavedFilesDB(outcome.target);
    }
    return notice;
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
    const PurgeResult result = purgeEarlierCopies(m_places, year, &m_filesMutex);
    for (const QString& folder : result.deleted)
        log(QStringLiteral("purged %1").arg(folder));
    for (const QString& folder : result.waiting)
        log(QStringLiteral("kept %1: no complete copy of this year yet").arg(folder));
    for (const QString& failure : result.failures) {
        logLine(failure);
        log(failure);
    }
}

} // namespace plovern
