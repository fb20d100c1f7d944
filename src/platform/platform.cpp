#include "platform/platform.h"

#include <csignal>

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

namespace plovern {

QString programTitle()
{
    return QStringLiteral("Plovern");
}

QString argumentText(const QStringList& argv)
{
    return argv.mid(1).join(QLatin1Char(' '));
}

QString executableFolder()
{
    return QCoreApplication::applicationDirPath();
}

QString programFolder()
{
    const QString beside = executableFolder();
    if (QFileInfo(beside).isWritable())
        return beside;
    const QString data = QStandardPaths::writableLocation(QStandardPaths::AppDataLocation);
    QDir().mkpath(data);
    return data;
}

QString programFile(const QString& folder, const QString& name)
{
    return folder + QDir::separator() + name;
}

void ignoreFileSizeSignal()
{
    std::signal(SIGXFSZ, SIG_IGN);
}

} // namespace plovern
