#pragma once

#include <atomic>
#include <string>

#include <sys/stat.h>

#include <QtGlobal>

#include "core/engine/copyjob.h"

namespace plovern {

// How a twin is held against its source on this copy's drives.
struct TwinCheck
{
    long long resolution = 1; // the target drive's time step, ns
    bool owners = false; // the drive keeps owners and the copy sets them, so they must match
    bool modes = true; // the drive keeps modes, so they must match
    long long sourceSlack = 2000000000LL; // see sourceTimeSlack
};

// Whether `twin`, a file an earlier copy wrote while `written`, still holds
// what copying `source` would write now: a regular file of the same size and
// mode, of the same owner and group where the copy keeps them, its
// modification time within the drive's step of the source's; the source's
// change time before that copy's start, less the source drive's slack, and
// the twin's not after its end. Size and time alone are not enough: programs
// put a time back, and two saves within a drive's second look alike (restic
// and borg compare the change time too).
bool unchangedCopy(const struct stat& source, const struct stat& twin, const Written& written, const TwinCheck& check);

// Nanoseconds since the epoch, and how far apart two times are.
long long nanoseconds(const struct timespec& t);
long long timesApart(const struct timespec& a, const struct timespec& b);

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
