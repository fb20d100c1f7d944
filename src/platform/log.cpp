#include "platform/log.h"

#include <cstdio>

namespace plovern {

void logLine(const QString& line)
{
    const QByteArray bytes = "plovern: " + line.toLocal8Bit() + '\n';
    std::fwrite(bytes.constData(), 1, static_cast<size_t>(bytes.size()), stderr);
    std::fflush(stderr);
}

} // namespace plovern
