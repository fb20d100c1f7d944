#pragma once

#include <QString>

namespace plovern {

// What an entry's last copy came to, as the window's rows and --status tell it.
enum class Outcome { made, warned, failed, stopped };

// The last copy of one entry, which the schedule names by its source and
// destination texts: entries with the same two make the same copies. Times
// are wall-clock seconds (see wallSecond).
struct EntryResult
{
    QString source;
    QString destination;
    Outcome outcome = Outcome::made;
    qint64 at = 0; // when the last copy ended
    quint64 files = 0;
    quint64 bytes = 0; // written
    QString line = {}; // the warning or the failure, one line
    qint64 lastWhole = 0; // when the last whole copy ended; 0 when none is known
    qint64 since = 0; // when the first copy known here ended
    quint64 fullBytes = 0; // what a full copy wrote, as of the last whole copy; 0 when not known

    bool operator==(const EntryResult&) const = default;
};

// Whether a copy with this outcome is whole: made, with or without warnings.
inline bool isWhole(Outcome outcome)
{
    return outcome == Outcome::made || outcome == Outcome::warned;
}

} // namespace plovern
