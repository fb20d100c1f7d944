#pragma once

#include <atomic>
#include <string>

#include <sys/stat.h>

#include <QtGlobal>

#include "core/engine/copyjob.h"

namespace plovern {

// rsync's quick check: the file `there`, already in the copy, is what copying
// `source` would make (a regular file of the same size, modification time to
// the nanosecond and mode), so it is left as it is.
bool unchangedCopy(const struct stat& source, const struct stat& there);

// Copies the data of the file `in` (of status `st`) into `out`; a file with
// holes keeps them. `progress` grows with every piece written.
bool copyData(int in, int out, const struct stat& st, int* error, std::atomic<quint64>* progress);

// One file of the task's folder into the copy, unless the copy is stopping:
// written under a temporary name when it replaces an earlier copy, with its
// mode, owner, times and attributes, and linked to the first copy of a file
// it is a hard link of.
void copyFile(CopyJob& job, const FileTask& task);

// A symbolic link, copied as a link and never followed.
void copyLink(CopyJob& job, FolderPair& folder, const std::string& name);

} // namespace plovern
