#pragma once

#include <QString>

#include "core/schedule/scheduleentry.h"

namespace plovern {

// What "Set Time" reads from the editing controls.
struct EditorFields
{
    QString source;
    QString destination;
    QString hour;
    QString minute;
    QString second;
    QString half; // "AM" or "PM"
    QString day;
};

// The message for the first field that cannot be used, or an empty text when
// the entry can be added. Empty fields come first, in the order of the controls;
// then folder paths that the schedule file could not hold (a "," would split
// the line into extra fields, a line break into extra lines).
QString refusal(const EditorFields& fields);

// "h:mm:ss AM" from the four time lists, joined as they are.
QString composeTimeText(const EditorFields& fields);

// The seven lines of the review box.
QString reviewText(const ScheduleEntry& entry);

} // namespace plovern
