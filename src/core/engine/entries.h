#pragma once

// The entries of a tree as the copy and the deletion walk them: a file's
// identity, a folder's listing, a file system mounted within it.

#include <string>
#include <utility>
#include <vector>

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QString>

#include "core/platform/fd.h"
#include "core/platform/paths.h"

namespace plovern {

struct FileId
{
    dev_t dev = 0;
    ino_t ino = 0;
    static FileId of(const struct stat& st) { return {st.st_dev, st.st_ino}; }
    bool operator==(const FileId&) const = default;
    bool operator<(const FileId& other) const { return dev != other.dev ? dev < other.dev : ino < other.ino; }
};

struct Entry
{
    std::string name;
    unsigned char type; // a DT_ value; DT_UNKNOWN only for an entry that vanished
};

// The entries of the folder open at `dirFd`, "." and ".." left out. The
// listing is closed before the caller goes on, so a walk holds no listing open
// while it descends.
bool listFolder(int dirFd, std::vector<Entry>* entries, int* error = nullptr);

// Whether a mount of its own starts at `name` (a bind mount of the same file
// system included, which has the same device number).
bool isMountPoint(int dirFd, const char* name);

} // namespace plovern
