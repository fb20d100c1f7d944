#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

namespace plovern {

// Asks the file system that holds `path` to write everything out to disk, so
// that a copy recorded as made survives a power cut.
bool flushToDisk(const QString& path, QString* error = nullptr);

// The lines of a text file without their ends. A line ends at CR LF, at a lone
// CR or at a lone LF; the last line may lack its end; an empty file has none.
QList<QByteArray> splitLines(const QByteArray& bytes);

// The program's line end, written after every line.
inline constexpr char kLineEnd[] = "\r\n";

} // namespace plovern
