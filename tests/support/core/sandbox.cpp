#include "support/core/sandbox.h"

#include <algorithm>
#include <cerrno>
#include <cstddef>
#include <cstring>
#include <vector>

#include <csignal>
#include <fcntl.h>
#include <grp.h>
#include <linux/audit.h>
#include <linux/filter.h>
#include <linux/fs.h>
#include <linux/seccomp.h>
#include <poll.h>
#include <sched.h>
#include <spawn.h>
#include <sys/ioctl.h>
#include <sys/mount.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <sys/wait.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>

namespace plovern::test {

namespace {

bool writeText(const char* path, const QByteArray& text)
{
    const int fd = ::open(path, O_WRONLY | O_CLOEXEC);
    if (fd < 0)
        return false;
    const bool ok = ::write(fd, text.constData(), static_cast<size_t>(text.size())) == text.size();
    ::close(fd);
    return ok;
}

// Where each thread of `pid` waits in the kernel, where the kernel tells.
QByteArray kernelStacks(pid_t pid)
{
    QByteArray where;
    const QString tasks = QStringLiteral("/proc/%1/task").arg(pid);
    for (const QString& task : QDir(tasks).entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        QFile stack(tasks + "/" + task + "/stack");
        QFile wchan(tasks + "/" + task + "/wchan");
        where += task.toUtf8() + ": " + (wchan.open(QIODevice::ReadOnly) ? wchan.readAll() : QByteArray()) + "\n";
        if (stack.open(QIODevice::ReadOnly))
            where += stack.readAll();
    }
    return where;
}

} // namespace

QByteArray inChild(const std::function<QByteArray()>& work)
{
    int out[2];
    if (::pipe(out) != 0)
        return "<child failed: no pipe>";
    const pid_t pid = ::fork();
    if (pid < 0)
        return "<child failed: no fork>";
    if (pid == 0) {
        ::close(out[0]);
        const QByteArray result = work();
        const bool ok = ::write(out[1], result.constData(), static_cast<size_t>(result.size())) == result.size();
        ::_exit(ok ? 0 : 1);
    }
    ::close(out[1]);
    QByteArray result;
    char buffer[4096];
    // Bounded: a child that hangs fails its test, saying where it waited,
    // instead of holding the suite until ctest's limit.
    const QDeadlineTimer limit(120000);
    for (;;) {
        pollfd ready{out[0], POLLIN, 0};
        const int polled = ::poll(&ready, 1, int(std::max<qint64>(limit.remainingTime(), 0)));
        if (polled == 0) {
            const QByteArray where = kernelStacks(pid);
            ::kill(pid, SIGKILL);
            ::waitpid(pid, nullptr, 0);
            ::close(out[0]);
            return "<child hung for 120 s; its threads wait in:\n" + where + ">";
        }
        const ssize_t n = polled < 0 ? -1 : ::read(out[0], buffer, sizeof buffer);
        if (n == 0 || (n < 0 && errno != EINTR))
            break;
        if (n > 0)
            result.append(buffer, n);
    }
    ::close(out[0]);
    int status = 0;
    ::waitpid(pid, &status, 0);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0)
        return "<child failed: status " + QByteArray::number(status) + ">";
    return result;
}

bool enterMountNamespace()
{
    const uid_t uid = ::geteuid();
    const gid_t gid = ::getegid();
    // A process that changed its user is not dumpable, and its /proc files are then not its own.
    ::prctl(PR_SET_DUMPABLE, 1, 0, 0, 0);
    if (::unshare(CLONE_NEWUSER | CLONE_NEWNS) != 0)
        return false;
    writeText("/proc/self/setgroups", "deny");
    return writeText("/proc/self/uid_map", "0 " + QByteArray::number(uid) + " 1")
        && writeText("/proc/self/gid_map", "0 " + QByteArray::number(gid) + " 1")
        && ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) == 0;
}

bool bindMount(const QString& from, const QString& to)
{
    return ::mount(QFile::encodeName(from).constData(), QFile::encodeName(to).constData(), nullptr, MS_BIND, nullptr)
        == 0;
}

bool mountTmpfs(const QString& at, const char* options)
{
    return ::mount("plovern-test", QFile::encodeName(at).constData(), "tmpfs", 0, options) == 0;
}

bool becomeUser(unsigned uid)
{
    return ::setgroups(0, nullptr) == 0 && ::setresgid(uid, uid, uid) == 0 && ::setresuid(uid, uid, uid) == 0;
}

