#include "core/engine/treedelete.h"

#include <cerrno>
#include <string>
#include <vector>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include "core/engine/entries.h"
#include "core/platform/ownfolder.h"
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

// What the walk below does with one entry of the folder open at `dirFd`.
enum class Step { Next, Enter, Stop };

// Walks the tree below the folder `root` depth first, without recursion, so a
// chain of any depth costs memory in proportion to its depth and no stack.
// `entry` decides for each entry; a folder it enters is opened without
// following a link, and `leave` is told when all below it is through, with
// its parent open. Only the top levels stay open; deeper ones are let go and
// reopened through "..", checked to be the same folder. False, with `why`,
// when a callback stopped the walk or a folder could not be listed or reached.
class BelowWalk
{
public:
    BelowWalk(std::string where, std::string* why)
        : m_where(std::move(where))
        , m_why(why)
    {
    }

    template <typename EntryStep, typename Leave>
    bool run(int root, EntryStep entry, Leave leave)
    {
        if (!enter(Fd(::dup(root)), std::string()))
            return false;
        while (true) {
            Level& top = m_levels.back();
            if (top.next < top.entries.size()) {
                const Entry& next = top.entries[top.next++];
                const Step step = entry(top.fd.get(), next, [&] { return pathOf(next.name); });
                if (step == Step::Stop)
                    return false;
                if (step == Step::Enter
                    && !enter(
                        Fd(::openat(top.fd.get(), next.name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC)),
                        next.name))
                    return false;
                continue;
            }
            if (m_levels.size() == 1)
                return true;
            std::string left;
            if (!climb(&left) || !leave(m_levels.back().fd.get(), left, [&] { return pathOf(left); }))
                return false;
        }
    }

private:
    static constexpr size_t kHeld = 16;
    struct Level
    {
        Fd fd;
        FileId id;
        std::string name;
        std::vector<Entry> entries;
        size_t next = 0;
    };

    std::string pathOf(const std::string& name) const
    {
        std::string path = m_where;
        for (size_t at = 1; at < m_levels.size(); ++at)
            path += "/" + m_levels[at].name;
        return name.empty() ? path : path + "/" + name;
    }

    bool enter(Fd fd, std::string name)
    {
        struct stat st;
        std::vector<Entry> entries;
        int error = 0;
        if (!fd.valid() || ::fstat(fd.get(), &st) != 0 || !listFolder(fd.get(), &entries, &error)) {
            *m_why = pathOf(name) + ": " + errnoText(error ? error : errno);
            return false;
        }
        m_levels.push_back({std::move(fd), FileId::of(st), std::move(name), std::move(entries)});
        if (m_levels.size() > kHeld)
            m_levels[m_levels.size() - 1 - kHeld].fd.reset();
        return true;
    }

    // Back up to the parent of a folder that is through, reopened through
    // ".." where it was let go: `left` names the folder.
    bool climb(std::string* left)
    {
        Level done = std::move(m_levels.back());
        m_levels.pop_back();
        Level& parent = m_levels.back();
        if (!parent.fd.valid()) {
            parent.fd.reset(::openat(done.fd.get(), "..", O_RDONLY | O_DIRECTORY | O_CLOEXEC));
            struct stat st;
            if (!parent.fd.valid() || ::fstat(parent.fd.get(), &st) != 0 || FileId::of(st) != parent.id) {
                *m_why = pathOf(std::string()) + ": the folder was moved meanwhile";
                return false;
            }
        }
        *left = std::move(done.name);
        return true;
    }

    std::string m_where;
    std::string* m_why;
    std::vector<Level> m_levels;
};

template <typename EntryStep, typename Leave>
bool walkBelow(int root, const std::string& where, std::string* why, EntryStep entry, Leave leave)
{
    return BelowWalk(where, why).run(root, entry, leave);
}

