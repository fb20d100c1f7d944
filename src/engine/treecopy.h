#pragma once

#include <QString>
#include <QStringList>

namespace plovern {

// Copies the folder tree at `source` into the folder `target`, creating the
// target folder itself (never its parents) or merging into it if it exists.
// Files already at the target are replaced whole: each is written under a
// temporary name and renamed over the old one once complete. Permission bits
// and modification times are kept; symbolic links are copied as links and
// never followed; FIFOs, sockets and devices are skipped, never opened.
// A file that fails does not stop the rest of the tree. Files are copied on
// `threads` worker threads besides the one walking the tree. Returns one
// line per failure; an empty list means the whole tree was copied.
QStringList copyTree(const QString& source, const QString& target, int threads = 2);

enum class DeleteOutcome { Deleted, Missing, Failed };

// Deletes the folder at `path` with everything below it. A tree holding a
// read-only file, or a folder the user may not change, is left whole and
// fails, as does a path that is not a folder (a link to one included).
DeleteOutcome deleteTree(const QString& path, QString* error = nullptr);

} // namespace plovern

namespace plovern {

// Asks the file system that holds `path` to write everything out to disk, so
// that a copy recorded as made survives a power cut.
bool flushToDisk(const QString& path, QString* error = nullptr);

} // namespace plovern
