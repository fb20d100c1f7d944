#include "gui/grid/flexgrid.h"

#include <numeric>

#include <QApplication>
#include <QHeaderView>
#include <QKeyEvent>
#include <QPainter>
#include <QPalette>
#include <QScrollBar>
#include <QStyledItemDelegate>

#include "gui/platform/elide.h"

namespace plovern {

// Draws each cell with the font and text FlexGrid::cellOption gives it.
class FittingDelegate final : public QStyledItemDelegate
{
public:
    explicit FittingDelegate(const FlexGrid* grid)
        : QStyledItemDelegate(const_cast<FlexGrid*>(grid))
        , m_grid(grid)
    {
    }

    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override
    {
        const QStyleOptionViewItem fitted = shown(option, index);
        const QWidget* widget = option.widget;
        QStyle* style = widget ? widget->style() : QApplication::style();
        style->drawControl(QStyle::CE_ItemViewItem, &fitted, painter, widget);
    }

    // The cell as it is drawn: its font shrunk in a column that fits its
    // texts, its text elided where it is still too long.
    QStyleOptionViewItem shown(QStyleOptionViewItem option, const QModelIndex& index) const
    {
        initStyleOption(&option, index);
        fit(&option, index.column());
        return option;
    }

private:
    void fit(QStyleOptionViewItem* option, int col) const
    {
        const QWidget* widget = option->widget;
        QStyle* style = widget ? widget->style() : QApplication::style();
        const int room = style->subElementRect(QStyle::SE_ItemViewItemText, option, widget).width()
            - 2 * (style->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, widget) + 1);
        if (m_grid->shrinksToFit(col)) {
            option->font = fittedFont(option->font, {option->text}, room);
            option->fontMetrics = QFontMetrics(option->font);
        }
        option->text = elidePath(option->text, option->fontMetrics, room);
    }

    const FlexGrid* m_grid;
};

FlexGridModel::FlexGridModel(int cols, QObject* parent)
    : QAbstractTableModel(parent)
    , m_cols(cols)
    , m_rows(1, Row{QStringList(cols, QString()), {}})
{
}

int FlexGridModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : static_cast<int>(m_rows.size());
}

int FlexGridModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : m_cols;
}

QVariant FlexGridModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid())
        return {};
    const Row& row = m_rows[static_cast<size_t>(index.row())];
    const QString& text = row.cells[index.column()];
    switch (role) {
    case Qt::DisplayRole:
        return text;
    case Qt::ToolTipRole:
        return row.mark.tip.isEmpty() ? text : text + QLatin1Char('\n') + row.mark.tip;
    case Qt::DecorationRole:
        return index.column() == 0 ? QVariant(row.mark.icon) : QVariant();
    case Qt::AccessibleTextRole:
        return index.column() == 0 && !row.mark.said.isEmpty() ? text + QStringLiteral(", ") + row.mark.said
                                                               : QVariant();
    case Qt::AccessibleDescriptionRole:
        return row.mark.tip.isEmpty() ? QVariant() : QVariant(row.mark.tip);
    case Qt::BackgroundRole:
        // The grid's own ground, below the last row, is dark; cells are not.
        return index.column() == 0 ? QApplication::palette().button() : QApplication::palette().base();
    case Qt::ForegroundRole:
        if (index.column() == 0)
            return QApplication::palette().buttonText();
        return {};
    default:
        return {};
    }
}

QVariant FlexGridModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation == Qt::Horizontal && (role == Qt::DisplayRole || role == Qt::AccessibleTextRole)
        && section < m_columnNames.size())
        return m_columnNames[section];
    return QAbstractTableModel::headerData(section, orientation, role);
}

void FlexGridModel::setColumnNames(QStringList names)
{
    m_columnNames = std::move(names);
    emit headerDataChanged(Qt::Horizontal, 0, m_cols - 1);
}

bool FlexGridModel::isBlank(int row) const
{
    checkRow(row);
    const QStringList& cells = m_rows[static_cast<size_t>(row)].cells;
    return std::all_of(cells.begin(), cells.end(), [](const QString& cell) { return cell.isEmpty(); });
}

