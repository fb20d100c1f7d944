#include "core/schedule/catchup.h"

#include <algorithm>

#include "core/schedule/scheduler.h"

namespace plovern {

std::optional<qint64> resumeFrom(qint64 keptMark, qint64 now)
{
    if (keptMark >= now || now - keptMark >= SecondCursor::kMaxCatchUp)
        return std::nullopt;
    return keptMark;
}

std::optional<qint64> markToKeep(std::optional<qint64> evaluated, std::optional<qint64> oldestPending)
{
    if (evaluated && oldestPending)
        return std::min(*evaluated, *oldestPending - 1);
    return evaluated;
}

} // namespace plovern