bool setAcl(const QString& path, const char* name, std::initializer_list<AclEntry> entries)
{
    QByteArray value;
    const auto put = [&value](auto number) { value.append(reinterpret_cast<const char*>(&number), sizeof number); };
    put(quint32(2));
    for (const AclEntry& entry : entries) {
        put(entry.tag);
        put(entry.permissions);
        put(entry.id);
    }
    return ::setxattr(QFile::encodeName(path).constData(), name, value.constData(), size_t(value.size()), 0) == 0;
}

bool setInodeFlag(const QString& path, int flag, bool on)
{
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC);
    int flags = 0;
    bool ok = fd >= 0 && ::ioctl(fd, FS_IOC_GETFLAGS, &flags) == 0;
    flags = on ? flags | flag : flags & ~flag;
    ok = ok && ::ioctl(fd, FS_IOC_SETFLAGS, &flags) == 0;
    if (fd >= 0)
        ::close(fd);
    return ok;
}

bool refuseSyscalls(std::initializer_list<long> syscalls, int error)
{
#if defined(__x86_64__)
    constexpr unsigned arch = AUDIT_ARCH_X86_64;
#elif defined(__aarch64__)
    constexpr unsigned arch = AUDIT_ARCH_AARCH64;
#else
    return false;
#endif
    std::vector<sock_filter> program{
        BPF_STMT(BPF_LD | BPF_W | BPF_ABS, offsetof(seccomp_data, arch)),
        BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, arch, 1, 0),
        BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ALLOW),
        BPF_STMT(BPF_LD | BPF_W | BPF_ABS, offsetof(seccomp_data, nr)),
    };
    for (const long call : syscalls) {
        program.push_back(BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, static_cast<unsigned>(call), 0, 1));
        program.push_back(BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ERRNO | (static_cast<unsigned>(error) & 0xffff)));
    }
    program.push_back(BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ALLOW));
    const sock_fprog filter{static_cast<unsigned short>(program.size()), program.data()};
    return ::prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0) == 0 && ::prctl(PR_SET_SECCOMP, SECCOMP_MODE_FILTER, &filter) == 0;
}

namespace {

bool isMountRoot(const QString& path)
{
    struct statx sx;
    return ::statx(AT_FDCWD, QFile::encodeName(path).constData(), AT_SYMLINK_NOFOLLOW, STATX_BASIC_STATS, &sx) == 0
        && (sx.stx_attributes_mask & sx.stx_attributes & STATX_ATTR_MOUNT_ROOT) != 0;
}

} // namespace

TestDrive::TestDrive(const QString& backing, const QString& mountPoint, const QStringList& options)
    : m_mountPoint(mountPoint)
{
#ifdef PLOVERN_TESTDRIVE
    if (!skipReason().isEmpty())
        return;
    // The drive says "mounted" on its standard output once the kernel has
    // reached it, and its end of the pipe closes when it exits.
    int pipe[2];
    if (::pipe2(pipe, O_CLOEXEC) != 0)
        return;
    std::vector<QByteArray> arguments{PLOVERN_TESTDRIVE, QFile::encodeName(backing), QFile::encodeName(mountPoint)};
    for (const QString& option : options)
        arguments.push_back(QFile::encodeName(option));
    std::vector<char*> argv;
    for (QByteArray& argument : arguments)
        argv.push_back(argument.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    ::posix_spawn_file_actions_init(&actions);
    ::posix_spawn_file_actions_adddup2(&actions, pipe[1], STDOUT_FILENO);
    pid_t pid = 0;
    const bool started = ::posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ) == 0;
    ::posix_spawn_file_actions_destroy(&actions);
    ::close(pipe[1]);
    m_told = pipe[0];
    if (!started)
        return;
    m_pid = pid;
    char said[16] = {};
    pollfd told{m_told, POLLIN, 0};
    m_mounted = ::poll(&told, 1, 10000) == 1 && ::read(m_told, said, sizeof said - 1) > 0
        && std::strcmp(said, "mounted\n") == 0 && isMountRoot(mountPoint);
#else
    Q_UNUSED(backing);
    Q_UNUSED(options);
#endif
}

