#include "engine/copyworker.h"

#include <QDateTime>
#include <QElapsedTimer>
#include <QMetaObject>
#include <QScopeGuard>

#include "engine/scheduler.h"
#include "platform/log.h"
#include "platform/logfile.h"
#include "platform/notifier.h"
#include "platform/paths.h"
#include "platform/textfile.h"

namespace plovern {

CopyWorker::CopyWorker(CopyPlaces places, LogFile& log, Notifier& notifier)
    : m_places(std::move(places))
    , m_log(log)
    , m_notifier(notifier)
{
    m_thread.setObjectName(QStringLiteral("copies"));
    m_runner = new QObject;
    m_runner->moveToThread(&m_thread);
    connect(&m_thread, &QThread::finished, m_runner, &QObject::deleteLater);
    m_thread.start();
}

CopyWorker::~CopyWorker()
{
    stop(-1);
}

void CopyWorker::enqueue(std::vector<DueCopy> batch)
{
    if (batch.empty() || m_stopped)
        return;
    {
        std::lock_guard lock(m_mutex);
        for (const DueCopy& copy : batch)
            m_pending.insert(copy.second);
        ++m_batches;
    }
    QMetaObject::invokeMethod(
        m_runner, [this, batch = std::move(batch)] { runBatch(batch); }, Qt::QueuedConnection);
}

bool CopyWorker::busy() const
{
    std::lock_guard lock(m_mutex);
    return m_batches > 0;
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
    return m_current;
}

bool CopyWorker::stop(int milliseconds)
{
    {
        std::lock_guard lock(m_mutex);
        m_stopped = true;
        if (m_control)
            m_control->stop = true;
    }
    m_thread.quit();
    return milliseconds < 0 ? m_thread.wait() : m_thread.wait(QDeadlineTimer(milliseconds));
}

void CopyWorker::runBatch(const std::vector<DueCopy>& batch)
{
    // Busy until the batch is told about, notification included.
    const auto done = qScopeGuard([this] {
        std::lock_guard lock(m_mutex);
        --m_batches;
    });
    std::vector<Notice> notices;
    for (const DueCopy& copy : batch) {
        if (!m_stopped) {
            if (std::optional<Notice> notice = FoldCopy(copy))
                notices.push_back(std::move(*notice));
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

std::optional<MadeCopy> CopyWorker::madeByAnother(const QString& target, const QString& source) const
{
    const std::vector<MadeCopy> book = parseCopyBook(readFile(m_places.copyBookFile).value_or(QByteArray()));
    const MadeCopy* made = findCopy(book, target);
    if (!made || made->source == source)
        return std::nullopt;
    return *made;
}

void CopyWorker::noteMade(const DueCopy& copy, const CopyOutcome& outcome, QDate day)
{
    std::vector<MadeCopy> book = parseCopyBook(readFile(m_places.copyBookFile).value_or(QByteArray()));
    const CopyReport& report = outcome.report;
    noteCopy(&book,
             {outcome.target, copy.source, copy.destination, day, report.complete() && !report.stopped, report.files});
    QString error;
    if (!saveFile(m_places.copyBookFile, formatCopyBook(book), &error)) {
        const QString line = QStringLiteral("copy %1 made but not noted in %2: %3; the purge keeps the copies it "
                                            "would replace")
                                 .arg(outcome.target, m_places.copyBookFile, error);
        logLine(line);
        m_log.write(QDateTime::currentDateTime(), line);
    }
}

std::optional<CopyWorker::Notice> CopyWorker::FoldCopy(const DueCopy& copy)
{
    const QDate day = wallDate(copy.second);
    const QString target = targetPath(copy.source, copy.destination, day);
    if (const std::optional<MadeCopy> other = madeByAnother(target, copy.source)) {
        const QString why = QStringLiteral("%1 holds the copy of %2; the copy of %3 was not made into it")
                                .arg(target, other->source, copy.source);
        logLine(QStringLiteral("copy of %1 failed: %2").arg(copy.source, why));
        m_log.write(QDateTime::currentDateTime(), QStringLiteral("copy failed: %1").arg(why));
        return Notice{QStringLiteral("The backup of %1 failed").arg(copy.source), why};
    }
    auto control = std::make_shared<CopyControl>();
    {
        std::lock_guard lock(m_mutex);
        m_current = sourceName(copy.source);
        m_control = control;
        control->stop = m_stopped.load(); // a stop that came just now
    }
    QElapsedTimer clock;
    clock.start();
    const CopyOutcome outcome = foldCopy(copy.source, copy.destination, day, control.get());
    const double seconds = clock.elapsed() / 1000.0;
    {
        std::lock_guard lock(m_mutex);
        m_current.clear();
        m_control.reset();
    }
    const CopyReport& report = outcome.report;
    const QString what = QStringLiteral("%1 to %2").arg(copy.source, outcome.target);
    const QString warnings = report.warnings.join(QStringLiteral("; "));
    std::optional<Notice> notice;
    if (report.stopped) {
        m_log.write(QDateTime::currentDateTime(),
                    QStringLiteral("copy stopped as the program ended: %1, %2 files, %3 bytes so far")
                        .arg(what)
                        .arg(report.files)
                        .arg(report.bytes));
    } else if (report.complete()) {
        m_log.write(QDateTime::currentDateTime(),
                    QStringLiteral("copy made: %1, %2 files, %3 bytes, %4 s%5")
                        .arg(what)
                        .arg(report.files)
                        .arg(report.bytes)
                        .arg(seconds, 0, 'f', 1)
                        .arg(warnings.isEmpty() ? QString() : ", warnings: " + warnings));
        if (!warnings.isEmpty())
            notice = Notice{QStringLiteral("The backup of %1 was made with warnings").arg(copy.source), warnings};
    } else {
        const QString failure = report.failureText();
        logLine(QStringLiteral("copy of %1 failed: %2").arg(what, failure));
        m_log.write(QDateTime::currentDateTime(),
                    QStringLiteral("copy failed: %1, %2 failures, first: %3%4")
                        .arg(what)
                        .arg(report.failures)
                        .arg(report.firstFailure)
                        .arg(warnings.isEmpty() ? QString() : ", warnings: " + warnings));
        notice = Notice{QStringLiteral("The backup of %1 failed").arg(copy.source), failure};
    }
    if (!warnings.isEmpty())
        logLine(QStringLiteral("copy of %1: %2").arg(what, warnings));
    if (outcome.record()) {
        noteMade(copy, outcome, day);
        SavedFilesDB(outcome.target);
    }
    if (copy.purge && !m_stopped)
        FolderPurge(day.year());
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
    const PurgeResult result = folderPurge(m_places, year);
    for (const QString& folder : result.deleted)
        m_log.write(QDateTime::currentDateTime(), QStringLiteral("purged %1").arg(folder));
    for (const QString& folder : result.waiting)
        m_log.write(QDateTime::currentDateTime(),
                    QStringLiteral("kept %1: no complete copy of this year yet").arg(folder));
    for (const QString& failure : result.failures) {
        logLine(failure);
        m_log.write(QDateTime::currentDateTime(), failure);
    }
}

} // namespace plovern
