// Whatever the results file holds, what is read from it is written back and
// read again unchanged, and no entry is there twice.

#include <cstdlib>
#include <set>

#include "core/storage/resultsfile.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    const std::vector<plovern::EntryResult> results = plovern::parseResults(bytes);
    std::set<std::pair<QString, QString>> entries;
    for (const plovern::EntryResult& result : results) {
        if (!entries.insert({result.source, result.destination}).second)
            std::abort();
    }
    if (plovern::parseResults(plovern::formatResults(results)) != results)
        std::abort();
    return 0;
}
