#include "core/storage/resultsfile.h"

#include <algorithm>
#include <array>
#include <cerrno>

#include <QDateTime>

#include "core/platform/ownfolder.h"
#include "core/platform/paths.h"
#include "core/platform/textfile.h"
#include "core/schedule/scheduler.h"
#include "core/storage/programfiles.h"

namespace plovern {

namespace {

constexpr std::array<std::pair<Outcome, const char*>, 4> kOutcomes{
    {{Outcome::made, "made"}, {Outcome::warned, "warned"}, {Outcome::failed, "failed"}, {Outcome::stopped, "stopped"}}};

bool isEntry(const EntryResult& result, const QString& source, const QString& destination)
{
    return result.source == source && result.destination == destination;
}

// What `result` keeps of its entry's earlier line `known`.
void carryOver(const EntryResult& known, EntryResult* result)
{
    if (!isWhole(result->outcome))
        result->lastWhole = std::max(result->lastWhole, known.lastWhole);
    if (result->fullBytes == 0)
        result->fullBytes = known.fullBytes;
    if (known.since != 0)
        result->since = std::min(result->since != 0 ? result->since : known.since, known.since);
}

// A time stored as a wall second: one outside the years the clock tells is not known.
qint64 knownSecond(qint64 second)
{
    return wallDate(second).year() >= 1970 && wallDate(second).year() <= 9999 ? second : 0;
}

} // namespace

std::vector<EntryResult> parseResults(const QByteArray& bytes)
{
    std::vector<EntryResult> results;
    // Each entry's line by its place, so that a file of many entries reads in one pass.
    std::map<std::pair<QString, QString>, size_t> places;
    for (const QByteArray& line : splitLines(bytes)) {
        const QList<QByteArray> fields = line.split(' ');
        if (fields.size() != 10)
            continue;
        const auto outcome = std::find_if(kOutcomes.begin(), kOutcomes.end(),
                                          [&](const auto& known) { return fields[0] == known.second; });
        EntryResult result;
        std::array<bool, 6> numbers{};
        result.at = fields[1].toLongLong(&numbers[0]);
        result.lastWhole = fields[2].toLongLong(&numbers[1]);
        result.since = fields[3].toLongLong(&numbers[2]);
        result.files = fields[4].toULongLong(&numbers[3]);
        result.bytes = fields[5].toULongLong(&numbers[4]);
        result.fullBytes = fields[6].toULongLong(&numbers[5]);
        result.source = pathOfField(fields[7]);
        result.destination = pathOfField(fields[8]);
        result.line = pathOfField(fields[9]);
        result.at = knownSecond(result.at);
        result.lastWhole = knownSecond(result.lastWhole);
        result.since = knownSecond(result.since);
        if (outcome == kOutcomes.end() || !std::ranges::all_of(numbers, [](bool ok) { return ok; })
            || result.source.isEmpty() || result.at == 0)
            continue;
        result.outcome = outcome->first;
        const auto [found, added] = places.try_emplace({result.source, result.destination}, results.size());
        const size_t place = found->second;
        if (added) {
            results.push_back(std::move(result));
        } else {
            carryOver(results[place], &result);
            results[place] = std::move(result);
        }
        if (results[place].since == 0)
            results[place].since = results[place].at;
    }
    return results;
}

QByteArray formatResults(const std::vector<EntryResult>& results)
{
    QByteArray bytes;
    for (const EntryResult& result : results) {
        const auto outcome = std::find_if(kOutcomes.begin(), kOutcomes.end(),
                                          [&](const auto& known) { return known.first == result.outcome; });
        bytes += QByteArray(outcome->second) + ' ' + QByteArray::number(result.at) + ' '
            + QByteArray::number(result.lastWhole) + ' ' + QByteArray::number(result.since) + ' '
            + QByteArray::number(result.files) + ' ' + QByteArray::number(result.bytes) + ' '
            + QByteArray::number(result.fullBytes) + ' ' + pathField(result.source) + ' '
            + pathField(result.destination) + ' ' + pathField(result.line) + kLineEnd;
    }
    return bytes;
}

bool loadResults(const OwnFolder& files, std::vector<EntryResult>* results, QString* error)
{
    QByteArray bytes;
    if (!files.read(QString::fromLatin1(kResultsFile), &bytes, error) && errno != ENOENT)
        return false;
    *results = parseResults(bytes);
    return true;
}

void noteResult(std::vector<EntryResult>* results, EntryResult result)
{
    const auto known = std::find_if(results->begin(), results->end(), [&](const EntryResult& earlier) {
        return isEntry(earlier, result.source, result.destination);
    });
    if (known != results->end()) {
        carryOver(*known, &result);
        results->erase(known);
    }
    if (result.since == 0)
        result.since = result.at;
    results->push_back(std::move(result));
}

LastResults lastResults(const std::vector<EntryResult>& results, const std::vector<MadeCopy>& book)
{
    LastResults last;
    for (const MadeCopy& copy : book) {
        if (!copy.whole)
            continue;
        // A line written before the times were kept tells the day.
        const qint64 ended = copy.ended != 0 ? wallSecond(QDateTime::fromMSecsSinceEpoch(copy.ended / 1000000))
                                             : wallSecond(QDateTime(copy.day, QTime(0, 0)));
        const auto [known, added] = last.try_emplace({copy.source, copy.destination});
        if (added || ended > known->second.at)
            known->second = {copy.source, copy.destination, Outcome::made, ended, copy.files, 0, {}, ended, ended};
    }
    for (const EntryResult& result : results)
        last[{result.source, result.destination}] = result;
    return last;
}

std::optional<EntryResult> lastResultOf(const LastResults& last, const QString& source, const QString& destination)
{
    const auto found = last.find({source, destination});
    return found == last.end() ? std::nullopt : std::optional(found->second);
}

} // namespace plovern
