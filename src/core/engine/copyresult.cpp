#include "core/engine/copyresult.h"

#include "core/platform/log.h"
#include "core/schedule/outlook.h"

namespace plovern {

namespace {

QString what(const CopyResult& result)
{
    return QStringLiteral("%1 to %2").arg(result.due.source, result.target);
}

QString warningsOf(const CopyResult& result)
{
    return result.report.warnings.join(QStringLiteral("; "));
}

} // namespace

QString logLineOf(const CopyResult& result)
{
    const CopyReport& report = result.report;
    const QString warnings = warningsOf(result);
    const QString warned = warnings.isEmpty() ? QString() : ", warnings: " + warnings;
    if (result.refused())
        return QStringLiteral("copy failed: %1").arg(result.refusal);
    if (report.stopped) {
        return QStringLiteral("copy stopped as the program ended: %1, %2, %3 bytes so far")
            .arg(what(result), filesText(report.files), QString::number(report.bytes));
    }
    if (report.complete()) {
        const QString shared = report.sharedFiles == 0
            ? QString()
            : QStringLiteral(", %1 (%2 MiB) shared with %3")
                  .arg(filesText(report.sharedFiles), QString::number(double(report.sharedBytes) / (1 << 20), 'f', 1),
                       report.reference);
        return QStringLiteral("copy made: %1, %2, %3 bytes, %4 s%5%6")
            .arg(what(result), filesText(report.files), QString::number(report.bytes),
                 QString::number(result.seconds, 'f', 1), shared, warned);
    }
    const QString failures
        = report.failures == 1 ? QStringLiteral("1 failure") : QStringLiteral("%1 failures").arg(report.failures);
    return QStringLiteral("copy failed: %1, %2, first: %3%4").arg(what(result), failures, report.firstFailure, warned);
}

QStringList errorLinesOf(const CopyResult& result)
{
    if (result.refused())
        return {QStringLiteral("copy of %1 failed: %2").arg(result.due.source, result.refusal)};
    QStringList lines;
    if (!result.report.complete() && !result.report.stopped)
        lines.append(QStringLiteral("copy of %1 failed: %2").arg(what(result), result.report.failureText()));
    if (const QString warnings = warningsOf(result); !warnings.isEmpty())
        lines.append(QStringLiteral("copy of %1: %2").arg(what(result), warnings));
    return lines;
}

EntryResult entryResultOf(const CopyResult& result, qint64 at)
{
    const CopyReport& report = result.report;
    EntryResult entry{result.due.source, result.due.destination, Outcome::made, at, report.files, report.bytes};
    if (result.refused()) {
        entry.outcome = Outcome::failed;
        entry.line = result.refusal;
    } else if (report.stopped) {
        entry.outcome = Outcome::stopped;
    } else if (!report.complete()) {
        entry.outcome = Outcome::failed;
        entry.line = report.failureText();
    } else if (!report.warnings.isEmpty()) {
        entry.outcome = Outcome::warned;
        entry.line = warningsOf(result);
    }
    entry.line = shownText(entry.line); // one line, whatever the names hold
    if (isWhole(entry.outcome)) {
        entry.lastWhole = at;
        entry.fullBytes = report.fullBytes;
    }
    return entry;
}

std::optional<Notice> noticeOf(const CopyResult& result)
{
    const QString& source = result.due.source;
    if (result.refused())
        return Notice{QStringLiteral("The backup of %1 failed").arg(source), result.refusal};
    if (result.report.stopped)
        return std::nullopt;
    if (!result.report.complete())
        return Notice{QStringLiteral("The backup of %1 failed").arg(source), result.report.failureText()};
    if (const QString warnings = warningsOf(result); !warnings.isEmpty())
        return Notice{QStringLiteral("The backup of %1 was made with warnings").arg(source), warnings};
    return std::nullopt;
}

Notice batchNotice(const std::vector<Notice>& notices, const QString& logPath)
{
    // Names are shown as in the log: none starts a line of its own.
    const QString summary = notices.size() == 1 ? shownText(notices.front().summary)
                                                : QStringLiteral("%1 backups need a look").arg(notices.size());
    QStringList bodies;
    for (const Notice& notice : notices) {
        bodies.append(notices.size() == 1 ? shownText(notice.body)
                                          : shownText(notice.summary) + QLatin1Char('\n') + shownText(notice.body));
    }
    return {summary, bodies.join(QLatin1Char('\n')) + QStringLiteral("\nSee %1").arg(logPath)};
}

} // namespace plovern
