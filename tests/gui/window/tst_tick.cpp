#include <sys/stat.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSignalSpy>
#include <QTest>

#include "core/schedule/scheduler.h"
#include "core/storage/lasttick.h"
#include "core/storage/resultsfile.h"
#include "gui/grid/scheduletable.h"
#include "support/core/sandbox.h"
#include "support/gui/testmain.h"
#include "support/gui/window.h"

using namespace plovern;
using namespace plovern::test;

namespace {

// A started window whose Qt timer is held still: the test ticks by hand.
struct Ticking : WindowUnderTest
{
    Ticking()
    {
        backup = env.folder.filePath(QStringLiteral("backup/"));
        QDir().mkpath(backup);
        window.Form_Load();
        timer()->stop();
    }

    // Adds an entry through "Set Time"; returns its source folder.
    QString add(const QString& name, const QString& hour, const QString& minute, const QString& second,
                const QString& half, const QString& day)
    {
        const QString source = env.folder.filePath(QStringLiteral("sources/") + name);
        makeTree(source, {{QStringLiteral("file.txt"), name.toUtf8()}});
        fillEntry(source, backup, hour, minute, second, half, day);
        QTest::mouseClick(button("Command7"), Qt::LeftButton);
        return source;
    }

    // A tick, and the copies it handed over, made.
    void tickAt(const QDateTime& when)
    {
        env.clock.set(when);
        window.Timer1_Timer();
        QTRY_VERIFY_WITH_TIMEOUT(!window.isCopying(), 20000);
    }

    QStringList record() const
    {
        const QByteArray bytes = env.read(QStringLiteral("SavedFilesDB.txt"));
        return bytes == "<missing>" ? QStringList()
                                    : QString::fromLocal8Bit(bytes).split(QStringLiteral("\r\n"), Qt::SkipEmptyParts);
    }

    QString copied(const QString& name, const QString& stamp) const { return backup + name + stamp; }

    QString backup;
};

const QDate kMonday(2026, 12, 7);

QDateTime monday(int h, int m, int s)
{
    return QDateTime(kMonday, QTime(h, m, s));
}

} // namespace

class TestTick : public QObject
{
    Q_OBJECT
private slots:
    void runsTheDueEntryOnceAndRecordsIt()
    {
        Ticking w;
        w.add("Reports", "10", "00", "00", "AM", "Every");
        w.tickAt(monday(9, 59, 59));
        QCOMPARE(w.label("Label5")->text(), QStringLiteral("9:59:59 AM"));
        QCOMPARE(w.label("Label7")->text(), QStringLiteral("2"));
        QVERIFY(w.record().isEmpty());
        w.tickAt(monday(10, 0, 0));
        w.tickAt(monday(10, 0, 0)); // a second tick in the same second
        w.tickAt(monday(10, 0, 1));
        QCOMPARE(w.record(), QStringList{w.copied("Reports", "1272026")});
        QCOMPARE(w.env.read("SavedFilesDB.txt"), (w.copied("Reports", "1272026") + "\r\n").toLocal8Bit());
        QVERIFY(QFileInfo::exists(w.copied("Reports", "1272026") + "/file.txt"));
    }

    void weekdayEntriesRunOnlyOnTheirDay()
    {
        Ticking w;
        w.add("Tue", "10", "00", "00", "AM", "Tuesday");
        w.add("Mon", "10", "00", "00", "AM", "Monday");
        w.tickAt(monday(10, 0, 0));
        QCOMPARE(w.record(), QStringList{w.copied("Mon", "1272026")});
        w.tickAt(QDateTime(kMonday.addDays(1), QTime(10, 0, 0)));
        QCOMPARE(w.record().last(), w.copied("Tue", "1282026"));
        QCOMPARE(w.record().size(), 2);
    }

    void aLateTickStillRunsTheSkippedSecond()
    {
        Ticking w;
        w.add("Late", "10", "00", "01", "AM", "Every");
        w.tickAt(monday(10, 0, 0));
        w.tickAt(monday(10, 0, 3));
        QCOMPARE(w.record(), QStringList{w.copied("Late", "1272026")});
    }

    void aLongCopyDoesNotLoseTheNextEntry()
    {
        Ticking w;
        w.add("Second", "10", "00", "05", "AM", "Every");
        w.add("First", "10", "00", "00", "AM", "Every");
        w.tickAt(monday(10, 0, 0));
        // The first copy held the window for 35 seconds.
        w.tickAt(monday(10, 0, 35));
        QCOMPARE(w.record(), (QStringList{w.copied("First", "1272026"), w.copied("Second", "1272026")}));
    }

