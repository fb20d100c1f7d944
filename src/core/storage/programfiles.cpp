#include "core/storage/programfiles.h"

#include <QDir>

#include "core/storage/lasttick.h"
#include "core/storage/schedulefile.h"

namespace plovern {

QString programFile(const QString& folder, const QString& name)
{
    return folder + QDir::separator() + name;
}

QStringList programFileNames()
{
    QStringList names;
    for (const char* name : {kScheduleFile, kSettingsFile, kRecordFile, kKeptLinesFile, kCopyBookFile, kLastTickFile,
                             kResultsFile, kLogFile, kLockFile})
        names.append(QString::fromLatin1(name));
    return names;
}

CopyPlaces ProgramFiles::copyPlaces(const QStringList& alsoProtected) const
{
    return {m_files, QStringList{m_files->path()} + alsoProtected};
}

bool ProgramFiles::load(const char* name, QByteArray* bytes, QString* error) const
{
    return m_files->read(QString::fromLatin1(name), bytes, error);
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
    return m_files->save(QString::fromLatin1(kScheduleFile), formatSchedule(entries), error);
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
    return m_files->save(QString::fromLatin1(kSettingsFile), formatSettings(count, purge), error);
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
    return m_files->save(QString::fromLatin1(kLastTickFile), formatLastTick(second), error);
}

} // namespace plovern
