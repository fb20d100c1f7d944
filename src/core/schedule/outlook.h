#pragma once

#include <optional>
#include <span>

#include <QString>

#include "core/schedule/entryresult.h"
#include "core/schedule/scheduleentry.h"

namespace plovern {

// What is known of one entry at the wall second `now`: its last copy, its
// next due second and since when it has had no whole copy though it should.
struct Outlook
{
    std::optional<EntryResult> last;
    std::optional<qint64> next; // none when its time or day names none
    // Its last whole copy (or, with none, its first known copy) is older than
    // its period and a day (Every: two days, one weekday: eight). None while
    // it is not overdue, and for an entry that never copied.
    std::optional<qint64> overdueSince;

    // Its last copy failed, or it is overdue. A copy the program's end
    // stopped is not failed: the next start makes it.
    bool needsLook() const { return (last && last->outcome == Outcome::failed) || overdueSince.has_value(); }
    bool operator==(const Outlook&) const = default;
};

Outlook outlookOf(const ScheduleEntry& entry, std::optional<EntryResult> last, qint64 now);

// Sizes as the program shows them: "41.2 GB".
QString bytesText(quint64 bytes);
// "1 entry", "2 entries".
QString countText(quint64 count, QLatin1StringView one, QLatin1StringView many);
// "1 file", "2 files".
QString filesText(quint64 count);

// A wall second as the program shows it: "Tuesday 8 December 2026 10:00:00 PM".
QString wallText(qint64 second);

// What the entry's last copy came to, in words: "made", "failed"...; "not yet
// made" with none.
QString outcomeWord(const std::optional<EntryResult>& last);

// The last copy in one line: "made Tuesday 8 December 2026 10:00:05 PM, 120
// files, 3.4 MB" and the warning or failure after a colon.
QString lastCopyText(const std::optional<EntryResult>& last);

// The window's title between copies: how many entries need a look, and the
// next copy due ("Plovern - 1 failed - next: Documents, 10:00:00 PM", with
// the weekday when it is not today). `outlooks` holds one per entry.
QString outlookTitle(const QString& title, std::span<const ScheduleEntry> entries, std::span<const Outlook> outlooks,
                     qint64 now);

// What the desktop is told of an overdue entry.
QString overdueText(const ScheduleEntry& entry, qint64 since);

// The entry's line of `plovern --status`.
QString statusLine(const ScheduleEntry& entry, const Outlook& outlook);

} // namespace plovern
