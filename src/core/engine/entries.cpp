#include "core/engine/entries.h"

#include <cerrno>
#include <cstring>

#include <dirent.h>
#include <fcntl.h>

#include "core/platform/paths.h"

namespace plovern {

bool listFolder(int dirFd, std::vector<Entry>* entries, int* error)
{
    // The listing runs over a duplicate descriptor, which shares its position
    // with the original: start from the top whatever an earlier listing left.
    Fd listFd(::dup(dirFd));
    DIR* dir = listFd.valid() ? ::fdopendir(listFd.get()) : nullptr;
    if (!dir) {
        if (error)
            *error = errno;
        return false;
    }
    listFd.release();
    ::rewinddir(dir);
    while (const dirent* entry = ::readdir(dir)) {
        const char* name = entry->d_name;
        if (std::strcmp(name, ".") == 0 || std::strcmp(name, "..") == 0)
            continue;
        unsigned char type = entry->d_type;
        if (type == DT_UNKNOWN) {
            struct stat st;
            if (::fstatat(dirFd, name, &st, AT_SYMLINK_NOFOLLOW) == 0)
                type = IFTODT(st.st_mode);
        }
        entries->push_back({name, type});
    }
    ::closedir(dir);
    return true;
}

bool isMountPoint(int dirFd, const char* name)
{
    struct statx sx;
    if (::statx(dirFd, name, AT_SYMLINK_NOFOLLOW | AT_NO_AUTOMOUNT, STATX_BASIC_STATS, &sx) != 0)
        return false;
    return (sx.stx_attributes_mask & STATX_ATTR_MOUNT_ROOT) != 0 && (sx.stx_attributes & STATX_ATTR_MOUNT_ROOT) != 0;
}

} // namespace plovern
