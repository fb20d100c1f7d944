#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

namespace plovern {

// Files are bytes: nothing here re-encodes what it reads or writes.

// The whole file into `bytes`.
bool readFile(const QString& path, QByteArray* bytes, QString* error = nullptr);

// Replaces the file with `bytes` through a temporary file in the same folder,
// so the old file stays whole unless the new one was written completely.
// On failure returns false and, if given, the reason in `error`.
bool saveFile(const QString& path, const QByteArray& bytes, QString* error = nullptr);

// Appends `bytes` and flushes them to disk, creating the file if it is
// missing. A part-written append is taken back.
bool appendToFile(const QString& path, const QByteArray& bytes, QString* error = nullptr);

// Asks the file system that holds `path` to write everything out to disk, so
// that a copy recorded as made survives a power cut.
bool flushToDisk(const QString& path, QString* error = nullptr);

} // namespace plovern

namespace plovern {

// The lines of a text file without their ends. A line ends at CR LF, at a lone
// CR or at a lone LF; the last line may lack its end; an empty file has none.
QList<QByteArray> splitLines(const QByteArray& bytes);

// The program's line end, written after every line.
inline constexpr char kLineEnd[] = "\r\n";

} // namespace plovern
