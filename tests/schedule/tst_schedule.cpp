#include <QTest>

#include "app/grid/flexgrid.h"
#include "schedule/entryeditor.h"
#include "schedule/scheduletable.h"
#include "support/messages.h"
#include "support/testmain.h"

using namespace plovern;

namespace {

EditorFields filled()
{
    return {"/data/Reports", "/backup/", "10", "00", "00", "AM", "Monday"};
}

} // namespace

class TestSchedule : public QObject
{
    Q_OBJECT
private slots:
    void dayCodes_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("code");
        QTest::newRow("Every") << "Every"
                               << "Every";
        QTest::newRow("Sunday") << "Sunday"
                                << "1";
        QTest::newRow("Monday") << "Monday"
                                << "2";
        QTest::newRow("Saturday") << "Saturday"
                                  << "7";
        QTest::newRow("lower case") << "sunday"
                                    << "";
        QTest::newRow("empty") << ""
                               << "";
    }
    void dayCodes()
    {
        QFETCH(QString, name);
        QFETCH(QString, code);
        QCOMPARE(dayCode(name), code);
    }

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

    void refusesEmptyFieldsInControlOrder()
    {
        const QStringList& messages = test::kMissingFieldMessages;
        QString EditorFields::*const fields[]
            = {&EditorFields::source, &EditorFields::destination, &EditorFields::hour, &EditorFields::minute,
               &EditorFields::second, &EditorFields::half,        &EditorFields::day};
        for (int empty = 0; empty < 7; ++empty) {
            EditorFields f = filled();
            f.*fields[empty] = QString();
            QCOMPARE(refusal(f), std::optional<QString>(messages[empty]));
        }
        // All empty: only the first is named.
        QCOMPARE(refusal(EditorFields{}), std::optional<QString>(messages[0]));
        QCOMPARE(refusal(filled()), std::nullopt);
    }

    void blankPathsPassButSeparatorsAreRefused()
    {
        EditorFields f = filled();
        f.source = QStringLiteral(" ");
        QCOMPARE(refusal(f), std::nullopt);
        f.source = QStringLiteral("/data/a,b");
        QCOMPARE(refusal(f), std::optional<QString>("The Source may not contain a comma or a line break !"));
        f = filled();
        f.destination = QStringLiteral("/backup/\nx");
        QCOMPARE(refusal(f), std::optional<QString>("The Destination may not contain a comma or a line break !"));
        // An empty field is still named first.
        f.hour.clear();
        QCOMPARE(refusal(f), std::optional<QString>("Please Enter in a Hour !"));
    }

    void timeTextJoinsTheListsAsTheyAre()
    {
        EditorFields f = filled();
        QCOMPARE(composeTimeText(f), QStringLiteral("10:00:00 AM"));
        f.hour = "9";
        f.minute = "05";
        f.second = "30";
        f.half = "PM";
        QCOMPARE(composeTimeText(f), QStringLiteral("9:05:30 PM"));
    }

    void reviewTextIsSevenLines()
    {
        const QString text = reviewText({"S", "D", "10:00:00 AM", "2"});
        QCOMPARE(text,
                 QStringLiteral("Scheduled To Copy \r\nFrom: S\r\nTo: D\r\nAt: 10:00:00 AM\r\nON Day= 2\r\n"
                                "Click Yes To Keep Scheduled Copy \r\nOr Click No To Delete Scheduled Copy"));
    }
};

PLOVERN_TEST_MAIN(TestSchedule)
#include "tst_schedule.moc"
