#pragma once

#include <map>
#include <optional>
#include <vector>

#include <QDate>
#include <QString>

#include "core/engine/copyresult.h"
#include "core/engine/copytypes.h"
#include "core/storage/copybook.h"

namespace plovern {

// Where a due copy goes, told by what the folders are, not how they are spelled.
struct Destination
{
    QString target;
    QString targetReal; // empty while its parent is not there
    FolderId targetId; // known once it is there
    QString sourceReal;
    FolderId sourceId;
    // Who writes the folder now is kept under this: the destination's
    // device and inode with the folder's name, so that two mounts of one
    // destination meet before the folder is there.
    QString writingKey;
    std::optional<MadeCopy> earlier; // what the book knows of the folder, when it is there
    QString refusal; // why the copy must not be made there
    QString note; // for the log: why the copy goes to the padded name
};

// A copy being written: its source as told apart (`source`) and as named.
struct Writer
{
    QString source;
    QString name;
};
using Writing = std::map<QString, Writer>;

// The folder a copy of `copy` on `day` goes to: its dated folder, or the
// padded name where that holds the copy of another day; never a folder
// another source made, nor one another copy is writing now (`writing`: the
// folders being written, by their writing keys, and the source of each) for another
// source, nor one refusedTarget refuses.
Destination destinationOf(const std::vector<MadeCopy>& book, const DueCopy& copy, QDate day, const Writing& writing);
// Who writes the folder `where` for `copy`.
Writer writerOf(const Destination& where, const DueCopy& copy);

// What earlier copies lend the copy going to `where`: the day's earlier copy
// of that folder, and the newest whole copy of the entry this month that is
// still a real folder, to share blocks with.
Reuse reuseFor(const std::vector<MadeCopy>& book, const DueCopy& copy, QDate day, const Destination& where);

} // namespace plovern
