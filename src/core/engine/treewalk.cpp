#include "core/engine/treewalk.h"

#include <cerrno>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <dirent.h>
#include <fcntl.h>
#include <sys/xattr.h>
#include <unistd.h>

#include "core/engine/filecopy.h"

namespace plovern {

namespace {

// Folders whose files are still being copied; past this the walker helps copy
// before it opens another, which bounds the descriptors a copy holds.
constexpr int kMaxOpenFolders = 64;
// Levels of the walk that keep their folders open; deeper ones are reopened
// through a child's "..", so depth costs no descriptors.
constexpr size_t kHeldLevels = 8;

// Walks the source tree depth first without recursion. Each level lists its
// folder whole, hands its files to the workers and makes its sub-folders
// before the walk goes down, so a level needs its folder open again only to
// open the next sub-folder.
class Walker
{
public:
    Walker(CopyJob& job, TaskQueue& queue)
        : m_job(job)
        , m_queue(queue)
    {
    }

    bool prepareRoot(int src, int dst, const struct stat& srcSt, const struct stat& dstSt, const PathNode& root)
    {
        return prepareFolder(src, dst, srcSt, dstSt, root);
    }

    void walk(FolderRef root, const struct stat& srcSt, const struct stat& dstSt, bool merging)
    {
        m_levels.push_back(Level{});
        enter(std::move(root), srcSt, dstSt, merging);
        while (!m_levels.empty() && !m_job.stopping()) {
            Level& level = m_levels.back();
            if (level.next < level.subfolders.size()) {
                const Subfolder& sub = level.subfolders[level.next++];
                descend(level, sub);
            } else {
                ascend();
            }
        }
    }

private:
    struct Subfolder
    {
        std::string name;
        bool existed;
    };
    struct Level
    {
        PathRef node;
        FolderRef pair; // while held
        Fd src; // when reopened
        Fd dst;
        FileId srcId;
        FileId dstId;
        std::vector<Subfolder> subfolders;
        size_t next = 0;
        int srcFd() const { return pair ? pair->src() : src.get(); }
        int dstFd() const { return pair ? pair->dst() : dst.get(); }
    };

    // The first visit of the folder at the top: its files go to the workers,
    // its links and sub-folders are made.
    void enter(FolderRef pair, const struct stat& srcSt, const struct stat& dstSt, bool merging)
    {
        Level& level = m_levels.back();
        level.node = pair->node();
        level.srcId = FileId::of(srcSt);
        level.dstId = FileId::of(dstSt);
        level.pair = pair;
        std::vector<Entry> entries;
        if (int error = 0; !listFolder(pair->src(), &entries, &error)) {
            m_job.fail(level.node->path(), "cannot list: " + errnoText(error));
            return;
        }
        if (merging)
            removeStaleTemps(pair->dst());
        for (Entry& entry : entries) {
            switch (entry.type) {
            case DT_DIR:
                if (const std::optional<bool> existed = makeSubfolder(*pair, entry.name))
                    level.subfolders.push_back({std::move(entry.name), *existed});
                break;
            case DT_REG:
                // Claimed here, in the source folder's order, so that every
                // copy keeps the same one of two names a drive takes for one.
                if (pair->claim(entry.name))
                    m_queue.push({pair, std::move(entry.name)});
                break;
            case DT_LNK:
                copyLink(m_job, *pair, entry.name);
                break;
            case DT_UNKNOWN:
                m_job.warn(Warning::Vanished);
                break;
            default:
                break; // FIFOs, sockets and devices are not copied
            }
        }
    }

