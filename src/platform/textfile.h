#pragma once

#include <optional>

#include <QByteArray>
#include <QList>
#include <QString>

namespace plovern {

// Files are bytes: nothing here re-encodes what it reads or writes.

// The whole file, or nothing when it cannot be opened or read.
std::optional<QByteArray> readFile(const QString& path);

// Replaces the file with `bytes` through a temporary file in the same folder,
// so the old file stays whole unless the new one was written completely.
// On failure returns false and, if given, the reason in `error`.
bool saveFile(const QString& path, const QByteArray& bytes, QString* error = nullptr);

// Appends `bytes` and flushes them to disk, creating the file if it is
// missing. A part-written append is taken back.
bool appendToFile(const QString& path, const QByteArray& bytes, QString* error = nullptr);

} // namespace plovern

namespace plovern {

// The lines of a text file without their ends. A line ends at CR LF, at a lone
// CR or at a lone LF; the last line may lack its end; an empty file has none.
QList<QByteArray> splitLines(const QByteArray& bytes);

// The program's line end, written after every line.
inline constexpr char kLineEnd[] = "\r\n";

} // namespace plovern
