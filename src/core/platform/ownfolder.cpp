#include "core/platform/ownfolder.h"

#include <cerrno>
#include <climits>
#include <cstring>
#include <deque>
#include <mutex>
#include <utility>

#include <fcntl.h>
#include <grp.h>
#include <pwd.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <QRandomGenerator>

#include "core/platform/fd.h"
#include "core/platform/paths.h"

namespace plovern {

namespace {

QString errnoString(int error)
{
    return QString::fromLocal8Bit(std::strerror(error));
}

// Whether `gid` is the private group of the user `uid`: named after the
// user, the user's primary group, and no one else's, as a member or as a
// primary group.
bool isPrivateGroup(uid_t uid, gid_t gid)
{
    static std::mutex accounts; // getpwent walks one shared cursor
    std::lock_guard lock(accounts);
    const passwd* user = ::getpwuid(uid);
    if (!user || user->pw_gid != gid)
        return false;
    const QByteArray name = user->pw_name;
    const group* g = ::getgrgid(gid);
    if (!g || name != g->gr_name)
        return false;
    for (char** member = g->gr_mem; member && *member; ++member) {
        if (name != *member)
            return false;
    }
    bool alone = true;
    ::setpwent();
    while (const passwd* other = ::getpwent()) {
        if (other->pw_gid == gid && other->pw_uid != uid)
            alone = false;
    }
    ::endpwent();
    return alone;
}

// The entries of a POSIX access ACL as the kernel keeps them in the xattr.
struct AclEntry
{
    quint16 tag;
    quint16 perm;
    quint32 id;
};
constexpr quint16 kAclUser = 0x02;
constexpr quint16 kAclGroupObj = 0x04;
constexpr quint16 kAclGroup = 0x08;
constexpr quint16 kAclMask = 0x10;
constexpr quint16 kAclWrite = 0x02;

std::vector<AclEntry> accessAcl(int fd)
{
    static constexpr char kName[] = "system.posix_acl_access";
    char value[4096];
    ssize_t size = ::fgetxattr(fd, kName, value, sizeof value);
    if (size < 0 && errno == EBADF) // an O_PATH descriptor
        size
            = ::getxattr(QByteArray("/proc/self/fd/" + QByteArray::number(fd)).constData(), kName, value, sizeof value);
    std::vector<AclEntry> entries;
    if (size < 4)
        return entries;
    for (ssize_t at = 4; at + 8 <= size; at += 8) {
        AclEntry entry;
        std::memcpy(&entry.tag, value + at, 2);
        std::memcpy(&entry.perm, value + at + 2, 2);
        std::memcpy(&entry.id, value + at + 4, 4);
        entries.push_back(entry);
    }
    return entries;
}

QString groupMayWrite(uid_t uid, gid_t gid)
{
    if (isPrivateGroup(uid, gid))
        return {};
    const group* g = ::getgrgid(gid);
    return QStringLiteral("its group %1 may change it")
        .arg(g ? QString::fromLocal8Bit(g->gr_name) : QString::number(gid));
}

} // namespace

QString userName(uid_t uid)
{
    passwd entry;
    passwd* found = nullptr;
    char buffer[4096];
    if (::getpwuid_r(uid, &entry, buffer, sizeof buffer, &found) == 0 && found)
        return QStringLiteral("user %1").arg(QString::fromLocal8Bit(found->pw_name));
    return QStringLiteral("user %1").arg(uid);
}

QString openToOthers(int fd, const struct stat& st)
{
    const uid_t uid = ::geteuid();
    if (st.st_uid != uid && st.st_uid != 0)
        return QStringLiteral("it belongs to %1").arg(userName(st.st_uid));
    // A sticky folder keeps others from replacing what is ours, not from
    // placing files of their own: those are judged by their owner.
    if (S_ISDIR(st.st_mode) && (st.st_mode & S_ISVTX) != 0)
        return {};
    if ((st.st_mode & S_IWOTH) != 0)
        return QStringLiteral("any user may change it");
    const std::vector<AclEntry> acl = accessAcl(fd);
    if (acl.empty())
        return (st.st_mode & S_IWGRP) != 0 ? groupMayWrite(uid, st.st_gid) : QString();
    bool masked = false;
    for (const AclEntry& entry : acl)
        masked = masked || (entry.tag == kAclMask && (entry.perm & kAclWrite) == 0);
    for (const AclEntry& entry : acl) {
        if ((entry.perm & kAclWrite) == 0 || masked)
            continue;
        if (entry.tag == kAclUser && entry.id != uid)
            return QStringLiteral("%1 may change it (ACL)").arg(userName(entry.id));
        if (entry.tag == kAclGroupObj || entry.tag == kAclGroup) {
            const QString why = groupMayWrite(uid, entry.tag == kAclGroup ? entry.id : st.st_gid);
            if (!why.isEmpty())
                return why + QStringLiteral(" (ACL)");
        }
    }
    return {};
}

bool walkJudged(int from, const QByteArray& fromPath, const QByteArray& path, bool judgeFolders, bool followLast,
                WalkEnd* end, QString* why)
{
    const uid_t uid = ::geteuid();
    std::deque<QByteArray> rest;
    const auto prepend = [&](const QByteArray& more) {
        const QList<QByteArray> names = more.split('/');
        for (auto name = names.crbegin(); name != names.crend(); ++name) {
            if (!name->isEmpty() && *name != ".")
                rest.push_front(*name);
        }
    };
    const auto fail = [&](const QByteArray& at, const QString& reason, int error = EPERM) {
        *why = QStringLiteral("%1: %2").arg(pathText(at), reason);
        errno = error;
        return false;
    };
    const auto failed = [&](const QByteArray& at) {
        const int error = errno;
        return fail(at, errnoString(error), error);
    };
    Fd at;
    QByteArray way; // the path walked so far, for messages
    const auto toRoot = [&] {
        at.reset(::open("/", O_PATH | O_DIRECTORY | O_CLOEXEC));
        way = "/";
        struct stat st;
        if (!at.valid() || ::fstat(at.get(), &st) != 0)
            return failed(way);
        if (const QString reason = judgeFolders ? openToOthers(at.get(), st) : QString(); !reason.isEmpty())
            return fail("the folder /", reason);
        return true;
    };
    if (path.startsWith('/')) {
        if (!toRoot())
            return false;
    } else {
        at.reset(::fcntl(from, F_DUPFD_CLOEXEC, 0));
        way = fromPath;
    }
    prepend(path);
    int links = 0;
    while (!rest.empty()) {
        const QByteArray name = rest.front();
        rest.pop_front();
        const bool last = rest.empty();
        const QByteArray here = way.isEmpty() ? name : way.endsWith('/') ? way + name : way + '/' + name;
        Fd next(::openat(at.get(), name.constData(), O_PATH | O_NOFOLLOW | O_CLOEXEC));
        struct stat st;
        if (!next.valid() || ::fstat(next.get(), &st) != 0) {
            if (last && errno == ENOENT) {
                end->folder = at.release();
                end->leaf = name;
                end->exists = false;
                return true;
            }
            return failed(here);
        }
        if (S_ISLNK(st.st_mode) && (!last || followLast)) {
            if (st.st_uid != uid && st.st_uid != 0)
                return fail("the link " + here, QStringLiteral("it belongs to %1").arg(userName(st.st_uid)));
            if (++links > 40)
                return fail(here, errnoString(ELOOP), ELOOP);
            char target[PATH_MAX];
            const ssize_t size = ::readlinkat(next.get(), "", target, sizeof target);
            if (size <= 0)
                return failed(here);
            const QByteArray to(target, size);
            prepend(to);
            if (to.startsWith('/') && !toRoot())
                return false;
            continue;
        }
        if (last) {
            end->folder = at.release();
            end->leaf = name;
            end->exists = true;
            end->st = st;
            return true;
        }
        if (!S_ISDIR(st.st_mode))
            return fail(here, errnoString(ENOTDIR), ENOTDIR);
        if (const QString reason = judgeFolders ? openToOthers(next.get(), st) : QString(); !reason.isEmpty())
            return fail("the folder " + here, reason);
        at = std::move(next);
        way = here;
    }
    // The path, or the last link, ends at a folder already walked into.
    end->folder = at.release();
    end->leaf = ".";
    end->exists = ::fstat(end->folder, &end->st) == 0;
    return true;
}

int openFolderJudged(const QByteArray& path, QString* why)
{
    WalkEnd end;
    if (!walkJudged(AT_FDCWD, ".", path, false, true, &end, why))
        return -1;
    const Fd above(end.folder);
    if (!end.exists) {
        *why = QStringLiteral("%1: %2").arg(pathText(path), errnoString(ENOENT));
        errno = ENOENT;
        return -1;
    }
    const int fd = ::openat(above.get(), end.leaf.constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) {
        const int error = errno;
        *why = QStringLiteral("%1: %2").arg(pathText(path), errnoString(error));
        errno = error;
    }
    return fd;
}

OwnFolder::OwnFolder(QString path)
    : m_path(std::move(path))
{
    WalkEnd end;
    if (!walkJudged(AT_FDCWD, ".", pathBytes(m_path), true, true, &end, &m_distrust))
        return;
    const Fd above(end.folder);
    if (!end.exists)
        return; // nothing to read, and nothing can be written
    m_fd = ::openat(above.get(), end.leaf.constData(), O_PATH | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    struct stat st;
    if (m_fd < 0 || ::fstat(m_fd, &st) != 0) {
        m_distrust = QStringLiteral("%1: %2").arg(m_path, errnoString(errno));
        return;
    }
    if (const QString why = openToOthers(m_fd, st); !why.isEmpty())
        m_distrust = QStringLiteral("the folder %1: %2").arg(m_path, why);
}

QString OwnFolder::judge(const QStringList& names)
{
    for (const QString& name : names) {
        QString why;
        const Fd file(open(name, O_PATH, Create::no, &why)); // judged without being read
        if (file.valid() || errno == ENOENT)
            continue;
        std::lock_guard lock(m_mutex);
        if (m_distrust.isEmpty())
            m_distrust = QStringLiteral("%1: %2").arg(filePath(name), why);
    }
    return distrust();
}

QString OwnFolder::distrust() const
{
    std::lock_guard lock(m_mutex);
    return m_distrust;
}

OwnFolder::~OwnFolder()
{
    if (m_fd >= 0)
        ::close(m_fd);
}

QString OwnFolder::filePath(const QString& name) const
{
    return m_path + QLatin1Char('/') + name;
}

int OwnFolder::open(const QString& name, int flags, Create create, QString* error) const
{
    const auto fail = [&](const QString& why, int code) {
        if (error)
            *error = why;
        errno = code;
        return -1;
    };
    if (const QString distrusted = distrust(); !distrusted.isEmpty())
        return fail(distrusted, EPERM);
    struct stat dir;
    if (m_fd < 0 || ::fstat(m_fd, &dir) != 0)
        return fail(QStringLiteral("%1: %2").arg(m_path, errnoString(ENOENT)), ENOTDIR);
    if (const QString why = openToOthers(m_fd, dir); !why.isEmpty())
        return fail(QStringLiteral("the folder %1: %2").arg(m_path, why), EPERM);
    for (int attempt = 0; attempt < 3; ++attempt) {
        WalkEnd end;
        QString why;
        if (!walkJudged(m_fd, pathBytes(m_path), pathBytes(name), true, true, &end, &why))
            return fail(why, EPERM);
        const Fd folder(end.folder);
        struct stat holder;
        if (::fstat(folder.get(), &holder) != 0) {
            const int failure = errno;
            return fail(errnoString(failure), failure);
        }
        // In a sticky folder others may place files: only the user's own count.
        const bool shared = (holder.st_mode & S_ISVTX) != 0;
        Fd fd;
        if (!end.exists) {
            if (create == Create::no)
                return fail(errnoString(ENOENT), ENOENT);
            fd.reset(
                ::openat(folder.get(), end.leaf.constData(), flags | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644));
            if (!fd.valid() && errno == EEXIST)
                continue; // made meanwhile: judge what is there
            // Ours carry no ACL a default one on the folder would give them.
            if (fd.valid())
                ::fremovexattr(fd.get(), "system.posix_acl_access");
        } else if (S_ISREG(end.st.st_mode)) {
            fd.reset(
                ::openat(folder.get(), end.leaf.constData(), flags | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
        } else {
            return fail(QStringLiteral("not a plain file"), EPERM);
        }
        struct stat st;
        if (!fd.valid() || ::fstat(fd.get(), &st) != 0) {
            const int failure = errno;
            return fail(errnoString(failure), failure);
        }
        if (end.exists && (st.st_dev != end.st.st_dev || st.st_ino != end.st.st_ino))
            continue; // replaced while it was opened
        QString judged = openToOthers(fd.get(), st);
        if (judged.isEmpty() && shared && st.st_uid != ::geteuid())
            judged = QStringLiteral("it belongs to %1").arg(userName(st.st_uid));
        if (!judged.isEmpty())
            return fail(judged, EPERM);
        return fd.release();
    }
    return fail(QStringLiteral("it changed while it was opened"), EAGAIN);
}

bool OwnFolder::read(const QString& name, QByteArray* bytes, QString* error) const
{
    const Fd fd(open(name, O_RDONLY, Create::no, error));
    if (!fd.valid())
        return false;
    QByteArray all;
    char chunk[65536];
    for (;;) {
        const ssize_t got = ::read(fd.get(), chunk, sizeof chunk);
        if (got == 0)
            break;
        if (got < 0) {
            if (errno == EINTR)
                continue;
            if (error)
                *error = errnoString(errno);
            return false;
        }
        all.append(chunk, got);
    }
    *bytes = std::move(all);
    return true;
}

namespace {

// Writes all of `bytes`; a short write is the disk's doing.
bool writeAll(int fd, const QByteArray& bytes, QString* error)
{
    for (qsizetype done = 0; done < bytes.size();) {
        const ssize_t wrote = ::write(fd, bytes.constData() + done, size_t(bytes.size() - done));
        if (wrote < 0 && errno == EINTR)
            continue;
        if (wrote <= 0) {
            if (error)
                *error = wrote < 0 && errno != EFBIG && errno != ENOSPC
                    ? errnoString(errno)
                    : QStringLiteral("the disk took only part of it (full, or a size limit)");
            return false;
        }
        done += wrote;
    }
    return true;
}

} // namespace

bool OwnFolder::save(const QString& name, const QByteArray& bytes, QString* error) const
{
    // What is there is judged first; a trusted link is saved through to its file.
    mode_t mode = 0;
    {
        QString why;
        const Fd old(open(name, O_RDONLY, Create::no, &why));
        struct stat st;
        if (!old.valid() && errno != ENOENT) {
            if (error)
                *error = why;
            return false;
        }
        if (old.valid() && ::fstat(old.get(), &st) == 0)
            mode = st.st_mode & 07777;
    }
    WalkEnd end;
    if (!walkJudged(m_fd, pathBytes(m_path), pathBytes(name), true, true, &end, error))
        return false;
    const Fd folder(end.folder);
    QByteArray temporary;
    Fd fd;
    for (int attempt = 0; attempt < 100 && !fd.valid(); ++attempt) {
        temporary = '.' + end.leaf + '.' + QByteArray::number(QRandomGenerator::global()->generate(), 36);
        fd.reset(
            ::openat(folder.get(), temporary.constData(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644));
        if (!fd.valid() && errno != EEXIST)
            break;
    }
    if (!fd.valid()) {
        if (error)
            *error = errnoString(errno);
        return false;
    }
    ::fremovexattr(fd.get(), "system.posix_acl_access");
    if (!writeAll(fd.get(), bytes, error)) {
        ::unlinkat(folder.get(), temporary.constData(), 0);
        return false;
    }
    if ((mode != 0 && ::fchmod(fd.get(), mode) != 0) || ::fsync(fd.get()) != 0
        || ::renameat(folder.get(), temporary.constData(), folder.get(), end.leaf.constData()) != 0) {
        if (error)
            *error = errnoString(errno);
        ::unlinkat(folder.get(), temporary.constData(), 0);
        return false;
    }
    return true;
}

bool OwnFolder::append(const QString& name, const QByteArray& bytes, QString* error) const
{
    const Fd fd(open(name, O_WRONLY | O_APPEND, Create::yes, error));
    struct stat st;
    if (!fd.valid() || ::fstat(fd.get(), &st) != 0)
        return false;
    if (writeAll(fd.get(), bytes, error)) {
        // What is appended outlives a power cut as the copies it names do.
        if (::fsync(fd.get()) == 0)
            return true;
        if (error)
            *error = errnoString(errno);
    }
    // A torn line would run into the next one appended: take it back.
    if (::ftruncate(fd.get(), st.st_size) != 0 && error)
        *error += QStringLiteral("; part of it stays");
    return false;
}

qint64 OwnFolder::size(const QString& name) const
{
    const Fd fd(open(name, O_RDONLY, Create::no, nullptr));
    struct stat st;
    return fd.valid() && ::fstat(fd.get(), &st) == 0 ? qint64(st.st_size) : -1;
}

bool OwnFolder::rename(const QString& from, const QString& to, QString* error) const
{
    if (!Fd(open(from, O_RDONLY, Create::no, error)).valid())
        return false;
    if (::renameat(m_fd, pathBytes(from).constData(), m_fd, pathBytes(to).constData()) == 0)
        return true;
    if (error)
        *error = errnoString(errno);
    return false;
}

int OwnFolder::openForLock(const QString& name, QString* error) const
{
    const int fd = open(name, O_RDWR, Create::yes, error);
    if (fd >= 0 || errno != EACCES)
        return fd;
    // A lock file left unreadable: any open descriptor can hold the lock.
    return open(name, O_RDONLY, Create::no, error);
}

} // namespace plovern
