#include <sys/stat.h>

#include <QAccessible>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QFileInfo>
#include <QStyle>
#include <QStyleOptionComboBox>
#include <QTest>

#include "core/platform/paths.h"
#include "core/platform/process.h"
#include "core/schedule/clocktext.h"
#include "core/storage/copybook.h"
#include "support/core/fakes.h"
#include "support/gui/testmain.h"
#include "support/gui/window.h"

using namespace plovern;
using namespace plovern::test;

namespace {

const char* const kNeverSeen[]
    = {"Command8", "Command9", "Text4", "Command10", "Command11", "Command5", "Label4", "Text3", "Command12"};

} // namespace

class TestStartup : public QObject
{
    Q_OBJECT
private slots:
    void stateAtCreation()
    {
        WindowUnderTest w;
        QCOMPARE(w.window.windowTitle(), QStringLiteral("Plovern"));
        QCOMPARE(w.window.size(), QSize(366, 519));
        QCOMPARE(w.label("Label4")->text(), QStringLiteral("0"));
        QCOMPARE(w.label("Label7")->text(), QStringLiteral("0"));
        QCOMPARE(w.label("Label5")->text(), QString());
        QCOMPARE(w.edit("Text1")->text(), QString());
        QCOMPARE(w.edit("Text2")->text(), QString());
        QCOMPARE(w.edit("Text3")->text(), QString());
        QVERIFY(!w.edit("Text3")->isEnabled());
        QCOMPARE(w.edit("Text4")->text(), QStringLiteral("1"));
        QVERIFY(!w.purge()->isChecked());
        QCOMPARE(w.purge()->text(), QStringLiteral("Purge Folders"));
        QCOMPARE(w.button("Command5")->text(), QStringLiteral("Start Timer"));
        QCOMPARE(w.button("Command7")->text(), QStringLiteral("Set Time"));
        QVERIFY(!w.timer()->isActive());
        QCOMPARE(w.timer()->interval(), 0);
        QCOMPARE(w.grid()->Rows(), 1);
        QCOMPARE(w.grid()->Cols(), 5);
        QCOMPARE(w.label("Label12")->text(), QString::fromLatin1(kHomePage));
        QVERIFY(w.label("Label12")->font().underline());
        QVERIFY(!w.window.windowIcon().isNull());

        QCOMPARE(w.list("Combo1")->count(), 12);
        QCOMPARE(w.list("Combo1")->itemText(0), QStringLiteral("1"));
        QCOMPARE(w.list("Combo1")->itemText(11), QStringLiteral("12"));
        QCOMPARE(w.list("Combo4")->count(), 2);
        QCOMPARE(w.list("Combo4")->itemText(0), QStringLiteral("AM"));
        QCOMPARE(w.list("Combo4")->itemText(1), QStringLiteral("PM"));
        for (const char* name : {"Combo1", "Combo2", "Combo3", "Combo4", "Combo5"})
            QCOMPARE(w.list(name)->currentText(), QString());
    }

    void controlsSitAtTheirPlaces()
    {
        WindowUnderTest w;
        QCOMPARE(w.edit("Text1")->geometry(), QRect(8, 112, 337, 19));
        QCOMPARE(w.grid()->geometry(), QRect(0, 344, 361, 137));
        QCOMPARE(w.button("Command4")->geometry(), QRect(296, 488, 65, 25));
        QCOMPARE(w.get<QWidget>("Dir2")->geometry(), QRect(120, 152, 225, 81));
    }

    void everyTextFitsItsControl()
    {
        WindowUnderTest w;
        w.window.Form_Load();
        w.label("Label5")->setText(QStringLiteral("12:58:58 PM"));
        for (QWidget* control : w.window.findChildren<QWidget*>()) {
            if (control->objectName().isEmpty() || control->isHidden())
                continue;
            const QFontMetrics metrics(control->font());
            QStringList texts;
            int needed = 0;
            if (auto* label = qobject_cast<QLabel*>(control)) {
                texts = {label->text()};
                needed = 2 * label->frameWidth();
            } else if (auto* button = qobject_cast<QPushButton*>(control)) {
                texts = {button->text()};
                needed = control->style()->pixelMetric(QStyle::PM_ButtonMargin)
                    + 2 * control->style()->pixelMetric(QStyle::PM_DefaultFrameWidth);
            } else if (auto* box = qobject_cast<QCheckBox*>(control)) {
                texts = {box->text()};
                needed = box->sizeHint().width() - metrics.horizontalAdvance(box->text());
            } else if (auto* list = qobject_cast<QComboBox*>(control)) {
                for (int i = 0; i < list->count(); ++i)
                    texts.append(list->itemText(i));
                QStyleOptionComboBox option;
                option.initFrom(list);
                // The label keeps a frame's width from each side of its field.
                needed = list->width()
                    - list->style()
                          ->subControlRect(QStyle::CC_ComboBox, &option, QStyle::SC_ComboBoxEditField, list)
                          .width()
                    + 2 * list->style()->pixelMetric(QStyle::PM_ComboBoxFrameWidth, &option, list);
            }
            for (const QString& text : texts)
                QVERIFY2(metrics.horizontalAdvance(text) + needed <= control->width(),
                         qPrintable(control->objectName() + ": " + text));
            QVERIFY(control->font().pointSizeF() >= 7.0); // readable
        }
    }

