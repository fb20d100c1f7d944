#include "core/platform/log.h"

#include <cstdio>

#include "core/platform/paths.h"

namespace plovern {

void logLine(const QString& line)
{
    const QByteArray bytes = "plovern: " + pathBytes(line) + '\n';
    std::fwrite(bytes.constData(), 1, static_cast<size_t>(bytes.size()), stderr);
    std::fflush(stderr);
}

} // namespace plovern
