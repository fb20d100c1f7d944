#pragma once

#include <QString>
#include <QStringList>

namespace plovern {

// The files the program keeps in its folder.
inline constexpr char kScheduleFile[] = "Plovern.txt";
inline constexpr char kSettingsFile[] = "PLVSettings.txt";
inline constexpr char kRecordFile[] = "SavedFilesDB.txt";
inline constexpr char kKeptLinesFile[] = "SavedFilesDB2.txt";
inline constexpr char kCopyBookFile[] = "PLVCopies.txt";
inline constexpr char kLastTickFile[] = "PLVLastTick.txt";
inline constexpr char kLogFile[] = "PlovernLog.txt";

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
