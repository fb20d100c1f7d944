#include "core/schedule/entryeditor.h"

#include <array>
#include <utility>

#include <QStringList>

namespace plovern {

namespace {

bool unfitForScheduleFile(const QString& path)
{
    return path.contains(QLatin1Char(',')) || path.contains(QLatin1Char('\r')) || path.contains(QLatin1Char('\n'));
}

} // namespace

QString refusal(const EditorFields& fields)
{
    const std::array<std::pair<const QString*, const char*>, 7> required = {{
        {&fields.source, "Please Enter in a Source to copy !"},
        {&fields.destination, "Please Enter in a Destination location !"},
        {&fields.hour, "Please Enter in a Hour !"},
        {&fields.minute, "Please Enter in a Minute !"},
        {&fields.second, "Please Enter in a Second !"},
        {&fields.half, "Please Enter in a AM or PM !"},
        {&fields.day, "Please Enter in a Day !"},
    }};
    for (const auto& [text, message] : required) {
        if (text->isEmpty())
            return QString::fromLatin1(message);
    }
    if (unfitForScheduleFile(fields.source))
        return QStringLiteral("The Source may not contain a comma or a line break !");
    if (unfitForScheduleFile(fields.destination))
        return QStringLiteral("The Destination may not contain a comma or a line break !");
    return {};
}

QString composeTimeText(const EditorFields& fields)
{
    return fields.hour + QLatin1Char(':') + fields.minute + QLatin1Char(':') + fields.second + QLatin1Char(' ')
        + fields.half;
}

QString reviewText(const ScheduleEntry& entry)
{
    return QStringList{
        QStringLiteral("Scheduled To Copy "),
        QStringLiteral("From: ") + entry.source,
        QStringLiteral("To: ") + entry.destination,
        QStringLiteral("At: ") + entry.time,
        QStringLiteral("ON Day= ") + entry.day,
        QStringLiteral("Click Yes To Keep Scheduled Copy "),
        QStringLiteral("Or Click No To Delete Scheduled Copy"),
    }
        .join(QStringLiteral("\r\n"));
}

} // namespace plovern
