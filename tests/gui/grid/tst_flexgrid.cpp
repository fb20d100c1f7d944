#include <QScrollBar>
#include <QSignalSpy>
#include <QTest>

#include "gui/grid/flexgrid.h"
#include "support/gui/testmain.h"

using namespace plovern;

class TestFlexGrid : public QObject
{
    Q_OBJECT
private slots:
    void freshGridHasOneEmptyRowOfFiveColumns()
    {
        FlexGrid grid;
        QCOMPARE(grid.Rows(), 1);
        QCOMPARE(grid.Cols(), 5);
        for (int col = 0; col < 5; ++col)
            QCOMPARE(grid.TextMatrix(0, col), QString());
        QVERIFY_THROWS_EXCEPTION(GridError, grid.TextMatrix(1, 0));
        QVERIFY_THROWS_EXCEPTION(GridError, grid.TextMatrix(-1, 0));
        QVERIFY_THROWS_EXCEPTION(GridError, grid.TextMatrix(0, 5));
    }

    void theHeadingColumnStaysWhenTheGridScrollsSideways()
    {
        FlexGrid grid;
        grid.resize(200, 100);
        grid.ColWidth(0, 1200);
        for (int col = 1; col < 5; ++col)
            grid.ColWidth(col, 1500);
        grid.AddItem(QStringLiteral("Scheduled To Copy"), 0);
        grid.TextArray(1, QStringLiteral("/a/very/long/source/path/that/cannot/fit/its/column"));
        grid.show();
        QVERIFY(QTest::qWaitForWindowExposed(&grid));
        grid.horizontalScrollBar()->setValue(grid.horizontalScrollBar()->maximum());
        QVERIFY(grid.horizontalScrollBar()->value() > 0);
        auto* fixed = grid.findChild<QTableView*>(QStringLiteral("fixedColumn"));
        QVERIFY(fixed && fixed->isVisible());
        QCOMPARE(fixed->geometry().left(), grid.frameWidth());
        QCOMPARE(fixed->visualRect(grid.model()->index(0, 0)).left(), 0);
        QCOMPARE(fixed->width(), 80);
        // A path cut off in its cell is whole in its tooltip.
        QCOMPARE(grid.model()->index(0, 1).data(Qt::ToolTipRole).toString(), grid.TextMatrix(0, 1));
    }

    void addItemInsertsAboveAndShiftsRowsDown()
    {
        FlexGrid grid;
        grid.AddItem(QStringLiteral("first"), 0);
        QCOMPARE(grid.Rows(), 2);
        QCOMPARE(grid.TextMatrix(0, 0), QStringLiteral("first"));
        QCOMPARE(grid.TextMatrix(0, 1), QString());
        grid.AddItem(QStringLiteral("second"), 0);
        QCOMPARE(grid.TextMatrix(0, 0), QStringLiteral("second"));
        QCOMPARE(grid.TextMatrix(1, 0), QStringLiteral("first"));
        QCOMPARE(grid.TextMatrix(2, 0), QString());
        QVERIFY_THROWS_EXCEPTION(GridError, grid.AddItem(QStringLiteral("x"), 4));
        QCOMPARE(grid.Rows(), 3);
    }

    void textArrayIndexesRowMajor()
    {
        FlexGrid grid;
        grid.AddItem(QStringLiteral("a"), 0);
        grid.TextArray(3, QStringLiteral("row 0 col 3"));
        grid.TextArray(7, QStringLiteral("row 1 col 2"));
        QCOMPARE(grid.TextMatrix(0, 3), QStringLiteral("row 0 col 3"));
        QCOMPARE(grid.TextMatrix(1, 2), QStringLiteral("row 1 col 2"));
        QVERIFY_THROWS_EXCEPTION(GridError, grid.TextArray(10, QStringLiteral("no row 2")));
    }

    void removeItemMovesRowsUp()
    {
        FlexGrid grid;
        grid.AddItem(QStringLiteral("old"), 0);
        grid.AddItem(QStringLiteral("new"), 0);
        grid.RemoveItem(0);
        QCOMPARE(grid.Rows(), 2);
        QCOMPARE(grid.TextMatrix(0, 0), QStringLiteral("old"));
        QVERIFY_THROWS_EXCEPTION(GridError, grid.RemoveItem(2));
        QCOMPARE(grid.Rows(), 2);
    }

    void columnWidthsAreInTwips()
    {
        FlexGrid grid;
        grid.ColWidth(3, 1000);
        QCOMPARE(grid.columnWidth(3), 66);
        QVERIFY_THROWS_EXCEPTION(GridError, grid.ColWidth(5, 100));
    }

    void clickOnHeadingColumnSelectsRowAndReportsIt()
    {
        FlexGrid grid;
        grid.resize(400, 200);
        grid.AddItem(QStringLiteral("a"), 0);
        grid.AddItem(QStringLiteral("b"), 0);
        grid.show();
        QVERIFY(QTest::qWaitForWindowExposed(&grid));
        QSignalSpy clicks(&grid, &FlexGrid::Click);
        const QRect cell = grid.visualRect(grid.model()->index(1, 0));
        QTest::mouseClick(grid.viewport(), Qt::LeftButton, {}, cell.center());
        QCOMPARE(clicks.count(), 1);
        QCOMPARE(grid.RowSel(), 1);
        QVERIFY(grid.selectionModel()->isRowSelected(1, {}));
    }
};

PLOVERN_WINDOW_TEST_MAIN(TestFlexGrid)
#include "tst_flexgrid.moc"
