#include "engine/treecopy.h"

#include <atomic>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <system_error>
#include <thread>
#include <vector>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QDir>
#include <QFile>

namespace plovern {

namespace {

constexpr size_t kBufferSize = 128 * 1024;
// Open folder pairs the walk may hold before it waits for the copies to catch up.
constexpr int kMaxOpenFolders = 64;

std::string errnoText(int error)
{
    return std::strerror(error);
}

// Calls visit(name, type) for each entry of the folder open at `dirFd`, "."
// and ".." left out, until visit returns false. `type` is a DT_ value, and
// DT_UNKNOWN only for an entry that vanished. Returns 0, or the errno of a
// folder that cannot be listed.
template <typename Visit>
int forEachEntry(int dirFd, Visit visit)
{
    // The listing runs over a duplicate descriptor, which shares its position
    // with the original: start from the top whatever an earlier listing left.
    const int listFd = ::dup(dirFd);
    DIR* dir = listFd >= 0 ? ::fdopendir(listFd) : nullptr;
    if (!dir) {
        const int error = errno;
        if (listFd >= 0)
            ::close(listFd);
        return error;
    }
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
        if (!visit(name, type))
            break;
    }
    ::closedir(dir);
    return 0;
}

class Fd
{
public:
    explicit Fd(int fd = -1)
        : m_fd(fd)
    {
    }
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    ~Fd() { reset(); }
    int get() const { return m_fd; }
    bool valid() const { return m_fd >= 0; }
    // Gives up ownership without closing.
    int release()
    {
        const int fd = m_fd;
        m_fd = -1;
        return fd;
    }
    void reset(int fd = -1)
    {
        if (m_fd >= 0)
            ::close(m_fd);
        m_fd = fd;
    }

private:
    int m_fd;
};

mode_t processUmask()
{
    const mode_t mask = ::umask(0);
    ::umask(mask);
    return mask;
}

// What every worker of one copy shares.
class CopyJob
{
public:
    explicit CopyJob(std::string targetRoot)
        : m_targetRoot(std::move(targetRoot))
        , m_umask(processUmask())
    {
    }

    void fail(const std::string& where, const std::string& why)
    {
        std::lock_guard lock(m_mutex);
        m_failures.append(QFile::decodeName((where + ": " + why).c_str()));
    }
    QStringList failures()
    {
        std::lock_guard lock(m_mutex);
        return m_failures;
    }
    std::string tempName()
    {
        return ".plovern-" + std::to_string(::getpid()) + "-" + std::to_string(m_nextTemp++) + ".part";
    }
    mode_t umask() const { return m_umask; }
    const std::string& targetRoot() const { return m_targetRoot; }

