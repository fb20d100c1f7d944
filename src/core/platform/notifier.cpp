#include "core/platform/notifier.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QFileInfo>
#include <QStringList>
#include <QVariantMap>

#include "core/platform/process.h"

namespace plovern {

namespace {

// Whether a session bus is there to be reached, without asking the bus
// library to start one (it would, for a hidden program at log-in, on a display
// that may be gone).
bool sessionBusKnown()
{
    if (!qEnvironmentVariableIsEmpty("DBUS_SESSION_BUS_ADDRESS"))
        return true;
    const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    return !runtime.isEmpty() && QFileInfo::exists(runtime + QLatin1String("/bus"));
}

} // namespace

void DesktopNotifier::notify(const QString& summary, const QString& body)
{
    if (!sessionBusKnown())
        return;
    const QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected())
        return;
    QDBusMessage call = QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.Notifications"), QStringLiteral("/org/freedesktop/Notifications"),
        QStringLiteral("org.freedesktop.Notifications"), QStringLiteral("Notify"));
    // The server may read a subset of HTML in the body: a name is text.
    QString text = body;
    text.replace(QLatin1Char('&'), QLatin1String("&amp;"))
        .replace(QLatin1Char('<'), QLatin1String("&lt;"))
        .replace(QLatin1Char('>'), QLatin1String("&gt;"));
    call << programTitle() << 0U << QStringLiteral("plovern") << summary << text << QStringList() << QVariantMap()
         << -1;
    bus.call(call, QDBus::NoBlock);
}

} // namespace plovern