    // Makes the copy of the sub-folder `name`; whether it was there before, or
    // nothing when it is not to be walked.
    std::optional<bool> makeSubfolder(FolderPair& parent, const std::string& name)
    {
        struct stat st;
        if (::fstatat(parent.src(), name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0 || !S_ISDIR(st.st_mode)) {
            m_job.warn(Warning::Vanished);
            return std::nullopt;
        }
        if (m_job.isTarget(st)) {
            // The target reached through a bind mount or another path: copying
            // it would copy the copy into itself without end.
            m_job.warn(Warning::OwnCopy);
            return std::nullopt;
        }
        if (!parent.claim(name))
            return std::nullopt;
        // What an earlier copy left under this name must be a folder; opening it tells.
        const bool created = ::mkdirat(parent.dst(), name.c_str(), S_IRWXU) == 0;
        if (!created && errno != EEXIST) {
            m_job.fail(parent.child(name), "cannot create the folder in the copy: " + errnoText(errno));
            return std::nullopt;
        }
        return !created;
    }

    void descend(Level& level, const Subfolder& sub)
    {
        // Each pair holds two descriptors: let the copies catch up first.
        FileTask task;
        while (m_job.openFolders.load() >= kMaxOpenFolders && m_queue.pop(&task, false)) {
            copyFile(m_job, task);
            task = {};
        }
        auto node = std::make_shared<const PathNode>(level.node, sub.name);
        const auto path = [&node] { return node->path(); };
        Fd src(::openat(level.srcFd(), sub.name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
        struct stat srcSt;
        if (!src.valid() || ::fstat(src.get(), &srcSt) != 0) {
            m_job.unreadable(path(), "cannot open folder", errno);
            return;
        }
        if (m_job.isTarget(srcSt)) {
            m_job.warn(Warning::OwnCopy);
            return;
        }
        Fd dst(::openat(level.dstFd(), sub.name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
        struct stat dstSt;
        if (!dst.valid() || ::fstat(dst.get(), &dstSt) != 0) {
            m_job.fail(path(), "cannot open the folder in the copy: " + errnoText(errno));
            return;
        }
        if (!prepareFolder(src.get(), dst.get(), srcSt, dstSt, *node))
            return;
        if (std::atomic<quint64>* progress = m_job.progress())
            ++*progress;
        auto pair = std::make_shared<FolderPair>(m_job, std::move(src), std::move(dst), std::move(node), srcSt);
        const bool merging = sub.existed;
        if (m_levels.size() >= kHeldLevels) {
            level.pair.reset();
            level.src.reset();
            level.dst.reset();
        }
        m_levels.push_back(Level{}); // `level` and `sub` may move
        enter(std::move(pair), srcSt, dstSt, merging);
    }

    // Back to the level above, reopening its folders when they were let go.
    // A level is reopened even when it has no sub-folder left, as its own
    // parent may still need to be reached through it.
    void ascend()
    {
        Level child = std::move(m_levels.back());
        m_levels.pop_back();
        if (m_levels.empty())
            return;
        Level& level = m_levels.back();
        if (level.srcFd() >= 0)
            return;
        if (reopen(level, child.srcFd(), child.dstFd(), "..") || reopenFromAbove())
            return;
        m_job.fail(level.node->path(), "the folder was moved during the copy; the rest of it was not copied");
        level.next = level.subfolders.size();
        level.src.reset();
        level.dst.reset();
    }

    // Opens `name` in the folders `src` and `dst` as the level's folders;
    // true when they are the ones the level first opened.
    static bool reopen(Level& level, int src, int dst, const char* name)
    {
        if (src < 0 || dst < 0)
            return false;
        level.src.reset(::openat(src, name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
        level.dst.reset(::openat(dst, name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
        struct stat srcSt;
        struct stat dstSt;
        return level.src.valid() && level.dst.valid() && ::fstat(level.src.get(), &srcSt) == 0
            && ::fstat(level.dst.get(), &dstSt) == 0 && FileId::of(srcSt) == level.srcId
            && FileId::of(dstSt) == level.dstId;
    }

    // The child that came back was moved away, so its ".." leads elsewhere:
    // reopen the top level by name from the nearest level still open.
    bool reopenFromAbove()
    {
        size_t open = m_levels.size() - 1;
        while (open > 0 && m_levels[open].srcFd() < 0)
            --open;
        for (size_t at = open + 1; at < m_levels.size(); ++at) {
            Level& above = m_levels[at - 1];
            Level& level = m_levels[at];
            if (!reopen(level, above.srcFd(), above.dstFd(), level.node->name.c_str()))
                return false;
            if (at - 1 > open) { // only the top level stays open
                above.src.reset();
                above.dst.reset();
            }
        }
        return true;
    }

    // The copy's folder takes the source's owner and attributes; an earlier
    // copy of a read-only folder is opened up for writing (its pair gives it
    // its mode back).
    bool prepareFolder(int src, int dst, const struct stat& srcSt, const struct stat& dstSt, const PathNode& node)
    {
        if ((dstSt.st_mode & S_IRWXU) != S_IRWXU && ::fchmod(dst, dstSt.st_mode | S_IRWXU) != 0) {
            m_job.fail(node.path(), "cannot open the earlier copy of the folder for writing: " + errnoText(errno));
            return false;
        }
        if (m_job.runsAsRoot() && (srcSt.st_uid != dstSt.st_uid || srcSt.st_gid != dstSt.st_gid))
            m_job.kept(::fchown(dst, srcSt.st_uid, srcSt.st_gid), Warning::Owners);
        // The ACLs a folder took from its parent's default ACL are not the source's.
        for (const char* acl : {kAccessAcl, kDefaultAcl}) {
            if (::fgetxattr(dst, acl, nullptr, 0) >= 0 && ::fgetxattr(src, acl, nullptr, 0) < 0)
                ::fremovexattr(dst, acl);
        }
        m_job.copyAttributes(src, dst);
        return true;
    }

    // A copy killed before it ended leaves its temporary files; the next copy
    // into the same folder removes them, and only them.
    static void removeStaleTemps(int dst)
    {
        std::vector<Entry> entries;
        if (!listFolder(dst, &entries))
            return;
        for (const Entry& entry : entries) {
            if (entry.type == DT_REG && isStaleTemp(entry.name.c_str()))
                ::unlinkat(dst, entry.name.c_str(), 0);
        }
    }

    CopyJob& m_job;
    TaskQueue& m_queue;
    std::vector<Level> m_levels;
};

} // namespace

bool walkTree(CopyJob& job, TaskQueue& queue, Fd src, Fd dst, const struct stat& srcSt, const struct stat& dstSt,
              bool merging)
{
    Walker walker(job, queue);
    auto rootNode = std::make_shared<const PathNode>(nullptr, std::string());
    if (!walker.prepareRoot(src.get(), dst.get(), srcSt, dstSt, *rootNode))
        return false;
    auto root = std::make_shared<FolderPair>(job, std::move(src), std::move(dst), std::move(rootNode), srcSt);
    walker.walk(std::move(root), srcSt, dstSt, merging);
    return true;
}

} // namespace plovern
