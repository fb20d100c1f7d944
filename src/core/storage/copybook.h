#pragma once

#include <optional>
#include <vector>

#include <QByteArray>
#include <QDate>
#include <QString>

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

    bool operator==(const MadeCopy&) const = default;
};

// One folder a line: the day (yyyy-MM-dd), "whole" or "partial", the file
// count, then target, source and destination, the real paths of target and
// source, each percent-encoded so that any path bytes survive, and the start
// and end in nanoseconds; fields split by one blank, lines end in CR LF. A
// line of the first six fields alone (as written before) knows no real path
// and no time. A line that is not of this form is skipped.
std::vector<MadeCopy> parseCopyBook(const QByteArray& bytes);
QByteArray formatCopyBook(const std::vector<MadeCopy>& copies);

// The book in its file among the program's `files`, empty when the file is
// not there; false with the reason when it is there and cannot be read.
bool loadCopyBook(const OwnFolder& files, std::vector<MadeCopy>* book, QString* error = nullptr);

// Whether `copy` is of the folder `target`, whose real path is `targetReal`
// (empty when not known): by the real paths where both are known, else by the text.
bool isCopyAt(const MadeCopy& copy, const QString& target, const QString& targetReal);
// Whether `copy` was made from the source `source` (real path `sourceReal`), alike.
bool isCopyOf(const MadeCopy& copy, const QString& source, const QString& sourceReal);

// The folder's entry, or nothing.
std::optional<MadeCopy> findCopy(const std::vector<MadeCopy>& copies, const QString& target,
                                 const QString& targetReal = {});
// The copies a new copy of `source` to `destination` on `day` may share the
// blocks of its unchanged files with, newest first: those of the same entry
// made whole on an earlier day of the same month, so that the first copy of
// a month is a full one and a damaged shared block reaches a month at most.
// Only copies whose times are known can vouch for their files.
std::vector<MadeCopy> referencesFor(const std::vector<MadeCopy>& copies, const QString& source,
                                    const QString& destination, QDate day, const QString& sourceReal = {});

// Keeps `copy` as the one entry of its folder, told by its real path.
void noteCopy(std::vector<MadeCopy>* copies, MadeCopy copy);

} // namespace plovern