    std::atomic<int> openFolders{0};

private:
    std::string m_targetRoot;
    mode_t m_umask;
    std::atomic<unsigned> m_nextTemp{0};
    std::mutex m_mutex;
    QStringList m_failures;
};

// A source folder and its copy, open while anything below them is copied.
// The last one to let go gives the copy its mode and times, after every file
// in it was written (writing a file changes its folder's time).
class FolderPair
{
public:
    FolderPair(CopyJob& job, int src, int dst, std::string path, const struct stat& st)
        : m_job(job)
        , m_src(src)
        , m_dst(dst)
        , m_path(std::move(path))
        , m_mode(st.st_mode & 07777)
        , m_times{st.st_atim, st.st_mtim}
    {
        ++m_job.openFolders;
    }
    ~FolderPair()
    {
        if (::fchmod(m_dst.get(), m_mode) != 0 || ::futimens(m_dst.get(), m_times) != 0)
            m_job.fail(display(""), "cannot set mode and times: " + errnoText(errno));
        --m_job.openFolders;
    }
    int src() const { return m_src.get(); }
    int dst() const { return m_dst.get(); }
    std::string display(const std::string& name) const
    {
        std::string out = m_job.targetRoot();
        if (!m_path.empty())
            out += "/" + m_path;
        if (!name.empty())
            out += "/" + name;
        return out;
    }
    std::string child(const std::string& name) const { return m_path.empty() ? name : m_path + "/" + name; }

private:
    CopyJob& m_job;
    Fd m_src;
    Fd m_dst;
    std::string m_path;
    mode_t m_mode;
    struct timespec m_times[2];
};

using FolderRef = std::shared_ptr<FolderPair>;

// Creates the folder `name`, or opens it where an earlier copy made it, and
// returns it open, or -1 with errno set. An earlier copy of a read-only
// folder is opened up for writing; its pair gives it its mode back.
int makeFolder(int parentFd, const char* name)
{
    const bool created = ::mkdirat(parentFd, name, S_IRWXU) == 0;
    if (!created && errno != EEXIST)
        return -1;
    const int fd = ::openat(parentFd, name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    struct stat st;
    if (fd >= 0 && !created && ::fstat(fd, &st) == 0 && (st.st_mode & S_IRWXU) != S_IRWXU)
        ::fchmod(fd, st.st_mode | S_IRWXU);
    return fd;
}

struct FileTask
{
    FolderRef folder;
    std::string name;
};

bool copyBytes(int in, int out, off_t size, int* error)
{
    off_t done = 0;
    while (done < size) {
        const ssize_t n = ::copy_file_range(in, nullptr, out, nullptr, static_cast<size_t>(size - done), 0);
        if (n > 0) {
            done += n;
            continue;
        }
        if (n == 0)
            return true; // the file shrank while it was copied
        if (done == 0 && (errno == EXDEV || errno == ENOSYS || errno == EINVAL || errno == EOPNOTSUPP))
            break; // no kernel copy between these file systems: copy through a buffer
        *error = errno;
        return false;
    }
    if (done >= size)
        return true;
    thread_local std::vector<char> buffer(kBufferSize);
    for (;;) {
        const ssize_t got = ::read(in, buffer.data(), buffer.size());
        if (got == 0)
            return true;
        if (got < 0) {
            if (errno == EINTR)
                continue;
            *error = errno;
            return false;
        }
        for (ssize_t put = 0; put < got;) {
            const ssize_t n = ::write(out, buffer.data() + put, static_cast<size_t>(got - put));
            if (n < 0) {
                if (errno == EINTR)
                    continue;
                *error = errno;
                return false;
            }
            put += n;
        }
    }
}

void copyFile(CopyJob& job, const FileTask& task)
{
    const FolderPair& folder = *task.folder;
    const char* name = task.name.c_str();
    // O_NONBLOCK: should the name have become a FIFO since the listing, opening it must not wait.
    Fd in(::openat(folder.src(), name, O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
    if (!in.valid()) {
        job.fail(folder.display(task.name), "cannot read: " + errnoText(errno));
        return;
    }
    struct stat st;
    if (::fstat(in.get(), &st) != 0) {
        job.fail(folder.display(task.name), "cannot read: " + errnoText(errno));
        return;
    }
    if (!S_ISREG(st.st_mode))
        return; // replaced by something that is not a file since the listing
    const mode_t mode = st.st_mode & 07777;

    // A new file is written in place; one that replaces an older copy goes to
    // a temporary name first, so the older copy stays whole until this one is.
    std::string temp;
    Fd out(::openat(folder.dst(), name, O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, mode));
    if (!out.valid() && errno == EEXIST) {
        temp = job.tempName();
        out.reset(::openat(folder.dst(), temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, mode));
    }
    if (!out.valid()) {
        job.fail(folder.display(task.name), "cannot create: " + errnoText(errno));
        return;
    }
    const char* written = temp.empty() ? name : temp.c_str();
    int error = 0;
    const struct timespec times[2] = {st.st_atim, st.st_mtim};
    bool ok = copyBytes(in.get(), out.get(), st.st_size, &error);
    if (ok && (mode & job.umask()) != 0 && ::fchmod(out.get(), mode) != 0)
        ok = false, error = errno;
    if (ok && ::futimens(out.get(), times) != 0)
        ok = false, error = errno;
    if (::close(out.release()) != 0 && ok)
        ok = false, error = errno;
    if (ok && !temp.empty() && ::renameat(folder.dst(), written, folder.dst(), name) != 0)
        ok = false, error = errno;
    if (!ok) {
        ::unlinkat(folder.dst(), written, 0);
        job.fail(folder.display(task.name), errnoText(error));
    }
}

void copyLink(CopyJob& job, const FolderPair& folder, const char* name)
{
    std::vector<char> target(4096);
    const ssize_t length = ::readlinkat(folder.src(), name, target.data(), target.size() - 1);
    if (length < 0) {
        job.fail(folder.display(name), "cannot read link: " + errnoText(errno));
        return;
    }
    target[static_cast<size_t>(length)] = '\0';
    if (::symlinkat(target.data(), folder.dst(), name) == 0)
        return;
    if (errno != EEXIST) {
        job.fail(folder.display(name), "cannot create link: " + errnoText(errno));
        return;
    }
    const std::string temp = job.tempName();
    if (::symlinkat(target.data(), folder.dst(), temp.c_str()) != 0
        || ::renameat(folder.dst(), temp.c_str(), folder.dst(), name) != 0) {
        job.fail(folder.display(name), "cannot replace link: " + errnoText(errno));
        ::unlinkat(folder.dst(), temp.c_str(), 0);
    }
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

class Walker
{
public:
    Walker(CopyJob& job, TaskQueue& queue)
        : m_job(job)
        , m_queue(queue)
    {
    }

    void walk(const FolderRef& folder)
    {
        const int error = forEachEntry(folder->src(), [&](const char* name, unsigned char type) {
            switch (type) {
            case DT_DIR:
                if (const FolderRef child = openChild(*folder, name))
                    walk(child);
                break;
            case DT_REG:
                m_queue.push({folder, name});
                break;
            case DT_LNK:
                copyLink(m_job, *folder, name);
                break;
            default:
                break; // FIFOs, sockets and devices are not copied
            }
            return true;
        });
        if (error != 0)
            m_job.fail(folder->display(""), "cannot list: " + errnoText(error));
    }

    FolderRef openChild(const FolderPair& parent, const char* name)
    {
        // Each open folder holds two descriptors: let the copies catch up first.
        FileTask task;
        while (m_job.openFolders.load() >= kMaxOpenFolders && m_queue.pop(&task, false)) {
            copyFile(m_job, task);
            task = {};
        }
        Fd src(::openat(parent.src(), name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
        struct stat st;
        if (!src.valid() || ::fstat(src.get(), &st) != 0) {
            m_job.fail(parent.display(name), "cannot open folder: " + errnoText(errno));
            return nullptr;
        }
        Fd dst(makeFolder(parent.dst(), name));
        if (!dst.valid()) {
            m_job.fail(parent.display(name), "cannot create folder: " + errnoText(errno));
            return nullptr;
        }
        return std::make_shared<FolderPair>(m_job, src.release(), dst.release(), parent.child(name), st);
    }

private:
    CopyJob& m_job;
    TaskQueue& m_queue;
};

std::string bytesOf(const QString& path)
{
    return QFile::encodeName(path).toStdString();
}

} // namespace

QStringList copyTree(const QString& source, const QString& target, int threads)
{
    const std::string targetBytes = bytesOf(target);
    CopyJob job(targetBytes);

    Fd src(::open(bytesOf(source).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    struct stat rootStat;
    if (!src.valid() || ::fstat(src.get(), &rootStat) != 0)
        return {QStringLiteral("cannot open the source folder %1: %2")
                    .arg(source, QString::fromLocal8Bit(errnoText(errno).c_str()))};

    // Only the target folder itself is ever created: a missing parent means
    // the destination is not there (a backup drive that is not mounted).
    const QFileInfo targetInfo(target);
    const QString parent = targetInfo.dir().path();
    const std::string name = bytesOf(targetInfo.fileName());
    Fd parentFd(::open(bytesOf(parent).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!parentFd.valid() || name.empty())
        return {QStringLiteral("the destination folder %1 is not there").arg(parent)};

    const QString sourceReal = QFileInfo(source).canonicalFilePath();
    const QString targetReal = QFileInfo(parent).canonicalFilePath() + QLatin1Char('/') + targetInfo.fileName();
    if (targetReal == sourceReal
        || targetReal.startsWith(sourceReal.endsWith(QLatin1Char('/')) ? sourceReal : sourceReal + QLatin1Char('/')))
        return {QStringLiteral("the target %1 lies inside the source %2").arg(target, source)};

    const int dst = makeFolder(parentFd.get(), name.c_str());
    if (dst < 0)
        return {QStringLiteral("cannot create %1: %2").arg(target, QString::fromLocal8Bit(errnoText(errno).c_str()))};

    TaskQueue queue;
    auto work = [&job, &queue](bool wait) {
        FileTask task;
        while (queue.pop(&task, wait)) {
            copyFile(job, task);
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
        auto root = std::make_shared<FolderPair>(job, src.release(), dst, std::string(), rootStat);
        Walker(job, queue).walk(root);
    }
    queue.close();
    work(false);
    for (std::thread& worker : workers)
        worker.join();
    return job.failures();
}

namespace {

// Whether the tree below `dirFd` can be deleted whole: every file writable by
// its owner (not read-only) and every folder open to changes.
bool deletable(int dirFd, const std::string& where, std::string* why)
{
    bool ok = true;
    const int error = forEachEntry(dirFd, [&](const char* name, unsigned char type) {
        const std::string path = where + "/" + name;
        struct stat st;
        if (::fstatat(dirFd, name, &st, AT_SYMLINK_NOFOLLOW) != 0) {
            *why = path + ": " + errnoText(errno);
            return ok = false;
        }
        if (type == DT_DIR) {
            Fd child(::openat(dirFd, name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
            if (!child.valid() || (st.st_mode & S_IWUSR) == 0 || ::faccessat(dirFd, name, W_OK | X_OK, 0) != 0) {
                *why = path + ": the folder cannot be changed";
                return ok = false;
            }
            return ok = deletable(child.get(), path, why);
        }
        if (type == DT_REG && (st.st_mode & S_IWUSR) == 0) {
            *why = path + ": the file is read-only";
            return ok = false;
        }
        return true;
    });
    if (error != 0) {
        *why = where + ": " + errnoText(error);
        return false;
    }
    return ok;
}

bool removeBelow(int dirFd, const std::string& where, std::string* why)
{
    bool ok = true;
    const int error = forEachEntry(dirFd, [&](const char* name, unsigned char type) {
        const std::string path = where + "/" + name;
        if (type == DT_DIR) {
            Fd child(::openat(dirFd, name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
            ok = child.valid() && removeBelow(child.get(), path, why) && ::unlinkat(dirFd, name, AT_REMOVEDIR) == 0;
        } else {
            ok = ::unlinkat(dirFd, name, 0) == 0;
        }
        if (!ok && why->empty())
            *why = path + ": " + errnoText(errno);
        return ok;
    });
    if (error != 0) {
        *why = where + ": " + errnoText(error);
        return false;
    }
    return ok;
}

} // namespace

DeleteOutcome deleteTree(const QString& path, QString* error)
{
    const std::string bytes = bytesOf(path);
    auto failed = [&](const std::string& why) {
        if (error)
            *error = QFile::decodeName(why.c_str());
        return DeleteOutcome::Failed;
    };
    struct stat st;
    if (::lstat(bytes.c_str(), &st) != 0)
        return errno == ENOENT ? DeleteOutcome::Missing : failed(bytes + ": " + errnoText(errno));
    if (!S_ISDIR(st.st_mode))
        return failed(bytes + ": not a folder");
    Fd dir(::open(bytes.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    if (!dir.valid())
        return failed(bytes + ": " + errnoText(errno));
    std::string why;
    if (!deletable(dir.get(), bytes, &why))
        return failed(why);
    if (!removeBelow(dir.get(), bytes, &why))
        return failed(why);
    dir.reset();
    if (::rmdir(bytes.c_str()) != 0)
        return failed(bytes + ": " + errnoText(errno));
    return DeleteOutcome::Deleted;
}

} // namespace plovern

namespace plovern {

bool flushToDisk(const QString& path, QString* error)
{
    Fd fd(::open(bytesOf(path).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (fd.valid() && ::syncfs(fd.get()) == 0)
        return true;
    if (error)
        *error = QString::fromLocal8Bit(errnoText(errno).c_str());
    return false;
}

} // namespace plovern