    void entriesOfOneSecondRunInRowOrderEachFollowedByThePurge()
    {
        Ticking w;
        w.add("B", "10", "00", "00", "AM", "Every");
        w.add("A", "10", "00", "00", "AM", "Every");
        const QString stale = w.backup + QStringLiteral("A1262025"); // A's copy of last year
        makeTree(stale, {{"x", "x"}});
        w.env.write(QStringLiteral("SavedFilesDB.txt"), (stale + "\r\n").toLocal8Bit());
        w.purge()->setChecked(true);
        w.tickAt(monday(10, 0, 0));
        QCOMPARE(w.record(), (QStringList{stale, w.copied("A", "1272026"), w.copied("B", "1272026")}));
        QVERIFY(!QFileInfo::exists(stale));
        // The last purge ran after the last copy, so it kept both this year's lines.
        QCOMPARE(w.env.read("SavedFilesDB2.txt"),
                 (w.copied("A", "1272026") + "\r\n" + w.copied("B", "1272026") + "\r\n").toLocal8Bit());
    }

    void aCopyCaughtUpAfterNewYearIsPurgedAsItsOwnYears()
    {
        Ticking w;
        w.add("Eve", "11", "59", "59", "PM", "Every");
        w.purge()->setChecked(true);
        w.tickAt(QDateTime(QDate(2026, 12, 31), QTime(23, 59, 58)));
        w.tickAt(QDateTime(QDate(2027, 1, 1), QTime(0, 0, 1)));
        QCOMPARE(w.record(), QStringList{w.copied("Eve", "12312026")});
        QVERIFY(QFileInfo::exists(w.copied("Eve", "12312026") + "/file.txt"));
    }

    void aFailingCopyDoesNotStopTheWalk()
    {
        Ticking w;
        w.add("Good", "10", "00", "00", "AM", "Every");
        const QString gone = w.add("Gone", "10", "00", "00", "AM", "Every");
        QDir(gone).removeRecursively();
        w.tickAt(monday(10, 0, 0));
        QCOMPARE(w.record(), QStringList{w.copied("Good", "1272026")});
        // The user hears of it on the desktop, once for the tick, with where to read more.
        QCOMPARE(w.env.notifier.sent().size(), 1);
        QVERIFY(w.env.notifier.sent()[0].first.contains(gone));
        QVERIFY(w.env.notifier.sent()[0].second.contains(w.env.file("PlovernLog.txt")));
        QVERIFY(w.env.read("PlovernLog.txt").contains("copy failed: " + gone.toLocal8Bit()));
    }

    void theWindowKeepsRunningWhileACopyIsMade()
    {
        Ticking w;
        // A share whose server stops answering holds the copy open as long as the test needs.
        FrozenShare hung(w.env.folder.path());
        if (!hung.mounted())
            QSKIP(qPrintable(TestDrive::skipReason()));
        w.backup = hung.share();
        const QString source = w.add("Big", "10", "00", "00", "AM", "Every");
        makeTree(source, {{"data", QByteArray(1 << 20, 'b')}});
        QSignalSpy notes(&w.window, &frmMain::instanceNoteChanged);
        w.env.clock.set(monday(10, 0, 0));
        w.window.Timer1_Timer();
        QVERIFY(w.window.isCopying());
        // A second start reads what is being copied, however short the copy.
        QTRY_VERIFY_WITH_TIMEOUT(!notes.isEmpty() && notes.last().at(0).value<InstanceNote>().copying == "Big", 20000);
        bool handled = false;
        QTimer::singleShot(0, &w.window, [&] { handled = true; });
        QTRY_VERIFY(handled);
        QVERIFY(w.window.isCopying()); // the event did not wait for the copy
        hung.thaw();
        QTRY_VERIFY_WITH_TIMEOUT(!w.window.isCopying(), 60000);
        QTRY_COMPARE(w.window.windowTitle(), QStringLiteral("Plovern - next: Big, Tuesday 10:00:00 AM"));
        QTRY_COMPARE(notes.last().at(0).value<InstanceNote>(), InstanceNote{});
        QCOMPARE(w.record(), QStringList{w.copied("Big", "1272026")});
    }

