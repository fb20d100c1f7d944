// Whatever a settings file holds, a count read from it is a count, and what
// is read is written back and read again unchanged.

#include <cstdlib>

#include "core/schedule/scheduleentry.h"
#include "core/storage/settingsfile.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    const plovern::StoredSettings stored = plovern::parseSettings(bytes);
    if (stored.count && !plovern::isCount(*stored.count))
        std::abort();
    const QString count = stored.count.value_or(QStringLiteral("0"));
    const bool purge = stored.purge.value_or(false);
    const plovern::StoredSettings again = plovern::parseSettings(plovern::formatSettings(count, purge));
    if (again.count != count || again.purge != purge)
        std::abort();
    return 0;
}
