#pragma once

#include <QString>

namespace plovern {

// A message on the desktop, for what the user must not miss while the
// program runs unattended: a copy that failed or lost something.
class Notifier
{
public:
    virtual ~Notifier() = default;
    virtual void notify(const QString& summary, const QString& body) = 0;
};

// Through the freedesktop notification service on the session bus, without
// waiting for it. Without a session bus or a service nothing happens: the
// log and standard error still have it. Safe to call from any thread.
class DesktopNotifier final : public Notifier
{
public:
    void notify(const QString& summary, const QString& body) override;
};

} // namespace plovern
