#pragma once

#include <span>
#include <vector>

#include <QByteArray>

#include "core/schedule/scheduleentry.h"

namespace plovern {

// The schedule file: one entry a line, source, destination, time text and day
// code joined by ",", each line ended by CR LF; no quoting, no header.

// The entries in file order. A line with fewer than four fields gives an
// entry with the fields it has, and the lines after it still load; fields
// past the fourth are ignored; a line that gives no non-empty field (an empty
// line, separators only) is skipped.
std::vector<ScheduleEntry> parseSchedule(const QByteArray& bytes);

QByteArray formatSchedule(std::span<const ScheduleEntry> entries);

} // namespace plovern
