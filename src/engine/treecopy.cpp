#include "engine/treecopy.h"

#include <array>
#include <atomic>
#include <cctype>
#include <cerrno>
#include <condition_variable>
#include <csignal>
#include <cstring>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <system_error>
#include <thread>
#include <unordered_map>
#include <utility>
#include <vector>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/xattr.h>
#include <unistd.h>

#include "platform/paths.h"
#include "platform/volumes.h"

namespace plovern {

namespace {

constexpr size_t kBufferSize = 128 * 1024;
// Folders whose files are still being copied; past this the walker helps copy
// before it opens another, which bounds the descriptors a copy holds.
constexpr int kMaxOpenFolders = 64;
// Levels of the walk that keep their folders open; deeper ones are reopened
// through a child's "..", so depth costs no descriptors.
constexpr size_t kHeldLevels = 8;

std::string errnoText(int error)
{
    return std::strerror(error);
}

std::string bytesOf(const QString& path)
{
    return pathBytes(path).toStdString();
}

QString textOf(const std::string& bytes)
{
    return pathText(bytes);
}

// What the target's drive does with what a copy asks of it, found once per
// copy by trying, in the target folder: drives lie (exFAT through FUSE takes a
// mode and keeps 0777; sshfs sets a link's time on the file it points to).
struct DriveHabits
{
    bool foldsCase = false; // a name made in lower case is found in upper case
    bool dropsModes = false; // a mode change succeeds and does not hold
    bool followsLinks = false; // a link's time, set without following it, lands on its target
};

// A link the target's file system cannot hold (FAT), as opposed to one that
// could not be made.
bool refusedByTarget(int error)
{
    return error == EPERM || error == ENOTSUP || error == EOPNOTSUPP || error == ENOSYS;
}

class Fd
{
public:
    Fd() = default;
    explicit Fd(int fd)
        : m_fd(fd)
    {
    }
    Fd(Fd&& other) noexcept
        : m_fd(other.release())
    {
    }
    Fd& operator=(Fd&& other) noexcept
    {
        reset(other.release());
        return *this;
    }
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    ~Fd() { reset(); }
    int get() const { return m_fd; }
    bool valid() const { return m_fd >= 0; }
    // Gives up ownership without closing.
    int release() { return std::exchange(m_fd, -1); }
    void reset(int fd = -1)
    {
        if (m_fd >= 0)
            ::close(m_fd);
        m_fd = fd;
    }

private:
    int m_fd = -1;
};

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
// while it descends. Returns 0, or the errno of a folder that cannot be listed.
int listFolder(int dirFd, std::vector<Entry>* entries)
{
    // The listing runs over a duplicate descriptor, which shares its position
    // with the original: start from the top whatever an earlier listing left.
    Fd listFd(::dup(dirFd));
    DIR* dir = listFd.valid() ? ::fdopendir(listFd.get()) : nullptr;
    if (!dir)
        return errno;
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
    return 0;
}

mode_t processUmask()
{
    const mode_t mask = ::umask(0);
    ::umask(mask);
    return mask;
}

constexpr char kAccessAcl[] = "system.posix_acl_access";
constexpr char kDefaultAcl[] = "system.posix_acl_default";

enum Warning {
    Modes,
    Owners,
    Times,
    Attributes,
    HardLinks,
    SymLinks,
    LinkOwnersAndTimes,
    Vanished,
    OwnCopy,
    WarningKinds
};

QString warningText(Warning kind, int count)
{
    switch (kind) {
    case Modes:
        return QStringLiteral("modes not kept on %1 entries (the drive refused them)").arg(count);
    case Owners:
        return QStringLiteral("owners not kept on %1 entries (the drive refused them)").arg(count);
    case Times:
        return QStringLiteral("times not kept on %1 entries (the drive refused them)").arg(count);
    case Attributes:
        return QStringLiteral("extended attributes not kept on %1 entries (the drive refused them)").arg(count);
    case HardLinks:
        return QStringLiteral("hard links not kept on %1 files, copied apart instead").arg(count);
    case SymLinks:
        return QStringLiteral("%1 symbolic links left out (the drive cannot hold them)").arg(count);
    case LinkOwnersAndTimes:
        return QStringLiteral("owners and times not kept on %1 symbolic links (the drive would set them on what "
                              "the links point to)")
            .arg(count);
    case Vanished:
        return QStringLiteral("%1 entries vanished from the source during the copy").arg(count);
    case OwnCopy:
        return QStringLiteral("the copy's own folder, reached from inside the source, was left out");
    case WarningKinds:
        break;
    }
    return {};
}

// What every worker of one copy shares.
class CopyJob
{
public:
    CopyJob(std::string sourceRoot, int targetRootFd, FileId target)
        : m_sourceRoot(std::move(sourceRoot))
        , m_targetRootFd(targetRootFd)
        , m_target(target)
        , m_umask(processUmask())
        , m_root(::geteuid() == 0)
        , m_gid(::getegid())
    {
    }

