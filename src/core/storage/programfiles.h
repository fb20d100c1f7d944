#pragma once

#include <memory>
#include <span>
#include <vector>

#include <QDateTime>
#include <QString>
#include <QStringList>

#include "core/platform/ownfolder.h"
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
inline constexpr char kResultsFile[] = "PLVResults.txt";
inline constexpr char kLogFile[] = "PlovernLog.txt";
inline constexpr char kLockFile[] = "Plovern.lock";

// One of the program's files: the folder, the native separator, the name.
QString programFile(const QString& folder, const QString& name);

// The names of all the files the program keeps in its folder.
QStringList programFileNames();

// Where the copies are recorded (the record, the kept lines and the copy
// book, in `files`) and what the purge must never touch.
struct CopyPlaces
{
    std::shared_ptr<const OwnFolder> files;
    QStringList protectedFolders;

    QString path(const char* name) const { return files->filePath(QString::fromLatin1(name)); }
};

// The program's files in its folder, each read and written whole, each
// judged as it is opened (see OwnFolder). Reading a file that is not there
// is a failure like any other.
class ProgramFiles
{
public:
    explicit ProgramFiles(const QString& folder)
        : m_files(std::make_shared<OwnFolder>(folder))
    {
    }

    // Why the program must not use its files, judged now: see OwnFolder.
    QString judge() const { return m_files->judge(programFileNames()); }

    std::shared_ptr<const OwnFolder> folder() const { return m_files; }
    QString path(const char* name) const { return m_files->filePath(QString::fromLatin1(name)); }
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

    std::shared_ptr<OwnFolder> m_files;
};

} // namespace plovern
