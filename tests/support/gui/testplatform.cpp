#include "support/gui/testplatform.h"

#include <QFile>

namespace plovern::test {

TestPlatform::TestPlatform(const QString& arguments)
    : arguments(arguments)
{
}

Platform TestPlatform::platform() const
{
    // The drives of no machine in particular: the suite must not depend on the one it runs on.
    return Platform{clock, boxes, shell, notifier, arguments, folder.path(), {QStringLiteral("/")}};
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

} // namespace plovern::test
