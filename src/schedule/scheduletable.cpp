#include "schedule/scheduletable.h"

#include <array>

#include "app/grid/flexgrid.h"

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

void insertTop(FlexGrid& grid, const ScheduleEntry& entry)
{
    static constexpr std::array<int, 5> widths = {1500, 1500, 1500, 1000, 500};
    for (int col = 0; col < static_cast<int>(widths.size()); ++col)
        grid.ColWidth(col, widths[static_cast<size_t>(col)]);
    grid.AddItem(QString::fromLatin1(kEntryLabel), 0);
    grid.TextArray(1, entry.source);
    grid.TextArray(2, entry.destination);
    grid.TextArray(3, entry.time);
    grid.TextArray(4, entry.day);
    grid.Refresh();
    grid.Redraw(true);
}

ScheduleEntry readEntry(const FlexGrid& grid, int row)
{
    return {grid.TextMatrix(row, 1), grid.TextMatrix(row, 2), grid.TextMatrix(row, 3), grid.TextMatrix(row, 4)};
}

std::vector<ScheduleEntry> readEntries(const FlexGrid& grid)
{
    std::vector<ScheduleEntry> entries;
    entries.reserve(static_cast<size_t>(grid.Rows()));
    for (int row = 0; row < grid.Rows(); ++row) {
        ScheduleEntry entry = readEntry(grid, row);
        if (entry.isBlank())
            break;
        entries.push_back(std::move(entry));
    }
    return entries;
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

QString adjustedCount(const QString& caption, int delta, const FlexGrid& grid)
{
    if (isCount(caption)) {
        const int count = caption.toInt() + delta;
        if (count >= 0)
            return QString::number(count);
    }
    return QString::number(static_cast<int>(readEntries(grid).size()));
}

} // namespace plovern