Qt::ItemFlags FlexGridModel::flags(const QModelIndex& index) const
{
    if (!index.isValid())
        return Qt::NoItemFlags;
    return Qt::ItemIsEnabled | Qt::ItemIsSelectable;
}

void FlexGridModel::checkRow(int row) const
{
    if (row < 0 || row >= rowCount())
        throw GridError("the grid has no row " + std::to_string(row));
}

const QString& FlexGridModel::cell(int row, int col) const
{
    checkRow(row);
    return m_rows[static_cast<size_t>(row)].cells[col];
}

void FlexGridModel::setCell(int row, int col, const QString& text)
{
    checkRow(row);
    m_rows[static_cast<size_t>(row)].cells[col] = text;
    const QModelIndex at = index(row, col);
    emit dataChanged(at, at, {Qt::DisplayRole});
}

void FlexGridModel::insertRow(int row, const QString& item)
{
    if (row < 0 || row > rowCount())
        throw GridError("cannot insert a row at " + std::to_string(row));
    QStringList cells(m_cols, QString());
    cells[0] = item;
    beginInsertRows({}, row, row);
    m_rows.insert(m_rows.begin() + row, Row{std::move(cells), {}});
    endInsertRows();
}

void FlexGridModel::removeRow(int row)
{
    checkRow(row);
    beginRemoveRows({}, row, row);
    m_rows.erase(m_rows.begin() + row);
    endRemoveRows();
}

void FlexGridModel::setMark(int row, RowMark mark)
{
    checkRow(row);
    m_rows[static_cast<size_t>(row)].mark = std::move(mark);
    emit dataChanged(index(row, 0), index(row, m_cols - 1));
}

const RowMark& FlexGridModel::mark(int row) const
{
    checkRow(row);
    return m_rows[static_cast<size_t>(row)].mark;
}

FlexGrid::FlexGrid(QWidget* parent, int cols)
    : QTableView(parent)
    , m_model(cols)
{
    setModel(&m_model);
    horizontalHeader()->hide();
    verticalHeader()->hide();
    verticalHeader()->setSectionResizeMode(QHeaderView::Interactive);
    horizontalHeader()->setSectionResizeMode(QHeaderView::Interactive);
    setSelectionMode(QAbstractItemView::ContiguousSelection);
    setSelectionBehavior(QAbstractItemView::SelectItems);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setWordWrap(false);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);

    setHorizontalScrollMode(QAbstractItemView::ScrollPerPixel);
    // Tab leaves the grid; the arrows move inside it.
    setTabKeyNavigation(false);
    setTextElideMode(Qt::ElideMiddle);
    setItemDelegate(new FittingDelegate(this));
    viewport()->setBackgroundRole(QPalette::Dark);
    // A dotted current cell is easy to miss: the focus shows on the frame too.
    setStyleSheet(QStringLiteral("QTableView:focus { border: 2px solid palette(highlight); }"));
    m_shrink.assign(static_cast<size_t>(cols), false);
    m_askedWidths.assign(static_cast<size_t>(cols), horizontalHeader()->defaultSectionSize());

    buildFixedColumn(cols);

    const auto clicked = [this](const QModelIndex& index) {
        // A click on the heading column selects the whole row.
        if (index.column() == 0)
            selectRow(index.row());
        emit Click();
    };
    connect(this, &QTableView::clicked, this, clicked);
    connect(m_fixed, &QTableView::clicked, this, clicked);
    connect(this, &QTableView::doubleClicked, this, [this] { emit DblClick(); });
    connect(m_fixed, &QTableView::doubleClicked, this, [this] { emit DblClick(); });
    fitRowsToFont();
    placeFixedColumn();
}