    void catchesUpWhatFellDueWhileTheProgramWasNotRunning()
    {
        // The mark kept by the last run: 3 hours back, 30 hours back, and ahead of the clock.
        for (const auto& [hoursAgo, copies] : {std::pair{3, 1}, std::pair{30, 0}, std::pair{-1, 0}}) {
            WindowUnderTest w;
            const QString source = w.env.folder.filePath("Reports");
            makeTree(source, {{"r", "r"}});
            QDir().mkpath(w.env.folder.filePath("backup"));
            w.env.write("Plovern.txt",
                        (source + "," + w.env.folder.filePath("backup/") + ",10:30:00 AM,Every\r\n").toLocal8Bit());
            w.env.clock.set(monday(12, 0, 0));
            w.env.write("PLVLastTick.txt", formatLastTick(monday(12, 0, 0).addSecs(-hoursAgo * 3600)));
            w.window.Form_Load();
            w.timer()->stop();
            w.window.Timer1_Timer();
            QTRY_VERIFY(!w.window.isCopying());
            const QByteArray record = w.env.read("SavedFilesDB.txt");
            QCOMPARE(record == "<missing>" ? 0 : int(record.count('\n')), copies);
            QCOMPARE(w.env.read("PlovernLog.txt").contains("catching up"), copies == 1);
            // The mark reaches its file once the copy is through.
            QTRY_COMPARE(parseLastTick(w.env.read("PLVLastTick.txt")), std::optional(monday(12, 0, 0)));
        }
    }

    void everyEntryRowRunsWhateverTheCount()
    {
        Ticking w;
        w.add("One", "10", "00", "00", "AM", "Every");
        w.add("Two", "10", "00", "00", "AM", "Every");
        w.label("Label4")->setText(QStringLiteral("0"));
        w.tickAt(monday(10, 0, 0));
        QCOMPARE(w.record().size(), 2);
    }

    void midnightUsesTheNewDaysWeekdayAndStamp()
    {
        Ticking w;
        w.add("Night", "11", "59", "59", "PM", "Monday");
        w.add("Morning", "12", "00", "00", "AM", "Tuesday");
        w.tickAt(monday(23, 59, 58));
        w.tickAt(QDateTime(kMonday.addDays(1), QTime(0, 0, 2)));
        QCOMPARE(w.record(), (QStringList{w.copied("Night", "1272026"), w.copied("Morning", "1282026")}));
        QCOMPARE(w.label("Label7")->text(), QStringLiteral("3"));
    }

    void anUnwritableProgramFolderLeavesTheCopyUnrecorded()
    {
        Ticking w;
        w.add("Reports", "10", "00", "00", "AM", "Every");
        QVERIFY(::chmod(QFile::encodeName(w.env.folder.path()).constData(), 0555) == 0);
        w.tickAt(monday(10, 0, 0));
        ::chmod(QFile::encodeName(w.env.folder.path()).constData(), 0755);
        QVERIFY(QFileInfo::exists(w.copied("Reports", "1272026") + "/file.txt"));
        QVERIFY(w.record().isEmpty());
    }

    void twoEntriesIntoTheSameTargetMergeAndRecordTwice()
    {
        Ticking w;
        const QString source = w.add("Same", "10", "00", "00", "AM", "Every");
        w.fillEntry(source, w.backup, "10", "00", "00", "AM", "Monday");
        QTest::mouseClick(w.button("Command7"), Qt::LeftButton);
        w.tickAt(monday(10, 0, 0));
        QCOMPARE(w.record(), (QStringList{w.copied("Same", "1272026"), w.copied("Same", "1272026")}));
        QCOMPARE(QDir(w.copied("Same", "1272026")).entryList(QDir::Files | QDir::Hidden), QStringList{"file.txt"});
    }

    void aReadOnlyDestinationFailsUnrecorded()
    {
        Ticking w;
        w.add("Reports", "10", "00", "00", "AM", "Every");
        QVERIFY(::chmod(QFile::encodeName(w.backup).constData(), 0555) == 0);
        w.tickAt(monday(10, 0, 0));
        ::chmod(QFile::encodeName(w.backup).constData(), 0755);
        QVERIFY(!QFileInfo::exists(w.copied("Reports", "1272026")));
        QVERIFY(w.record().isEmpty());
    }

    void theTimerButtonSwitchesOffAndOnAfresh()
    {
        Ticking w;
        w.add("Reports", "10", "00", "01", "AM", "Every");
        w.tickAt(monday(10, 0, 0));
        w.window.Command5_Click();
        QCOMPARE(w.button("Command5")->text(), QStringLiteral("Start Timer"));
        QVERIFY(!w.timer()->isActive());
        // Switching on reads the settings file again.
        w.env.write(QStringLiteral("PLVSettings.txt"), "1\r\n 1 \r\n");
        w.env.clock.set(monday(10, 0, 5));
        w.window.Command5_Click();
        QCOMPARE(w.button("Command5")->text(), QStringLiteral("Stop Timer"));
        QVERIFY(w.timer()->isActive());
        QCOMPARE(w.timer()->interval(), 1000);
        QVERIFY(w.purge()->isChecked());
        // 10:00:01 passed while the timer was off: it is not made up.
        w.tickAt(monday(10, 0, 5));
        QVERIFY(w.record().isEmpty());
    }

