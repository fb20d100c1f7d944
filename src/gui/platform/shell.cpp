#include "gui/platform/shell.h"

#include <QDesktopServices>
#include <QUrl>

namespace plovern {

void DesktopShell::open(const QString& target)
{
    QDesktopServices::openUrl(QUrl::fromUserInput(target));
}

} // namespace plovern
