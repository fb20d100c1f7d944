#pragma once

// The members keep the names the rest of the program knows the grid by
// (AddItem, TextMatrix, RemoveItem...), even where they break the house rules.

#include <stdexcept>
#include <vector>

#include <QAbstractTableModel>
#include <QIcon>
#include <QStringList>
#include <QTableView>

namespace plovern {

// A row or cell that the grid does not have.
class GridError : public std::out_of_range
{
public:
    using std::out_of_range::out_of_range;
};

// A row's mark: an icon drawn before its first cell, the words a screen
// reader says for it, and a tooltip for the whole row.
struct RowMark
{
    QIcon icon;
    QString said;
    QString tip;
};

class FlexGridModel final : public QAbstractTableModel
{
    Q_OBJECT
public:
    explicit FlexGridModel(int cols, QObject* parent = nullptr);

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;

    const QString& cell(int row, int col) const;
    void setCell(int row, int col, const QString& text);
    void insertRow(int row, const QString& item);
    void removeRow(int row);
    void setMark(int row, RowMark mark);
    const RowMark& mark(int row) const;
    void setColumnNames(QStringList names);
    // Whether every cell of the row is empty.
    bool isBlank(int row) const;

private:
    struct Row
    {
        QStringList cells;
        RowMark mark;
    };

    void checkRow(int row) const;

    int m_cols;
    std::vector<Row> m_rows;
    QStringList m_columnNames;
};

// A table of text cells with one fixed heading column (column 0) and no fixed
// row. Every member that names a row or cell the grid does not have throws
// GridError and changes nothing.
class FlexGrid final : public QTableView
{
    Q_OBJECT
public:
    explicit FlexGrid(QWidget* parent = nullptr, int cols = 5);

    int Rows() const;
    int Cols() const;
    void ColWidth(int col, int twips);
    int ColWidth(int col) const;
    // Inserts a row at `index` (0 is the top) whose column 0 is `item`.
    void AddItem(const QString& item, int index);
    // The cell with index row * Cols() + col.
    void TextArray(int index, const QString& text);
    const QString& TextMatrix(int row, int col) const;
    void RemoveItem(int row);
    // What each column holds, for screen readers: the grid shows no headings.
    void setColumnNames(const QStringList& names);
    // The row keeps its mark until it is removed or marked again.
    void setRowMark(int row, RowMark mark);
    const RowMark& rowMark(int row) const;
    // The row at the moving end of the selection.
    int RowSel() const;
    void Refresh();
    void Redraw(bool on);

    // The column's texts shrink their font to fit rather than lose letters
    // (short texts that must be read whole); other texts lose letters in the
    // middle, so a path keeps its last folder.
    void setShrinkToFit(int col, bool shrink);
    bool shrinksToFit(int col) const;
    // All columns in view: the columns after the first that lose letters
    // give up width, down to a few letters, so that those read whole stay in
    // view however wide the scroll bar is; a border the user drags holds
    // until the next ColWidth. Off by default.
    void setFitToView(bool fit);
    // The cell's text as the grid draws it.
    QString shownText(int row, int col) const;
    // The font the grid draws the cell's text in.
    QFont shownFont(int row, int col) const;

signals:
    void Click();
    void DblClick();

protected:
    void resizeEvent(QResizeEvent* event) override;
    void updateGeometries() override;
    void changeEvent(QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;

private:
    void checkCol(int col) const;
    void buildFixedColumn(int cols);
    void placeFixedColumn();
    void fitColumnsToView();
    void fitRowsToFont();
    QStyleOptionViewItem cellOption(int row, int col) const;

    FlexGridModel m_model;
    // Column 0 drawn again over the left edge, so it stays put when the grid scrolls sideways.
    QTableView* m_fixed = nullptr;
    std::vector<bool> m_shrink;
    std::vector<int> m_askedWidths; // pixels, as ColWidth set them
    bool m_fitToView = false;
    bool m_sizing = false; // the grid itself sets widths now
    bool m_userSized = false; // a border dragged since the last ColWidth: no fitting till the next

    friend class FittingDelegate;
};

} // namespace plovern
