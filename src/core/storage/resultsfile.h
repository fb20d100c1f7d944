#pragma once

#include <map>
#include <optional>
#include <utility>
#include <vector>

#include <QByteArray>
#include <QString>

#include "core/schedule/entryresult.h"
#include "core/storage/copybook.h"

namespace plovern {

class OwnFolder;

// Each entry's last copy, kept in "PLVResults.txt" so that it is told after a
// restart. One entry a line: the outcome ("made", "warned", "failed",
// "stopped"), the wall seconds it ended, of the last whole copy and of the
// first known copy, the files, the bytes written and the full copy's bytes,
// then the source, the destination and the warning or failure, each
// percent-encoded; fields split by one
// blank, lines end in CR LF. A line that is not of this form is skipped.
std::vector<EntryResult> parseResults(const QByteArray& bytes);
QByteArray formatResults(const std::vector<EntryResult>& results);

// The results in their file among the program's `files`, none when the file
// is not there; false with the reason when it cannot be read.
bool loadResults(const OwnFolder& files, std::vector<EntryResult>* results, QString* error = nullptr);

// Keeps `result` as its entry's one line; the last whole copy, the first
// known copy and the full copy's bytes carry over from the line it replaces.
void noteResult(std::vector<EntryResult>* results, EntryResult result);

// Each entry's last copy, by its source and destination: its line, or for an
// entry that has none (copies made before the results were kept) its latest
// whole copy in the copy `book`.
using LastResults = std::map<std::pair<QString, QString>, EntryResult>;
LastResults lastResults(const std::vector<EntryResult>& results, const std::vector<MadeCopy>& book);
std::optional<EntryResult> lastResultOf(const LastResults& last, const QString& source, const QString& destination);

} // namespace plovern
