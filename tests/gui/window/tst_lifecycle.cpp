#include <sys/inotify.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QSignalSpy>
#include <QTest>

#include "gui/grid/scheduletable.h"
#include "support/gui/testmain.h"
#include "support/gui/window.h"

using namespace plovern;
using namespace plovern::test;

namespace {

const QByteArray kThreeLines = "/s1,/d/,1:00:00 AM,Every\r\n"
                               "/s2,/d/,2:00:00 AM,2\r\n"
                               "/s3,/d/,3:00:00 AM,7\r\n";
const QByteArray kThreeReversed = "/s3,/d/,3:00:00 AM,7\r\n"
                                  "/s2,/d/,2:00:00 AM,2\r\n"
                                  "/s1,/d/,1:00:00 AM,Every\r\n";

void setMode(const QString& path, mode_t mode)
{
    QVERIFY(::chmod(QFile::encodeName(path).constData(), mode) == 0);
}

} // namespace

class TestLifecycle : public QObject
{
    Q_OBJECT
private slots:
    void loadPutsTheLastLineOnTopAndCountsTheRows_data()
    {
        QTest::addColumn<QByteArray>("settings");
        QTest::addColumn<QString>("count");
        QTest::addColumn<bool>("purge");
        QTest::newRow("matching") << QByteArray("3\r\n 1 \r\n") << "3" << true;
        QTest::newRow("lagging") << QByteArray("0\r\n 0 \r\n") << "3" << false;
        QTest::newRow("ahead") << QByteArray("5\r\n 1 \r\n") << "3" << true;
        QTest::newRow("not a count") << QByteArray("lots\r\n 1 \r\n") << "3" << true;
        QTest::newRow("no settings") << QByteArray() << "3" << false;
    }
    void loadPutsTheLastLineOnTopAndCountsTheRows()
    {
        QFETCH(QByteArray, settings);
        QFETCH(QString, count);
        QFETCH(bool, purge);
        WindowUnderTest w;
        w.env.write(QStringLiteral("Plovern.txt"), kThreeLines);
        if (!settings.isEmpty())
            w.env.write(QStringLiteral("PLVSettings.txt"), settings);
        w.window.Form_Load();
        QCOMPARE(w.grid()->Rows(), 4);
        QCOMPARE(readEntry(*w.grid(), 0).source, QStringLiteral("/s3"));
        QCOMPARE(readEntry(*w.grid(), 2), (ScheduleEntry{"/s1", "/d/", "1:00:00 AM", "Every"}));
        QCOMPARE(w.label("Label4")->text(), count);
        QCOMPARE(w.purge()->isChecked(), purge);
    }

    void closeSavesScheduleThenSettingsInThatOrder()
    {
        WindowUnderTest w;
        w.env.write(QStringLiteral("Plovern.txt"), kThreeLines);
        w.env.write(QStringLiteral("PLVSettings.txt"), "5\r\n 0 \r\n");
        w.window.Form_Load();

        const int watch = ::inotify_init1(IN_NONBLOCK);
        QVERIFY(watch >= 0);
        QVERIFY(::inotify_add_watch(watch, QFile::encodeName(w.env.folder.path()).constData(), IN_MOVED_TO) >= 0);
        QSignalSpy unloaded(&w.window, &frmMain::unloaded);
        QTest::mouseClick(w.button("Command4"), Qt::LeftButton);
        QCOMPARE(unloaded.count(), 1);

        char buffer[4096];
        const ssize_t got = ::read(watch, buffer, sizeof buffer);
        ::close(watch);
        QStringList order;
        for (ssize_t at = 0; at < got;) {
            const auto* event = reinterpret_cast<const inotify_event*>(buffer + at);
            order.append(QString::fromLocal8Bit(event->name));
            at += static_cast<ssize_t>(sizeof(inotify_event) + event->len);
        }
        QCOMPARE(order, (QStringList{"Plovern.txt", "PLVSettings.txt"}));
        QCOMPARE(w.env.read("Plovern.txt"), kThreeReversed);
        QCOMPARE(w.env.read("PLVSettings.txt"), QByteArray("3\r\n 0 \r\n"));
        // Closing twice (a signal after the button) saves once.
        w.window.Form_Unload();
        QCOMPARE(unloaded.count(), 1);
    }

    void firstCloseWithoutFilesCreatesBoth()
    {
        WindowUnderTest w;
        w.window.Form_Load();
        w.window.close();
        QCOMPARE(w.env.read("Plovern.txt"), QByteArray());
        QCOMPARE(w.env.read("PLVSettings.txt"), QByteArray("0\r\n 0 \r\n"));
    }