// Whether the tree below `dirFd` can be deleted whole: nothing in it immutable
// or append-only, every folder open to changes by this user, and all of it on
// the one file system it started on (a drive mounted inside is not touched).
// A file's own write bit does not matter: its folder's permissions decide.
bool deletable(int dirFd, dev_t device, const std::string& where, std::string* why)
{
    const auto check = [&](int folder, const Entry& entry, const auto& path) {
        const char* name = entry.name.c_str();
        struct statx sx;
        if (::statx(folder, name, AT_SYMLINK_NOFOLLOW | AT_NO_AUTOMOUNT, STATX_TYPE | STATX_MODE, &sx) != 0) {
            *why = path() + ": " + errnoText(errno);
            return Step::Stop;
        }
        if (locked(sx)) {
            *why = path() + ": the system protects it from deletion (immutable or append-only); nothing was deleted";
            return Step::Stop;
        }
        if (!S_ISDIR(sx.stx_mode))
            return Step::Next;
        const bool mountRoot = (sx.stx_attributes_mask & sx.stx_attributes & STATX_ATTR_MOUNT_ROOT) != 0;
        if (mountRoot || makedev(sx.stx_dev_major, sx.stx_dev_minor) != device) {
            *why = path() + ": another file system is mounted there; nothing was deleted";
            return Step::Stop;
        }
        if (::faccessat(folder, name, W_OK | X_OK, 0) != 0) {
            *why = path() + ": the folder cannot be changed";
            return Step::Stop;
        }
        return Step::Enter;
    };
    return walkBelow(dirFd, where, why, check, [](int, const std::string&, const auto&) { return true; });
}

bool removeBelow(int dirFd, const std::string& where, std::string* why, const std::function<bool()>& stop)
{
    const auto remove = [&](int folder, const Entry& entry, const auto& path) {
        if (stop && stop()) {
            *why = where + ": stopped as the program ended";
            return Step::Stop;
        }
        if (entry.type == DT_DIR)
            return Step::Enter;
        if (::unlinkat(folder, entry.name.c_str(), 0) == 0)
            return Step::Next;
        *why = path() + ": " + errnoText(errno);
        return Step::Stop;
    };
    const auto removeFolder = [&](int parent, const std::string& name, const auto& path) {
        if (::unlinkat(parent, name.c_str(), AT_REMOVEDIR) == 0)
            return true;
        *why = path() + ": " + errnoText(errno);
        return false;
    };
    return walkBelow(dirFd, where, why, remove, removeFolder);
}

} // namespace

bool deleteTree(const QString& path, QString* error, const DeleteVeto& veto, bool* deleted,
                const std::function<bool()>& stop)
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
    // Never through a link another user could have placed on the way.
    QString refused;
    Fd parent(openFolderJudged(pathBytes(parentPath(path)), &refused));
    if (!parent.valid())
        return errno == ENOENT ? gone(false) : failed(bytesOf(refused));
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
    // A copy writing there holds it locked (another install, another user's program).
    if (::flock(dir.get(), LOCK_EX | LOCK_NB) != 0 && errno == EWOULDBLOCK)
        return failed(bytes + ": a copy is writing into it now; nothing was deleted");
    if (veto) {
        // Judged on what was opened: the folders above resolved as the kernel did.
        const QString real = realPath(QStringLiteral("/proc/self/fd/%1").arg(dir.get()));
        if (const QString why = veto(real.isEmpty() ? path : real, dir.get(), st); !why.isEmpty())
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
    if (!deletable(dir.get(), st.st_dev, bytes, &why) || !removeBelow(dir.get(), bytes, &why, stop))
        return failed(why);
    dir.reset();
    if (::unlinkat(parentFd, name.c_str(), AT_REMOVEDIR) != 0)
        return failed(bytes + ": " + errnoText(errno));
    return gone(true);
}

bool holdsFiles(const QString& path)
{
    Fd dir(::open(bytesOf(path).c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    if (!dir.valid())
        return true;
    bool found = false;
    std::string why;
    const auto look = [&](int, const Entry& entry, const auto&) {
        found = entry.type != DT_DIR;
        return found ? Step::Stop : Step::Enter;
    };
    // A folder that cannot be read counts as holding files.
    return !walkBelow(dir.get(), bytesOf(path), &why, look, [](int, const std::string&, const auto&) { return true; })
        || found;
}

} // namespace plovern
