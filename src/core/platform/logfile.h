#pragma once

#include <mutex>

#include <QDateTime>
#include <QString>

namespace plovern {

// The program's own log beside its other files: one CR LF line per copy,
// purge and catch-up, the local time first. Past kLimit bytes it becomes the
// ".1" file (replacing the older one) and a new one starts. A line that
// cannot be written goes to standard error instead; nothing waits on the log.
// Lines may come from any thread.
class LogFile
{
public:
    static constexpr qint64 kLimit = 1 << 20;

    explicit LogFile(QString path);

    const QString& path() const { return m_path; }
    // The file the log is renamed to when it passes kLimit.
    QString olderPath() const;
    void write(const QDateTime& when, const QString& line);

private:
    QString m_path;
    std::mutex m_mutex;
};

} // namespace plovern