    void eachRowTellsItsLastCopyAndTheTitleWhatComesNext()
    {
        Ticking w;
        w.add("Later", "11", "00", "00", "AM", "Every");
        w.add("Other", "10", "00", "00", "AM", "Every");
        QDir(w.add("Gone", "10", "00", "00", "AM", "Every")).removeRecursively();
        w.add("Made", "10", "00", "00", "AM", "Every");
        w.tickAt(monday(10, 0, 0));
        const auto said = [&](int row) { return w.grid()->rowMark(row).said; };
        // Each row as its copy ends: the copies of a second run in row order.
        QTRY_COMPARE(said(2), QStringLiteral("last copy made"));
        QTRY_COMPARE(said(1), QStringLiteral("last copy failed"));
        QTRY_COMPARE(said(0), QStringLiteral("last copy made"));
        QCOMPARE(said(3), QStringLiteral("last copy not yet made"));
        QVERIFY(!w.grid()->rowMark(0).icon.isNull());
        QVERIFY(w.grid()->rowMark(3).icon.isNull());
        const QString tip = w.grid()->model()->index(0, 2).data(Qt::ToolTipRole).toString();
        QVERIFY2(tip.contains("Last copy: made Monday 7 December 2026 10:00:00 AM, 1 file")
                     && tip.contains("Next: Tuesday 8 December 2026 10:00:00 AM"),
                 qPrintable(tip));
        QVERIFY(w.grid()->model()->index(1, 1).data(Qt::ToolTipRole).toString().contains("Last copy: failed"));
        QTRY_COMPARE(w.window.windowTitle(), QStringLiteral("Plovern - 1 failed - next: Later, 11:00:00 AM"));

        // The results outlive the program, a stopped copy and one with warnings among them.
        std::vector<EntryResult> kept = parseResults(w.env.read("PLVResults.txt"));
        QCOMPARE(kept.size(), size_t(3));
        const qint64 at = wallSecond(monday(10, 0, 5));
        noteResult(&kept, {readEntry(*w.grid(), 0).source, w.backup, Outcome::stopped, at});
        noteResult(&kept, {readEntry(*w.grid(), 2).source, w.backup, Outcome::warned, at, 1, 1, "1 mode lost"});
        w.env.write("PLVResults.txt", formatResults(kept));
        frmMain again(w.env.platform());
        again.Form_Load();
        const FlexGrid* grid = again.findChild<FlexGrid*>("MSFlexGrid1");
        QCOMPARE(grid->rowMark(3).said, QStringLiteral("last copy stopped")); // a load reverses the rows
        QCOMPARE(grid->rowMark(1).said, QStringLiteral("last copy made with warnings"));
        QVERIFY(grid->model()->index(1, 0).data(Qt::AccessibleTextRole).toString().contains("made with warnings"));
        QVERIFY(grid->model()->index(1, 3).data(Qt::ToolTipRole).toString().contains(": 1 mode lost"));
    }

    void anOverdueEntryIsToldOnceADayAndMarked()
    {
        WindowUnderTest w;
        const QString source = w.env.folder.filePath("Reports");
        w.env.write("Plovern.txt", (source + ",/nowhere/,10:30:00 AM,Every\r\n").toLocal8Bit());
        // Made whole on Thursday, failed every day since.
        const EntryResult last{source, "/nowhere/", Outcome::failed, wallSecond(monday(10, 30, 0).addDays(-1)),
                               0,      0,           "gone",          wallSecond(monday(10, 30, 0).addDays(-4)),
                               1};
        w.env.write("PLVResults.txt", formatResults({last}));
        w.env.clock.set(monday(12, 0, 0));
        w.window.Form_Load();
        w.timer()->stop();
        QCOMPARE(w.env.notifier.sent().size(), 1);
        QCOMPARE(w.env.notifier.sent()[0].second, "no whole copy of " + source + " since 3 December");
        QCOMPARE(w.grid()->rowMark(0).said, QStringLiteral("overdue, last copy failed"));
        for (const QDateTime& later : {monday(12, 1, 0), monday(23, 59, 0)}) {
            w.env.clock.set(later);
            w.window.Timer1_Timer();
        }
        QCOMPARE(w.env.notifier.sent().size(), 1);
        w.env.clock.set(monday(0, 1, 0).addDays(1));
        w.window.Timer1_Timer();
        QCOMPARE(w.env.notifier.sent().size(), 2);
    }

    void aTickIntervalThatIsNotANumberFailsToTheCaller()
    {
        WindowUnderTest w;
        w.edit("Text4")->setText(QStringLiteral("x"));
        QVERIFY(!w.window.Command5_Click());
        QCOMPARE(w.button("Command5")->text(), QStringLiteral("Stop Timer"));
        QVERIFY(!w.timer()->isActive());
    }
};

PLOVERN_WINDOW_TEST_MAIN(TestTick)
#include "tst_tick.moc"
