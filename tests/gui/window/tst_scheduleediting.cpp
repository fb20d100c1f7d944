#include <functional>

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QHeaderView>
#include <QMessageBox>
#include <QPushButton>
#include <QScrollBar>
#include <QTest>
#include <QTimer>

#include "gui/platform/messageboxes.h"

#include "gui/grid/scheduletable.h"
#include "support/core/messages.h"
#include "support/gui/testmain.h"
#include "support/gui/window.h"

using namespace plovern;
using namespace plovern::test;

namespace {

using Icon = MessageBoxes::Icon;

struct Loaded : WindowUnderTest
{
    Loaded() { window.Form_Load(); }

    void setTime() { QTest::mouseClick(button("Command7"), Qt::LeftButton); }

    void clickCell(int row, int col)
    {
        FlexGrid* g = grid();
        g->show();
        const QRect cell = g->visualRect(g->model()->index(row, col));
        QTest::mouseClick(g->viewport(), Qt::LeftButton, {}, cell.center());
    }
};

} // namespace

class TestScheduleEditing : public QObject
{
    Q_OBJECT
private slots:
    void eachMissingFieldIsNamedAloneAndChangesNothing()
    {
        const QStringList& messages = kMissingFieldMessages;
        for (int missing = 0; missing < 7; ++missing) {
            Loaded w;
            w.fillEntry("/data/Reports", "/backup/", "10", "00", "00", "AM", "Monday");
            if (missing == 0)
                w.edit("Text1")->clear();
            else if (missing == 1)
                w.edit("Text2")->clear();
            else
                w.list(QByteArray("Combo").append(char('0' + missing - 1)).constData())->setCurrentIndex(-1);
            w.setTime();
            QCOMPARE(w.env.boxes.shown.size(), 1);
            QCOMPARE(w.env.boxes.shown[0].text, messages[missing]);
            QCOMPARE(w.env.boxes.shown[0].icon, Icon::Information);
            QVERIFY(!w.env.boxes.shown[0].yesNo);
            QCOMPARE(w.edit("Text3")->text(), QString());
            QCOMPARE(w.grid()->Rows(), 1);
            QCOMPARE(w.label("Label4")->text(), QStringLiteral("0"));
            QVERIFY(!QFile::exists(w.env.file("PLVSettings.txt")));
        }
    }

    void setTimeAddsTheEntryOnTopAndSavesTheCount()
    {
        Loaded w;
        w.purge()->setChecked(true);
        w.fillEntry("/data/Reports", "/backup/", "10", "00", "00", "AM", "Monday");
        w.setTime();
        QVERIFY(w.env.boxes.shown.isEmpty());
        QCOMPARE(w.edit("Text3")->text(), QStringLiteral("10:00:00 AM"));
        QCOMPARE(w.grid()->Rows(), 2);
        QCOMPARE(w.grid()->TextMatrix(0, 0), QStringLiteral("Scheduled To Copy"));
        QCOMPARE(readEntry(*w.grid(), 0), (ScheduleEntry{"/data/Reports", "/backup/", "10:00:00 AM", "2"}));
        QCOMPARE(w.label("Label4")->text(), QStringLiteral("1"));
        QCOMPARE(w.env.read("PLVSettings.txt"), QByteArray("1\r\n 1 \r\n"));
        QCOMPARE(w.env.read("Plovern.txt"), QByteArray("/data/Reports,/backup/,10:00:00 AM,2\r\n"));

        w.fillEntry("/data/Other", "/backup/", "12", "00", "00", "PM", "Every");
        w.setTime();
        QCOMPARE(readEntry(*w.grid(), 0), (ScheduleEntry{"/data/Other", "/backup/", "12:00:00 PM", "Every"}));
        QCOMPARE(readEntry(*w.grid(), 1).source, QStringLiteral("/data/Reports"));
        QVERIFY(readEntry(*w.grid(), 2).isBlank());
        QCOMPARE(w.env.read("PLVSettings.txt"), QByteArray("2\r\n 1 \r\n"));
    }

