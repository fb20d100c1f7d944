#pragma once

#include <optional>

#include <QtGlobal>

namespace plovern {

// The catch-up mark: the last wall-clock second the scheduler evaluated,
// kept in a file so that what fell due while the program was not running
// (the machine off, asleep, the user logged out) is made at the next start.

// Besides when a copy finishes and at close, the mark is kept this often.
inline constexpr qint64 kKeepMarkEvery = 60 * 60;

// Where the scheduler takes up after a start: the kept mark, when it lies
// before `now` and less than a day back; otherwise nothing, and only what
// falls due from now on is made.
std::optional<qint64> resumeFrom(qint64 keptMark, qint64 now);

// The mark that may be kept: never past a second whose copy has not
// finished, so a copy cut short by a crash or a power cut runs again at the
// next start. Nothing while nothing was evaluated.
std::optional<qint64> markToKeep(std::optional<qint64> evaluated, std::optional<qint64> oldestPending);

} // namespace plovern
