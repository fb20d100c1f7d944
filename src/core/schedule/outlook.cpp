#include "core/schedule/outlook.h"

#include <QLocale>

#include "core/platform/paths.h"
#include "core/schedule/clocktext.h"
#include "core/schedule/scheduler.h"

using namespace Qt::Literals::StringLiterals;

namespace plovern {

namespace {

constexpr qint64 kDay = 24 * 60 * 60;

} // namespace

Outlook outlookOf(const ScheduleEntry& entry, std::optional<EntryResult> last, qint64 now)
{
    Outlook outlook{std::move(last), nextDueSecond(entry, now), std::nullopt};
    if (!outlook.last || !outlook.next)
        return outlook;
    const qint64 period = entry.day == QLatin1String("Every") ? kDay : 7 * kDay;
    const qint64 base = outlook.last->lastWhole != 0 ? outlook.last->lastWhole : outlook.last->since;
    if (now - base > period + kDay)
        outlook.overdueSince = base;
    return outlook;
}

QString bytesText(quint64 bytes)
{
    return QLocale::c().formattedDataSize(static_cast<qint64>(bytes), 1, QLocale::DataSizeSIFormat);
}

QString countText(quint64 count, QLatin1StringView one, QLatin1StringView many)
{
    return QStringLiteral("%1 %2").arg(count).arg(count == 1 ? one : many);
}

QString filesText(quint64 count)
{
    return countText(count, "file"_L1, "files"_L1);
}

QString wallText(qint64 second)
{
    const QDate day = wallDate(second);
    return QStringLiteral("%1 %2").arg(QLocale::c().toString(day, QStringLiteral("dddd d MMMM yyyy")),
                                       clockText(wallDateTime(second).time()));
}

QString outcomeWord(const std::optional<EntryResult>& last)
{
    if (!last)
        return QStringLiteral("not yet made");
    switch (last->outcome) {
    case Outcome::made:
        return QStringLiteral("made");
    case Outcome::warned:
        return QStringLiteral("made with warnings");
    case Outcome::failed:
        return QStringLiteral("failed");
    case Outcome::stopped:
        return QStringLiteral("stopped");
    }
    return {};
}

QString lastCopyText(const std::optional<EntryResult>& last)
{
    if (!last)
        return outcomeWord(last);
    QString text = QStringLiteral("%1 %2, %3, %4")
                       .arg(outcomeWord(last), wallText(last->at), filesText(last->files), bytesText(last->bytes));
    if (!last->line.isEmpty())
        text += QStringLiteral(": ") + last->line;
    return text;
}

QString outlookTitle(const QString& title, std::span<const ScheduleEntry> entries, std::span<const Outlook> outlooks,
                     qint64 now)
{
    QString shown = title;
    qsizetype looks = 0;
    std::optional<std::pair<qint64, const ScheduleEntry*>> first;
    for (size_t i = 0; i < entries.size(); ++i) {
        const Outlook& outlook = outlooks[i];
        if (outlook.needsLook())
            ++looks;
        if (outlook.next && (!first || *outlook.next < first->first))
            first = std::pair(*outlook.next, &entries[i]);
    }
    if (looks > 0)
        shown += QStringLiteral(" - %1 failed").arg(looks);
    if (first) {
        const qint64 next = first->first;
        const QString time = clockText(wallDateTime(next).time());
        const QString when = wallDate(next) == wallDate(now)
            ? time
            : QLocale::c().toString(wallDate(next), QStringLiteral("dddd ")) + time;
        shown += QStringLiteral(" - next: %1, %2").arg(lastName(first->second->source), when);
    }
    return shown;
}

QString overdueText(const ScheduleEntry& entry, qint64 since)
{
    return QStringLiteral("no whole copy of %1 since %2")
        .arg(entry.source, QLocale::c().toString(wallDate(since), QStringLiteral("d MMMM")));
}

QString statusLine(const ScheduleEntry& entry, const Outlook& outlook)
{
    QString line = QStringLiteral("%1 -> %2, %3 %4; last copy %5; next %6")
                       .arg(entry.source, entry.destination, dayName(entry.day), entry.time, lastCopyText(outlook.last),
                            outlook.next ? wallText(*outlook.next) : QStringLiteral("never"));
    if (outlook.overdueSince)
        line += QStringLiteral("; overdue: no whole copy since %1").arg(wallText(*outlook.overdueSince));
    return line;
}

} // namespace plovern
