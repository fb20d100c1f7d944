#include "core/schedule/scheduleentry.h"

#include <array>

namespace plovern {

namespace {

// At its day code's place: "Every" at 0, Sunday at 1.
const std::array<QString, 8>& dayNames()
{
    static const std::array<QString, 8> names = {
        QStringLiteral("Every"),     QStringLiteral("Sunday"),   QStringLiteral("Monday"), QStringLiteral("Tuesday"),
        QStringLiteral("Wednesday"), QStringLiteral("Thursday"), QStringLiteral("Friday"), QStringLiteral("Saturday"),
    };
    return names;
}

} // namespace

QString dayCode(const QString& dayName)
{
    const std::array<QString, 8>& names = dayNames();
    for (size_t i = 0; i < names.size(); ++i) {
        if (dayName == names[i])
            return i == 0 ? names[0] : QString::number(i);
    }
    return QString();
}

QString dayName(const QString& code)
{
    const int day = code.size() == 1 ? code[0].unicode() - '0' : 0;
    return day >= 1 && day <= 7 ? dayNames()[static_cast<size_t>(day)] : code;
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