    // `path` is relative to the source root; the line names the source file.
    void fail(const std::string& path, const std::string& why)
    {
        std::lock_guard lock(m_mutex);
        if (m_failures++ == 0)
            m_firstFailure = textOf(sourcePath(path) + ": " + why);
    }
    void warn(Warning kind) { ++m_warnings[kind]; }
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
    bool root() const { return m_root; }
    // Whether a file made by this process has another owner than `st`.
    bool ownerDiffers(const struct stat& st) const { return st.st_uid != 0 || st.st_gid != m_gid; }
    int targetRootFd() const { return m_targetRootFd; }
    bool isTarget(const struct stat& st) const { return FileId::of(st) == m_target; }
    bool foldsCase() const { return m_habits.foldsCase; }
    const DriveHabits& habits() const { return m_habits; }
    bool stopping() const { return m_control && m_control->stop.load(std::memory_order_relaxed); }
    void setControl(CopyControl* control) { m_control = control; }
    void countFile(quint64 bytes)
    {
        ++m_files;
        m_bytes += bytes;
        if (m_control) {
            ++m_control->files;
            ++m_control->progress;
        }
    }
    std::atomic<quint64>* progress() const { return m_control ? &m_control->progress : nullptr; }

    void setHabits(const DriveHabits& habits) { m_habits = habits; }

    // Whether the drive holding the folder `dirFd` takes `a` and `b` for one
    // name: a file made under a name built on `a` is found under the same
    // name built on `b`. A probe that cannot be made says they are one.
    bool driveFolds(int dirFd, const std::string& a, const std::string& b)
    {
        const std::string stem = kTempPrefix + std::to_string(::getpid()) + "-" + std::to_string(m_nextTemp++) + "-";
        const std::string probe = stem + a;
        const int made = ::openat(dirFd, probe.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, S_IRUSR | S_IWUSR);
        if (made < 0)
            return true;
        ::close(made);
        struct stat st;
        const bool folds = ::fstatat(dirFd, (stem + b).c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0;
        ::unlinkat(dirFd, probe.c_str(), 0);
        return folds;
    }

    void copyAttributes(int from, int to);

    CopyReport report()
    {
        CopyReport out;
        out.stopped = stopping();
        out.files = m_files;
        out.bytes = m_bytes;
        out.failures = m_failures;
        out.firstFailure = m_firstFailure;
        for (int kind = 0; kind < WarningKinds; ++kind) {
            if (const int count = m_warnings[kind].load())
                out.warnings.append(warningText(static_cast<Warning>(kind), count));
        }
        return out;
    }

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
    bool m_root;
    gid_t m_gid;
    DriveHabits m_habits;
    CopyControl* m_control = nullptr;
    std::atomic<quint64> m_files{0};
    std::atomic<quint64> m_bytes{0};
    std::atomic<unsigned> m_nextTemp{0};
    std::atomic<bool> m_sourceHasAttributes{true};
    std::array<std::atomic<int>, WarningKinds> m_warnings{};
    std::mutex m_mutex;
    int m_failures = 0;
    QString m_firstFailure;
};

// Extended attributes (and with them ACLs and file capabilities). One
// flistxattr per entry, none once the source shows it keeps none.
void CopyJob::copyAttributes(int from, int to)
{
    if (!m_sourceHasAttributes.load(std::memory_order_relaxed))
        return;
    std::vector<char> names(1024);
    ssize_t length = ::flistxattr(from, names.data(), names.size());
    if (length < 0 && errno == ERANGE) {
        length = ::flistxattr(from, nullptr, 0);
        names.resize(length > 0 ? static_cast<size_t>(length) : 0);
        length = length > 0 ? ::flistxattr(from, names.data(), names.size()) : length;
    }
    if (length < 0) {
        if (errno == ENOTSUP)
            m_sourceHasAttributes = false;
        return;
    }
    std::vector<char> value;
    bool refused = false;
    for (ssize_t at = 0; at < length;) {
        const char* name = names.data() + at;
        at += static_cast<ssize_t>(std::strlen(name)) + 1;
        const ssize_t size = ::fgetxattr(from, name, nullptr, 0);
        if (size < 0)
            continue; // gone since the listing, or one this user may not read
        value.resize(static_cast<size_t>(size));
        const ssize_t got = ::fgetxattr(from, name, value.data(), value.size());
        if (got < 0)
            continue;
        if (::fsetxattr(to, name, value.data(), static_cast<size_t>(got), 0) != 0)
            refused = true;
    }
    if (refused)
        warn(Attributes);
}

// A folder of the copy, from its first visit until its last file is copied.
// The last one to let go gives the copy its mode and times, after every entry
// in it was written (writing an entry changes its folder's time).
class FolderPair
{
public:
    FolderPair(CopyJob& job, Fd src, Fd dst, std::string path, const struct stat& st)
        : m_job(job)
        , m_src(std::move(src))
        , m_dst(std::move(dst))
        , m_path(std::move(path))
        , m_mode(st.st_mode & 07777)
        , m_times{st.st_atim, st.st_mtim}
        , m_inheritsAcl(::fgetxattr(m_dst.get(), kDefaultAcl, nullptr, 0) >= 0)
    {
        ++m_job.openFolders;
    }
    ~FolderPair()
    {
        if (m_job.kept(::fchmod(m_dst.get(), m_mode), Modes) && m_job.habits().dropsModes)
            m_job.warn(Modes);
        m_job.kept(::futimens(m_dst.get(), m_times), Times);
        --m_job.openFolders;
    }
    FolderPair(const FolderPair&) = delete;
    FolderPair& operator=(const FolderPair&) = delete;

