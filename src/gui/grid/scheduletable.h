#pragma once

#include <optional>
#include <vector>

#include <QString>

#include "core/schedule/outlook.h"
#include "core/schedule/scheduleentry.h"

namespace plovern {

class FlexGrid;

// The schedule lives in the grid: entries in rows 0 to count - 1, newest on
// top, and one empty end row below them that marks where the entries stop.

inline constexpr char kEntryLabel[] = "Scheduled To Copy";

// Inserts the entry as the new row 0, above everything else.
void insertTop(FlexGrid& grid, const ScheduleEntry& entry);

// Columns 1 to 4 of `row`; throws GridError for a row the grid does not have.
ScheduleEntry readEntry(const FlexGrid& grid, int row);

// Every row above the first blank one: the entries, whatever the count says.
std::vector<ScheduleEntry> readEntries(const FlexGrid& grid);

// The entry count after an entry was added (+1) or removed (-1). A caption
// that is not a count, or would drop below zero, is replaced by the number
// of entry rows the grid holds after the change.
QString adjustedCount(const QString& caption, int delta, const FlexGrid& grid);

// The mark of an entry's row: an icon and the words for its last copy (or
// for an overdue entry), and a tooltip with the last copy and the next due.
void markEntry(FlexGrid& grid, int row, const ScheduleEntry& entry, const Outlook& outlook);

} // namespace plovern
