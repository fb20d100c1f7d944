#include "core/storage/schedulefile.h"

#include "core/platform/paths.h"
#include "core/platform/textfile.h"

namespace plovern {

std::vector<ScheduleEntry> parseSchedule(const QByteArray& bytes)
{
    std::vector<ScheduleEntry> entries;
    for (const QByteArray& line : splitLines(bytes)) {
        const QList<QByteArray> fields = line.split(',');
        auto field = [&fields](qsizetype i) { return i < fields.size() ? pathText(fields[i]) : QString(); };
        ScheduleEntry entry{field(0), field(1), field(2), field(3)};
        if (!entry.isBlank())
            entries.push_back(std::move(entry));
    }
    return entries;
}

QByteArray formatSchedule(std::span<const ScheduleEntry> entries)
{
    QByteArray bytes;
    for (const ScheduleEntry& entry : entries) {
        bytes += pathBytes(entry.source) + ',' + pathBytes(entry.destination) + ',' + pathBytes(entry.time) + ','
            + pathBytes(entry.day) + kLineEnd;
    }
    return bytes;
}

} // namespace plovern