    void pressingTwiceAddsTwoIdenticalEntries()
    {
        Loaded w;
        w.fillEntry(" ", "/backup/", "9", "05", "30", "PM", "Saturday");
        w.setTime();
        w.setTime();
        QCOMPARE(w.label("Label4")->text(), QStringLiteral("2"));
        QCOMPARE(readEntry(*w.grid(), 0), readEntry(*w.grid(), 1));
        QCOMPARE(readEntry(*w.grid(), 0), (ScheduleEntry{" ", "/backup/", "9:05:30 PM", "7"}));
    }

    void aCountThatIsNotANumberIsRecounted()
    {
        Loaded w;
        w.fillEntry("/a", "/b/", "1", "00", "00", "AM", "Every");
        w.setTime();
        w.label("Label4")->setText(QStringLiteral("garbage"));
        w.setTime();
        QCOMPARE(w.label("Label4")->text(), QStringLiteral("2"));
        w.label("Label4")->setText(QString());
        w.env.boxes.answers = {false};
        w.clickCell(0, 1);
        QCOMPARE(w.grid()->Rows(), 2);
        QCOMPARE(w.label("Label4")->text(), QStringLiteral("1"));
    }

    void aSettingsFileThatCannotBeWrittenIsReportedAndTheEntryStays()
    {
        Loaded w;
        QDir(w.env.folder.path()).mkdir(QStringLiteral("PLVSettings.txt")); // a folder where the file should be
        w.fillEntry("/a", "/b/", "1", "00", "00", "AM", "Every");
        w.setTime();
        QCOMPARE(w.grid()->Rows(), 2);
        QCOMPARE(w.label("Label4")->text(), QStringLiteral("1"));
        QCOMPARE(w.env.boxes.shown.size(), 1);
        QCOMPARE(w.env.boxes.shown[0].icon, Icon::Warning);
        QVERIFY(w.env.boxes.shown[0].text.contains(w.env.file("PLVSettings.txt")));
    }

    void aPathWithACommaIsRefused()
    {
        Loaded w;
        w.fillEntry("/data/a,b", "/b/", "1", "00", "00", "AM", "Every");
        w.setTime();
        QCOMPARE(w.env.boxes.shown.size(), 1);
        QCOMPARE(w.env.boxes.shown[0].icon, Icon::Information);
        QCOMPARE(w.grid()->Rows(), 1);
        QCOMPARE(w.edit("Text3")->text(), QString());
    }

    void reviewShowsTheEntryAndYesKeepsIt()
    {
        Loaded w;
        w.fillEntry("S", "D", "10", "00", "00", "AM", "Monday");
        w.setTime();
        w.edit("Text1")->clear();
        w.edit("Text2")->clear();
        w.edit("Text3")->clear();
        w.env.boxes.answers = {true};
        w.clickCell(0, 2);
        QCOMPARE(w.env.boxes.shown.size(), 1);
        QVERIFY(w.env.boxes.shown[0].yesNo);
        QCOMPARE(w.env.boxes.shown[0].text,
                 QStringLiteral("Scheduled To Copy \r\nFrom: S\r\nTo: D\r\nAt: 10:00:00 AM\r\nON Day= 2\r\n"
                                "Click Yes To Keep Scheduled Copy \r\nOr Click No To Delete Scheduled Copy"));
        QCOMPARE(w.grid()->Rows(), 2);
        QCOMPARE(w.label("Label4")->text(), QStringLiteral("1"));
        QCOMPARE(w.edit("Text1")->text(), QStringLiteral("S"));
        QCOMPARE(w.edit("Text2")->text(), QStringLiteral("D"));
        QCOMPARE(w.edit("Text3")->text(), QStringLiteral("10:00:00 AM"));
    }

