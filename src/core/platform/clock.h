#pragma once

#include <QDateTime>

namespace plovern {

// The present local date and time. The scheduler reads only the wall clock
// (date and time of day), never a time zone, so a fake clock can stand in.
class Clock
{
public:
    virtual ~Clock() = default;
    virtual QDateTime now() const = 0;
};

class SystemClock final : public Clock
{
public:
    QDateTime now() const override;
};

} // namespace plovern
