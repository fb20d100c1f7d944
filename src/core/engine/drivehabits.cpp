#include "core/engine/drivehabits.h"

#include <cctype>
#include <cerrno>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "core/engine/descriptors.h"

namespace plovern {

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

bool refusedByTarget(int error)
{
    return error == EPERM || error == ENOTSUP || error == EOPNOTSUPP || error == ENOSYS;
}

} // namespace plovern
