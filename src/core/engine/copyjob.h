#pragma once

// Private to the copy engine (src/core/engine/): nothing outside that folder includes it.

// What the threads of one copy share: the job with its counts, failures and
// warnings, and the folders being copied.

#include <array>
#include <atomic>
#include <cerrno>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <unordered_map>
#include <vector>

#include <sys/stat.h>
#include <unistd.h>

#include <QString>

#include "core/engine/copytypes.h"
#include "core/engine/drivehabits.h"
#include "core/engine/entries.h"

namespace plovern {

inline constexpr char kAccessAcl[] = "system.posix_acl_access";
inline constexpr char kDefaultAcl[] = "system.posix_acl_default";

// What a copy warns of, one line a kind however many entries it concerns.
enum class Warning {
    Modes,
    Owners,
    Times,
    Attributes,
    HardLinks,
    SymLinks,
    LinkOwnersAndTimes,
    Vanished,
    ChangedWhileCopied,
    TimesReset,
    ReferenceUnreadable,
    OwnCopy,
    Kinds
};

QString warningText(Warning kind, int count);

// What every worker of one copy shares.
class CopyJob
{
public:
    CopyJob(std::string sourceRoot, int targetRootFd, FileId target);

    // `path` is relative to the source root; the line names the source file.
    void fail(const std::string& path, const std::string& why)
    {
        std::lock_guard lock(m_mutex);
        if (m_failures++ == 0)
            m_firstFailure = textOf(sourcePath(path) + ": " + why);
    }
    void warn(Warning kind) { ++m_warnings[size_t(kind)]; }
    // An entry of the source that could not be read for `error`: one gone
    // since its folder was listed is a warning, any other a failure.
    void unreadable(const std::string& path, const std::string& what, int error)
    {
        if (error == ENOENT)
            warn(Warning::Vanished);
        else
            fail(path, what + ": " + errnoText(error));
    }
    // Whether a metadata change went through. Once the data is written, one
    // the drive refuses is a warning of `kind`, whatever its errno: drives
    // answer EPERM (FAT), ENOTSUP, ENOSYS or EACCES (sshfs) alike.
    bool kept(int result, Warning kind)
    {
        if (result == 0)
            return true;
        warn(kind);
        return false;
    }

    std::string sourcePath(const std::string& path) const
    {
        return path.empty() ? m_sourceRoot : m_sourceRoot + "/" + path;
    }
    std::string tempName()
    {
        return kTempPrefix + std::to_string(::getpid()) + "-" + std::to_string(m_nextTemp++) + kTempSuffix;
    }
    mode_t umask() const { return m_umask; }
    bool runsAsRoot() const { return m_runsAsRoot; }
    // Whether a file made by this process has another owner than `st`.
    bool ownerDiffers(const struct stat& st) const { return st.st_uid != 0 || st.st_gid != m_gid; }
    int targetRootFd() const { return m_targetRootFd; }
    bool isTarget(const struct stat& st) const { return FileId::of(st) == m_target; }
    bool foldsCase() const { return m_habits.foldsCase; }
    const DriveHabits& habits() const { return m_habits; }
    // Whether the walk ends here: the program ends, or the drive is full.
    bool stopping() const { return endsProgram() || m_outOfRoom.load(std::memory_order_relaxed); }
    bool endsProgram() const { return m_control && m_control->stop.load(std::memory_order_relaxed); }
    void setControl(CopyControl* control) { m_control = control; }
    // A file in the copy, of `size` bytes, of which `written` were written now.
    void countFile(quint64 written, quint64 size)
    {
        ++m_files;
        m_bytes += written;
        m_blockBytes += inBlocks(size);
        if (m_control) {
            ++m_control->files;
            ++m_control->progress;
        }
    }
    std::atomic<quint64>* progress() const { return m_control ? &m_control->progress : nullptr; }

    void setHabits(const DriveHabits& habits) { m_habits = habits; }

    // Whether the drive holding `dirFd` takes `a` and `b` for one name.
    bool driveFolds(int dirFd, const std::string& a, const std::string& b)
    {
        const std::string stem = kTempPrefix + std::to_string(::getpid()) + "-" + std::to_string(m_nextTemp++) + "-";
        return plovern::driveFolds(dirFd, stem, a, b);
    }

    void copyAttributes(int from, int to);

    // Files may be cloned from the earlier copy at `root`, written while
    // `written`, from now on.
    void setReference(Fd root, CloneCall clone, Written written);
    const Written& referenceWritten() const { return m_referenceWritten; }
    // The earlier copy of the day that wrote the target folder, if known.
    void setMerged(Written written) { m_merged = written; }
    void setSourceSlack(long long nanoseconds) { m_sourceSlack = nanoseconds; }
    const Written& merged() const { return m_merged; }
    // Whether `twin`, written by an earlier copy while `written`, still
    // stands for the source file of status `source`.
    bool standsFor(const struct stat& source, const struct stat& twin, const Written& written) const;
    bool cloning() const { return m_cloning.load(std::memory_order_relaxed); }
    // The regular file at `path` (relative to the roots) in the reference,
    // reached without a link and without leaving its drive; or nothing.
    Fd openReference(const std::string& path, struct stat* st);
    // Whether `out` now shares the blocks of `in`. A drive that cannot share
    // turns cloning off; a reference it cannot read is a warning.
    bool clone(int out, int in);
    void countShared(quint64 bytes)
    {
        ++m_sharedFiles;
        m_sharedBytes += bytes;
    }