    void aCountBelowTheRowsStillSavesEveryEntry()
    {
        WindowUnderTest w;
        w.env.write(QStringLiteral("Plovern.txt"), kThreeLines);
        w.window.Form_Load();
        w.label("Label4")->setText(QStringLiteral("0"));
        w.window.Command10_Click();
        QCOMPARE(w.env.read("Plovern.txt"), kThreeReversed);
    }

    void aFailedSaveLeavesThePreviousFilesWhole()
    {
        WindowUnderTest w;
        w.env.write(QStringLiteral("Plovern.txt"), kThreeLines);
        w.env.write(QStringLiteral("PLVSettings.txt"), "3\r\n 1 \r\n");
        w.window.Form_Load();
        w.purge()->setChecked(false);

        setMode(w.env.folder.path(), 0555);
        QSignalSpy unloaded(&w.window, &frmMain::unloaded);
        w.window.close();
        setMode(w.env.folder.path(), 0755);
        QCOMPARE(unloaded.count(), 1); // the program ends all the same
        QCOMPARE(w.env.read("Plovern.txt"), kThreeLines);
        QCOMPARE(w.env.read("PLVSettings.txt"), QByteArray("3\r\n 1 \r\n"));
    }

    void aSaveCutShortLeavesThePreviousFile()
    {
        WindowUnderTest w;
        w.window.Form_Load();
        w.env.write(QStringLiteral("Plovern.txt"), "/old,/d/,1:00:00 AM,Every\r\n");
        for (int i = 0; i < 200; ++i)
            insertTop(*w.grid(), {QStringLiteral("/source/%1").arg(i), "/d/", "1:00:00 AM", "Every"});
        {
            FileSizeLimit tiny(512);
            w.window.Command10_Click();
        }
        QCOMPARE(w.env.read("Plovern.txt"), QByteArray("/old,/d/,1:00:00 AM,Every\r\n"));
        QCOMPARE(QDir(w.env.folder.path()).entryList(QDir::Files | QDir::Hidden),
                 (QStringList{"Plovern.txt"})); // no temporary file left
    }

    void theWindowKeepsItsSizeAndRefusesToMaximise()
    {
        WindowUnderTest w;
        w.window.Form_Load();
        w.window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w.window));
        w.window.resize(800, 900);
        QTRY_COMPARE(w.window.size(), QSize(366, 519));
        w.window.setWindowState(Qt::WindowMaximized);
        QTRY_VERIFY(!(w.window.windowState() & Qt::WindowMaximized));
        QCOMPARE(w.window.size(), QSize(366, 519));
        w.window.setWindowState(Qt::WindowMinimized);
        QVERIFY(w.window.windowState() & Qt::WindowMinimized);
        w.window.setWindowState(Qt::WindowNoState);
        QCOMPARE(w.window.size(), QSize(366, 519));
    }

    void hideIsForGoodAndTheTimerKeepsTicking()
    {
        WindowUnderTest w;
        w.window.Form_Load();
        w.window.show();
        QTest::mouseClick(w.button("Command6"), Qt::LeftButton);
        QVERIFY(!w.window.isVisible());
        QVERIFY(w.window.isHiddenForGood());
        w.window.show();
        QVERIFY(!w.window.isVisible());
        QVERIFY(w.timer()->isActive());
        QCOMPARE(w.button("Command5")->text(), QStringLiteral("Stop Timer"));
    }

    void aClickOnThePurgeBoxIsSavedAtOnce()
    {
        WindowUnderTest w(QStringLiteral("-p"));
        w.window.Form_Load();
        QVERIFY(!QFile::exists(w.env.file("PLVSettings.txt"))); // start-up's own tick is not a change
        w.window.show();
        QTest::mouseClick(w.purge(), Qt::LeftButton);
        QCOMPARE(w.env.read("PLVSettings.txt"), QByteArray("0\r\n 0 \r\n"));
        QTest::mouseClick(w.purge(), Qt::LeftButton);
        QCOMPARE(w.env.read("PLVSettings.txt"), QByteArray("0\r\n 1 \r\n"));
    }

    void theLinkOpensTheHomePage()
    {
        WindowUnderTest w;
        w.window.show();
        QTest::mouseClick(w.label("Label12"), Qt::LeftButton);
        QCOMPARE(w.env.shell.opened, QStringList{QString::fromLatin1(kHomePage)});
        QVERIFY(w.env.boxes.shown.isEmpty());
    }

    void zipupDoesNothing()
    {
        WindowUnderTest w;
        w.window.Form_Load();
        w.window.Command12_Click();
        QVERIFY(QDir(w.env.folder.path()).entryList(QDir::Files).isEmpty());
        QVERIFY(w.env.boxes.shown.isEmpty());
    }
};

PLOVERN_WINDOW_TEST_MAIN(TestLifecycle)
#include "tst_lifecycle.moc"
