#include "core/engine/drivehabits.h"

#include <cctype>
#include <cerrno>
#include <cstdlib>

#include <fcntl.h>
#include <linux/magic.h>
#include <sys/stat.h>
#include <sys/statfs.h>
#include <unistd.h>

#include "core/engine/entries.h"

namespace plovern {

namespace {

// The step of the drive's clock, from a time set within an odd second and the time kept.
long long resolutionOf(const struct timespec& set, const struct timespec& kept)
{
    if (kept.tv_sec != set.tv_sec)
        return 2000000000LL; // FAT keeps even seconds
    const long long apart = std::llabs((set.tv_sec - kept.tv_sec) * 1000000000LL + (set.tv_nsec - kept.tv_nsec));
    for (const long long step : {1LL, 1000LL, 1000000LL, 10000000LL, 100000000LL, 1000000000LL})
        if (apart < step)
            return step;
    return 1000000000LL;
}

} // namespace

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
    const bool modeTaken = ::fchmod(made.get(), kTried) == 0 && ::fstat(made.get(), &st) == 0;
    habits.dropsModes = modeTaken && (st.st_mode & 07777) != kTried;
    habits.keepsModes = modeTaken && (st.st_mode & 07777) == kTried;
    // An odd second and a time within it that no drive keeps whole but one of nanoseconds.
    const struct timespec odd[2] = {{1000000001, 123456789}, {1000000001, 123456789}};
    if (::futimens(made.get(), odd) == 0 && ::fstat(made.get(), &st) == 0)
        habits.timeResolution = resolutionOf(odd[1], st.st_mtim);
    const std::string link = probe + "l";
    if (::symlinkat(probe.c_str(), dirFd, link.c_str()) == 0) {
        const struct timespec old[2] = {{1000000000, 0}, {1000000000, 0}};
        // Told by the link's own time, which a drive that follows links leaves
        // alone (sshfs caches the file's, so that would not tell).
        habits.followsLinks = ::utimensat(dirFd, link.c_str(), old, AT_SYMLINK_NOFOLLOW) == 0
            && ::fstatat(dirFd, link.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0 && st.st_mtim.tv_sec != old[1].tv_sec;
        ::unlinkat(dirFd, link.c_str(), 0);
    }
    // Last: a file given away changes what the probes above may do with it.
    if (::geteuid() == 0) {
        constexpr uid_t kSomeone = 1;
        habits.keepsOwners = ::fchown(made.get(), kSomeone, kSomeone) == 0 && ::fstat(made.get(), &st) == 0
            && st.st_uid == kSomeone && st.st_gid == kSomeone;
    }
    ::unlinkat(dirFd, probe.c_str(), 0);
    return habits;
}

bool driveFolds(int dirFd, const std::string& stem, const std::string& a, const std::string& b)
{
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

namespace {

constexpr unsigned long kBcachefsMagic = 0xca451a4eUL;
constexpr unsigned long kZfsMagic = 0x2fc12fc1UL;

// The drive's file system type, 0 when it cannot be asked.
unsigned long driveType(int dirFd)
{
    struct statfs fs;
    return ::fstatfs(dirFd, &fs) == 0 ? static_cast<unsigned long>(fs.f_type) : 0;
}

} // namespace

bool stampsByKernelClock(int dirFd)
{
    switch (driveType(dirFd)) {
    case EXT4_SUPER_MAGIC:
    case BTRFS_SUPER_MAGIC:
    case XFS_SUPER_MAGIC:
    case TMPFS_MAGIC:
    case F2FS_SUPER_MAGIC:
    case kBcachefsMagic:
    case kZfsMagic:
        return true;
    default:
        return false;
    }
}

bool sharesBlocks(int dirFd)
{
    switch (driveType(dirFd)) {
    case BTRFS_SUPER_MAGIC:
    case XFS_SUPER_MAGIC:
    case kBcachefsMagic:
    case kZfsMagic:
        return true;
    default:
        return false;
    }
}

long long sourceTimeSlack(int dirFd)
{
    constexpr long long kKernelTick = 20000000LL; // above a jiffy at HZ=100
    constexpr long long kCoarsest = 2000000000LL;
    return stampsByKernelClock(dirFd) ? kKernelTick : kCoarsest;
}

bool refusedByTarget(int error)
{
    return error == EPERM || error == ENOTSUP || error == EOPNOTSUPP || error == ENOSYS;
}

} // namespace plovern
