#pragma once

#include <QDate>
#include <QString>
#include <QStringList>

#include "core/engine/treecopy.h"

namespace plovern {

// Where a copy made on `day` goes: the destination text, the source name and
// the date stamp, joined with nothing between them. A destination without a
// final separator thus receives its copies beside it, not inside it.
QString targetPath(const QString& source, const QString& destination, QDate day);
// The same with month and day in two digits each: where the plain name holds
// the copy of another day with the same digits (11 January and 1 November
// 2027 are both "1112027"), a copy goes there, still a stamp of its year.
QString paddedTargetPath(const QString& source, const QString& destination, QDate day);

struct CopyOutcome
{
    QString target;
    CopyReport report; // complete when the whole tree was copied and flushed
};

// Why no copy may go into `target`, or an empty text: its way passes a link
// that belongs to someone other than the user running and root (as the
// kernel's protected_symlinks holds in sticky folders), it is a link itself,
// or it is a folder another user made that no earlier copy of the program
// (`explained`) accounts for.
QString refusedTarget(const QString& target, bool explained);

// One scheduled copy: the source tree into the folder `target`, flushed.
// `reuse`, when given, says what earlier copies lend it.
CopyOutcome makeCopy(const QString& source, const QString& target, CopyControl* control = nullptr,
                     const Reuse* reuse = nullptr);
// The same into its date-stamped target folder.
CopyOutcome makeDatedCopy(const QString& source, const QString& destination, QDate day, CopyControl* control = nullptr,
                          const Reuse* reuse = nullptr);

} // namespace plovern
