#include "platform/platform.h"

#include <csignal>

#include <QCoreApplication>
#include <QDir>

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

QString programFile(const QString& folder, const QString& name)
{
    return folder + QDir::separator() + name;
}

void ignoreFileSizeSignal()
{
    std::signal(SIGXFSZ, SIG_IGN);
}

} // namespace plovern