// The heading column stays in place while the rest scrolls: a view of its
// own over the same model and selection, laid over the grid's first column.
void FlexGrid::buildFixedColumn(int cols)
{
    m_fixed = new QTableView(this);
    m_fixed->setObjectName(QStringLiteral("fixedColumn"));
    m_fixed->setModel(&m_model);
    m_fixed->setSelectionModel(selectionModel());
    m_fixed->horizontalHeader()->hide();
    m_fixed->verticalHeader()->hide();
    m_fixed->setFocusPolicy(Qt::NoFocus);
    m_fixed->setFrameShape(QFrame::NoFrame);
    m_fixed->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_fixed->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_fixed->setSelectionMode(selectionMode());
    m_fixed->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_fixed->setWordWrap(false);
    m_fixed->setTextElideMode(Qt::ElideMiddle);
    m_fixed->setItemDelegate(new FittingDelegate(this));
    m_fixed->viewport()->setBackgroundRole(QPalette::Dark);
    for (int col = 1; col < cols; ++col)
        m_fixed->setColumnHidden(col, true);
    viewport()->stackUnder(m_fixed);
    connect(horizontalHeader(), &QHeaderView::sectionResized, this, [this](int col, int, int width) {
        m_userSized = m_userSized || !m_sizing;
        if (col == 0) {
            m_fixed->setColumnWidth(0, width);
            placeFixedColumn();
        }
    });
    connect(verticalHeader(), &QHeaderView::sectionResized, m_fixed,
            [this](int row, int, int height) { m_fixed->setRowHeight(row, height); });
    connect(verticalScrollBar(), &QScrollBar::valueChanged, m_fixed->verticalScrollBar(), &QScrollBar::setValue);
    connect(m_fixed->verticalScrollBar(), &QScrollBar::valueChanged, verticalScrollBar(), &QScrollBar::setValue);
}

// One line of the grid's text a row, as the grid has always drawn them.
void FlexGrid::fitRowsToFont()
{
    const int height = fontMetrics().height() + 3;
    for (QTableView* view : {static_cast<QTableView*>(this), m_fixed}) {
        view->verticalHeader()->setMinimumSectionSize(1);
        view->verticalHeader()->setDefaultSectionSize(height);
    }
}

void FlexGrid::changeEvent(QEvent* event)
{
    QTableView::changeEvent(event);
    if (event->type() == QEvent::FontChange)
        fitRowsToFont();
}

void FlexGrid::keyPressEvent(QKeyEvent* event)
{
    const int key = event->key();
    if ((key == Qt::Key_Return || key == Qt::Key_Enter || key == Qt::Key_Space) && currentIndex().isValid()) {
        event->accept();
        if (!m_model.isBlank(currentIndex().row()))
            emit DblClick(); // the review, as a click opens it
        return;
    }
    QTableView::keyPressEvent(event);
}

void FlexGrid::focusInEvent(QFocusEvent* event)
{
    // Tab passes a grid of blank rows by: there is nothing to open.
    const bool tabbed = event->reason() == Qt::TabFocusReason || event->reason() == Qt::BacktabFocusReason;
    if (tabbed && (Rows() == 0 || m_model.isBlank(0))) {
        focusNextPrevChild(event->reason() == Qt::TabFocusReason);
        return;
    }
    // Focus shows on the current cell, so there must be one.
    if (!currentIndex().isValid() && Rows() > 0 && !m_model.isBlank(0))
        selectionModel()->setCurrentIndex(m_model.index(0, 1), QItemSelectionModel::NoUpdate);
    QTableView::focusInEvent(event);
}

void FlexGrid::setShrinkToFit(int col, bool shrink)
{
    checkCol(col);
    m_shrink[static_cast<size_t>(col)] = shrink;
    viewport()->update();
}

bool FlexGrid::shrinksToFit(int col) const
{
    return col >= 0 && col < Cols() && m_shrink[static_cast<size_t>(col)];
}

QStyleOptionViewItem FlexGrid::cellOption(int row, int col) const
{
    const QModelIndex index = m_model.index(row, col);
    QStyleOptionViewItem option;
    initViewItemOption(&option);
    option.rect = visualRect(index);
    option.rect.setWidth(columnWidth(col)); // scrolled away or not
    option.rect.setHeight(rowHeight(row));
    return static_cast<const FittingDelegate*>(itemDelegate())->shown(option, index);
}

QString FlexGrid::shownText(int row, int col) const
{
    checkCol(col);
    m_model.cell(row, col); // a row the grid does not have throws
    return cellOption(row, col).text;
}

