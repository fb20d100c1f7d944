#include "support/fakes.h"

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
    return Platform{clock, boxes, shell, arguments, folder.path()};
}

QString TestPlatform::file(const QString& name) const
{
    return folder.filePath(name);
}

QByteArray TestPlatform::read(const QString& name) const
{
    QFile file(this->file(name));
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
}

void TestPlatform::write(const QString& name, const QByteArray& bytes) const
{
    QFile file(this->file(name));
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size())
        qFatal("cannot write test file %s", qPrintable(name));
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
