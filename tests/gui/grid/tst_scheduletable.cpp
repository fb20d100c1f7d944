#include <QTest>

#include "gui/grid/flexgrid.h"
#include "gui/grid/scheduletable.h"
#include "support/gui/testmain.h"

using namespace plovern;

// The schedule as rows of the grid: where entries go, how they are read back
// and what the entry count becomes.
class TestScheduleTable : public QObject
{
    Q_OBJECT
private slots:
    void topInsertionKeepsTheEndRowLast()
    {
        FlexGrid grid;
        grid.setColumnWidth(2, 10); // dragged by the user
        insertTop(grid, {"S1", "D1", "10:00:00 AM", "2"});
        insertTop(grid, {"S2", "D2", "11:00:00 AM", "Every"});
        QCOMPARE(grid.Rows(), 3);
        QCOMPARE(grid.TextMatrix(0, 0), QStringLiteral("Scheduled To Copy"));
        QCOMPARE(readEntry(grid, 0), (ScheduleEntry{"S2", "D2", "11:00:00 AM", "Every"}));
        QCOMPARE(readEntry(grid, 1), (ScheduleEntry{"S1", "D1", "10:00:00 AM", "2"}));
        QVERIFY(readEntry(grid, 2).isBlank());
        QCOMPARE(grid.ColWidth(2), 1500);
        QCOMPARE(grid.ColWidth(4), 495); // 500 twips, whole pixels
        QCOMPARE(readEntries(grid).size(), size_t(2));
    }

    void countArithmeticAndRecovery_data()
    {
        QTest::addColumn<QString>("caption");
        QTest::addColumn<int>("delta");
        QTest::addColumn<QString>("count");
        // The grid holds two entries after the change.
        QTest::newRow("9 + 1") << "9" << 1 << "10";
        QTest::newRow("1 - 1") << "1" << -1 << "0";
        QTest::newRow("not a number") << "three" << 1 << "2";
        QTest::newRow("empty") << "" << -1 << "2";
        QTest::newRow("blank digits") << " 3" << 1 << "2";
        QTest::newRow("would go below zero") << "0" << -1 << "2";
    }
    void countArithmeticAndRecovery()
    {
        QFETCH(QString, caption);
        QFETCH(int, delta);
        QFETCH(QString, count);
        FlexGrid grid;
        insertTop(grid, {"S1", "D1", "T", "1"});
        insertTop(grid, {"S2", "D2", "T", "1"});
        QCOMPARE(adjustedCount(caption, delta, grid), count);
    }
};

PLOVERN_WINDOW_TEST_MAIN(TestScheduleTable)
#include "tst_scheduletable.moc"
