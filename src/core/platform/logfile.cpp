#include "core/platform/logfile.h"

#include "core/platform/log.h"
#include "core/platform/ownfolder.h"
#include "core/platform/paths.h"
#include "core/platform/textfile.h"

namespace plovern {

LogFile::LogFile(std::shared_ptr<const OwnFolder> files, QString name)
    : m_files(std::move(files))
    , m_name(std::move(name))
{
}

QString LogFile::path() const
{
    return m_files->filePath(m_name);
}

QString LogFile::olderName() const
{
    QString older = m_name;
    const qsizetype dot = older.lastIndexOf(QLatin1Char('.'));
    return dot > 0 ? older.insert(dot, QLatin1String(".1")) : older + QLatin1String(".1");
}

QString LogFile::olderPath() const
{
    return m_files->filePath(olderName());
}

void LogFile::write(const QDateTime& when, const QString& line)
{
    if (!m_files->distrust().isEmpty()) {
        logLine(line); // nothing is written among files others may steer
        return;
    }
    const QByteArray bytes = pathBytes(shownText(when.toString(Qt::ISODate) + QLatin1Char(' ') + line)) + kLineEnd;
    std::lock_guard lock(m_mutex);
    if (m_files->size(m_name) + bytes.size() > kLimit)
        m_files->rename(m_name, olderName());
    QString error;
    if (!m_files->append(m_name, bytes, &error))
        logLine(QStringLiteral("could not write to the log %1: %2; the line was: %3").arg(path(), error, line));
}

} // namespace plovern
