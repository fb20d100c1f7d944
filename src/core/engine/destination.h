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
    QString sourceReal;
    std::optional<MadeCopy> earlier; // what the book knows of the folder, when it is there
    QString refusal; // why the copy must not be made there
    QString note; // for the log: why the copy goes to the padded name
};

// The folder a copy of `copy` on `day` goes to: its dated folder, or the
// padded name where that holds the copy of another day; never a folder
// another source made, nor one another copy is writing now (`writing`: the
// folders being written, by real path, and the source of each) for another
// source, nor one refusedTarget refuses.
Destination destinationOf(const std::vector<MadeCopy>& book, const DueCopy& copy, QDate day,
                          const std::map<QString, QString>& writing);

// What earlier copies lend the copy going to `where`: the day's earlier copy
// of that folder, and the newest whole copy of the entry this month that is
// still a real folder, to share blocks with.
Reuse reuseFor(const std::vector<MadeCopy>& book, const DueCopy& copy, QDate day, const Destination& where);

} // namespace plovern