    void listsAfterStartup()
    {
        WindowUnderTest w;
        w.window.Form_Load();
        for (const char* name : {"Combo2", "Combo3"}) {
            PickList* list = w.list(name);
            QCOMPARE(list->count(), 60);
            QCOMPARE(list->itemText(0), QStringLiteral("00"));
            QCOMPARE(list->itemText(9), QStringLiteral("09"));
            QCOMPARE(list->itemText(10), QStringLiteral("10"));
            QCOMPARE(list->itemText(59), QStringLiteral("59"));
            QCOMPARE(list->currentText(), QString());
        }
        const QStringList days{"Every", "Sunday", "Monday", "Tuesday", "Wednesday", "Thursday", "Friday", "Saturday"};
        QStringList items;
        for (int i = 0; i < w.list("Combo5")->count(); ++i)
            items.append(w.list("Combo5")->itemText(i));
        QCOMPARE(items, days);
        QCOMPARE(w.button("Command5")->text(), QStringLiteral("Stop Timer"));
        QVERIFY(w.timer()->isActive());
        QCOMPARE(w.timer()->interval(), 1000);
    }

    void typingIntoAPickListChangesNothing()
    {
        WindowUnderTest w;
        w.window.Form_Load();
        PickList* minutes = w.list("Combo2");
        QTest::keyClicks(minutes, QStringLiteral("45"));
        QCOMPARE(minutes->currentText(), QString());
        QVERIFY(!minutes->isEditable());
    }

    void weekdayNumberFromTheClock_data()
    {
        QTest::addColumn<QDate>("today");
        QTest::addColumn<QString>("number");
        QTest::newRow("Saturday") << QDate(2026, 12, 5) << "7";
        QTest::newRow("Sunday") << QDate(2026, 12, 6) << "1";
        QTest::newRow("Monday") << QDate(2026, 12, 7) << "2";
    }

    void weekdayNumberFromTheClock()
    {
        QFETCH(QDate, today);
        QFETCH(QString, number);
        WindowUnderTest w;
        w.env.clock.set(QDateTime(today, QTime(9, 30)));
        w.window.Form_Load();
        QCOMPARE(w.label("Label7")->text(), number);
    }

    void switches_data()
    {
        QTest::addColumn<QString>("arguments");
        QTest::addColumn<bool>("hidden");
        QTest::addColumn<bool>("purge");
        QTest::newRow("none") << "" << false << false;
        QTest::newRow("-h") << "-h" << true << false;
        QTest::newRow("-p") << "-p" << false << true;
        QTest::newRow("-hp") << "-hp" << true << true;
        QTest::newRow("-H") << "-H" << false << false;
        QTest::newRow("-ph") << "-ph" << false << false;
        QTest::newRow("-h -p") << "-h -p" << false << false;
        QTest::newRow("/h") << "/h" << false << false;
        QTest::newRow("-h with a blank") << "-h " << false << false;
    }

    void switches()
    {
        QFETCH(QString, arguments);
        QFETCH(bool, hidden);
        QFETCH(bool, purge);
        WindowUnderTest w(arguments);
        w.window.Form_Load();
        QCOMPARE(w.window.isHiddenForGood(), hidden);
        QCOMPARE(w.purge()->isChecked(), purge);
        // A hidden window stays hidden through the toolkit's own first show.
        w.window.show();
        QCOMPARE(w.window.isVisible(), !hidden);
        QVERIFY(w.timer()->isActive());
    }