QFont FlexGrid::shownFont(int row, int col) const
{
    checkCol(col);
    m_model.cell(row, col);
    return cellOption(row, col).font;
}

void FlexGrid::resizeEvent(QResizeEvent* event)
{
    QTableView::resizeEvent(event);
    placeFixedColumn();
}

void FlexGrid::updateGeometries()
{
    QTableView::updateGeometries();
    fitColumnsToView();
    placeFixedColumn();
}

void FlexGrid::setFitToView(bool fit)
{
    m_fitToView = fit;
    fitColumnsToView();
}

void FlexGrid::fitColumnsToView()
{
    if (!m_fitToView || m_sizing || m_userSized)
        return;
    m_sizing = true;
    std::vector<int> widths(m_askedWidths);
    std::vector<int> givers;
    for (int col = 1; col < Cols(); ++col) {
        if (!m_shrink[static_cast<size_t>(col)])
            givers.push_back(col);
    }
    const int least = fontMetrics().averageCharWidth() * 4;
    int excess = std::accumulate(widths.begin(), widths.end(), 0) - viewport()->width();
    // The widest gives first, so the columns end alike.
    while (excess > 0 && !givers.empty()) {
        const auto widest = std::max_element(givers.begin(), givers.end(), [&](int a, int b) {
            return widths[static_cast<size_t>(a)] < widths[static_cast<size_t>(b)];
        });
        int& width = widths[static_cast<size_t>(*widest)];
        if (width <= least)
            break;
        --width;
        --excess;
    }
    for (int col = 0; col < Cols(); ++col) {
        if (columnWidth(col) != widths[static_cast<size_t>(col)])
            setColumnWidth(col, widths[static_cast<size_t>(col)]);
    }
    m_sizing = false;
}

void FlexGrid::placeFixedColumn()
{
    if (!m_fixed)
        return;
    m_fixed->setColumnWidth(0, columnWidth(0));
    m_fixed->setGeometry(frameWidth(), frameWidth(), columnWidth(0), viewport()->height());
}

int FlexGrid::Rows() const
{
    return m_model.rowCount();
}

int FlexGrid::Cols() const
{
    return m_model.columnCount();
}

void FlexGrid::checkCol(int col) const
{
    if (col < 0 || col >= Cols())
        throw GridError("the grid has no column " + std::to_string(col));
}

void FlexGrid::ColWidth(int col, int twips)
{
    checkCol(col);
    m_askedWidths[static_cast<size_t>(col)] = twips / kTwipsPerPixel;
    m_userSized = false;
    m_sizing = true;
    setColumnWidth(col, twips / kTwipsPerPixel);
    m_sizing = false;
    fitColumnsToView();
}

int FlexGrid::ColWidth(int col) const
{
    checkCol(col);
    return columnWidth(col) * kTwipsPerPixel;
}

void FlexGrid::AddItem(const QString& item, int index)
{
    m_model.insertRow(index, item);
}

void FlexGrid::TextArray(int index, const QString& text)
{
    if (index < 0)
        throw GridError("the grid has no cell " + std::to_string(index));
    m_model.setCell(index / Cols(), index % Cols(), text);
}

const QString& FlexGrid::TextMatrix(int row, int col) const
{
    checkCol(col);
    return m_model.cell(row, col);
}

void FlexGrid::RemoveItem(int row)
{
    m_model.removeRow(row);
}

void FlexGrid::setColumnNames(const QStringList& names)
{
    m_model.setColumnNames(names);
}

void FlexGrid::setRowMark(int row, RowMark mark)
{
    m_model.setMark(row, std::move(mark));
}

const RowMark& FlexGrid::rowMark(int row) const
{
    return m_model.mark(row);
}

int FlexGrid::RowSel() const
{
    const QModelIndex current = currentIndex();
    return current.isValid() ? current.row() : 0;
}

void FlexGrid::Refresh()
{
    viewport()->update();
}

void FlexGrid::Redraw(bool on)
{
    setUpdatesEnabled(on);
}

} // namespace plovern
