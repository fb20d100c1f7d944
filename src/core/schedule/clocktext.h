#pragma once

#include <optional>

#include <QDate>
#include <QString>
#include <QTime>

namespace plovern {

// The clock text, always "h:mm:ss AM" / "h:mm:ss PM" whatever the locale, so
// that it can equal the time texts "Set Time" composes.
QString clockText(QTime time);

// The second of the day a clock text names; none for any text the clock
// never shows ("09:00:00 AM", "9:0:00 AM", "9:00:00 am"...).
std::optional<int> secondOfDay(const QString& clockText);

// Sunday = 1 ... Saturday = 7.
int weekdayNumber(QDate date);

// Month, day and four-digit year as digits without leading zeros:
// 7 December 2026 gives "1272026".
QString dateStamp(QDate date);
// The stamp with month and day in two digits each ("11012027"), which no
// other day shares; for a copy whose plain name holds another day's copy.
QString paddedDateStamp(QDate date);

} // namespace plovern
