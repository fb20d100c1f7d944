#pragma once

#include <vector>

#include <QByteArray>
#include <QDate>
#include <QString>

namespace plovern {

// What the program knows of a dated folder it made, kept in a file of its
// own beside the copy record ("PLVCopies.txt"), so that nothing is added
// inside the copies and it works on any drive: which entry made the folder,
// and whether its last copy was made whole (no failure, not stopped, flushed).
struct MadeCopy
{
    QString target;
    QString source;
    QString destination;
    QDate day;
    bool whole = false;
    quint64 files = 0;

    bool operator==(const MadeCopy&) const = default;
};

// One folder a line: the day (yyyy-MM-dd), "whole" or "partial", the file
// count, then target, source and destination, each percent-encoded so that
// any path bytes survive; fields split by one blank, lines end in CR LF. A
// line that is not of this form is skipped.
std::vector<MadeCopy> parseCopyBook(const QByteArray& bytes);
QByteArray formatCopyBook(const std::vector<MadeCopy>& copies);

// The book in the file at `path`; a book that cannot be read knows no copy,
// so the purge keeps everything and a copy goes where it is due.
std::vector<MadeCopy> loadCopyBook(const QString& path);

// The folder's entry, or nothing.
const MadeCopy* findCopy(const std::vector<MadeCopy>& copies, const QString& target);
// The copies a new copy of `source` to `destination` on `day` may share the
// blocks of its unchanged files with, newest first: those of the same entry
// made whole on an earlier day of the same month, so that the first copy of
// a month is a full one and a damaged shared block reaches a month at most.
std::vector<MadeCopy> referencesFor(const std::vector<MadeCopy>& copies, const QString& source,
                                    const QString& destination, QDate day);

// Keeps `copy` as the one entry of its folder.
void noteCopy(std::vector<MadeCopy>* copies, MadeCopy copy);

} // namespace plovern
