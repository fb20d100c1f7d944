#pragma once

#include <optional>
#include <vector>

#include <QString>
#include <QStringList>

#include "core/engine/copytypes.h"
#include "core/schedule/entryresult.h"

namespace plovern {

// One copy that fell due.
struct DueCopy
{
    QString source;
    QString destination;
    qint64 second = 0; // the wall-clock second it fell due
    bool purge = false; // the yearly purge follows it
};

// What one due copy came to: the folder it went to and what the copy did
// there, or why none was made. The record, the copy book, the log, standard
// error and the desktop's notification are all made from this one value.
struct CopyResult
{
    DueCopy due;
    QString target;
    CopyReport report;
    double seconds = 0;
    QString refusal; // why no copy was made, when none was
    QString roomWarning = {}; // the drive holds few more copies like it

    bool refused() const { return !refusal.isEmpty(); }
    // Whether the folder goes into the copy record: whenever it exists, whole
    // or in part, since the record is the purge's list of what was made.
    bool recorded() const { return !refused() && report.targetExists; }
    bool whole() const { return !refused() && report.complete() && !report.stopped; }
};

// The result as its entry's last copy, which ended at the wall second `at`.
EntryResult entryResultOf(const CopyResult& result, qint64 at);

// What the user must hear of one copy, or of a batch of them.
struct Notice
{
    QString summary;
    QString body;
};

// The result's line in the program's log.
QString logLineOf(const CopyResult& result);
// Its lines for standard error: a failure and any warnings.
QStringList errorLinesOf(const CopyResult& result);
// Its desktop notification: a failure, or a copy made with warnings.
std::optional<Notice> noticeOf(const CopyResult& result);
// One notification for the notices of a batch, pointing at the log; names
// shown with their control characters written out.
Notice batchNotice(const std::vector<Notice>& notices, const QString& logPath);

} // namespace plovern
