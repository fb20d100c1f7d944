#include "core/engine/treedelete.h"

#include <cerrno>
#include <string>
#include <vector>

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include "core/engine/descriptors.h"
#include "core/platform/paths.h"

namespace plovern {

namespace {

// Whether the system refuses to delete or change the entry whatever its
// permissions say (chattr +i, +a).
bool locked(const struct statx& sx)
{
    constexpr auto kLocks = STATX_ATTR_IMMUTABLE | STATX_ATTR_APPEND;
    return (sx.stx_attributes_mask & sx.stx_attributes & kLocks) != 0;
}

// Whether the tree below `dirFd` can be deleted whole: nothing in it immutable
// or append-only, every folder open to changes by this user, and all of it on
// the one file system it started on (a drive mounted inside is not touched).
// A file's own write bit does not matter: its folder's permissions decide.
bool deletable(int dirFd, dev_t device, const std::string& where, std::string* why)
{
    std::vector<Entry> entries;
    if (int error = 0; !listFolder(dirFd, &entries, &error)) {
        *why = where + ": " + errnoText(error);
        return false;
    }
    for (const Entry& entry : entries) {
        const char* name = entry.name.c_str();
        const std::string path = where + "/" + entry.name;
        struct statx sx;
        if (::statx(dirFd, name, AT_SYMLINK_NOFOLLOW | AT_NO_AUTOMOUNT, STATX_TYPE | STATX_MODE, &sx) != 0) {
            *why = path + ": " + errnoText(errno);
            return false;
        }
        if (locked(sx)) {
            *why = path + ": the system protects it from deletion (immutable or append-only); nothing was deleted";
            return false;
        }
        if (!S_ISDIR(sx.stx_mode))
            continue;
        const bool mountRoot = (sx.stx_attributes_mask & sx.stx_attributes & STATX_ATTR_MOUNT_ROOT) != 0;
        if (mountRoot || makedev(sx.stx_dev_major, sx.stx_dev_minor) != device) {
            *why = path + ": another file system is mounted there; nothing was deleted";
            return false;
        }
        Fd child(::openat(dirFd, name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
        if (!child.valid() || ::faccessat(dirFd, name, W_OK | X_OK, 0) != 0) {
            *why = path + ": the folder cannot be changed";
            return false;
        }
        if (!deletable(child.get(), device, path, why))
            return false;
    }
    return true;
}

bool removeBelow(int dirFd, const std::string& where, std::string* why)
{
    std::vector<Entry> entries;
    if (int error = 0; !listFolder(dirFd, &entries, &error)) {
        *why = where + ": " + errnoText(error);
        return false;
    }
    for (const Entry& entry : entries) {
        const char* name = entry.name.c_str();
        bool ok;
        if (entry.type == DT_DIR) {
            Fd child(::openat(dirFd, name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
            ok = child.valid() && removeBelow(child.get(), where + "/" + entry.name, why)
                && ::unlinkat(dirFd, name, AT_REMOVEDIR) == 0;
        } else {
            ok = ::unlinkat(dirFd, name, 0) == 0;
        }
        if (!ok) {
            if (why->empty())
                *why = where + "/" + entry.name + ": " + errnoText(errno);
            return false;
        }
    }
    return true;
}

} // namespace

bool deleteTree(const QString& path, QString* error, const DeleteVeto& veto, bool* deleted)
{
    auto failed = [&](const std::string& why) {
        if (error)
            *error = textOf(why);
        return false;
    };
    auto gone = [&](bool now) {
        if (deleted)
            *deleted = now;
        return true;
    };
    const std::string bytes = bytesOf(path);
    Fd parent(::open(bytesOf(parentPath(path)).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!parent.valid())
        return errno == ENOENT ? gone(false) : failed(bytes + ": " + errnoText(errno));
    const int parentFd = parent.get();
    const std::string name = bytesOf(lastName(path));
    if (name.empty() || name == "." || name == "..")
        return failed(bytes + ": not a folder name");
    Fd dir(::openat(parentFd, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    struct stat st;
    if (!dir.valid()) {
        if (errno == ENOENT)
            return gone(false);
        if (errno == ELOOP || errno == ENOTDIR)
            return failed(bytes + ": not a folder (a link is never deleted through)");
        return failed(bytes + ": " + errnoText(errno));
    }
    if (::fstat(dir.get(), &st) != 0)
        return failed(bytes + ": " + errnoText(errno));
    if (veto) {
        // Judged on what was opened: the folders above resolved as the kernel did.
        const QString real = realPath(QStringLiteral("/proc/self/fd/%1").arg(dir.get()));
        if (const QString why = veto(real.isEmpty() ? path : real); !why.isEmpty())
            return failed(bytesOf(why));
    }
    if (isMountPoint(parentFd, name.c_str()))
        return failed(bytes + ": a file system is mounted there; nothing was deleted");
    struct statx sx;
    if (::statx(parentFd, name.c_str(), AT_SYMLINK_NOFOLLOW, STATX_TYPE, &sx) == 0 && locked(sx))
        return failed(bytes + ": the system protects it from deletion (immutable or append-only)");
    if (::faccessat(parentFd, ".", W_OK | X_OK, 0) != 0 || ::faccessat(parentFd, name.c_str(), W_OK | X_OK, 0) != 0)
        return failed(bytes + ": the folder cannot be changed");
    std::string why;
    if (!deletable(dir.get(), st.st_dev, bytes, &why) || !removeBelow(dir.get(), bytes, &why))
        return failed(why);
    dir.reset();
    if (::unlinkat(parentFd, name.c_str(), AT_REMOVEDIR) != 0)
        return failed(bytes + ": " + errnoText(errno));
    return gone(true);
}

namespace {

bool holdsFilesBelow(int dirFd)
{
    std::vector<Entry> entries;
    if (!listFolder(dirFd, &entries))
        return true;
    for (const Entry& entry : entries) {
        if (entry.type != DT_DIR)
            return true;
        Fd child(::openat(dirFd, entry.name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
        if (!child.valid() || holdsFilesBelow(child.get()))
            return true;
    }
    return false;
}

} // namespace

bool holdsFiles(const QString& path)
{
    Fd dir(::open(bytesOf(path).c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    return !dir.valid() || holdsFilesBelow(dir.get());
}

} // namespace plovern
