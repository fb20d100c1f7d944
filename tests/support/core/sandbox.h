#pragma once

#include <functional>
#include <initializer_list>
#include <memory>

#include <QByteArray>
#include <QString>
#include <QStringList>

namespace plovern::test {

// Runs `work` in a forked child and returns the bytes it returned, or
// "<child failed: ...>", or "<child hung ...>" after two minutes. The child may change what a test process must not:
// enter its own user and mount namespace, or refuse system calls.
QByteArray inChild(const std::function<QByteArray()>& work);

// In a child: a user and mount namespace of its own, where this user may
// mount. False where the kernel does not allow it.
bool enterMountNamespace();
bool bindMount(const QString& from, const QString& to);
bool mountTmpfs(const QString& at, const char* options = nullptr);

// In a child: another user from now on, as the attacker of a test run as
// root is (`nobody`, kNobody). False where this process may not change user.
inline constexpr unsigned kNobody = 65534;
bool becomeUser(unsigned uid);

// A POSIX ACL entry as the kernel keeps it, and the ACL `name`
// ("system.posix_acl_access" or "_default") written in that form; false
// where the drive keeps none.
struct AclEntry
{
    quint16 tag;
    quint16 permissions;
    quint32 id;
};
bool setAcl(const QString& path, const char* name, std::initializer_list<AclEntry> entries);

// Sets or clears an inode flag (chattr +i, +a); false where it cannot be set.
bool setInodeFlag(const QString& path, int flag, bool on);

// In a child: the given system calls fail with `error` from now on, as on a
// drive that cannot store what they set.
bool refuseSyscalls(std::initializer_list<long> syscalls, int error);

// A drive of the test's own, through FUSE (testdrive.cpp): the backing
// folder's files with the faults named by `options` ("--follow-links",
// "--freeze-file", F), mounted for one scope. Not mounted where FUSE or the
// drive's program is not at hand; say why with skipReason().
class TestDrive
{
public:
    TestDrive(const QString& backing, const QString& mountPoint, const QStringList& options = {});
    ~TestDrive();
    TestDrive(const TestDrive&) = delete;
    TestDrive& operator=(const TestDrive&) = delete;

    bool mounted() const { return m_mounted; }
    static QString skipReason();

private:
    QString m_mountPoint;
    qint64 m_pid = 0;
    int m_told = -1; // the pipe the drive tells on
    bool m_mounted = false;
};

// A network share whose server stops answering: a test drive over
// `folder`/server mounted at `folder`/share, every read and write waiting
// from the start until thaw(). Thawed before it is unmounted.
class FrozenShare
{
public:
    explicit FrozenShare(const QString& folder);
    ~FrozenShare() { thaw(); }
    FrozenShare(const FrozenShare&) = delete;
    FrozenShare& operator=(const FrozenShare&) = delete;

    bool mounted() const { return m_drive && m_drive->mounted(); }
    void thaw();
    QString share() const { return m_folder + QStringLiteral("/share/"); } // the destination to use
    QString server() const { return m_folder + QStringLiteral("/server"); } // what reaches the server

private:
    QString m_folder;
    QString m_freeze;
    std::unique_ptr<TestDrive> m_drive;
};

// A real drive of `format` ("btrfs", "xfs", "ext4") for one scope: a sparse
// image of `bytes` in `folder`, formatted and mounted on a loop device at
// `folder`/drive. Needs root, a free loop device and the format's mkfs;
// where one is missing it is not mounted, and skipReason() says why.
class LoopDrive
{
public:
    LoopDrive(const QString& folder, const QString& format, qint64 bytes = qint64(320) << 20);
    ~LoopDrive();
    LoopDrive(const LoopDrive&) = delete;
    LoopDrive& operator=(const LoopDrive&) = delete;

    bool mounted() const { return m_mounted; }
    const QString& skipReason() const { return m_skipReason; }
    QString root() const { return m_folder + QStringLiteral("/drive"); }
    // The bytes in use on the drive, everything written out first.
    qint64 used() const;

private:
    QString m_folder;
    QString m_loop;
    QString m_skipReason;
    bool m_mounted = false;
};

} // namespace plovern::test
