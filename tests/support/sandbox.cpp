#include "support/sandbox.h"

#include <cerrno>
#include <cstddef>
#include <cstring>
#include <vector>

#include <fcntl.h>
#include <linux/audit.h>
#include <linux/filter.h>
#include <linux/seccomp.h>
#include <sched.h>
#include <sys/mount.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QFile>

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
    for (ssize_t n; (n = ::read(out[0], buffer, sizeof buffer)) != 0;) {
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            break;
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

bool mountTmpfs(const QString& at)
{
    return ::mount("plovern-test", QFile::encodeName(at).constData(), "tmpfs", 0, nullptr) == 0;
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

} // namespace plovern::test