    int src() const { return m_src.get(); }
    int dst() const { return m_dst.get(); }
    const std::string& path() const { return m_path; }
    // Whether what is made in the copy's folder takes an ACL and mode from
    // its default ACL rather than from the mode it was made with.
    bool inheritsAcl() const { return m_inheritsAcl; }
    std::string child(const std::string& name) const { return m_path.empty() ? name : m_path + "/" + name; }

    // On a drive that folds case (FAT, exFAT), "Makefile" and "makefile" are
    // one name: the first to claim it keeps it, and the other fails, named
    // with it, rather than overwrite it. Which names a drive folds is its
    // own table's business (exFAT keeps the Kelvin sign apart from "k"), so
    // names alike under Unicode folding are tried on the drive itself. True
    // when `name` may be written.
    bool claim(const std::string& name)
    {
        if (!m_job.foldsCase())
            return true;
        const std::string folded = QString::fromUtf8(name).toCaseFolded().toStdString();
        std::lock_guard lock(m_claimMutex);
        std::vector<std::string>& alike = m_claims[folded];
        for (const std::string& claimed : alike) {
            if (claimed == name)
                return true;
            if (m_job.driveFolds(m_dst.get(), claimed, name)) {
                m_job.fail(child(name),
                           "the drive cannot keep it apart from " + m_job.sourcePath(child(claimed))
                               + ", which was kept");
                return false;
            }
        }
        alike.push_back(name);
        return true;
    }

private:
    CopyJob& m_job;
    Fd m_src;
    Fd m_dst;
    std::string m_path;
    mode_t m_mode;
    struct timespec m_times[2];
    bool m_inheritsAcl;
    std::mutex m_claimMutex;
    std::unordered_map<std::string, std::vector<std::string>> m_claims;
};

using FolderRef = std::shared_ptr<FolderPair>;

// Whether a mount of its own starts at `name` (a bind mount of the same file
// system included, which has the same device number).
bool isMountPoint(int dirFd, const char* name)
{
    struct statx sx;
    if (::statx(dirFd, name, AT_SYMLINK_NOFOLLOW | AT_NO_AUTOMOUNT, STATX_BASIC_STATS, &sx) != 0)
        return false;
    return (sx.stx_attributes_mask & STATX_ATTR_MOUNT_ROOT) != 0 && (sx.stx_attributes & STATX_ATTR_MOUNT_ROOT) != 0;
}

bool sameFile(const struct stat& a, const struct stat& b)
{
    // rsync's quick check: what is on disk would come out the same.
    return S_ISREG(b.st_mode) && a.st_size == b.st_size && a.st_mtim.tv_sec == b.st_mtim.tv_sec
        && a.st_mtim.tv_nsec == b.st_mtim.tv_nsec && (a.st_mode & 07777) == (b.st_mode & 07777);
}

// Copies `length` bytes from `offset` in both files.
bool copyRange(int in, int out, off_t offset, off_t length, int* error, std::atomic<quint64>* progress)
{
    off_t inAt = offset;
    off_t outAt = offset;
    const off_t end = offset + length;
    // In pieces, so that a large file shows progress while it is copied.
    constexpr off_t kPiece = 64 << 20;
    while (inAt < end) {
        const ssize_t n
            = ::copy_file_range(in, &inAt, out, &outAt, static_cast<size_t>(std::min(end - inAt, kPiece)), 0);
        if (n > 0) {
            if (progress)
                ++*progress;
            continue;
        }
        if (n == 0)
            return true; // the file shrank while it was copied
        if (inAt == offset && (errno == EXDEV || errno == ENOSYS || errno == EINVAL || errno == EOPNOTSUPP))
            break; // no kernel copy between these file systems: copy through a buffer
        *error = errno;
        return false;
    }
    thread_local std::vector<char> buffer(kBufferSize);
    while (inAt < end) {
        const ssize_t got
            = ::pread(in, buffer.data(), static_cast<size_t>(std::min<off_t>(end - inAt, kBufferSize)), inAt);
        if (got == 0)
            return true;
        if (got < 0) {
            if (errno == EINTR)
                continue;
            *error = errno;
            return false;
        }
        for (ssize_t put = 0; put < got;) {
            const ssize_t n = ::pwrite(out, buffer.data() + put, static_cast<size_t>(got - put), outAt);
            if (n < 0) {
                if (errno == EINTR)
                    continue;
                *error = errno;
                return false;
            }
            put += n;
            outAt += n;
        }
        inAt += got;
        if (progress)
            ++*progress;
    }
    return true;
}

// Copies the file's data; a file with holes keeps them.
bool copyData(int in, int out, const struct stat& st, int* error, std::atomic<quint64>* progress)
{
    const bool sparse = st.st_blocks * 512 < st.st_size;
    if (!sparse)
        return copyRange(in, out, 0, st.st_size, error, progress);
    for (off_t at = 0; at < st.st_size;) {
        const off_t data = ::lseek(in, at, SEEK_DATA);
        if (data < 0) {
            if (errno == ENXIO)
                break; // only a hole is left
            return copyRange(in, out, at, st.st_size - at, error, progress); // no hole finding here
        }
        off_t hole = ::lseek(in, data, SEEK_HOLE);
        if (hole < 0)
            hole = st.st_size;
        if (!copyRange(in, out, data, hole - data, error, progress))
            return false;
        at = hole;
    }
    if (::ftruncate(out, st.st_size) != 0) {
        *error = errno;
        return false;
    }
    return true;
}

struct FileTask
{
    FolderRef folder;
    std::string name;
};

class FileCopier
{
public:
    FileCopier(CopyJob& job, const FileTask& task)
        : m_job(job)
        , m_folder(*task.folder)
        , m_name(task.name)
        , m_path(m_folder.child(task.name))
    {
    }