    void noDeletesTheClickedRowAndSavesTheSchedule()
    {
        Loaded w;
        w.fillEntry("old", "D", "10", "00", "00", "AM", "Monday");
        w.setTime();
        w.fillEntry("new", "D", "11", "00", "00", "AM", "Monday");
        w.setTime();
        const QByteArray settings = w.env.read("PLVSettings.txt");
        w.env.boxes.answers = {false};
        w.clickCell(0, 0); // the heading column reviews its row too
        QCOMPARE(w.grid()->Rows(), 2);
        QCOMPARE(readEntry(*w.grid(), 0).source, QStringLiteral("old"));
        QCOMPARE(w.label("Label4")->text(), QStringLiteral("1"));
        QCOMPARE(settings, QByteArray("2\r\n 0 \r\n"));
        QCOMPARE(w.env.read("PLVSettings.txt"), QByteArray("1\r\n 0 \r\n")); // the count goes with the schedule
        // Each change reaches the schedule file at once: a crash must not cost it.
        QCOMPARE(w.env.read("Plovern.txt"), QByteArray("old,D,10:00:00 AM,2\r\n"));

        w.env.boxes.answers = {false};
        w.clickCell(0, 3);
        QCOMPARE(w.grid()->Rows(), 1);
        QCOMPARE(w.label("Label4")->text(), QStringLiteral("0"));
    }

