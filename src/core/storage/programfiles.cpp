#include "core/storage/programfiles.h"

#include <grp.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QDir>

#include "core/platform/paths.h"
#include "core/platform/textfile.h"
#include "core/storage/lasttick.h"
#include "core/storage/schedulefile.h"

namespace plovern {

namespace {

// Whether `gid` is the private group of the user `uid`: named after the user
// and the user's own primary group.
bool isPrivateGroup(uid_t uid, gid_t gid)
{
    const passwd* user = ::getpwuid(uid);
    if (!user || user->pw_gid != gid)
        return false;
    const QByteArray name = user->pw_name;
    const group* g = ::getgrgid(gid);
    return g && name == g->gr_name;
}

// Why other users could change the entry `st` names, or an empty text.
QString openToOthers(const struct stat& st, bool sticky)
{
    const uid_t uid = ::geteuid();
    if (st.st_uid != uid && st.st_uid != 0)
        return QStringLiteral("it belongs to another user");
    if ((st.st_mode & S_IWOTH) != 0 && !sticky)
        return QStringLiteral("any user may change it");
    if ((st.st_mode & S_IWGRP) != 0 && !sticky && !isPrivateGroup(uid, st.st_gid))
        return QStringLiteral("its group may change it");
    return {};
}

} // namespace

QString programFile(const QString& folder, const QString& name)
{
    return folder + QDir::separator() + name;
}

CopyPlaces ProgramFiles::copyPlaces(const QStringList& alsoProtected) const
{
    return {path(kRecordFile), path(kKeptLinesFile), path(kCopyBookFile), QStringList{m_folder} + alsoProtected};
}

bool ProgramFiles::load(const char* name, QByteArray* bytes, QString* error) const
{
    return readFile(path(name), bytes, error);
}

bool ProgramFiles::loadSchedule(std::vector<ScheduleEntry>* entries, QString* error) const
{
    QByteArray bytes;
    if (!load(kScheduleFile, &bytes, error))
        return false;
    *entries = parseSchedule(bytes);
    return true;
}

bool ProgramFiles::saveSchedule(std::span<const ScheduleEntry> entries, QString* error) const
{
    return saveFile(path(kScheduleFile), formatSchedule(entries), error);
}

bool ProgramFiles::loadSettings(StoredSettings* settings, QString* error) const
{
    QByteArray bytes;
    if (!load(kSettingsFile, &bytes, error))
        return false;
    *settings = parseSettings(bytes);
    return true;
}

bool ProgramFiles::saveSettings(const QString& count, bool purge, QString* error) const
{
    return saveFile(path(kSettingsFile), formatSettings(count, purge), error);
}

bool ProgramFiles::loadLastTick(QDateTime* second, QString* error) const
{
    QByteArray bytes;
    if (!load(kLastTickFile, &bytes, error))
        return false;
    const std::optional<QDateTime> stored = parseLastTick(bytes);
    if (!stored) {
        if (error)
            *error = QStringLiteral("not a time");
        return false;
    }
    *second = *stored;
    return true;
}

bool ProgramFiles::saveLastTick(const QDateTime& second, QString* error) const
{
    return saveFile(path(kLastTickFile), formatLastTick(second), error);
}

QStringList steeringFiles()
{
    return {QString::fromLatin1(kScheduleFile), QString::fromLatin1(kSettingsFile), QString::fromLatin1(kRecordFile),
            QString::fromLatin1(kCopyBookFile)};
}

QString distrustOf(const QString& folder, const QStringList& names)
{
    const QString real = realPath(folder);
    if (real.isEmpty())
        return {};
    // A folder that others may write, with the sticky bit, keeps them from
    // replacing what is ours, not from placing files of their own.
    bool stickyFolder = false;
    for (QString at = real;; at = parentPath(at)) {
        struct stat st;
        if (::stat(pathBytes(at).constData(), &st) != 0)
            break;
        const bool sticky = (st.st_mode & S_ISVTX) != 0;
        if (at == real)
            stickyFolder = sticky && (st.st_mode & S_IWOTH) != 0;
        if (const QString why = openToOthers(st, sticky); !why.isEmpty())
            return QStringLiteral("the folder %1: %2").arg(at, why);
        if (at == QLatin1String("/"))
            break;
    }
    for (const QString& name : names) {
        const QString path = programFile(real, name);
        struct stat st;
        if (::lstat(pathBytes(path).constData(), &st) != 0)
            continue;
        QString why;
        if (stickyFolder && st.st_uid != ::geteuid())
            why = QStringLiteral("it belongs to another user");
        else if (!S_ISLNK(st.st_mode))
            why = openToOthers(st, false);
        else if (st.st_uid != ::geteuid() && st.st_uid != 0)
            why = QStringLiteral("the link belongs to another user");
        else if (::stat(pathBytes(path).constData(), &st) == 0) // a link's own mode means nothing
            why = openToOthers(st, false);
        if (!why.isEmpty())
            return QStringLiteral("%1: %2").arg(path, why);
    }
    return {};
}

} // namespace plovern
