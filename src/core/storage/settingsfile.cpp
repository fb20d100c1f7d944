#include "core/storage/settingsfile.h"

#include "core/platform/textfile.h"
#include "core/schedule/scheduleentry.h"

namespace plovern {

StoredSettings parseSettings(const QByteArray& bytes)
{
    QByteArray joined;
    for (const QByteArray& line : splitLines(bytes))
        joined += ',' + line;
    const QList<QByteArray> fields = joined.split(',');
    StoredSettings stored;
    if (fields.size() < 2)
        return stored;
    const QString count = QString::fromLocal8Bit(fields[1]);
    if (isCount(count))
        stored.count = count;
    if (fields.size() < 3)
        return stored;
    bool isNumber = false;
    const double flag = QString::fromLocal8Bit(fields[2]).trimmed().toDouble(&isNumber);
    if (isNumber)
        stored.purge = flag == 1;
    return stored;
}

QByteArray formatSettings(const QString& count, bool purge)
{
    return count.toLocal8Bit() + kLineEnd + (purge ? " 1 " : " 0 ") + kLineEnd;
}

} // namespace plovern
