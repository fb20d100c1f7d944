// A drive for the tests: the files of a backing folder, served through FUSE
// with the faults real drives have.
//
//   plovern-testdrive BACKING MOUNTPOINT [--follow-links] [--fold-case] [--freeze-file F]
//                     [--whole-seconds] [--change-on-read NAME] [--rewrite-on-read NAME]
//
// --follow-links  sets the owner and times of a link on the file it points
//                 to, as sshfs does.
// --fold-case     finds a name whatever the case of its ASCII letters, as
//                 FAT does: "makefile" is the file "Makefile" where that is.
// --freeze-file F while the file F exists, every read and write waits, as
//                 on a network share whose server stopped answering.
// --whole-seconds keeps times to the second, as some drives and servers do.
// --retime-on-rename
//                 a file renamed takes the time of the rename, as fusefat
//                 was seen to do.
// --change-on-read NAME
//                 the first read of a file called NAME changes its time, as
//                 a program that writes the file while it is copied would.
// --rewrite-on-read NAME
//                 the first read of a file called NAME writes a byte of it
//                 again, its size and modification time kept, as a program
//                 that puts the time back would: only its change time moves.
//
// Runs in the foreground until the mount point is unmounted; says "mounted"
// on its standard output once it is.

#define FUSE_USE_VERSION 31

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>

#include <strings.h>
#include <vector>

#include <dirent.h>
#include <fcntl.h>
#include <fuse.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

int g_backing = -1;
bool g_followLinks = false;
bool g_foldCase = false;
std::string g_freezeFile;
bool g_wholeSeconds = false;
bool g_retimeOnRename = false;
std::string g_changeOnRead;
std::string g_rewriteOnRead;
std::atomic<bool> g_changed{false};

