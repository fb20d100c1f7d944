#include "core/platform/process.h"

#include <csignal>

#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <pwd.h>
#include <sys/file.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>

#include "core/platform/log.h"
#include "core/platform/ownfolder.h"
#include "core/platform/paths.h"

namespace plovern {

QString programTitle()
{
    return QStringLiteral("Plovern");
}

QString argumentText(const QStringList& argv)
{
    return argv.mid(1).join(QLatin1Char(' '));
}

QString executableFolder()
{
    return QCoreApplication::applicationDirPath();
}

bool isSystemFolder(const QString& folder)
{
    const QString real = realPath(folder);
    const QString path = real.isEmpty() ? QDir::cleanPath(folder) : real;
    for (const QStringView system : {u"/usr", u"/bin", u"/sbin"}) {
        if (isAtOrBelow(path, system))
            return true;
    }
    return false;
}

Switches readSwitches(const QString& arguments)
{
    const bool hidden = arguments == QLatin1String("-h") || arguments == QLatin1String("-hp");
    const bool purge = arguments == QLatin1String("-p") || arguments == QLatin1String("-hp");
    return {hidden, purge, arguments == QLatin1String("--help"), arguments == QLatin1String("--version"),
            arguments == QLatin1String("--status")};
}

QString usageText()
{
    return QStringLiteral("Usage: plovern [-h | -p | -hp | --status]\n"
                          "Copies whole folders on the timetable in Plovern.txt, kept beside the program\n"
                          "or in ~/.local/share/plovern.\n"
                          "  -h         start hidden: no window, the timetable keeps running\n"
                          "  -p         start with the yearly purge ticked (a stored setting wins)\n"
                          "  -hp        both\n"
                          "  --status   print each entry's last copy and next one, and end: 1 when\n"
                          "             a last copy failed or an entry is overdue, 2 when the files\n"
                          "             cannot be read; beside a running Plovern too\n"
                          "  --help     print this and end\n"
                          "  --version  print the version and end\n"
                          "It ends, saving its files, on SIGTERM, SIGHUP or SIGINT.\n");
}

QString versionText()
{
    return QStringLiteral("plovern " PLOVERN_VERSION "\n");
}

QString programFolder(QString* error)
{
    const QString beside = executableFolder();
    if (!isSystemFolder(beside) && QFileInfo(beside).isWritable())
        return beside;
    QString data = QStandardPaths::writableLocation(QStandardPaths::AppDataLocation);
    if (::geteuid() == 0) {
        // Root started with a user's HOME (sudo) keeps its files in root's
        // own folder, never in one the user could steer.
        const QString generic = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
        const passwd* root = ::getpwuid(0);
        const QString home = root && root->pw_dir ? QFile::decodeName(root->pw_dir) : QStringLiteral("/root");
        data = QDir(home).filePath(QStringLiteral(".local/share/") + QDir(generic).relativeFilePath(data));
    }
    if (!QDir().mkpath(data) && error)
        *error = QStringLiteral("cannot make %1 for Plovern's files").arg(data);
    return data;
}

FolderLock lockProgramFolder(const OwnFolder& files, const QString& name)
{
    using State = FolderLock::State;
    QString error;
    Fd fd(files.openForLock(name, &error));
    if (!fd.valid())
        return {State::unavailable, Fd(), error};
    if (::flock(fd.get(), LOCK_EX | LOCK_NB) != 0) {
        const int failure = errno;
        return failure == EWOULDBLOCK
            ? FolderLock(State::heldByAnother, Fd())
            : FolderLock(State::unavailable, Fd(), QString::fromLocal8Bit(std::strerror(failure)));
    }
    FolderLock held(State::held, std::move(fd));
    held.tell({});
    return held;
}

void FolderLock::tell(const InstanceNote& note) const
{
    if (m_state != State::held)
        return;
    // The pid is for people who look and for a second start; the lock itself
    // is the flock, so a note that cannot be written takes nothing from it.
    const QByteArray text = QByteArray::number(::getpid()) + '\n' + (note.shown ? "shown" : "hidden") + '\n'
        + pathField(note.copying) + '\n';
    if (::ftruncate(m_fd.get(), 0) == 0)
        (void)!::pwrite(m_fd.get(), text.constData(), size_t(text.size()), 0);
}

InstanceNote instanceNote(const OwnFolder& files, const QString& name)
{
    QByteArray text;
    if (!files.read(name, &text))
        return {};
    const QList<QByteArray> lines = text.split('\n');
    if (lines.size() < 3)
        return {};
    return {lines[1] == "shown", pathOfField(lines[2])};
}

std::optional<qint64> runningInstance(const OwnFolder& files, const QString& name)
{
    QByteArray text;
    if (!files.read(name, &text))
        return std::nullopt;
    bool isNumber = false;
    const qint64 pid = text.left(text.indexOf('\n')).trimmed().toLongLong(&isNumber);
    if (!isNumber || pid <= 1 || pid == ::getpid())
        return std::nullopt;
    // A pid read from a file may name anything since a reboot: only the
    // process that holds the lock file itself open counts.
    const int fd = files.openForLock(name);
    struct stat lock;
    const bool known = fd >= 0 && ::fstat(fd, &lock) == 0;
    if (fd >= 0)
        ::close(fd);
    if (!known)
        return std::nullopt;
    const QDir descriptors(QStringLiteral("/proc/%1/fd").arg(pid));
    for (const QString& entry : descriptors.entryList(QDir::Files | QDir::System)) {
        struct stat held;
        if (::stat(pathBytes(descriptors.filePath(entry)).constData(), &held) == 0 && held.st_dev == lock.st_dev
            && held.st_ino == lock.st_ino)
            return pid;
    }
    return std::nullopt;
}

bool endRunningInstance(const OwnFolder& files, const QString& name, int milliseconds, FolderLock* lock, QString* error)
{
    const std::optional<qint64> pid = runningInstance(files, name);
    if (!pid || ::kill(static_cast<pid_t>(*pid), SIGTERM) != 0) {
        if (error)
            *error = QStringLiteral("no running Plovern holds %1").arg(files.filePath(name));
        return false;
    }
    for (QElapsedTimer waited; !waited.isValid() || waited.elapsed() < milliseconds;) {
        if (!waited.isValid())
            waited.start();
        *lock = lockProgramFolder(files, name);
        if (lock->state() != FolderLock::State::heldByAnother)
            return true;
        ::usleep(50000);
    }
    if (error)
        *error = QStringLiteral("the running Plovern did not end within %1 s").arg(milliseconds / 1000);
    return false;
}

void raiseOpenFileLimit()
{
    rlimit limit{};
    if (::getrlimit(RLIMIT_NOFILE, &limit) == 0 && limit.rlim_cur < limit.rlim_max) {
        limit.rlim_cur = limit.rlim_max;
        ::setrlimit(RLIMIT_NOFILE, &limit);
    }
}

void ignoreFileSizeSignal()
{
    std::signal(SIGXFSZ, SIG_IGN);
}

QString endingQuestion(const QString& folder, const InstanceNote& note)
{
    const QString copying = note.copying.isEmpty()
        ? QStringLiteral("It is copying nothing now.")
        : QStringLiteral("It is copying %1 now; ending it stops that copy, which is made again at its next start.")
              .arg(shownText(note.copying));
    return QStringLiteral("Plovern is already running with the files in %1.\r\n%2\r\nEnd it and start this one?")
        .arg(folder, copying);
}

} // namespace plovern
