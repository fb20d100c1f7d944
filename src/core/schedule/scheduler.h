#pragma once

#include <optional>
#include <span>
#include <vector>

#include <QDateTime>

#include "core/schedule/scheduleentry.h"

namespace plovern {

// Local wall-clock seconds, counted without regard to time zones: a day is
// always 86,400 of them, so a clock that springs forward skips some and one
// that falls back repeats some.
qint64 wallSecond(const QDateTime& localTime);
QDate wallDate(qint64 wallSecond);
QDateTime wallDateTime(qint64 wallSecond);

// The wall-clock seconds one tick evaluates, first to last inclusive.
struct SecondRange
{
    qint64 first = 0;
    qint64 last = -1;
    bool isEmpty() const { return first > last; }
};

// Remembers the last evaluated second, so that a late tick, a skipped tick or
// a tick held up by a long copy still evaluates every second in between.
class SecondCursor
{
public:
    static constexpr qint64 kMaxCatchUp = 24 * 60 * 60;
    static constexpr qint64 kMaxSetBack = 2 * 60 * 60;

    // The seconds after the last evaluated one up to `now`, at most a day's.
    // A clock set back by up to two hours (summer time ending) evaluates
    // again only the seconds it brings back that were not evaluated before
    // (those before the cursor started), so each second of a day is
    // evaluated once; further back, it starts afresh at `now`.
    SecondRange advance(const QDateTime& now);
    // Forget the mark: the next advance evaluates only its own second.
    void reset() { m_mark.reset(); }
    // Take up a mark kept from an earlier run of the program.
    void resume(qint64 mark)
    {
        m_mark = mark;
        m_since = mark;
        m_replayed.reset();
    }
    std::optional<qint64> mark() const { return m_mark; }

private:
    std::optional<qint64> m_mark; // the latest second evaluated
    qint64 m_since = 0; // every second from here to the mark was evaluated
    std::optional<qint64> m_replayed; // the latest second evaluated after a set-back
};

struct DueRun
{
    qint64 second; // wall-clock second it fell due
    int row; // index into the entries
};

// The entries due in `range`, in the order they fell due, rows in table order
// within one second. An entry is due in a second whose clock text equals its
// time text and whose weekday its day code names ("Every" names all seven).
std::vector<DueRun> dueRuns(std::span<const ScheduleEntry> entries, SecondRange range);

// The first wall second after `after` at which the entry falls due, by the
// same rule; none when its time or day names none.
std::optional<qint64> nextDueSecond(const ScheduleEntry& entry, qint64 after);

} // namespace plovern
