#pragma once

#include <functional>

#include <QString>

#include <sys/stat.h>

namespace plovern {

// Answers, for the real path of a folder about to be deleted, open as `fd`
// with the status `st`, why it must not be; empty when it may.
using DeleteVeto = std::function<QString(const QString& realPath, int fd, const struct stat& st)>;

// Deletes the folder at `path` with everything below it. Its last name is
// opened without following a link, so a link is never deleted through; the
// folders above it are resolved, and `veto` judges the real path of what is
// about to be deleted. A tree holding what the system protects from deletion
// (an immutable or append-only entry, a folder the user may not change) or
// another mounted file system is left whole and fails; a file's own write
// bit protects nothing, as its folder's permissions decide. True when the
// folder is gone; `deleted` tells whether it was there to delete.
// `stop`, when given, is asked before each entry: once it says so, the rest stays.
bool deleteTree(const QString& path, QString* error = nullptr, const DeleteVeto& veto = {}, bool* deleted = nullptr,
                const std::function<bool()>& stop = {});

// Whether anything but folders lies below the folder at `path`; links are
// not followed. A folder that cannot be read counts as holding files.
bool holdsFiles(const QString& path);

} // namespace plovern
