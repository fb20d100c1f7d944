#include "core/engine/filecopy.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <mutex>
#include <vector>

#include <fcntl.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <QScopeGuard>

#include "core/engine/drivehabits.h"

namespace plovern {

namespace {

constexpr size_t kBufferSize = 128 * 1024;

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
            m_job.unreadable(m_path, "cannot read", errno);
            return;
        }
        if (!S_ISREG(m_st.st_mode))
            return; // replaced by something that is not a file since the listing
        if (m_st.st_nlink < 2) {
            if (copy())
                m_job.countFile(m_written, static_cast<quint64>(m_st.st_size));
            return;
        }
        std::lock_guard lock(m_job.linkMutex);
        const FileId id = FileId::of(m_st);
        if (const auto first = m_job.linked.find(id); first != m_job.linked.end() && linkTo(first->second))
            return;
        if (copy()) {
            m_job.linked.emplace(id, m_path);
            m_job.countFile(m_written, static_cast<quint64>(m_st.st_size));
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
            if (::fstatat(m_folder.dst(), name, &there, AT_SYMLINK_NOFOLLOW) == 0
                && m_job.standsFor(m_st, there, m_job.merged())) {
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
        const bool shared = cloneFromReference(out.get());
        // Shared blocks take no room; written ones are taken before the first byte.
        const quint64 room = shared ? 0 : inBlocks(quint64(m_st.st_size));
        if (!m_job.takeRoom(room)) {
            ::unlinkat(m_folder.dst(), written, 0);
            return false;
        }
        const auto giveBack = qScopeGuard([&] { m_job.giveRoom(room); });
        bool ok = shared || copyData(m_in.get(), out.get(), m_st, &error, m_job.progress());
        if (!ok)
            m_job.fail(m_path, errnoText(error));
        if (ok && !shared)
            noteChangeWhileCopied();
        bool chowned = false;
        if (ok && m_job.runsAsRoot() && m_job.ownerDiffers(m_st))
            chowned = m_job.kept(::fchown(out.get(), m_st.st_uid, m_st.st_gid), Warning::Owners);
        const bool inherited = m_folder.inheritsAcl();
        if (ok && inherited)
            ::fremovexattr(out.get(), kAccessAcl); // the source's own, if any, comes with its attributes
        if (ok && (inherited || (mode & m_job.umask()) != 0 || (chowned && (mode & 06000) != 0)))
            m_job.kept(::fchmod(out.get(), mode), Warning::Modes);
        if (ok && m_job.habits().dropsModes)
            m_job.warn(Warning::Modes);
        if (ok)
            m_job.copyAttributes(m_in.get(), out.get());
        const struct timespec times[2] = {m_st.st_atim, m_st.st_mtim};
        if (ok)
            m_job.kept(::futimens(out.get(), times), Warning::Times);
        if (::close(out.release()) != 0 && ok) {
            ok = false;
            m_job.fail(m_path, errnoText(errno));
        }
        if (ok && !temp.empty()) {
            if (::renameat(m_folder.dst(), written, m_folder.dst(), name) != 0) {
                ok = false;
                m_job.fail(m_path, "cannot replace the earlier copy: " + errnoText(errno));
            } else {
                keepTimesAfterRename(times);
            }
        }
        if (!ok)
            ::unlinkat(m_folder.dst(), written, 0);
        m_written = ok && !shared ? static_cast<quint64>(m_st.st_size) : 0;
        if (ok && shared)
            m_job.countShared(static_cast<quint64>(m_st.st_size));
        return ok;
    }

    // A source file whose size or times moved while it was read may have
    // been copied torn: said, and its copy keeps the times from before, so
    // the next copy takes it again.
    void noteChangeWhileCopied()
    {
        struct stat after;
        if (::fstat(m_in.get(), &after) != 0)
            return;
        if (after.st_size != m_st.st_size || !sameTime(after.st_mtim, m_st.st_mtim)
            || !sameTime(after.st_ctim, m_st.st_ctim))
            m_job.warn(Warning::ChangedWhileCopied);
    }

    // Some drives (FAT through FUSE) set a file's time when it is renamed:
    // set it again where it did not hold, and say so where it still does not.
    void keepTimesAfterRename(const struct timespec (&times)[2])
    {
        const long long resolution = m_job.habits().timeResolution;
        struct stat now;
        const auto held = [&] {
            return ::fstatat(m_folder.dst(), m_name.c_str(), &now, AT_SYMLINK_NOFOLLOW) == 0
                && timesApart(now.st_mtim, times[1]) < resolution;
        };
        if (held())
            return;
        if (::utimensat(m_folder.dst(), m_name.c_str(), times, AT_SYMLINK_NOFOLLOW) != 0 || !held())
            m_job.warn(Warning::TimesReset);
    }

    static bool sameTime(const struct timespec& a, const struct timespec& b)
    {
        return a.tv_sec == b.tv_sec && a.tv_nsec == b.tv_nsec;
    }

    // Whether the file's twin in the reference, unchanged since, now lends
    // `out` its blocks.
    bool cloneFromReference(int out)
    {
        if (!m_job.cloning() || m_st.st_size == 0)
            return false;
        struct stat there;
        const Fd twin = m_job.openReference(m_path, &there);
        if (!twin.valid() || !m_job.standsFor(m_st, there, m_job.referenceWritten()) || !m_job.clone(out, twin.get()))
            return false;
        if (std::atomic<quint64>* progress = m_job.progress())
            ++*progress;
        return true;
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
        m_job.warn(Warning::HardLinks);
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

} // namespace

long long nanoseconds(const struct timespec& t)
{
    return t.tv_sec * 1000000000LL + t.tv_nsec;
}

long long timesApart(const struct timespec& a, const struct timespec& b)
{
    return std::llabs(nanoseconds(a) - nanoseconds(b));
}

bool unchangedCopy(const struct stat& source, const struct stat& twin, const Written& written, const TwinCheck& check)
{
    return written.known() && S_ISREG(twin.st_mode) && source.st_size == twin.st_size
        && (!check.modes || (source.st_mode & 07777) == (twin.st_mode & 07777))
        && (!check.owners || (source.st_uid == twin.st_uid && source.st_gid == twin.st_gid))
        && timesApart(source.st_mtim, twin.st_mtim) < check.resolution
        && nanoseconds(source.st_ctim) < written.started - check.sourceSlack
        && nanoseconds(twin.st_ctim) <= written.ended;
}

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

void copyFile(CopyJob& job, const FileTask& task)
{
    if (!job.stopping())
        FileCopier(job, task).run();
}

void copyLink(CopyJob& job, FolderPair& folder, const std::string& name)
{
    const std::string path = folder.child(name);
    struct stat st;
    std::vector<char> target(4096);
    const ssize_t length = ::readlinkat(folder.src(), name.c_str(), target.data(), target.size() - 1);
    if (length < 0 || ::fstatat(folder.src(), name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) {
        job.unreadable(path, "cannot read link", errno);
        return;
    }
    target[static_cast<size_t>(length)] = '\0';
    const int dst = folder.dst();
    if (!folder.claim(name))
        return;
    if (::symlinkat(target.data(), dst, name.c_str()) != 0) {
        if (errno != EEXIST) {
            if (refusedByTarget(errno))
                job.warn(Warning::SymLinks);
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
        job.warn(Warning::LinkOwnersAndTimes); // never change a file outside the copy
        return;
    }
    if (job.runsAsRoot())
        job.kept(::fchownat(dst, name.c_str(), st.st_uid, st.st_gid, AT_SYMLINK_NOFOLLOW), Warning::Owners);
    const struct timespec times[2] = {st.st_atim, st.st_mtim};
    job.kept(::utimensat(dst, name.c_str(), times, AT_SYMLINK_NOFOLLOW), Warning::Times);
}

} // namespace plovern
