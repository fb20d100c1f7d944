#include "core/platform/textfile.h"

#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <unistd.h>

#include "core/platform/paths.h"

namespace plovern {

bool flushToDisk(const QString& path, QString* error)
{
    const int fd = ::open(pathBytes(path).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    const bool flushed = fd >= 0 && ::syncfs(fd) == 0;
    const int reason = errno;
    if (fd >= 0)
        ::close(fd);
    if (!flushed && error)
        *error = QString::fromLocal8Bit(std::strerror(reason));
    return flushed;
}

} // namespace plovern

namespace plovern {

QList<QByteArray> splitLines(const QByteArray& bytes)
{
    QList<QByteArray> lines;
    qsizetype start = 0;
    const qsizetype size = bytes.size();
    for (qsizetype i = 0; i < size; ++i) {
        const char c = bytes[i];
        if (c != '\r' && c != '\n')
            continue;
        lines.append(bytes.mid(start, i - start));
        if (c == '\r' && i + 1 < size && bytes[i + 1] == '\n')
            ++i;
        start = i + 1;
    }
    if (start < size)
        lines.append(bytes.mid(start));
    return lines;
}

} // namespace plovern
