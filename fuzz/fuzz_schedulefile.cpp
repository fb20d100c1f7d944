// Whatever a schedule file holds, every entry it loads is one the save writes
// back (never a blank row the save would take for the end of the table), and
// the written file loads back into the same entries.

#include <cstdlib>

#include "core/storage/schedulefile.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    const std::vector<plovern::ScheduleEntry> loaded = plovern::parseSchedule(bytes);
    for (const plovern::ScheduleEntry& entry : loaded) {
        if (entry.isBlank())
            std::abort();
    }
    if (plovern::parseSchedule(plovern::formatSchedule(loaded)) != loaded)
        std::abort();
    return 0;
}
