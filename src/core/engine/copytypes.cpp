#include "core/engine/copytypes.h"

#include <cerrno>
#include <ctime>

#include <linux/fs.h>
#include <sys/ioctl.h>

namespace plovern {

QString CopyReport::failureText() const
{
    if (failures <= 1)
        return firstFailure;
    return QStringLiteral("%1 (and %2 more)").arg(firstFailure, QString::number(failures - 1));
}

int cloneBlocks(int out, int in)
{
    return ::ioctl(out, FICLONE, in) == 0 ? 0 : errno;
}

qint64 wallNanoseconds()
{
    struct timespec now;
    ::clock_gettime(CLOCK_REALTIME, &now);
    return now.tv_sec * 1000000000LL + now.tv_nsec;
}

} // namespace plovern
