#include "support/core/fakes.h"

#include <algorithm>
#include <cstring>
#include <random>
#include <vector>

#include <dirent.h>
#include <fcntl.h>
#include <ftw.h>
#include <linux/fiemap.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <QCryptographicHash>
#include <QDeadlineTimer>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>

#include "core/engine/drivehabits.h"

namespace plovern::test {

namespace {

// The time the kernel would stamp on a change made now.
qint64 kernelStampNow()
{
    struct timespec now;
    ::clock_gettime(CLOCK_REALTIME_COARSE, &now);
    return now.tv_sec * 1000000000LL + now.tv_nsec;
}

} // namespace

QStringList entriesBelow(const QString& root)
{
    QStringList names;
    QDirIterator it(root, QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System,
                    QDirIterator::Subdirectories);
    while (it.hasNext())
        names.append(QDir(root).relativeFilePath(it.next()));
    names.sort();
    return names;
}

QByteArray contentOf(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
}

bool saveFile(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(bytes) == bytes.size();
}

FileSizeLimit::FileSizeLimit(quint64 bytes)
{
    rlimit limit;
    ::getrlimit(RLIMIT_FSIZE, &limit);
    m_saved = limit.rlim_cur;
    limit.rlim_cur = bytes;
    ::setrlimit(RLIMIT_FSIZE, &limit);
}

FileSizeLimit::~FileSizeLimit()
{
    rlimit limit;
    ::getrlimit(RLIMIT_FSIZE, &limit);
    limit.rlim_cur = m_saved;
    ::setrlimit(RLIMIT_FSIZE, &limit);
}

void makeTree(const QString& root, const QList<QPair<QString, QByteArray>>& files)
{
    for (const auto& [path, content] : files) {
        const QString full = root + QLatin1Char('/') + path;
        if (path.endsWith(QLatin1Char('/'))) {
            QDir().mkpath(full);
            continue;
        }
        QDir().mkpath(QFileInfo(full).path());
        QFile file(full);
        if (!file.open(QIODevice::WriteOnly) || file.write(content) != content.size())
            qFatal("cannot write %s", qPrintable(full));
    }
}

namespace {

// The extended attributes of an entry, ACLs among them, as " name=hex" each.
QByteArray attributesOf(const QByteArray& path)
{
    char names[4096];
    const ssize_t length = ::llistxattr(path.constData(), names, sizeof names);
    QList<QByteArray> found;
    for (ssize_t at = 0; at < length; at += ssize_t(std::strlen(names + at)) + 1) {
        char value[4096];
        const ssize_t size = ::lgetxattr(path.constData(), names + at, value, sizeof value);
        found.append(' ' + QByteArray(names + at) + '=' + QByteArray(value, size > 0 ? int(size) : 0).toHex());
    }
    std::sort(found.begin(), found.end());
    return found.join();
}

void listBelow(const QByteArray& root, const QByteArray& relative, QList<QByteArray>* lines)
{
    const QByteArray folder = relative.isEmpty() ? root : root + '/' + relative;
    DIR* dir = ::opendir(folder.constData());
    if (!dir) {
        lines->append(relative + " <unlistable>");
        return;
    }
    QList<QByteArray> names;
    while (const dirent* entry = ::readdir(dir)) {
        const QByteArray name(entry->d_name);
        if (name != "." && name != "..")
            names.append(name);
    }
    ::closedir(dir);
    std::sort(names.begin(), names.end());
    for (const QByteArray& name : names) {
        const QByteArray path = relative.isEmpty() ? name : relative + '/' + name;
        const QByteArray full = root + '/' + path;
        struct stat st;
        if (::lstat(full.constData(), &st) != 0) {
            lines->append(path + " <gone>");
            continue;
        }
        QByteArray line = path.toPercentEncoding("/") + ' ' + QByteArray::number(st.st_mode, 8) + ' '
            + QByteArray::number(qint64(st.st_mtim.tv_sec)) + '.' + QByteArray::number(qint64(st.st_mtim.tv_nsec));
        if (S_ISREG(st.st_mode)) {
            const int fd = ::open(full.constData(), O_RDONLY | O_CLOEXEC);
            QByteArray content;
            char buffer[65536];
            for (ssize_t n; fd >= 0 && (n = ::read(fd, buffer, sizeof buffer)) > 0;)
                content.append(buffer, n);
            if (fd >= 0)
                ::close(fd);
            line += ' ' + QByteArray::number(qint64(st.st_size)) + ' '
                + QCryptographicHash::hash(content, QCryptographicHash::Sha1).toHex();
        } else if (S_ISLNK(st.st_mode)) {
            char target[4096];
            const ssize_t n = ::readlink(full.constData(), target, sizeof target);
            line += " -> " + QByteArray(target, n > 0 ? int(n) : 0).toPercentEncoding("/");
        }
        lines->append(line + attributesOf(full));
        if (S_ISDIR(st.st_mode))
            listBelow(root, path, lines);
    }
}

void growFolder(const QByteArray& folder, std::mt19937& random, int levelsLeft, bool reachBottom)
{
    static const QByteArray names[] = {
        "a", "b b", "-dash", "\xff\xfe-not-utf8", "line\nbreak", "\xc3\xbc-utf8", "node_modules", ".hidden", "x", "*?"};
    if (random() % 3 != 0)
        writeBytes(folder + "/f" + QByteArray::number(levelsLeft), QByteArray::number(random()));
    if (levelsLeft == 0)
        return;
    const int children = 2 + int(random() % 2);
    for (int i = 0; i < children; ++i) {
        const QByteArray child = folder + '/' + names[random() % std::size(names)] + QByteArray::number(i);
        if (::mkdir(child.constData(), 0755) != 0)
            qFatal("cannot make %s", child.constData());
        // One chain always reaches the bottom; the others go on often enough to make the tree bushy.
        const bool bottom = reachBottom && i == 0;
        if (bottom || random() % 10 < 6)
            growFolder(child, random, levelsLeft - 1, bottom);
    }
}

} // namespace

void writeBytes(const QByteArray& path, const QByteArray& content)
{
    const int fd = ::open(path.constData(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0 || ::write(fd, content.constData(), size_t(content.size())) != content.size())
        qFatal("cannot write %s", path.constData());
    ::close(fd);
}

QList<QByteArray> treeListing(const QByteArray& root)
{
    struct stat st;
    QList<QByteArray> lines;
    if (::lstat(root.constData(), &st) == 0)
        lines.append(". " + QByteArray::number(st.st_mode, 8) + attributesOf(root));
    listBelow(root, QByteArray(), &lines);
    return lines;
}

void growTree(const QByteArray& root, unsigned seed, int depth)
{
    std::mt19937 random(seed);
    if (::mkdir(root.constData(), 0755) != 0)
        qFatal("cannot make %s", root.constData());
    growFolder(root, random, depth, true);
    writeBytes(root + '/' + QByteArray(255, 'L'), "the longest name");
    if (::mkdir((root + "/empty").constData(), 0700) != 0 || ::mkdir((root + "/wide").constData(), 0755) != 0)
        qFatal("cannot make folders in %s", root.constData());
    for (int i = 0; i < 1500; ++i)
        writeBytes(root + "/wide/" + QByteArray::number(i), QByteArray::number(i * 7));
    if (::symlink("a0/f1", (root + "/link").constData()) != 0
        || ::symlink("../nowhere", (root + "/dangling").constData()) != 0)
        qFatal("cannot link in %s", root.constData());
}

bool cpA(const QByteArray& from, const QByteArray& to)
{
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::execlp("cp", "cp", "-a", from.constData(), to.constData(), static_cast<char*>(nullptr));
        ::_exit(127);
    }
    int status = 0;
    return pid > 0 && ::waitpid(pid, &status, 0) == pid && WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

void settle()
{
    // Every change so far was stamped no later than the fine clock reads now
    // (a kernel with multigrain stamps gives a file that was looked at a
    // stamp ahead of its coarse clock); a copy may vouch for them once the
    // coarse clock has passed it by the slack the engine gives this drive.
    const int folder = ::open(QFile::encodeName(QDir::tempPath()).constData(), O_PATH | O_DIRECTORY | O_CLOEXEC);
    const long long slack = sourceTimeSlack(folder);
    ::close(folder);
    const qint64 until = wallNanoseconds() + slack;
    const QDeadlineTimer limit(10000);
    while (kernelStampNow() <= until) {
        if (limit.hasExpired())
            qFatal("the kernel's clock did not move on in 10 s");
        ::usleep(1000);
    }
}

Written referenceCopy(const QByteArray& from, const QByteArray& to)
{
    settle();
    const qint64 started = wallNanoseconds();
    if (!cpA(from, to))
        return {};
    return {started, wallNanoseconds()};
}

void removeTree(const QByteArray& root)
{
    ::nftw(
        root.constData(),
        [](const char* path, const struct stat*, int type, FTW*) {
            return type == FTW_DP ? ::rmdir(path) : ::unlink(path);
        },
        32, FTW_DEPTH | FTW_PHYS);
}

bool sharesBlocks(const QString& path)
{
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return false;
    // A fiemap followed by room for its extents.
    constexpr quint32 kExtents = 32;
    std::vector<char> buffer(sizeof(fiemap) + kExtents * sizeof(fiemap_extent));
    auto* map = reinterpret_cast<fiemap*>(buffer.data());
    map->fm_length = FIEMAP_MAX_OFFSET;
    map->fm_flags = FIEMAP_FLAG_SYNC;
    map->fm_extent_count = kExtents;
    const bool mapped = ::ioctl(fd, FS_IOC_FIEMAP, map) == 0;
    ::close(fd);
    if (!mapped || map->fm_mapped_extents == 0)
        return false;
    for (quint32 i = 0; i < map->fm_mapped_extents; ++i) {
        if (!(map->fm_extents[i].fe_flags & FIEMAP_EXTENT_SHARED))
            return false;
    }
    return true;
}

CopyPlaces placesIn(const QString& folder, const QStringList& protectedFolders)
{
    return {std::make_shared<const OwnFolder>(folder), protectedFolders};
}

} // namespace plovern::test