// The name in the backing folder `folder` that `name` stands for: itself
// where it is there, else one alike but for case when the drive folds it.
std::string backingName(const std::string& folder, const std::string& name)
{
    struct stat st;
    const std::string path = folder.empty() ? name : folder + "/" + name;
    if (!g_foldCase || ::fstatat(g_backing, path.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0)
        return name;
    const int fd = ::openat(g_backing, folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY);
    DIR* dir = fd >= 0 ? ::fdopendir(fd) : nullptr;
    if (!dir)
        return name;
    std::string found = name;
    while (const dirent* entry = ::readdir(dir)) {
        if (::strcasecmp(entry->d_name, name.c_str()) == 0) {
            found = entry->d_name;
            break;
        }
    }
    ::closedir(dir);
    return found;
}

// The path below the backing folder: "/" is ".".
std::string below(const char* path)
{
    if (!path[1])
        return ".";
    std::string out;
    for (const char* at = path + 1; *at;) {
        const char* end = std::strchr(at, '/');
        const std::string name = end ? std::string(at, end) : std::string(at);
        const std::string real = backingName(out, name);
        out = out.empty() ? real : out + "/" + real;
        at = end ? end + 1 : at + name.size();
    }
    return out;
}

int result(int value)
{
    return value < 0 ? -errno : value;
}

void waitWhileFrozen()
{
    while (!g_freezeFile.empty() && ::access(g_freezeFile.c_str(), F_OK) == 0)
        ::usleep(20000);
}

int getattrOp(const char* path, struct stat* st, fuse_file_info*)
{
    const int r = result(::fstatat(g_backing, below(path).c_str(), st, AT_SYMLINK_NOFOLLOW));
    if (g_wholeSeconds)
        st->st_atim.tv_nsec = st->st_mtim.tv_nsec = st->st_ctim.tv_nsec = 0;
    return r;
}

int readlinkOp(const char* path, char* buffer, size_t size)
{
    const ssize_t n = ::readlinkat(g_backing, below(path).c_str(), buffer, size - 1);
    if (n < 0)
        return -errno;
    buffer[n] = '\0';
    return 0;
}

int readdirOp(const char* path, void* buffer, fuse_fill_dir_t fill, off_t, fuse_file_info*, fuse_readdir_flags)
{
    const int fd = ::openat(g_backing, below(path).c_str(), O_RDONLY | O_DIRECTORY);
    DIR* dir = fd >= 0 ? ::fdopendir(fd) : nullptr;
    if (!dir)
        return -errno;
    while (const dirent* entry = ::readdir(dir))
        fill(buffer, entry->d_name, nullptr, 0, fuse_fill_dir_flags(0));
    ::closedir(dir);
    return 0;
}

int mkdirOp(const char* path, mode_t mode)
{
    return result(::mkdirat(g_backing, below(path).c_str(), mode));
}

int unlinkOp(const char* path)
{
    return result(::unlinkat(g_backing, below(path).c_str(), 0));
}

int rmdirOp(const char* path)
{
    return result(::unlinkat(g_backing, below(path).c_str(), AT_REMOVEDIR));
}

int symlinkOp(const char* target, const char* path)
{
    return result(::symlinkat(target, g_backing, below(path).c_str()));
}

int renameOp(const char* from, const char* to, unsigned int)
{
    const int r = result(::renameat(g_backing, below(from).c_str(), g_backing, below(to).c_str()));
    if (r == 0 && g_retimeOnRename)
        ::utimensat(g_backing, below(to).c_str(), nullptr, AT_SYMLINK_NOFOLLOW);
    return r;
}

int linkOp(const char* from, const char* to)
{
    return result(::linkat(g_backing, below(from).c_str(), g_backing, below(to).c_str(), 0));
}

int chmodOp(const char* path, mode_t mode, fuse_file_info* fi)
{
    if (fi)
        return result(::fchmod(int(fi->fh), mode));
    return result(::fchmodat(g_backing, below(path).c_str(), mode, 0));
}

int linkFlags()
{
    return g_followLinks ? 0 : AT_SYMLINK_NOFOLLOW;
}

int chownOp(const char* path, uid_t uid, gid_t gid, fuse_file_info* fi)
{
    if (fi)
        return result(::fchown(int(fi->fh), uid, gid));
    return result(::fchownat(g_backing, below(path).c_str(), uid, gid, linkFlags()));
}

int utimensOp(const char* path, const timespec times[2], fuse_file_info* fi)
{
    if (fi)
        return result(::futimens(int(fi->fh), times));
    return result(::utimensat(g_backing, below(path).c_str(), times, linkFlags()));
}

int truncateOp(const char* path, off_t size, fuse_file_info* fi)
{
    if (fi)
        return result(::ftruncate(int(fi->fh), size));
    const int fd = ::openat(g_backing, below(path).c_str(), O_WRONLY);
    if (fd < 0)
        return -errno;
    const int r = result(::ftruncate(fd, size));
    ::close(fd);
    return r;
}

int openOp(const char* path, fuse_file_info* fi)
{
    const int fd = ::openat(g_backing, below(path).c_str(), fi->flags & ~O_NOFOLLOW);
    if (fd < 0)
        return -errno;
    fi->fh = uint64_t(fd);
    return 0;
}

int createOp(const char* path, mode_t mode, fuse_file_info* fi)
{
    const int fd = ::openat(g_backing, below(path).c_str(), fi->flags | O_CREAT, mode);
    if (fd < 0)
        return -errno;
    fi->fh = uint64_t(fd);
    return 0;
}

int readOp(const char* path, char* buffer, size_t size, off_t offset, fuse_file_info* fi)
{
    waitWhileFrozen();
    const std::string name = std::strrchr(path, '/') + 1;
    if (!g_changeOnRead.empty() && name == g_changeOnRead && !g_changed.exchange(true)) {
        ::futimens(int(fi->fh), nullptr); // now: a new time and change time
    }
    if (!g_rewriteOnRead.empty() && name == g_rewriteOnRead && !g_changed.exchange(true)) {
        const int fd = ::openat(g_backing, below(path).c_str(), O_WRONLY);
        struct stat st;
        if (fd >= 0 && ::fstat(fd, &st) == 0 && ::pwrite(fd, "X", 1, 0) == 1) {
            const struct timespec kept[2] = {st.st_atim, st.st_mtim};
            ::futimens(fd, kept);
        }
        if (fd >= 0)
            ::close(fd);
    }
    return result(int(::pread(int(fi->fh), buffer, size, offset)));
}

int writeOp(const char*, const char* buffer, size_t size, off_t offset, fuse_file_info* fi)
{
    waitWhileFrozen();
    return result(int(::pwrite(int(fi->fh), buffer, size, offset)));
}

int releaseOp(const char*, fuse_file_info* fi)
{
    ::close(int(fi->fh));
    return 0;
}

int fsyncOp(const char*, int, fuse_file_info* fi)
{
    return result(::fsync(int(fi->fh)));
}

void* initOp(fuse_conn_info*, fuse_config* config)
{
    // Every call reaches the backing folder, as on a network share.
    config->use_ino = 1;
    config->entry_timeout = 0;
    config->attr_timeout = 0;
    config->negative_timeout = 0;
    // The kernel reaches the drive now: whoever started it may use it.
    std::fputs("mounted\n", stdout);
    std::fflush(stdout);
    return nullptr;
}

} // namespace

