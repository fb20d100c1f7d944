#include "gui/grid/scheduletable.h"

#include <array>

#include <QApplication>
#include <QStyle>

#include "core/schedule/outlook.h"
#include "gui/grid/flexgrid.h"

namespace plovern {

void insertTop(FlexGrid& grid, const ScheduleEntry& entry)
{
    static constexpr std::array<int, 5> widths = {1500, 1500, 1500, 1000, 500};
    for (int col = 0; col < static_cast<int>(widths.size()); ++col)
        grid.ColWidth(col, widths[static_cast<size_t>(col)]);
    // The time and the day are read whole; a path keeps its last folder.
    grid.setShrinkToFit(3, true);
    grid.setShrinkToFit(4, true);
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

QString adjustedCount(const QString& caption, int delta, const FlexGrid& grid)
{
    if (isCount(caption)) {
        const int count = caption.toInt() + delta;
        if (count >= 0)
            return QString::number(count);
    }
    return QString::number(static_cast<int>(readEntries(grid).size()));
}

void markEntry(FlexGrid& grid, int row, const ScheduleEntry& entry, const Outlook& outlook)
{
    const std::optional<EntryResult>& last = outlook.last;
    const std::optional<qint64>& overdue = outlook.overdueSince;
    QStyle::StandardPixmap pixmap = QStyle::SP_CustomBase; // none: not yet made
    if (last) {
        static constexpr std::array<QStyle::StandardPixmap, 4> kByOutcome
            = {QStyle::SP_DialogApplyButton, QStyle::SP_MessageBoxWarning, QStyle::SP_MessageBoxCritical,
               QStyle::SP_MediaStop};
        pixmap = kByOutcome[static_cast<size_t>(last->outcome)];
    }
    if (overdue && pixmap != QStyle::SP_MessageBoxCritical)
        pixmap = QStyle::SP_MessageBoxWarning;
    RowMark mark;
    if (pixmap != QStyle::SP_CustomBase)
        mark.icon = QApplication::style()->standardIcon(pixmap);
    mark.said = QStringLiteral("last copy %1").arg(outcomeWord(last));
    if (overdue)
        mark.said = QStringLiteral("overdue, ") + mark.said;
    mark.tip = QStringLiteral("Last copy: %1\nNext: %2")
                   .arg(lastCopyText(last), outlook.next ? wallText(*outlook.next) : QStringLiteral("never"));
    if (overdue)
        mark.tip += QStringLiteral("\nOverdue: ") + overdueText(entry, *overdue);
    const RowMark& shown = grid.rowMark(row);
    if (shown.said != mark.said || shown.tip != mark.tip) // the words name the icon
        grid.setRowMark(row, std::move(mark));
}

} // namespace plovern
