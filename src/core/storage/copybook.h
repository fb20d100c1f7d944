#pragma once

#include <optional>
#include <vector>

#include <QByteArray>
#include <QDate>
#include <QString>

#include "core/platform/paths.h"

namespace plovern {
class OwnFolder;
}

namespace plovern {

// What the program knows of a dated folder it made, kept in a file of its
// own beside the copy record ("PLVCopies.txt"), so that nothing is added
// inside the copies and it works on any drive: which entry made the folder,
// whether its last copy was made whole (no failure, not stopped, flushed),
// and when the files it holds were written. Folders and sources are told
// apart by their real paths, so two spellings of one folder are one folder;
// the texts stand in where a line written before the real paths were kept
// has none.
struct MadeCopy
{
    QString target;
    QString source;
    QString destination;
    QDate day;
    bool whole = false;
    quint64 files = 0;
    QString targetReal = {}; // empty when not known
    QString sourceReal = {};
    // Wall-clock nanoseconds: every file in the folder was read from its
    // source after `started`, or had not changed since an earlier copy's
    // start; none was written after `ended`. 0 when nothing can be vouched
    // for (a stopped copy into a folder the book did not know).
    qint64 started = 0;
    qint64 ended = 0;
    // What the folder and its source are wherever they are mounted: a bind
    // mount of a destination is the same folder under another real path.
    FolderId targetId = {};
    FolderId sourceId = {};

    bool operator==(const MadeCopy&) const = default;
};

// One folder a line: the day (yyyy-MM-dd), "whole" or "partial", the file
// count, then target, source and destination, the real paths of target and
// source, each percent-encoded so that any path bytes survive, and the start
// and end in nanoseconds; fields split by one blank, lines end in CR LF. A
// line of the first six fields alone (as written before) knows no real path
// and no time; one of ten fields knows no device and inode, which the last
// two fields give ("device:inode", "-" when not known). A line that is not
// of this form is skipped.
std::vector<MadeCopy> parseCopyBook(const QByteArray& bytes);
QByteArray formatCopyBook(const std::vector<MadeCopy>& copies);

// The book in its file among the program's `files`, empty when the file is
// not there; false with the reason when it is there and cannot be read.
bool loadCopyBook(const OwnFolder& files, std::vector<MadeCopy>* book, QString* error = nullptr);

// A folder as the book tells folders apart: by device and inode where both
// sides know them, else by real path where both know it, else by the text.
struct FolderName
{
    QString text;
    QString real = {}; // empty when not known
    FolderId id = {};
};
bool isSameFolder(const FolderName& a, const FolderName& b);

// Whether `copy` is of the folder `target`.
bool isCopyAt(const MadeCopy& copy, const FolderName& target);
// Whether `copy` was made from the source `source`.
bool isCopyOf(const MadeCopy& copy, const FolderName& source);

// The folder's entry, or nothing.
std::optional<MadeCopy> findCopy(const std::vector<MadeCopy>& copies, const FolderName& target);
// The copies a new copy of `source` to `destination` on `day` may share the
// blocks of its unchanged files with, newest first: those of the same entry
// made whole on an earlier day of the same month, so that the first copy of
// a month is a full one and a damaged shared block reaches a month at most.
// Only copies whose times are known can vouch for their files.
std::vector<MadeCopy> referencesFor(const std::vector<MadeCopy>& copies, const FolderName& source,
                                    const QString& destination, QDate day);

// Keeps `copy` as the one entry of its folder, and of its real path: a
// folder made anew where one was is that path's copy now.
void noteCopy(std::vector<MadeCopy>* copies, MadeCopy copy);

} // namespace plovern
