#include "platform/platform.h"

#include "platform/log.h"

#include <csignal>

#include <sys/resource.h>

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QLockFile>
#include <QStandardPaths>

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
    const QString real = QFileInfo(folder).canonicalFilePath();
    const QString path = real.isEmpty() ? QDir::cleanPath(folder) : real;
    for (const QLatin1String system : {QLatin1String("/usr"), QLatin1String("/bin"), QLatin1String("/sbin")}) {
        if (path == system || path.startsWith(system + QLatin1Char('/')))
            return true;
    }
    return false;
}

bool startsHidden(const QString& arguments)
{
    return arguments == QLatin1String("-h") || arguments == QLatin1String("-hp");
}

QString programFolder()
{
    const QString beside = executableFolder();
    if (!isSystemFolder(beside) && QFileInfo(beside).isWritable())
        return beside;
    const QString data = QStandardPaths::writableLocation(QStandardPaths::AppDataLocation);
    QDir().mkpath(data);
    return data;
}

QString programFile(const QString& folder, const QString& name)
{
    return folder + QDir::separator() + name;
}

std::unique_ptr<QLockFile> lockProgramFolder(const QString& folder)
{
    auto lock = std::make_unique<QLockFile>(programFile(folder, QStringLiteral("Plovern.lock")));
    // Only a running process holds the lock; age alone never makes it stale.
    lock->setStaleLockTime(0);
    if (!lock->tryLock()) {
        if (lock->error() == QLockFile::LockFailedError)
            return nullptr;
        // A folder where no lock can be made still runs the timetable.
        logLine(QStringLiteral("cannot lock %1: a second instance would not be noticed").arg(lock->fileName()));
    }
    return lock;
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

} // namespace plovern
