#pragma once

#include <QString>

namespace plovern {

// One scheduled copy: the four texts of a schedule row, kept exactly as typed.
struct ScheduleEntry
{
    QString source;
    QString destination;
    QString time; // e.g. "10:00:00 AM"
    QString day; // "Every" or "1" (Sunday) to "7" (Saturday)

    bool isBlank() const { return source.isEmpty() && destination.isEmpty() && time.isEmpty() && day.isEmpty(); }
    friend bool operator==(const ScheduleEntry&, const ScheduleEntry&) = default;
};

// "Every" stays "Every", "Sunday".."Saturday" give "1".."7", anything else "".
QString dayCode(const QString& dayName);
// Back: "1".."7" give "Sunday".."Saturday"; any other code stays as it is.
QString dayName(const QString& code);

// True for plain decimal digits, the only form an entry count takes.
bool isCount(const QString& text);

} // namespace plovern
