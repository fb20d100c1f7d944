#include "core/storage/lasttick.h"

#include "core/platform/textfile.h"

namespace plovern {

QByteArray formatLastTick(const QDateTime& second)
{
    return second.toString(QStringLiteral("yyyy-MM-ddTHH:mm:ss")).toLatin1() + kLineEnd;
}

std::optional<QDateTime> parseLastTick(const QByteArray& bytes)
{
    const QList<QByteArray> lines = splitLines(bytes);
    if (lines.isEmpty())
        return std::nullopt;
    const QDateTime second
        = QDateTime::fromString(QString::fromLatin1(lines.first()), QStringLiteral("yyyy-MM-ddTHH:mm:ss"));
    if (!second.isValid())
        return std::nullopt;
    return second;
}

} // namespace plovern
