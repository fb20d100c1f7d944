#include "core/platform/logfile.h"

#include <QFile>
#include <QFileInfo>

#include "core/platform/log.h"
#include "core/platform/paths.h"
#include "core/platform/textfile.h"

namespace plovern {

LogFile::LogFile(QString path)
    : m_path(std::move(path))
{
}

QString LogFile::olderPath() const
{
    QString older = m_path;
    const qsizetype dot = older.lastIndexOf(QLatin1Char('.'));
    return dot > older.lastIndexOf(QLatin1Char('/')) ? older.insert(dot, QLatin1String(".1"))
                                                     : older + QLatin1String(".1");
}

void LogFile::write(const QDateTime& when, const QString& line)
{
    const QByteArray bytes = pathBytes(when.toString(Qt::ISODate) + QLatin1Char(' ') + line) + kLineEnd;
    std::lock_guard lock(m_mutex);
    if (QFileInfo(m_path).size() + bytes.size() > kLimit) {
        QFile::remove(olderPath());
        QFile::rename(m_path, olderPath());
    }
    QString error;
    if (!appendToFile(m_path, bytes, &error))
        logLine(QStringLiteral("could not write to the log %1: %2; the line was: %3").arg(m_path, error, line));
}

} // namespace plovern