    void run()
    {
        // O_NONBLOCK: should the name have become a FIFO since the listing, opening it must not wait.
        m_in.reset(::openat(m_folder.src(), m_name.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
        if (!m_in.valid() || ::fstat(m_in.get(), &m_st) != 0) {
            if (errno == ENOENT)
                m_job.warn(Vanished);
            else
                m_job.fail(m_path, "cannot read: " + errnoText(errno));
            return;
        }
        if (!S_ISREG(m_st.st_mode))
            return; // replaced by something that is not a file since the listing
        if (!m_folder.claim(m_name))
            return;
        if (m_st.st_nlink < 2) {
            if (copy())
                m_job.countFile(m_written);
            return;
        }
        std::lock_guard lock(m_job.linkMutex);
        const FileId id = FileId::of(m_st);
        if (const auto first = m_job.linked.find(id); first != m_job.linked.end() && linkTo(first->second))
            return;
        if (copy()) {
            m_job.linked.emplace(id, m_path);
            m_job.countFile(m_written);
        }
    }

private:
    // True when the file is in the copy, written (m_written bytes) or found unchanged.
    bool copy()
    {
        const mode_t mode = m_st.st_mode & 07777;
        const char* name = m_name.c_str();
        // A new file is written in place; one that replaces an older copy goes to
        // a temporary name first, so the older copy stays whole until this one is.
        std::string temp;
        Fd out(::openat(m_folder.dst(), name, O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, mode));
        if (!out.valid() && errno == EEXIST) {
            struct stat there;
            if (::fstatat(m_folder.dst(), name, &there, AT_SYMLINK_NOFOLLOW) == 0 && sameFile(m_st, there)) {
                m_written = 0;
                return true;
            }
            temp = m_job.tempName();
            out.reset(::openat(m_folder.dst(), temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, mode));
        }
        if (!out.valid()) {
            m_job.fail(m_path, "cannot create in the copy: " + errnoText(errno));
            return false;
        }
        const char* written = temp.empty() ? name : temp.c_str();
        int error = 0;
        bool ok = copyData(m_in.get(), out.get(), m_st, &error, m_job.progress());
        if (!ok)
            m_job.fail(m_path, errnoText(error));
        bool chowned = false;
        if (ok && m_job.root() && m_job.ownerDiffers(m_st))
            chowned = m_job.kept(::fchown(out.get(), m_st.st_uid, m_st.st_gid), Owners);
        const bool inherited = m_folder.inheritsAcl();
        if (ok && inherited)
            ::fremovexattr(out.get(), kAccessAcl); // the source's own, if any, comes with its attributes
        if (ok && (inherited || (mode & m_job.umask()) != 0 || (chowned && (mode & 06000) != 0)))
            m_job.kept(::fchmod(out.get(), mode), Modes);
        if (ok && m_job.habits().dropsModes)
            m_job.warn(Modes);
        if (ok)
            m_job.copyAttributes(m_in.get(), out.get());
        const struct timespec times[2] = {m_st.st_atim, m_st.st_mtim};
        if (ok)
            m_job.kept(::futimens(out.get(), times), Times);
        if (::close(out.release()) != 0 && ok) {
            ok = false;
            m_job.fail(m_path, errnoText(errno));
        }
        if (ok && !temp.empty() && ::renameat(m_folder.dst(), written, m_folder.dst(), name) != 0) {
            ok = false;
            m_job.fail(m_path, "cannot replace the earlier copy: " + errnoText(errno));
        }
        if (!ok)
            ::unlinkat(m_folder.dst(), written, 0);
        m_written = ok ? static_cast<quint64>(m_st.st_size) : 0;
        return ok;
    }

    // Another name of a file already copied: link to that copy. False when the
    // drive cannot, so the file is copied apart.
    bool linkTo(const std::string& first)
    {
        const int dst = m_folder.dst();
        const char* name = m_name.c_str();
        const int root = m_job.targetRootFd();
        if (::linkat(root, first.c_str(), dst, name, 0) == 0)
            return true;
        if (errno == EEXIST) {
            struct stat there;
            struct stat firstSt;
            if (::fstatat(dst, name, &there, AT_SYMLINK_NOFOLLOW) == 0
                && ::fstatat(root, first.c_str(), &firstSt, AT_SYMLINK_NOFOLLOW) == 0
                && FileId::of(there) == FileId::of(firstSt))
                return true; // an earlier copy of the day linked it already
            const std::string temp = m_job.tempName();
            if (::linkat(root, first.c_str(), dst, temp.c_str(), 0) == 0) {
                if (::renameat(dst, temp.c_str(), dst, name) == 0)
                    return true;
                ::unlinkat(dst, temp.c_str(), 0);
            }
        }
        m_job.warn(HardLinks);
        return false;
    }

    CopyJob& m_job;
    FolderPair& m_folder;
    const std::string& m_name;
    std::string m_path;
    Fd m_in;
    struct stat m_st = {};
    quint64 m_written = 0;
};

void copyLink(CopyJob& job, FolderPair& folder, const std::string& name)
{
    const std::string path = folder.child(name);
    struct stat st;
    std::vector<char> target(4096);
    const ssize_t length = ::readlinkat(folder.src(), name.c_str(), target.data(), target.size() - 1);
    if (length < 0 || ::fstatat(folder.src(), name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) {
        if (errno == ENOENT)
            job.warn(Vanished);
        else
            job.fail(path, "cannot read link: " + errnoText(errno));
        return;
    }
    target[static_cast<size_t>(length)] = '\0';
    const int dst = folder.dst();
    if (!folder.claim(name))
        return;
    if (::symlinkat(target.data(), dst, name.c_str()) != 0) {
        if (errno != EEXIST) {
            if (refusedByTarget(errno))
                job.warn(SymLinks);
            else
                job.fail(path, "cannot create link: " + errnoText(errno));
            return;
        }
        const std::string temp = job.tempName();
        if (::symlinkat(target.data(), dst, temp.c_str()) != 0
            || ::renameat(dst, temp.c_str(), dst, name.c_str()) != 0) {
            job.fail(path, "cannot replace link: " + errnoText(errno));
            ::unlinkat(dst, temp.c_str(), 0);
            return;
        }
    }
    if (job.habits().followsLinks) {
        job.warn(LinkOwnersAndTimes); // never change a file outside the copy
        return;
    }
    if (job.root())
        job.kept(::fchownat(dst, name.c_str(), st.st_uid, st.st_gid, AT_SYMLINK_NOFOLLOW), Owners);
    const struct timespec times[2] = {st.st_atim, st.st_mtim};
    job.kept(::utimensat(dst, name.c_str(), times, AT_SYMLINK_NOFOLLOW), Times);
}

// Hands file copies to the worker threads; the walking thread helps out when
// too many folders are open.
class TaskQueue
{
public:
    void push(FileTask task)
    {
        {
            std::lock_guard lock(m_mutex);
            m_tasks.push_back(std::move(task));
        }
        m_ready.notify_one();
    }
    // False once the queue is closed and empty.
    bool pop(FileTask* task, bool wait)
    {
        std::unique_lock lock(m_mutex);
        if (wait)
            m_ready.wait(lock, [this] { return !m_tasks.empty() || m_closed; });
        if (m_tasks.empty())
            return false;
        *task = std::move(m_tasks.front());
        m_tasks.pop_front();
        return true;
    }
    void close()
    {
        {
            std::lock_guard lock(m_mutex);
            m_closed = true;
        }
        m_ready.notify_all();
    }

private:
    std::mutex m_mutex;
    std::condition_variable m_ready;
    std::deque<FileTask> m_tasks;
    bool m_closed = false;
};

void runTask(CopyJob& job, const FileTask& task)
{
    if (!job.stopping())
        FileCopier(job, task).run();
}

// Whether a leftover temporary name of this program belongs to no running copy.
bool staleTemp(const char* name)
{
    const size_t length = std::strlen(name);
    constexpr size_t prefix = sizeof(CopyJob::kTempPrefix) - 1;
    constexpr size_t suffix = sizeof(CopyJob::kTempSuffix) - 1;
    if (length <= prefix + suffix || std::strncmp(name, CopyJob::kTempPrefix, prefix) != 0
        || std::strcmp(name + length - suffix, CopyJob::kTempSuffix) != 0)
        return false;
    // ".plovern-<pid>-<n>.part"
    const std::string middle(name + prefix, length - prefix - suffix);
    const size_t dash = middle.find('-');
    if (dash == 0 || dash > 9 || dash + 1 == middle.size()
        || middle.find_first_not_of("0123456789-") != std::string::npos
        || middle.find('-', dash + 1) != std::string::npos)
        return false;
    const auto pid = static_cast<pid_t>(std::stoi(middle.substr(0, dash)));
    return pid == ::getpid() || (::kill(pid, 0) != 0 && errno == ESRCH);
}

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
        std::string path;
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
        level.path = pair->path();
        level.srcId = FileId::of(srcSt);
        level.dstId = FileId::of(dstSt);
        level.pair = pair;
        std::vector<Entry> entries;
        if (const int error = listFolder(pair->src(), &entries)) {
            m_job.fail(level.path, "cannot list: " + errnoText(error));
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
                m_queue.push({pair, std::move(entry.name)});
                break;
            case DT_LNK:
                copyLink(m_job, *pair, entry.name);
                break;
            case DT_UNKNOWN:
                m_job.warn(Vanished);
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
        const std::string path = parent.child(name);
        struct stat st;
        if (::fstatat(parent.src(), name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0 || !S_ISDIR(st.st_mode)) {
            m_job.warn(Vanished);
            return std::nullopt;
        }
        if (m_job.isTarget(st)) {
            // The target reached through a bind mount or another path: copying
            // it would copy the copy into itself without end.
            m_job.warn(OwnCopy);
            return std::nullopt;
        }
        if (!parent.claim(name))
            return std::nullopt;
        // What an earlier copy left under this name must be a folder; opening it tells.
        const bool created = ::mkdirat(parent.dst(), name.c_str(), S_IRWXU) == 0;
        if (!created && errno != EEXIST) {
            m_job.fail(path, "cannot create the folder in the copy: " + errnoText(errno));
            return std::nullopt;
        }
        return !created;
    }

    void descend(Level& level, const Subfolder& sub)
    {
        // Each pair holds two descriptors: let the copies catch up first.
        FileTask task;
        while (m_job.openFolders.load() >= kMaxOpenFolders && m_queue.pop(&task, false)) {
            runTask(m_job, task);
            task = {};
        }
        const std::string path = level.path.empty() ? sub.name : level.path + "/" + sub.name;
        Fd src(::openat(level.srcFd(), sub.name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
        struct stat srcSt;
        if (!src.valid() || ::fstat(src.get(), &srcSt) != 0) {
            if (errno == ENOENT)
                m_job.warn(Vanished);
            else
                m_job.fail(path, "cannot open folder: " + errnoText(errno));
            return;
        }
        if (m_job.isTarget(srcSt)) {
            m_job.warn(OwnCopy);
            return;
        }
        Fd dst(::openat(level.dstFd(), sub.name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
        struct stat dstSt;
        if (!dst.valid() || ::fstat(dst.get(), &dstSt) != 0) {
            m_job.fail(path, "cannot open the folder in the copy: " + errnoText(errno));
            return;
        }
        if (!prepareFolder(src.get(), dst.get(), srcSt, dstSt, path))
            return;
        if (std::atomic<quint64>* progress = m_job.progress())
            ++*progress;
        auto pair = std::make_shared<FolderPair>(m_job, std::move(src), std::move(dst), path, srcSt);
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
        m_job.fail(level.path, "the folder was moved during the copy; the rest of it was not copied");
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
            const std::string name = level.path.substr(level.path.rfind('/') + 1);
            if (!reopen(level, above.srcFd(), above.dstFd(), name.c_str()))
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
    bool prepareFolder(int src, int dst, const struct stat& srcSt, const struct stat& dstSt, const std::string& path)
    {
        if ((dstSt.st_mode & S_IRWXU) != S_IRWXU && ::fchmod(dst, dstSt.st_mode | S_IRWXU) != 0) {
            m_job.fail(path, "cannot open the earlier copy of the folder for writing: " + errnoText(errno));
            return false;
        }
        if (m_job.root() && (srcSt.st_uid != dstSt.st_uid || srcSt.st_gid != dstSt.st_gid))
            m_job.kept(::fchown(dst, srcSt.st_uid, srcSt.st_gid), Owners);
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
        if (listFolder(dst, &entries) != 0)
            return;
        for (const Entry& entry : entries) {
            if (entry.type == DT_REG && staleTemp(entry.name.c_str()))
                ::unlinkat(dst, entry.name.c_str(), 0);
        }
    }

    CopyJob& m_job;
    TaskQueue& m_queue;
    std::vector<Level> m_levels;

public:
    bool prepareRoot(int src, int dst, const struct stat& srcSt, const struct stat& dstSt)
    {
        return prepareFolder(src, dst, srcSt, dstSt, std::string());
    }
};

DriveHabits probeDrive(int dirFd, const std::string& probe)
{
    DriveHabits habits;
    Fd made(::openat(dirFd, probe.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, S_IRUSR | S_IWUSR));
    if (!made.valid())
        return habits;
    std::string upper = probe;
    for (char& c : upper)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    struct stat st;
    habits.foldsCase = ::fstatat(dirFd, upper.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0;
    // A refused change is seen at each entry; one taken and then dropped only here.
    constexpr mode_t kTried = S_IRUSR | S_IWUSR | S_IRGRP;
    habits.dropsModes
        = ::fchmod(made.get(), kTried) == 0 && ::fstat(made.get(), &st) == 0 && (st.st_mode & 07777) != kTried;
    const std::string link = probe + "l";
    if (::symlinkat(probe.c_str(), dirFd, link.c_str()) == 0) {
        const struct timespec old[2] = {{1000000000, 0}, {1000000000, 0}};
        // Told by the link's own time, which a drive that follows links leaves
        // alone (sshfs caches the file's, so that would not tell).
        habits.followsLinks = ::utimensat(dirFd, link.c_str(), old, AT_SYMLINK_NOFOLLOW) == 0
            && ::fstatat(dirFd, link.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0 && st.st_mtim.tv_sec != old[1].tv_sec;
        ::unlinkat(dirFd, link.c_str(), 0);
    }
    ::unlinkat(dirFd, probe.c_str(), 0);
    return habits;
}

QString refusal(const QString& target, const QString& what)
{
    return QStringLiteral("%1: %2").arg(target, what);
}

} // namespace

QString CopyReport::failureText() const
{
    if (failures <= 1)
        return firstFailure;
    return QStringLiteral("%1 (and %2 more)").arg(firstFailure).arg(failures - 1);
}

CopyReport copyTree(const QString& source, const QString& target, int threads, CopyControl* control)
{
    CopyReport refused;
    refused.failures = 1;
    // A source drive that is not there shows as its empty mount point folder.
    const QString sourceReal = realPath(source);
    if (const QString mountPoint = unmountedDriveOf(sourceReal.isEmpty() ? source : sourceReal);
        !mountPoint.isEmpty()) {
        refused.firstFailure = refusal(source, QStringLiteral("the source drive is not mounted at %1").arg(mountPoint));
        return refused;
    }
    Fd src(::open(bytesOf(source).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    struct stat srcSt;
    if (!src.valid() || ::fstat(src.get(), &srcSt) != 0) {
        refused.firstFailure
            = refusal(source, QStringLiteral("cannot open the source folder: ") + textOf(errnoText(errno)));
        return refused;
    }

    // Only the target folder itself is ever created: a missing parent means
    // the destination is not there (a backup drive that is not mounted).
    const QString parent = parentPath(target);
    const std::string name = bytesOf(lastName(target));
    Fd parentFd(::open(bytesOf(parent).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!parentFd.valid() || name.empty()) {
        refused.firstFailure = refusal(parent, QStringLiteral("the destination folder is not there"));
        return refused;
    }
    const QString parentReal = realPath(parent);
    const QString targetReal
        = parentReal + (parentReal.endsWith(QLatin1Char('/')) ? QString() : QStringLiteral("/")) + lastName(target);
    if (const QString mountPoint = unmountedDriveOf(targetReal); !mountPoint.isEmpty()) {
        refused.firstFailure = refusal(target, QStringLiteral("the backup drive is not mounted at %1").arg(mountPoint));
        return refused;
    }
    if (isAtOrBelow(targetReal, sourceReal)) {
        refused.firstFailure = refusal(target, QStringLiteral("the target lies inside the source %1").arg(source));
        return refused;
    }

    const bool existed = ::mkdirat(parentFd.get(), name.c_str(), S_IRWXU) != 0;
    if (existed && errno != EEXIST) {
        refused.firstFailure = refusal(target, QStringLiteral("cannot create the copy: ") + textOf(errnoText(errno)));
        return refused;
    }
    Fd dst(::openat(parentFd.get(), name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    struct stat dstSt;
    if (!dst.valid() || ::fstat(dst.get(), &dstSt) != 0) {
        refused.firstFailure = refusal(target, QStringLiteral("cannot open the copy: ") + textOf(errnoText(errno)));
        refused.targetExists = existed || ::faccessat(parentFd.get(), name.c_str(), F_OK, AT_SYMLINK_NOFOLLOW) == 0;
        return refused;
    }
    Fd rootFd(::dup(dst.get()));

    CopyJob job(bytesOf(source), rootFd.get(), FileId::of(dstSt));
    job.setHabits(probeDrive(dst.get(), job.tempName()));
    job.setControl(control);
    TaskQueue queue;
    auto work = [&job, &queue](bool wait) {
        FileTask task;
        while (queue.pop(&task, wait)) {
            runTask(job, task);
            task = {};
        }
    };
    std::vector<std::thread> workers;
    try {
        for (int i = 0; i < threads; ++i)
            workers.emplace_back(work, true);
    } catch (const std::system_error&) {
        // No more threads to be had: the walking thread copies what is left.
    }
    {
        Walker walker(job, queue);
        if (walker.prepareRoot(src.get(), dst.get(), srcSt, dstSt)) {
            auto root = std::make_shared<FolderPair>(job, std::move(src), std::move(dst), std::string(), srcSt);
            walker.walk(std::move(root), srcSt, dstSt, existed);
        }
    }
    queue.close();
    work(false);
    for (std::thread& worker : workers)
        worker.join();
    CopyReport report = job.report();
    report.targetExists = true;
    if (report.files == 0 && report.complete() && !report.stopped)
        report.warnings.append(QStringLiteral("the source folder is empty"));
    return report;
}

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
    if (const int error = listFolder(dirFd, &entries)) {
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
    if (const int error = listFolder(dirFd, &entries)) {
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

DeleteOutcome deleteTree(const QString& path, QString* error, const DeleteVeto& veto)
{
    auto failed = [&](const std::string& why) {
        if (error)
            *error = textOf(why);
        return DeleteOutcome::Failed;
    };
    const std::string bytes = bytesOf(path);
    Fd parent(::open(bytesOf(parentPath(path)).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!parent.valid())
        return errno == ENOENT ? DeleteOutcome::Missing : failed(bytes + ": " + errnoText(errno));
    const int parentFd = parent.get();
    const std::string name = bytesOf(lastName(path));
    if (name.empty() || name == "." || name == "..")
        return failed(bytes + ": not a folder name");
    Fd dir(::openat(parentFd, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    struct stat st;
    if (!dir.valid()) {
        if (errno == ENOENT)
            return DeleteOutcome::Missing;
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
    return DeleteOutcome::Deleted;
}

namespace {

bool holdsFilesBelow(int dirFd)
{
    std::vector<Entry> entries;
    if (listFolder(dirFd, &entries) != 0)
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

bool flushToDisk(const QString& path, QString* error)
{
    Fd fd(::open(bytesOf(path).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (fd.valid() && ::syncfs(fd.get()) == 0)
        return true;
    if (error)
        *error = textOf(errnoText(errno));
    return false;
}

} // namespace plovern