    CopyReport report();

    // The copy never takes the drive below `margin` free (`free` now): each
    // file takes its room before a byte of it is written, and gives back
    // what it did not use. The drive is asked again each time half of what
    // was left is taken, so another program's writes are seen too. A file
    // that would not fit stops the copy at that file.
    void setRoom(quint64 free, quint64 margin);
    bool takeRoom(quint64 bytes);
    void giveRoom(quint64 bytes);
    // Once the copy stopped for room: what it needed at least, and the room there was.
    bool outOfRoom() const { return m_outOfRoom.load(); }
    quint64 roomNeeded() const { return m_roomNeeded; }
    quint64 roomFree() const { return m_roomFree; }

    static constexpr char kTempPrefix[] = ".plovern-";
    static constexpr char kTempSuffix[] = ".part";

    std::atomic<int> openFolders{0};
    // Hard-linked files: the first copy of each, relative to the target root.
    // Held while a hard-linked file is copied, so its other names wait for it.
    std::mutex linkMutex;
    std::map<FileId, std::string> linked;

private:
    std::string m_sourceRoot;
    int m_targetRootFd;
    FileId m_target;
    mode_t m_umask;
    bool m_runsAsRoot;
    gid_t m_gid;
    DriveHabits m_habits;
    CopyControl* m_control = nullptr;
    std::atomic<quint64> m_files{0};
    std::atomic<quint64> m_bytes{0};
    std::atomic<quint64> m_blockBytes{0};
    std::atomic<unsigned> m_nextTemp{0};
    std::atomic<bool> m_sourceHasAttributes{true};
    Fd m_reference;
    CloneCall m_clone;
    Written m_referenceWritten;
    Written m_merged;
    long long m_sourceSlack = 2000000000LL;
    std::atomic<bool> m_cloning{false};
    std::atomic<bool> m_cloneWorks{false};
    std::mutex m_cloneTrial;
    std::atomic<quint64> m_sharedFiles{0};
    std::atomic<quint64> m_sharedBytes{0};
    std::mutex m_roomMutex;
    bool m_roomKnown = false;
    quint64 m_roomFree = 0;
    quint64 m_roomMargin = 0;
    quint64 m_roomTaken = 0; // since the drive was last asked
    quint64 m_roomInFlight = 0; // by files being written now
    quint64 m_roomNeeded = 0;
    std::atomic<bool> m_outOfRoom{false};
    std::array<std::atomic<int>, size_t(Warning::Kinds)> m_warnings{};
    std::mutex m_mutex;
    int m_failures = 0;
    QString m_firstFailure;
};

// Where a folder lies below the roots: its name and the node of the folder
// above it, so that a chain of any depth costs memory in proportion to its
// depth, not its square, and its path is spelled out only when needed.
struct PathNode
{
    PathNode(std::shared_ptr<const PathNode> up, std::string folderName)
        : parent(std::move(up))
        , name(std::move(folderName))
    {
    }
    // Lets go of the chain above one node at a time: a 100,000-deep chain
    // must not recurse.
    ~PathNode();
    PathNode(const PathNode&) = delete;
    PathNode& operator=(const PathNode&) = delete;

    // The path relative to the roots; "" for the roots themselves.
    std::string path() const;
    std::string child(const std::string& childName) const
    {
        const std::string here = path();
        return here.empty() ? childName : here + "/" + childName;
    }

    mutable std::shared_ptr<const PathNode> parent; // null at the roots
    const std::string name;
};

using PathRef = std::shared_ptr<const PathNode>;

// A folder of the copy, from its first visit until its last file is copied.
// The last one to let go gives the copy its mode and times, after every entry
// in it was written (writing an entry changes its folder's time).
class FolderPair
{
public:
    FolderPair(CopyJob& job, Fd src, Fd dst, PathRef node, const struct stat& st);
    ~FolderPair();
    FolderPair(const FolderPair&) = delete;
    FolderPair& operator=(const FolderPair&) = delete;

    int src() const { return m_src.get(); }
    int dst() const { return m_dst.get(); }
    const PathRef& node() const { return m_node; }
    std::string path() const { return m_node->path(); }
    // Whether what is made in the copy's folder takes an ACL and mode from
    // its default ACL rather than from the mode it was made with.
    bool inheritsAcl() const { return m_inheritsAcl; }
    std::string child(const std::string& name) const { return m_node->child(name); }

    // On a drive that folds case (FAT, exFAT), "Makefile" and "makefile" are
    // one name: the first to claim it keeps it, and the other fails, named
    // with it, rather than overwrite it. Which names a drive folds is its
    // own table's business (exFAT keeps the Kelvin sign apart from "k"), so
    // names alike under Unicode folding are tried on the drive itself. True
    // when `name` may be written.
    bool claim(const std::string& name);

private:
    CopyJob& m_job;
    Fd m_src;
    Fd m_dst;
    PathRef m_node;
    mode_t m_mode;
    struct timespec m_times[2];
    bool m_inheritsAcl;
    std::mutex m_claimMutex;
    std::unordered_map<std::string, std::vector<std::string>> m_claims;
};

using FolderRef = std::shared_ptr<FolderPair>;

struct FileTask
{
    FolderRef folder;
    std::string name;
};

// Whether a leftover temporary file name of this program belongs to no
// running copy: its process has ended, or it is this one.
bool isStaleTemp(const char* name);

} // namespace plovern
