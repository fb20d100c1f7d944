#pragma once

#include <optional>

#include <QByteArray>
#include <QDateTime>

namespace plovern {

// The last second the scheduler evaluated, kept across runs so that what
// fell due while the program was not running is caught up: the local date
// and time as ISO 8601 text, then CR LF ("2026-12-07T09:00:00").
QByteArray formatLastTick(const QDateTime& second);
// Nothing for text that is not such a time.
std::optional<QDateTime> parseLastTick(const QByteArray& bytes);

} // namespace plovern
