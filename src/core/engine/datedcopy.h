#pragma once

#include <QDate>
#include <QString>
#include <QStringList>

#include "core/engine/treecopy.h"

namespace plovern {

// The last name in a source path: "/data/Reports" gives "Reports"; a path
// that ends in a separator, such as the root "/", gives "".
QString sourceName(const QString& source);

// Where a copy made on `day` goes: the destination text, the source name and
// the date stamp, joined with nothing between them. A destination without a
// final separator thus receives its copies beside it, not inside it.
QString targetPath(const QString& source, const QString& destination, QDate day);

struct CopyOutcome
{
    QString target;
    CopyReport report; // complete when the whole tree was copied and flushed
    // Whether the target goes into the copy record: whenever it exists, whole
    // or in part, since the record is the purge's list of what was made.
    bool record() const { return report.targetExists; }
};

// One scheduled copy: the source tree into its date-stamped target folder.
// `reuse`, when given, names an earlier copy to share unchanged blocks with.
CopyOutcome makeDatedCopy(const QString& source, const QString& destination, QDate day, CopyControl* control = nullptr,
                          const Reuse* reuse = nullptr);

} // namespace plovern
