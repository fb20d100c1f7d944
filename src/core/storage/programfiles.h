#pragma once

#include <span>
#include <vector>

#include <QDateTime>
#include <QString>
#include <QStringList>

#include "core/schedule/scheduleentry.h"
#include "core/storage/settingsfile.h"

namespace plovern {

// The files the program keeps in its folder.
inline constexpr char kScheduleFile[] = "Plovern.txt";
inline constexpr char kSettingsFile[] = "PLVSettings.txt";
inline constexpr char kRecordFile[] = "SavedFilesDB.txt";
inline constexpr char kKeptLinesFile[] = "SavedFilesDB2.txt";
inline constexpr char kCopyBookFile[] = "PLVCopies.txt";
inline constexpr char kLastTickFile[] = "PLVLastTick.txt";
inline constexpr char kLogFile[] = "PlovernLog.txt";
inline constexpr char kLockFile[] = "Plovern.lock";

// One of the program's files: the folder, the native separator, the name.
QString programFile(const QString& folder, const QString& name);

// Where the copies are recorded and what the purge must never touch.
struct CopyPlaces
{
    QString recordFile;
    QString keptLinesFile;
    QString copyBookFile;
    QStringList protectedFolders;
};

// The program's files in its folder, each read and written whole. Reading a
// file that is not there is a failure like any other.
class ProgramFiles
{
public:
    explicit ProgramFiles(QString folder)
        : m_folder(std::move(folder))
    {
    }

    const QString& folder() const { return m_folder; }
    QString path(const char* name) const { return programFile(m_folder, QString::fromLatin1(name)); }
    // The record, the kept lines and the copy book here; the program folder
    // itself and `alsoProtected` are never purged.
    CopyPlaces copyPlaces(const QStringList& alsoProtected) const;

    bool loadSchedule(std::vector<ScheduleEntry>* entries, QString* error = nullptr) const;
    bool saveSchedule(std::span<const ScheduleEntry> entries, QString* error = nullptr) const;
    bool loadSettings(StoredSettings* settings, QString* error = nullptr) const;
    bool saveSettings(const QString& count, bool purge, QString* error = nullptr) const;
    // The last second the scheduler evaluated in an earlier run.
    bool loadLastTick(QDateTime* second, QString* error = nullptr) const;
    bool saveLastTick(const QDateTime& second, QString* error = nullptr) const;

private:
    bool load(const char* name, QByteArray* bytes, QString* error) const;

    QString m_folder;
};

// The files that say what the program copies where, and what the purge
// deletes: what another user must not be able to steer.
QStringList steeringFiles();

// Why the program must not act on the files `names` in `folder`, or an empty
// text when it may. As ssh's StrictModes and cron's spool: the folder, the
// folders above it and the files must belong to the user running the program
// or to root, and no other user may write them. Group write is fine where the
// group is the user's own private group (the usual umask 002); a folder
// others may write counts only with the sticky bit, where the files are the
// user's own. A file that is not there is fine.
QString distrustOf(const QString& folder, const QStringList& names);

} // namespace plovern
