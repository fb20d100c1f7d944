#include "core/platform/clock.h"

namespace plovern {

QDateTime SystemClock::now() const
{
    return QDateTime::currentDateTime();
}

} // namespace plovern
