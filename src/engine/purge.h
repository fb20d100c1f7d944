#pragma once

#include <functional>
#include <optional>

#include <QByteArray>
#include <QString>
#include <QStringList>

#include "engine/treecopy.h"

namespace plovern {

// The year of the date stamp a copy's folder name ends in (month 1-12, day
// 1-31, four-digit year from 1970, digits without leading zeros), or nothing.
std::optional<int> stampYear(const QString& folderName);

using FolderDeleter = std::function<DeleteOutcome(const QString& path, QString* error)>;

struct PurgeResult
{
    QByteArray keptLines; // the record lines of this year, each ended by CR LF
    QStringList deleted; // folders deleted by this purge
    QStringList failures; // one line per record line that was not purged
};

// Walks the copy record. A line that ends in this year's last two digits is
// kept. Any other line is deleted only when it names a copy of an earlier year
// (an absolute path whose last name ends in a date stamp) and is none of the
// protected folders, nor the root, nor a folder above them: the record is plain
// text that anyone can edit. A folder already gone counts as purged; a failed
// deletion does not stop the walk.
PurgeResult purgeRecord(const QByteArray& record, int year, const QStringList& protectedFolders,
                        const FolderDeleter& deleteFolder);

struct PurgePlaces
{
    QString recordFile;
    QString keptLinesFile;
    QStringList protectedFolders;
};

// The yearly purge over the real files; returns one line per failure, and
// the folders it deleted in `deleted` when given.
QStringList folderPurge(const PurgePlaces& places, int year, QStringList* deleted = nullptr);

} // namespace plovern