    void filesNeverGoIntoTheSystemsFolders()
    {
        for (const char* system : {"/usr/bin", "/usr/local/bin", "/usr", "/bin", "/sbin"})
            QVERIFY2(isSystemFolder(QString::fromLatin1(system)), system);
        for (const char* own : {"/opt/plovern", "/home/anna/usr", "/usr2/bin", "/binaries"})
            QVERIFY2(!isSystemFolder(QString::fromLatin1(own)), own);
    }

    void storedPurgeFlagOverridesTheSwitch()
    {
        WindowUnderTest w(QStringLiteral("-p"));
        w.env.write(QStringLiteral("PLVSettings.txt"), "0\r\n 0 \r\n");
        w.window.Form_Load();
        QVERIFY(!w.purge()->isChecked());
    }

    void aPurgeCutShortIsFinishedAtTheStart()
    {
        WindowUnderTest w(QStringLiteral("-p"));
        const QString backup = w.env.folder.filePath(QStringLiteral("backup/"));
        const QDate today = w.env.clock.now().date();
        const QString old = backup + "Docs127" + QString::number(today.year() - 1);
        makeTree(old, {{"f", "left in part"}});
        makeTree(backup + "Docs" + dateStamp(today), {{"f", "new"}});
        w.env.write(QStringLiteral("SavedFilesDB.txt"), pathBytes(old) + "\r\n");
        w.env.write(QStringLiteral("PLVCopies.txt"),
                    formatCopyBook({{backup + "Docs" + dateStamp(today), "/x/Docs", backup, today, true, 1}}));
        w.window.Form_Load();
        QTRY_VERIFY_WITH_TIMEOUT(!QFileInfo::exists(old), 10000);
    }

    void aScheduleOthersMayChangeIsNeitherRunNorChanged()
    {
        WindowUnderTest w;
        const QByteArray planted = "/etc/ssl/private,/media/stick/,10:00:01 AM,Every\r\n";
        w.env.write(QStringLiteral("Plovern.txt"), planted);
        QVERIFY(::chmod(QFile::encodeName(w.env.file("Plovern.txt")).constData(), 0666) == 0);
        w.window.Form_Load();
        QCOMPARE(w.env.boxes.shown.size(), 1);
        QVERIFY2(w.env.boxes.shown[0].text.startsWith("Plovern reads nothing from its files and copies nothing: "),
                 qPrintable(w.env.boxes.shown[0].text));
        QCOMPARE(w.grid()->TextMatrix(0, 1), QString());
        w.window.close();
        QCOMPARE(w.env.read("Plovern.txt"), planted);

        // Hidden, standard error says so: nothing is written among those
        // files, not the log, not the settings, not the last tick.
        WindowUnderTest hidden(QStringLiteral("-h"));
        hidden.env.write(QStringLiteral("Plovern.txt"), planted);
        QVERIFY(::chmod(QFile::encodeName(hidden.env.file("Plovern.txt")).constData(), 0666) == 0);
        hidden.window.Form_Load();
        QVERIFY(hidden.env.boxes.shown.isEmpty());
        hidden.window.close();
        QCOMPARE(QDir(QFileInfo(hidden.env.file("Plovern.txt")).path()).entryList(QDir::Files | QDir::Hidden),
                 QStringList{"Plovern.txt"});
    }