TestDrive::~TestDrive()
{
    if (m_mounted && ::umount2(QFile::encodeName(m_mountPoint).constData(), MNT_DETACH) != 0)
        QProcess::execute(QStringLiteral("fusermount3"), {QStringLiteral("-u"), QStringLiteral("-z"), m_mountPoint});
    if (m_pid > 0) {
        ::kill(pid_t(m_pid), SIGTERM);
        pollfd ended{m_told, POLLIN, 0};
        char rest[64];
        while (::poll(&ended, 1, 2000) == 1 && ::read(m_told, rest, sizeof rest) > 0) { }
        ::kill(pid_t(m_pid), SIGKILL); // a drive still answering nobody: its waiting calls fail
        ::waitpid(pid_t(m_pid), nullptr, 0);
    }
    if (m_told >= 0)
        ::close(m_told);
}

QString TestDrive::skipReason()
{
#ifdef PLOVERN_TESTDRIVE
    if (::access("/dev/fuse", R_OK | W_OK) != 0)
        return QStringLiteral("/dev/fuse is not usable here");
    if (::geteuid() != 0 && QStandardPaths::findExecutable(QStringLiteral("fusermount3")).isEmpty())
        return QStringLiteral("an ordinary user mounts FUSE drives with fusermount3, which is not here");
    return {};
#else
    return QStringLiteral("built without libfuse3");
#endif
}

FrozenShare::FrozenShare(const QString& folder)
    : m_folder(folder)
    , m_freeze(folder + QStringLiteral("/frozen"))
{
    QDir().mkpath(server());
    QDir().mkpath(share());
    QFile freeze(m_freeze);
    if (freeze.open(QIODevice::WriteOnly))
        m_drive
            = std::make_unique<TestDrive>(server(), share(), QStringList{QStringLiteral("--freeze-file"), m_freeze});
}

void FrozenShare::thaw()
{
    QFile::remove(m_freeze);
}

LoopDrive::LoopDrive(const QString& folder, const QString& format, qint64 bytes)
    : m_folder(folder)
{
    const QString mkfs = QStandardPaths::findExecutable("mkfs." + format, {"/usr/sbin", "/sbin"});
    if (::geteuid() != 0) {
        m_skipReason = QStringLiteral("a %1 drive on a loop device needs root").arg(format);
        return;
    }
    if (mkfs.isEmpty()) {
        m_skipReason = QStringLiteral("mkfs.%1 is not installed").arg(format);
        return;
    }
    QFile image(folder + QStringLiteral("/drive.img"));
    if (!image.open(QIODevice::WriteOnly) || !image.resize(bytes)) {
        m_skipReason = QStringLiteral("cannot make an image file");
        return;
    }
    image.close();
    QDir().mkpath(root());
    QProcess run;
    // ext4 initialised at once: its lazy init would write the inode tables
    // beside whatever the drive is used for.
    run.start(mkfs,
              format == "ext4" ? QStringList{"-Fq", "-E", "lazy_itable_init=0,lazy_journal_init=0", image.fileName()}
                               : QStringList{"-fq", image.fileName()});
    if (!run.waitForFinished(60000) || run.exitCode() != 0) {
        m_skipReason
            = QStringLiteral("mkfs.%1 failed: %2").arg(format, QString::fromLocal8Bit(run.readAllStandardError()));
        return;
    }
    run.start(QStringLiteral("losetup"), {"-f", "--show", image.fileName()});
    if (!run.waitForFinished() || run.exitCode() != 0) {
        m_skipReason = QStringLiteral("no loop device: %1").arg(QString::fromLocal8Bit(run.readAllStandardError()));
        return;
    }
    m_loop = QString::fromUtf8(run.readAllStandardOutput()).trimmed();
    m_mounted = QProcess::execute(QStringLiteral("mount"), {"-t", format, m_loop, root()}) == 0;
    if (!m_mounted)
        m_skipReason = QStringLiteral("this kernel cannot mount %1").arg(format);
}

LoopDrive::~LoopDrive()
{
    if (m_mounted)
        ::umount2(QFile::encodeName(root()).constData(), MNT_DETACH);
    if (!m_loop.isEmpty())
        QProcess::execute(QStringLiteral("losetup"), {"-d", m_loop});
}

qint64 LoopDrive::used() const
{
    const int fd = ::open(QFile::encodeName(root()).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    struct statvfs st
    {
    };
    const bool known = fd >= 0 && ::syncfs(fd) == 0 && ::fstatvfs(fd, &st) == 0;
    if (fd >= 0)
        ::close(fd);
    return known ? qint64(st.f_blocks - st.f_bfree) * qint64(st.f_frsize) : -1;
}

} // namespace plovern::test
