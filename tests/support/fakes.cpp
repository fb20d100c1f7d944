#include "support/fakes.h"

#include <sys/resource.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace plovern::test {

TestPlatform::TestPlatform(const QString& arguments)
    : arguments(arguments)
{
}

Platform TestPlatform::platform() const
{
    return Platform{clock, boxes, shell, notifier, arguments, folder.path()};
}

QString TestPlatform::file(const QString& name) const
{
    return folder.filePath(name);
}

QByteArray TestPlatform::read(const QString& name) const
{
    return contentOf(file(name));
}

void TestPlatform::write(const QString& name, const QByteArray& bytes) const
{
    QFile file(this->file(name));
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size())
        qFatal("cannot write test file %s", qPrintable(name));
}

QByteArray contentOf(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
}

FileSizeLimit::FileSizeLimit(quint64 bytes)
{
    rlimit limit;
    ::getrlimit(RLIMIT_FSIZE, &limit);
    m_saved = limit.rlim_cur;
    limit.rlim_cur = bytes;
    ::setrlimit(RLIMIT_FSIZE, &limit);
}

FileSizeLimit::~FileSizeLimit()
{
    rlimit limit;
    ::getrlimit(RLIMIT_FSIZE, &limit);
    limit.rlim_cur = m_saved;
    ::setrlimit(RLIMIT_FSIZE, &limit);
}

void makeTree(const QString& root, const QList<QPair<QString, QByteArray>>& files)
{
    for (const auto& [path, content] : files) {
        const QString full = root + QLatin1Char('/') + path;
        if (path.endsWith(QLatin1Char('/'))) {
            QDir().mkpath(full);
            continue;
        }
        QDir().mkpath(QFileInfo(full).path());
        QFile file(full);
        if (!file.open(QIODevice::WriteOnly) || file.write(content) != content.size())
            qFatal("cannot write %s", qPrintable(full));
    }
}

} // namespace plovern::test
