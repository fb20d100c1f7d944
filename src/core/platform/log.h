#pragma once

#include <QString>

namespace plovern {

// The text with every control character written out (`\n`, `\r`, `\t`,
// `\x1b`, `\u0085`), so that no name read from a drive can start a line of
// its own, move the cursor or colour a terminal. The rest is left exactly.
QString shownText(const QString& text);

// One line on standard error for a failure the program does not show; when
// started from a desktop session it reaches the session's journal. Control
// characters are shown as in shownText.
void logLine(const QString& line);

} // namespace plovern
