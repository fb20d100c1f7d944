#include "core/schedule/scheduler.h"

#include <algorithm>

#include "core/schedule/clocktext.h"

namespace plovern {

namespace {

constexpr qint64 kDay = 24 * 60 * 60;

// 0 for "Every", 1 to 7 for a weekday, none for a code that names no day.
std::optional<int> dayFilter(const QString& code)
{
    if (code == QLatin1String("Every"))
        return 0;
    if (code.size() == 1 && code[0] >= QLatin1Char('1') && code[0] <= QLatin1Char('7'))
        return code[0].unicode() - '0';
    return std::nullopt;
}

int weekdayOfWallSecond(qint64 second)
{
    // Julian day 0 was a Monday.
    return static_cast<int>((second / kDay + 1) % 7) + 1;
}

} // namespace

qint64 wallSecond(const QDateTime& localTime)
{
    return localTime.date().toJulianDay() * kDay + localTime.time().msecsSinceStartOfDay() / 1000;
}

QDate wallDate(qint64 second)
{
    return QDate::fromJulianDay(second / kDay);
}

QDateTime wallDateTime(qint64 second)
{
    return QDateTime(wallDate(second), QTime(0, 0).addSecs(static_cast<int>(second % kDay)));
}

SecondRange SecondCursor::advance(const QDateTime& now)
{
    const qint64 present = wallSecond(now);
    if (m_mark && present <= *m_mark && *m_mark - present <= kMaxSetBack) {
        // The clock brought back seconds: those before m_since were never evaluated.
        const qint64 first = m_replayed && *m_replayed < present ? *m_replayed + 1 : present;
        if (m_replayed && present <= *m_replayed)
            return {};
        m_replayed = present;
        return {first, std::min(present, m_since - 1)};
    }
    const bool afresh = !m_mark || present < *m_mark;
    const qint64 first = afresh ? present : std::max(*m_mark + 1, present - kMaxCatchUp + 1);
    if (afresh)
        m_since = present;
    m_mark = present;
    m_replayed.reset();
    return {first, present};
}

std::vector<DueRun> dueRuns(std::span<const ScheduleEntry> entries, SecondRange range)
{
    std::vector<DueRun> runs;
    if (range.isEmpty())
        return runs;
    // A range spans at most a day, so each second of the day occurs in it once.
    const qint64 firstOfDay = range.first % kDay;
    for (size_t row = 0; row < entries.size(); ++row) {
        const ScheduleEntry& entry = entries[row];
        const std::optional<int> day = dayFilter(entry.day);
        const std::optional<int> at = secondOfDay(entry.time);
        if (!day || !at)
            continue;
        const qint64 second = range.first + (*at - firstOfDay + kDay) % kDay;
        if (second > range.last || (*day != 0 && weekdayOfWallSecond(second) != *day))
            continue;
        runs.push_back({second, static_cast<int>(row)});
    }
    std::stable_sort(runs.begin(), runs.end(), [](const DueRun& a, const DueRun& b) { return a.second < b.second; });
    return runs;
}

std::optional<qint64> nextDueSecond(const ScheduleEntry& entry, qint64 after)
{
    const std::optional<int> day = dayFilter(entry.day);
    const std::optional<int> at = secondOfDay(entry.time);
    if (!day || !at)
        return std::nullopt;
    qint64 second = after - after % kDay + *at;
    if (second <= after)
        second += kDay;
    while (*day != 0 && weekdayOfWallSecond(second) != *day)
        second += kDay;
    return second;
}

} // namespace plovern
