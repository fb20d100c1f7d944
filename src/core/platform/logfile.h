#pragma once

#include <memory>
#include <mutex>

#include <QDateTime>
#include <QString>

namespace plovern {

class OwnFolder;

// The program's own log among its files: one CR LF line per copy, purge and
// catch-up, the local time first, control characters shown as in shownText.
// Past kLimit bytes it becomes the ".1" file (replacing the older one) and a
// new one starts. A line that cannot be written goes to standard error
// instead, and so does every line while the program's files are not to be
// trusted; nothing waits on the log. Lines may come from any thread.
class LogFile
{
public:
    static constexpr qint64 kLimit = 1 << 20;

    LogFile(std::shared_ptr<const OwnFolder> files, QString name);

    QString path() const;
    // The file the log is renamed to when it passes kLimit.
    QString olderPath() const;
    void write(const QDateTime& when, const QString& line);

private:
    QString olderName() const;

    std::shared_ptr<const OwnFolder> m_files;
    QString m_name;
    std::mutex m_mutex;
};

} // namespace plovern
