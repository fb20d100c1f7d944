#include "core/schedule/clocktext.h"

namespace plovern {

namespace {

int digit(QChar c)
{
    return (c >= QLatin1Char('0') && c <= QLatin1Char('9')) ? c.unicode() - '0' : -1;
}

// Two digits forming 00 to 59, or -1.
int sixty(QChar tens, QChar units)
{
    const int t = digit(tens);
    const int u = digit(units);
    return (t < 0 || t > 5 || u < 0) ? -1 : t * 10 + u;
}

} // namespace

QString clockText(QTime time)
{
    const int hour24 = time.hour();
    const int hour12 = hour24 % 12 == 0 ? 12 : hour24 % 12;
    return QStringLiteral("%1:%2:%3 %4")
        .arg(hour12)
        .arg(time.minute(), 2, 10, QLatin1Char('0'))
        .arg(time.second(), 2, 10, QLatin1Char('0'))
        .arg(hour24 < 12 ? QStringLiteral("AM") : QStringLiteral("PM"));
}

std::optional<int> secondOfDay(const QString& text)
{
    // h:mm:ss XM is 10 characters, hh:mm:ss XM is 11.
    const qsizetype hourDigits = text.size() - 9;
    if (hourDigits != 1 && hourDigits != 2)
        return std::nullopt;
    int hour = digit(text[0]);
    if (hour < 0 || (hourDigits == 1 && hour == 0))
        return std::nullopt;
    if (hourDigits == 2) {
        const int units = digit(text[1]);
        if (hour != 1 || units < 0 || units > 2)
            return std::nullopt;
        hour = 10 + units;
    }
    const QStringView rest = QStringView(text).mid(hourDigits);
    if (rest[0] != QLatin1Char(':') || rest[3] != QLatin1Char(':') || rest[6] != QLatin1Char(' ')
        || rest[8] != QLatin1Char('M'))
        return std::nullopt;
    const int minute = sixty(rest[1], rest[2]);
    const int second = sixty(rest[4], rest[5]);
    const bool am = rest[7] == QLatin1Char('A');
    if (minute < 0 || second < 0 || (!am && rest[7] != QLatin1Char('P')))
        return std::nullopt;
    const int hour24 = hour % 12 + (am ? 0 : 12);
    return (hour24 * 60 + minute) * 60 + second;
}

int weekdayNumber(QDate date)
{
    return date.dayOfWeek() % 7 + 1;
}

QString dateStamp(QDate date)
{
    return QString::number(date.month()) + QString::number(date.day()) + QString::number(date.year());
}

QString paddedDateStamp(QDate date)
{
    return date.toString(QStringLiteral("MMddyyyy"));
}

} // namespace plovern
