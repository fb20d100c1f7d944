#pragma once

// The members keep the names the rest of the program knows the grid by
// (AddItem, TextMatrix, RemoveItem...), even where they break the house rules.

#include <stdexcept>
#include <vector>

#include <QAbstractTableModel>
#include <QStringList>
#include <QTableView>

namespace plovern {

// A row or cell that the grid does not have.
class GridError : public std::out_of_range
{
public:
    using std::out_of_range::out_of_range;
};

class FlexGridModel final : public QAbstractTableModel
{
    Q_OBJECT
public:
    explicit FlexGridModel(int cols, QObject* parent = nullptr);

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;

    const QString& cell(int row, int col) const;
    void setCell(int row, int col, const QString& text);
    void insertRow(int row, const QString& item);
    void removeRow(int row);

private:
    void checkRow(int row) const;

    int m_cols;
    std::vector<QStringList> m_rows;
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
    // The row at the moving end of the selection.
    int RowSel() const;
    void Refresh();
    void Redraw(bool on);

signals:
    void Click();
    void DblClick();

protected:
    void resizeEvent(QResizeEvent* event) override;
    void updateGeometries() override;

private:
    void checkCol(int col) const;
    void placeFixedColumn();

    FlexGridModel m_model;
    // Column 0 drawn again over the left edge, so it stays put when the grid scrolls sideways.
    QTableView* m_fixed = nullptr;
};

} // namespace plovern
