#include "core/engine/copyworker.h"

#include <QDateTime>
#include <QElapsedTimer>
#include <QMetaObject>
#include <QScopeGuard>
#include <QTimer>

#include <algorithm>

#include "core/engine/scheduler.h"
#include "core/platform/clock.h"
#include "core/platform/log.h"
#include "core/platform/logfile.h"
#include "core/platform/notifier.h"
#include "core/platform/paths.h"
#include "core/platform/textfile.h"

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
    return first ? sourceName(first->source) : QString();
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
                stalled.append(QStringLiteral("copy of %1 to %2: no progress for %3 s; the drive may have hung")
                                   .arg(lane->source, lane->target)
                                   .arg((now - lane->lastProgressAt) / 1000));
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
        {
            std::lock_guard lock(m_mutex);
            m_pending.erase(m_pending.find(copy.second));
        }
        emit copyFinished(copy.second);
    }
    if (notices.empty())
        return;
    const QString summary
        = notices.size() == 1 ? notices.front().summary : QStringLiteral("%1 backups need a look").arg(notices.size());
    QStringList bodies;
    for (const Notice& notice : notices)
        bodies.append(notices.size() == 1 ? notice.body : notice.summary + QLatin1Char('\n') + notice.body);
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

QString CopyWorker::referenceFor(const std::vector<MadeCopy>& book, const DueCopy& copy, QDate day)
{
    for (const MadeCopy& earlier : referencesFor(book, copy.source, copy.destination, day)) {
        if (isRealFolder(earlier.target))
            return earlier.target;
    }
    return {};
}

std::optional<MadeCopy> CopyWorker::madeByAnother(const std::vector<MadeCopy>& book, const QString& target,
                                                  const QString& source)
{
    const MadeCopy* made = findCopy(book, target);
    if (!made || made->source == source)
        return std::nullopt;
    return *made;
}

void CopyWorker::noteMade(const DueCopy& copy, const CopyOutcome& outcome, QDate day)
{
    std::vector<MadeCopy> book = loadCopyBook(m_places.copyBookFile);
    const CopyReport& report = outcome.report;
    noteCopy(&book,
             {outcome.target, copy.source, copy.destination, day, report.complete() && !report.stopped, report.files});
    QString error;
    if (!saveFile(m_places.copyBookFile, formatCopyBook(book), &error)) {
        const QString line = QStringLiteral("copy %1 made but not noted in %2: %3; the purge keeps the copies it "
                                            "would replace")
                                 .arg(outcome.target, m_places.copyBookFile, error);
        logLine(line);
        log(line);
    }
}

std::optional<CopyWorker::Notice> CopyWorker::FoldCopy(Lane& lane, const DueCopy& copy)
{
    const QDate day = wallDate(copy.second);
    const QString target = targetPath(copy.source, copy.destination, day);
    std::unique_lock lock(m_filesMutex);
    const std::vector<MadeCopy> book = loadCopyBook(m_places.copyBookFile);
    lock.unlock();
    if (const std::optional<MadeCopy> other = madeByAnother(book, target, copy.source)) {
        const QString why = QStringLiteral("%1 holds the copy of %2; the copy of %3 was not made into it")
                                .arg(target, other->source, copy.source);
        logLine(QStringLiteral("copy of %1 failed: %2").arg(copy.source, why));
        log(QStringLiteral("copy failed: %1").arg(why));
        return Notice{QStringLiteral("The backup of %1 failed").arg(copy.source), why};
    }
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
    const Reuse reuse{referenceFor(book, copy, day)};
    const CopyOutcome outcome = makeDatedCopy(copy.source, copy.destination, day, control.get(), &reuse);
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
                .arg(what)
                .arg(report.files)
                .arg(report.bytes));
    } else if (report.complete()) {
        const QString shared = report.sharedFiles == 0 ? QString()
                                                       : QStringLiteral(", %1 files (%2 MiB) shared with %3")
                                                             .arg(report.sharedFiles)
                                                             .arg(double(report.sharedBytes) / (1 << 20), 0, 'f', 1)
                                                             .arg(report.reference);
        log(QStringLiteral("copy made: %1, %2 files, %3 bytes, %4 s%5%6")
                .arg(what)
                .arg(report.files)
                .arg(report.bytes)
                .arg(seconds, 0, 'f', 1)
                .arg(shared, warnings.isEmpty() ? QString() : ", warnings: " + warnings));
        if (!warnings.isEmpty())
            notice = Notice{QStringLiteral("The backup of %1 was made with warnings").arg(copy.source), warnings};
    } else {
        const QString failure = report.failureText();
        logLine(QStringLiteral("copy of %1 failed: %2").arg(what, failure));
        log(QStringLiteral("copy failed: %1, %2 failures, first: %3%4")
                .arg(what)
                .arg(report.failures)
                .arg(report.firstFailure)
                .arg(warnings.isEmpty() ? QString() : ", warnings: " + warnings));
        notice = Notice{QStringLiteral("The backup of %1 failed").arg(copy.source), failure};
    }
    if (!warnings.isEmpty())
        logLine(QStringLiteral("copy of %1: %2").arg(what, warnings));
    if (outcome.record()) {
        std::lock_guard lock(m_filesMutex);
        noteMade(copy, outcome, day);
        SavedFilesDB(outcome.target);
    }
    return notice;
}

void CopyWorker::SavedFilesDB(const QString& tfolder)
{
    QString error;
    if (!appendToFile(m_places.recordFile, pathBytes(tfolder) + kLineEnd, &error))
        logLine(QStringLiteral("copy %1 made but not recorded in %2: %3").arg(tfolder, m_places.recordFile, error));
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
