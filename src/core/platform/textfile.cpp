#include "core/platform/textfile.h"

#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <unistd.h>

#include <QFile>
#include <QSaveFile>

#include "core/platform/paths.h"

namespace plovern {

namespace {

QString shortWrite(const QFileDevice& file)
{
    return file.error() == QFileDevice::NoError
        ? QStringLiteral("the disk took only part of it (full, or a size limit)")
        : file.errorString();
}

} // namespace

bool readFile(const QString& path, QByteArray* bytes, QString* error)
{
    QFile file(path);
    if (file.open(QIODevice::ReadOnly)) {
        *bytes = file.readAll();
        if (file.error() == QFileDevice::NoError)
            return true;
    }
    if (error)
        *error = file.errorString();
    return false;
}

bool saveFile(const QString& path, const QByteArray& bytes, QString* error)
{
    // Unbuffered, so a short write (disk full, file size limit) shows in
    // write()'s count; a buffered flush at commit would let it pass unseen.
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Unbuffered)) {
        if (error)
            *error = file.errorString();
        return false;
    }
    if (file.write(bytes) != bytes.size()) {
        if (error)
            *error = shortWrite(file);
        file.cancelWriting();
        return false;
    }
    if (!file.commit()) {
        if (error)
            *error = file.errorString();
        return false;
    }
    return true;
}

bool appendToFile(const QString& path, const QByteArray& bytes, QString* error)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Append | QIODevice::Unbuffered)) {
        if (error)
            *error = file.errorString();
        return false;
    }
    const qint64 before = file.size();
    if (file.write(bytes) == bytes.size()) {
        // The record outlives a power cut as the copies it names do.
        ::fsync(file.handle());
        return true;
    }
    if (error)
        *error = shortWrite(file);
    // A torn line would run into the next one appended: take it back.
    file.resize(before);
    return false;
}

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
