#pragma once

#include <QString>

namespace plovern {

// One line on standard error for a failure the program does not show; when
// started from a desktop session it reaches the session's journal.
void logLine(const QString& line);

} // namespace plovern
