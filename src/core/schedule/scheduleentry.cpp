#include "core/schedule/scheduleentry.h"

#include <array>

namespace plovern {

QString dayCode(const QString& dayName)
{
    static const std::array<QString, 8> names = {
        QStringLiteral("Every"),     QStringLiteral("Sunday"),   QStringLiteral("Monday"), QStringLiteral("Tuesday"),
        QStringLiteral("Wednesday"), QStringLiteral("Thursday"), QStringLiteral("Friday"), QStringLiteral("Saturday"),
    };
    for (size_t i = 0; i < names.size(); ++i) {
        if (dayName == names[i])
            return i == 0 ? names[0] : QString::number(i);
    }
    return QString();
}

bool isCount(const QString& text)
{
    if (text.isEmpty() || text.size() > 9)
        return false;
    for (const QChar c : text) {
        if (c < QLatin1Char('0') || c > QLatin1Char('9'))
            return false;
    }
    return true;
}

} // namespace plovern