    void neverSeenControlsAreOutOfSightAndOutOfTabReach()
    {
        WindowUnderTest w;
        w.window.Form_Load();
        w.window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w.window));
        for (const char* name : kNeverSeen)
            QVERIFY2(!w.get<QWidget>(name)->isVisible(), name);
        QVERIFY(!w.window.rect().intersects(w.label("Label7")->geometry()));

        QWidget* first = w.edit("Text1");
        first->setFocus();
        QTRY_COMPARE(QApplication::focusWidget(), first);
        QStringList visited;
        for (int i = 0; i < 20; ++i) {
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
            QWidget* focused = QApplication::focusWidget();
            QVERIFY(focused);
            visited.append(focused->objectName());
        }
        for (const char* name : kNeverSeen)
            QVERIFY2(!visited.contains(QString::fromLatin1(name)), name);
        // The chain comes round; the grid, with no entry yet, is no stop.
        const QStringList designed{"Text2",  "Command4", "Command6", "Combo1",   "Combo2",
                                   "Combo3", "Combo4",   "Command7", "Combo5",   "Drive1",
                                   "Dir1",   "Drive2",   "Dir2",     "chkPurge", "Text1"};
        QCOMPARE(visited.mid(0, designed.size()), designed);
        // Backwards the same way.
        first->setFocus();
        QTRY_COMPARE(QApplication::focusWidget(), first);
        QTest::keyClick(first, Qt::Key_Backtab);
        QCOMPARE(QApplication::focusWidget()->objectName(), QStringLiteral("chkPurge"));
    }

    void everyControlSaysWhatItIsToAScreenReader()
    {
        WindowUnderTest w;
        w.window.Form_Load();
        w.window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w.window));
        // What is said for a control: the caption that labels it, else its
        // name; a list's name is its value on Linux, so its description.
        const auto said = [&](const char* name) {
            QWidget* control = w.window.findChild<QWidget*>(QString::fromLatin1(name));
            QAccessibleInterface* face = QAccessible::queryAccessibleInterface(control);
            const auto labels = face->relations(QAccessible::Label);
            if (!labels.isEmpty())
                return labels.first().first->text(QAccessible::Name);
            return qobject_cast<QComboBox*>(control) ? face->text(QAccessible::Description)
                                                     : face->text(QAccessible::Name);
        };
        const std::pair<const char*, const char*> expected[] = {
            {"Text1", "Source Folder Path"},
            {"Text2", "Destination Folder"},
            {"Drive1", "Source Folder"},
            {"Dir1", "Source folders"},
            {"Drive2", "Destination Folder"},
            {"Dir2", "Destination folders"},
            {"Combo1", "Choose Time"},
            {"Combo2", "Minute"},
            {"Combo3", "Second"},
            {"Combo4", "AM or PM"},
            {"Combo5", "Choose Day"},
            {"MSFlexGrid1", "Scheduled copies"},
        };
        for (const auto& [name, words] : expected)
            QCOMPARE(said(name), QString::fromLatin1(words));
        QAccessibleTableInterface* table = QAccessible::queryAccessibleInterface(w.grid())->tableInterface();
        QCOMPARE(table->columnDescription(1), QStringLiteral("Source"));
        QCOMPARE(table->columnDescription(4), QStringLiteral("Day"));

        // Tab passes an empty grid by, and Enter on its blank row empties no path box.
        w.edit("Text1")->setText("/typed");
        w.grid()->setCurrentIndex(w.grid()->model()->index(0, 1));
        QTest::keyClick(w.grid(), Qt::Key_Return);
        QCOMPARE(w.edit("Text1")->text(), QStringLiteral("/typed"));
        const auto tabFromSetTime = [&] {
            w.button("Command7")->setFocus();
            QTest::keyClick(w.button("Command7"), Qt::Key_Tab);
            return QApplication::focusWidget()->objectName();
        };
        QCOMPARE(tabFromSetTime(), QStringLiteral("Combo5"));
        w.fillEntry("/home/anna/Documents", "/media/anna/BACKUP/", "11", "37", "25", "PM", "Every");
        QTest::mouseClick(w.button("Command7"), Qt::LeftButton);
        QCOMPARE(tabFromSetTime(), QStringLiteral("MSFlexGrid1"));
    }

    void theWindowHasItsIconAndSaysWhatItsButtonsDo()
    {
        WindowUnderTest w;
        QVERIFY(!w.window.windowIcon().isNull());
        QVERIFY(w.window.windowIcon().availableSizes().contains(QSize(16, 16)));
        QVERIFY(w.window.windowIcon().availableSizes().contains(QSize(32, 32)));
        QVERIFY(w.purge()->toolTip().contains("earlier years"));
        QVERIFY(!w.button("Command7")->toolTip().isEmpty());
        QVERIFY(!w.button("Command6")->toolTip().isEmpty());
    }

    void theSoftwareCentresScreenshotIsTheRealWindow()
    {
        WindowUnderTest w;
        w.window.Form_Load();
        for (const char* source : {"/home/anna/Documents", "/home/anna/Pictures/Holidays", "/srv/mail"}) {
            w.fillEntry(source, "/media/anna/BACKUP/", "11", "37", "25", "PM", "Every");
            QTest::mouseClick(w.button("Command7"), Qt::LeftButton);
        }
        w.window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w.window));
        const QImage shot = w.window.grab().toImage();
        QCOMPARE(shot.size(), w.window.size());
        // Beside the tests, for the metainfo's screenshot.
        QVERIFY(shot.save(QCoreApplication::applicationDirPath() + "/plovern-window.png"));
    }
};

PLOVERN_WINDOW_TEST_MAIN(TestStartup)
#include "tst_startup.moc"
