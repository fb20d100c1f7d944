#pragma once

#include <functional>
#include <mutex>
#include <optional>

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <QStringView>

#include "core/storage/programfiles.h"

namespace plovern {

// The year of the date stamp a copy's folder name ends in (month 1-12, day
// 1-31, four-digit year from 1970, digits without leading zeros), or nothing.
std::optional<int> stampYear(const QString& folderName);

// The year of a whole date stamp: `digits` is month, day and year and nothing else.
std::optional<int> exactStampYear(QStringView digits);

// Deletes the folder at `path`: true when it is gone, and `deleted` whether it was there to delete.
using FolderDeleter = std::function<bool(const QString& path, QString* error, bool* deleted)>;
// Whether a copy made whole this year stands in for the earlier copy at `path`.
using ReplacementCheck = std::function<bool(const QString& path)>;

struct PurgeResult
{
    QByteArray keptLines; // the record lines kept, each ended by CR LF
    QStringList deleted; // folders deleted by this purge
    QStringList waiting; // earlier copies kept until one of this year is made whole
    QStringList failures; // one line per record line that was not purged
    QString stopped = {}; // the folder left in part when the program's end stopped the purge
};

// Whether the purge is to stop now: the program ends.
using PurgeStop = std::function<bool()>;

// Walks the copy record. A line that ends in this year's last two digits is
// kept. Any other line is deleted only when it names a copy of an earlier year
// (an absolute path whose last name ends in a date stamp), is none of the
// protected folders, nor the root, nor a folder above them (the record is
// plain text that anyone can edit), and a copy of this year stands in for it;
// without one the line is kept and waits, so the last good copy of a path is
// never deleted. A folder already gone counts as purged; a failed deletion
// does not stop the walk. A deletion cut short by `stop` ends it: that line
// and those after it are kept, to be purged again.
PurgeResult purgeRecord(const QByteArray& record, int year, const QStringList& protectedFolders,
                        const ReplacementCheck& replaced, const FolderDeleter& deleteFolder,
                        const PurgeStop& stop = {});

// The yearly purge over the real files. An earlier copy is replaced by the
// copy of this year of the same destination text and source name that the
// copy book holds as made whole and that is still a folder; a replacement
// that holds no file at all stands in only for an earlier copy that holds
// none either (a source drive that was not there).
// `filesLock`, when given, is held while the program's files are read and
// written, never while folders are deleted (a drive may hang there).
// `stop` is asked between the entries it deletes.
PurgeResult purgeEarlierCopies(const CopyPlaces& places, int year, std::mutex* filesLock = nullptr,
                               const PurgeStop& stop = {});

} // namespace plovern