int main(int argc, char* argv[])
{
    if (argc < 3) {
        std::fprintf(stderr, "usage: %s BACKING MOUNTPOINT [--follow-links] [--fold-case] [--freeze-file F]\n",
                     argv[0]);
        return 2;
    }
    g_backing = ::open(argv[1], O_RDONLY | O_DIRECTORY);
    if (g_backing < 0) {
        std::perror(argv[1]);
        return 1;
    }
    for (int i = 3; i < argc; ++i) {
        if (std::strcmp(argv[i], "--follow-links") == 0)
            g_followLinks = true;
        else if (std::strcmp(argv[i], "--fold-case") == 0)
            g_foldCase = true;
        else if (std::strcmp(argv[i], "--freeze-file") == 0 && i + 1 < argc)
            g_freezeFile = argv[++i];
        else if (std::strcmp(argv[i], "--whole-seconds") == 0)
            g_wholeSeconds = true;
        else if (std::strcmp(argv[i], "--retime-on-rename") == 0)
            g_retimeOnRename = true;
        else if (std::strcmp(argv[i], "--change-on-read") == 0 && i + 1 < argc)
            g_changeOnRead = argv[++i];
        else if (std::strcmp(argv[i], "--rewrite-on-read") == 0 && i + 1 < argc)
            g_rewriteOnRead = argv[++i];
    }
    fuse_operations ops{};
    ops.getattr = getattrOp;
    ops.readlink = readlinkOp;
    ops.readdir = readdirOp;
    ops.mkdir = mkdirOp;
    ops.unlink = unlinkOp;
    ops.rmdir = rmdirOp;
    ops.symlink = symlinkOp;
    ops.rename = renameOp;
    ops.link = linkOp;
    ops.chmod = chmodOp;
    ops.chown = chownOp;
    ops.utimens = utimensOp;
    ops.truncate = truncateOp;
    ops.open = openOp;
    ops.create = createOp;
    ops.read = readOp;
    ops.write = writeOp;
    ops.release = releaseOp;
    ops.fsync = fsyncOp;
    ops.init = initOp;
    std::vector<char*> args{argv[0], argv[2], const_cast<char*>("-f"), const_cast<char*>("-o"),
                            const_cast<char*>("default_permissions")};
    if (::geteuid() == 0) {
        args.push_back(const_cast<char*>("-o"));
        args.push_back(const_cast<char*>("allow_other"));
    }
    return fuse_main(int(args.size()), args.data(), &ops, nullptr);
}