    void aRowIsReviewedFromTheKeyboardAndTabLeavesTheGrid()
    {
        Loaded w;
        w.fillEntry("/data/Reports", "/backup/", "10", "00", "00", "AM", "Monday");
        w.setTime();
        w.window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w.window));
        FlexGrid* grid = w.grid();
        grid->setFocus();
        QTRY_COMPARE(QApplication::focusWidget(), grid);
        for (const Qt::Key key : {Qt::Key_Return, Qt::Key_Space}) {
            w.env.boxes.shown.clear();
            QTest::keyClick(grid, key);
            QCOMPARE(w.env.boxes.shown.size(), 1);
            QVERIFY(w.env.boxes.shown[0].yesNo);
            QVERIFY(w.env.boxes.shown[0].text.contains("From: /data/Reports"));
        }
        QTest::keyClick(grid, Qt::Key_Tab);
        QCOMPARE(QApplication::focusWidget()->objectName(), QStringLiteral("Combo5"));
    }

    void theGridShowsWhatMatters()
    {
        Loaded w;
        w.fillEntry("/home/anna/Documents/Reports", "/media/anna/BACKUP/", "11", "37", "25", "PM", "Every");
        w.setTime();
        w.fillEntry("/home/anna/Pictures/Holidays", "/media/anna/BACKUP/", "12", "00", "00", "AM", "Wednesday");
        w.setTime();
        w.window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w.window));
        FlexGrid* grid = w.grid();
        // The time and the day whole, however narrow their columns.
        QCOMPARE(grid->shownText(1, 3), QStringLiteral("11:37:25 PM"));
        QCOMPARE(grid->shownText(1, 4), QStringLiteral("Every"));
        QCOMPARE(grid->shownText(0, 4), QStringLiteral("4"));
        QVERIFY(grid->shownFont(1, 3).pointSizeF() >= 6.0);
        // A path keeps its last folder, so entries tell apart.
        for (const auto& [row, last] : {std::pair{0, "Holidays"}, std::pair{1, "Reports"}}) {
            const QString shown = grid->shownText(row, 1);
            QVERIFY2(shown.endsWith(QString::fromLatin1(last)) && shown.contains(QChar(0x2026)), qPrintable(shown));
            const QString tip = grid->model()->index(row, 1).data(Qt::ToolTipRole).toString();
            QVERIFY2(tip.startsWith(readEntry(*grid, row).source + "\nLast copy: not yet made"), qPrintable(tip));
        }
        // One line of text a row, and the ground below the last one is the grid's own.
        QVERIFY(grid->rowHeight(0) <= grid->fontMetrics().height() + 4);
        QVERIFY(grid->height() / grid->rowHeight(0) >= 7);
        QCOMPARE(grid->viewport()->backgroundRole(), QPalette::Dark);
        // With many entries the scroll bar takes its width from the paths, not the time and day.
        const auto dayInView
            = [&] { return grid->columnViewportPosition(4) + grid->columnWidth(4) <= grid->viewport()->width(); };
        QVERIFY(dayInView());
        for (int i = 0; i < 28; ++i) {
            w.fillEntry(QString("/home/anna/%1").arg(i), "/media/anna/BACKUP/", "11", "37", "25", "PM", "Every");
            w.setTime();
        }
        QTRY_VERIFY(grid->verticalScrollBar()->isVisible());
        QVERIFY(dayInView());
        QCOMPARE(grid->columnWidth(3), 66);
        // A border the user drags holds until the next entry sets the widths again.
        const int fitted = grid->columnWidth(1);
        grid->horizontalHeader()->resizeSection(1, fitted + 40);
        QCoreApplication::processEvents(); // the relayout it brings fits nothing back
        QCOMPARE(grid->columnWidth(1), fitted + 40);
        w.setTime();
        QCOMPARE(grid->columnWidth(1), fitted);
    }

    void escapeOrClosingTheRealBoxKeepsTheEntry()
    {
        TestPlatform env;
        QtMessageBoxes boxes;
        frmMain window(
            Platform{env.clock, boxes, env.shell, env.notifier, QString(), env.folder.path(), {QStringLiteral("/")}});
        boxes.setParent(&window);
        window.Form_Load();
        auto* grid = window.findChild<FlexGrid*>("MSFlexGrid1");
        insertTop(*grid, {"S", "D", "10:00:00 AM", "2"});
        grid->selectRow(0);
        const auto answerWith = [](const std::function<void(QMessageBox*)>& answer) {
            QTimer::singleShot(0, [answer] {
                auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
                QVERIFY(box);
                answer(box);
            });
        };
        answerWith([](QMessageBox* box) { QTest::keyClick(box, Qt::Key_Escape); });
        window.MSFlexGrid1_DblClick();
        QCOMPARE(readEntries(*grid).size(), size_t(1));
        answerWith([](QMessageBox* box) { box->close(); });
        window.MSFlexGrid1_DblClick();
        QCOMPARE(readEntries(*grid).size(), size_t(1));
        answerWith([](QMessageBox* box) { box->button(QMessageBox::No)->click(); });
        window.MSFlexGrid1_DblClick();
        QCOMPARE(readEntries(*grid).size(), size_t(0));
    }

    void clickingTheEndRowEmptiesTheBoxesAndAsksNothing()
    {
        Loaded w;
        w.fillEntry("S", "D", "10", "00", "00", "AM", "Monday");
        w.setTime();
        w.clickCell(1, 1);
        QVERIFY(w.env.boxes.shown.isEmpty());
        QCOMPARE(w.edit("Text1")->text(), QString());
        QCOMPARE(w.edit("Text2")->text(), QString());
        QCOMPARE(w.edit("Text3")->text(), QString());
        QCOMPARE(w.grid()->Rows(), 2);
    }

    void showEntryTimesListsEachTimeText()
    {
        Loaded w;
        w.fillEntry("S", "D", "10", "00", "00", "AM", "Monday");
        w.setTime();
        w.fillEntry("S", "D", "11", "30", "00", "PM", "Monday");
        w.setTime();
        w.window.Command9_Click();
        QCOMPARE(w.env.boxes.shown.size(), 2);
        QCOMPARE(w.env.boxes.shown[0].text, QStringLiteral("11:30:00 PM"));
        QCOMPARE(w.env.boxes.shown[0].icon, Icon::None);
        QCOMPARE(w.env.boxes.shown[1].text, QStringLiteral("10:00:00 AM"));
    }
};

PLOVERN_WINDOW_TEST_MAIN(TestScheduleEditing)
#include "tst_scheduleediting.moc"
