#include <pwd.h>
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>

#include <QDBusConnection>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QScopeGuard>
#include <QStandardPaths>
#include <QSysInfo>
#include <QTemporaryDir>
#include <QTest>

#include "core/platform/ownfolder.h"
#include "core/platform/process.h"
#include "core/platform/textfile.h"
#include "core/schedule/clocktext.h"
#include "core/storage/lasttick.h"
#include "support/core/fakes.h"
#include "support/core/sandbox.h"
#include "support/core/testmain.h"

using namespace plovern;
using namespace plovern::test;

namespace {

// The real executable, copied into a folder of its own, which is where it
// keeps its files.
struct Installed
{
    Installed()
    {
        program = dir.filePath(QStringLiteral("plovern"));
        QVERIFY(QFile::copy(QStringLiteral(PLOVERN_BINARY), program));
        QVERIFY(QFile::setPermissions(program, QFile::permissions(program) | QFile::ExeOwner));
    }

    void start(const QStringList& arguments, const QString& dataHome = QString(), const QString& display = QString())
    {
        startIn(process, arguments, dataHome, display);
        process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    }

    // A second start of the same installed copy.
    QByteArray runAgain(const QStringList& arguments)
    {
        QProcess second;
        second.setProcessChannelMode(QProcess::MergedChannels);
        startIn(second, arguments, QString(), QString());
        if (!second.waitForFinished(10000))
            return "<still running>";
        return QByteArray::number(second.exitCode()) + " " + second.readAll();
    }

    void startIn(QProcess& p, const QStringList& arguments, const QString& dataHome, const QString& display)
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        if (!dataHome.isEmpty())
            env.insert(QStringLiteral("XDG_DATA_HOME"), dataHome);
        env.remove(QStringLiteral("DISPLAY"));
        if (!display.isEmpty())
            env.insert(QStringLiteral("DISPLAY"), display);
        env.remove(QStringLiteral("WAYLAND_DISPLAY"));
        env.remove(QStringLiteral("QT_QPA_PLATFORM"));
        env.remove(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"));
        env.insert(extraEnvironment);
        p.setProcessEnvironment(env);
        p.start(program, arguments);
        QVERIFY(p.waitForStarted());
    }

    void terminate()
    {
        process.terminate(); // SIGTERM, as at log-off
        QVERIFY(process.waitForFinished(10000));
        QCOMPARE(process.exitStatus(), QProcess::NormalExit);
        QCOMPARE(process.exitCode(), 0);
    }

    QString file(const char* name) const { return dir.filePath(QString::fromLatin1(name)); }

    // One entry, due a moment ago: the kept mark says the program ran until
    // before it, so its first tick catches the copy up, however slowly it
    // starts, and no test waits for the wall clock to reach a second.
    void scheduleJustDue(const QString& source, const QString& destination)
    {
        const QDateTime due = justDue();
        QFile schedule(file("Plovern.txt"));
        QVERIFY(schedule.open(QIODevice::WriteOnly));
        schedule.write((source + "," + destination + "," + clockText(due.time()) + ",Every\r\n").toLocal8Bit());
        keptMarkBefore(due);
    }
    static QDateTime justDue() { return QDateTime::currentDateTime().addSecs(-2); }
    void keptMarkBefore(const QDateTime& due)
    {
        QVERIFY(saveFile(file("PLVLastTick.txt"), formatLastTick(due.addSecs(-3))));
    }
    // Waits until the program is through its start: its first tick kept a mark.
    void waitUntilTicking() { QTRY_VERIFY_WITH_TIMEOUT(QFileInfo::exists(file("PLVLastTick.txt")), 15000); }

    QProcessEnvironment extraEnvironment;

    QTemporaryDir dir;
    QString program;
    QProcess process;
};

// A real X server of the test's own (Xvfb), and xdotool to look at it as a
// user would; not there where either is missing.
class XServer
{
public:
    XServer()
    {
        if (QStandardPaths::findExecutable(QStringLiteral("xdotool")).isEmpty())
            return;
        // Xvfb picks a free display and says which once it takes clients;
        // it must not reset when its last client leaves, when it would refuse the next.
        m_server.start(QStringLiteral("Xvfb"),
                       {"-displayfd", "1", "-noreset", "-nolisten", "tcp", "-screen", "0", "800x600x24"});
        if (m_server.waitForStarted() && m_server.waitForReadyRead(10000))
            m_display = QLatin1Char(':') + QString::fromLatin1(m_server.readLine().trimmed());
    }
    ~XServer()
    {
        m_server.terminate();
        m_server.waitForFinished();
    }
    const QString& display() const { return m_display; }
    // What xdotool prints, or nothing when it fails.
    QByteArray xdotool(const QStringList& arguments) const
    {
        QProcess tool;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("DISPLAY"), m_display);
        tool.setProcessEnvironment(env);
        tool.start(QStringLiteral("xdotool"), arguments);
        const bool ran = tool.waitForFinished(10000) && tool.exitCode() == 0;
        return ran ? tool.readAllStandardOutput().trimmed() : QByteArray();
    }
    QByteArray shownWindow(const QString& title) const
    {
        return xdotool({"search", "--onlyvisible", "--name", '^' + title + '$'}).split('\n').first();
    }
    QByteArray focus() const { return xdotool({"getwindowfocus"}); }

private:
    QProcess m_server;
    QString m_display;
};

// Stands in for the desktop's notification service on a private session bus.
class NotificationService : public QObject
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.Notifications")
public slots:
    uint Notify(const QString& appName, uint, const QString&, const QString& summary, const QString& body,
                const QStringList&, const QVariantMap&, int)
    {
        calls.append({appName, summary, body});
        return static_cast<uint>(calls.size());
    }

public:
    QList<QStringList> calls;
};

} // namespace

class TestEndToEnd : public QObject
{
    Q_OBJECT
private slots:
    void aHiddenProgramCopiesWhatIsDueAndSavesOnTerm()
    {
        Installed plovern;
        const QString source = plovern.dir.filePath(QStringLiteral("Reports"));
        const QString backup = plovern.dir.filePath(QStringLiteral("backup/"));
        makeTree(source, {{"a.txt", "alpha"}, {"sub/b.txt", "beta"}});
        QDir().mkpath(backup);

        const QDateTime due = Installed::justDue();
        const QByteArray schedule
            = (source + "," + backup + "," + clockText(due.time()) + ",Every\r\n" + "/never,/nowhere/,3:33:33 AM,9\r\n")
                  .toLocal8Bit();
        QFile file(plovern.file("Plovern.txt"));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(schedule);
        file.close();
        plovern.keptMarkBefore(due);

        plovern.start({QStringLiteral("-h")});
        const QString copy = backup + QStringLiteral("Reports") + dateStamp(due.date());
        QTRY_VERIFY_WITH_TIMEOUT(QFileInfo::exists(plovern.file("SavedFilesDB.txt")), 15000);
        plovern.terminate();

        QCOMPARE(contentOf(copy + "/a.txt"), QByteArray("alpha"));
        QCOMPARE(contentOf(copy + "/sub/b.txt"), QByteArray("beta"));
        QCOMPARE(contentOf(plovern.file("SavedFilesDB.txt")), (copy + "\r\n").toLocal8Bit());
        const QList<QByteArray> lines = schedule.split('\n');
        QCOMPARE(contentOf(plovern.file("Plovern.txt")), lines[1] + '\n' + lines[0] + '\n');
        QCOMPARE(contentOf(plovern.file("PLVSettings.txt")), QByteArray("2\r\n 0 \r\n"));
    }

    void aFirstRunWithoutFilesCreatesThemAtTheEnd()
    {
        Installed plovern;
        plovern.start({});
        plovern.waitUntilTicking();
        QVERIFY(!QFileInfo::exists(plovern.file("Plovern.txt")));
        plovern.terminate();
        QCOMPARE(contentOf(plovern.file("Plovern.txt")), QByteArray());
        QCOMPARE(contentOf(plovern.file("PLVSettings.txt")), QByteArray("0\r\n 0 \r\n"));
    }

    void helpAndVersionPrintAndEndStartingNothing()
    {
        Installed plovern;
        const QByteArray help = plovern.runAgain({QStringLiteral("--help")});
        QVERIFY2(help.startsWith("0 Usage: plovern [-h | -p | -hp | --status]") && help.contains("--version"),
                 help.constData());
        const QByteArray version = plovern.runAgain({QStringLiteral("--version")});
        QVERIFY2(version.startsWith("0 plovern ") && version.count('\n') == 1, version.constData());
        // No scheduler was started: no lock, no files.
        QCOMPARE(QDir(plovern.dir.path()).entryList(QDir::Files), QStringList{"plovern"});
    }

    void statusTellsEachEntryBesideTheRunningProgram()
    {
        Installed plovern;
        const QString source = plovern.dir.filePath(QStringLiteral("Reports"));
        const QString backup = plovern.dir.filePath(QStringLiteral("backup/"));
        makeTree(source, {{"a.txt", "alpha"}});
        QDir().mkpath(backup);
        QCOMPARE(plovern.runAgain({QStringLiteral("--status")}), QByteArray("0 "));
        const QDateTime due = Installed::justDue();
        const QString at = clockText(due.time());
        QVERIFY(saveFile(
            plovern.file("Plovern.txt"),
            (source + "," + backup + "," + at + ",Every\r\n/gone\u2028\x1b[31m," + backup + "," + at + ",Every\r\n")
                .toLocal8Bit()));
        plovern.keptMarkBefore(due);
        plovern.start({QStringLiteral("-h")});
        QTRY_VERIFY_WITH_TIMEOUT(contentOf(plovern.file("PLVResults.txt")).count('\n') == 2, 15000);
        const QByteArray status = plovern.runAgain({QStringLiteral("--status")});
        const QList<QByteArray> lines = status.split('\n');
        QVERIFY2(lines.size() == 3 && status.startsWith("1 "), status.constData());
        QVERIFY2(lines[0].contains((source + " -> " + backup + ", Every " + at + "; last copy made ").toLocal8Bit())
                     && lines[0].contains(", 1 file, 5 bytes; next "),
                 status.constData());
        // A name that would break the line or colour the terminal is shown escaped.
        QVERIFY2(lines[1].contains("/gone\\u2028\\x1b[31m -> ") && lines[1].contains("; last copy failed "),
                 status.constData());
        QCOMPARE(plovern.process.state(), QProcess::Running); // no lock taken from it, nothing ended
        plovern.terminate();
        // Files it cannot read are no status at all.
        QVERIFY(QFile::setPermissions(plovern.file("PLVResults.txt"), {}));
        if (!QFile(plovern.file("PLVResults.txt")).open(QIODevice::ReadOnly)) {
            const QByteArray unread = plovern.runAgain({QStringLiteral("--status")});
            QVERIFY2(unread.startsWith("2 ") && unread.contains("cannot read the files in"), unread.constData());
        }
    }

    void oneProgramPerProgramFolder()
    {
        Installed plovern;
        plovern.start({QStringLiteral("-h")});
        QTRY_VERIFY(QFileInfo::exists(plovern.file("Plovern.lock")));
        const QByteArray second = plovern.runAgain({QStringLiteral("-hp")});
        QVERIFY2(second.startsWith("0 ") && second.contains("already running"), second.constData());
        // Hidden, it says how to end the running one.
        QVERIFY2(second.contains(QByteArray("End it with: kill ") + QByteArray::number(plovern.process.processId())),
                 second.constData());
        QCOMPARE(plovern.process.state(), QProcess::Running);

        // What a second start with a window does on Yes: the running one saves and ends.
        const qint64 first = plovern.process.processId();
        const OwnFolder files(plovern.dir.path());
        QCOMPARE(runningInstance(files, "Plovern.lock"), std::optional<qint64>(first));
        {
            FolderLock taken;
            QVERIFY(endRunningInstance(files, "Plovern.lock", 10000, &taken));
            QCOMPARE(taken.state(), FolderLock::State::held);
            QVERIFY(plovern.process.waitForFinished(5000));
            QCOMPARE(plovern.process.exitCode(), 0);
            QVERIFY(QFileInfo::exists(plovern.file("PLVSettings.txt")));
        }
        plovern.start({QStringLiteral("-h")});
        QTRY_VERIFY(runningInstance(files, "Plovern.lock") == std::optional<qint64>(plovern.process.processId()));

        // A crashed instance leaves its lock behind; it must not block the next start.
        plovern.process.kill();
        QVERIFY(plovern.process.waitForFinished());
        QVERIFY(QFileInfo::exists(plovern.file("Plovern.lock")));
        plovern.start({QStringLiteral("-h")});
        QTRY_VERIFY(runningInstance(files, "Plovern.lock") == std::optional<qint64>(plovern.process.processId()));
        plovern.terminate();

        // Whatever a stale lock holds, empty, a live pid (a pid reused after a reboot), or
        // nothing this user may read, it keeps no start out.
        const QByteArray livePid = QByteArray::number(QCoreApplication::applicationPid()) + "\nplovern\n"
            + QSysInfo::machineHostName().toUtf8() + "\n";
        for (const QByteArray& stale : {QByteArray(), livePid, QByteArray("unreadable")}) {
            QFile::remove(plovern.file("Plovern.lock"));
            QVERIFY(saveFile(plovern.file("Plovern.lock"), stale));
            if (stale == "unreadable")
                QVERIFY(QFile::setPermissions(plovern.file("Plovern.lock"), {}));
            QFile::remove(plovern.file("PLVLastTick.txt"));
            plovern.start({QStringLiteral("-h")});
            plovern.waitUntilTicking();
            QVERIFY2(plovern.process.state() == QProcess::Running, stale.constData());
            plovern.terminate();
        }
    }

    void aSecondStartBringsAShownWindowForwardAndEnds()
    {
        Installed plovern;
        const OwnFolder files(plovern.dir.path());
        plovern.start({});
        QTRY_VERIFY(instanceNote(files, "Plovern.lock").shown);
        // No box: one would wait for an answer that never comes.
        const QByteArray again = plovern.runAgain({});
        QVERIFY2(again.startsWith("0 ") && !again.contains("Plovern"), again.constData());
        QCOMPARE(plovern.process.state(), QProcess::Running);
        plovern.terminate(); // the request to come forward did not end it
        plovern.start({QStringLiteral("-h")});
        QTRY_VERIFY(runningInstance(files, "Plovern.lock") == std::optional<qint64>(plovern.process.processId()));
        QCOMPARE(instanceNote(files, "Plovern.lock"), InstanceNote{});
        plovern.terminate();
    }

    void aSecondStartOnARealScreenRaisesTheWindowOrAsks()
    {
        const XServer x;
        if (x.display().isEmpty())
            QSKIP("no Xvfb and xdotool here to show a real window");
        Installed plovern;
        const OwnFolder files(plovern.dir.path());
        plovern.start({}, QString(), x.display());
        QTRY_VERIFY2_WITH_TIMEOUT(!x.shownWindow("Plovern").isEmpty(),
                                  x.xdotool({"search", "--name", ""}) + ' ' + plovern.process.readAllStandardError(),
                                  15000);
        const QByteArray window = x.shownWindow("Plovern");
        QVERIFY(x.focus() != window);
        QProcess second;
        plovern.startIn(second, {}, QString(), x.display());
        QVERIFY(second.waitForFinished(10000));
        QTRY_COMPARE(x.focus(), window); // the running window came forward
        plovern.terminate();

        // Beside a hidden one, nothing can come forward: the second start asks.
        plovern.start({QStringLiteral("-h")}, QString(), x.display());
        QTRY_VERIFY(runningInstance(files, "Plovern.lock") == std::optional<qint64>(plovern.process.processId()));
        plovern.startIn(second, {}, QString(), x.display());
        QTRY_VERIFY_WITH_TIMEOUT(second.state() != QProcess::Running || !x.shownWindow("Plovern").isEmpty(), 15000);
        QVERIFY2(second.state() == QProcess::Running,
                 (QByteArray::number(second.exitCode()) + second.readAllStandardError())
                     .constData()); // the box waits for an answer
        second.kill();
        second.waitForFinished();
        QCOMPARE(plovern.process.state(), QProcess::Running);
        plovern.terminate();
    }

    void aHiddenProgramNeedsNoDisplay()
    {
        Installed plovern;
        // A display that is gone, as after the session that started it ended;
        // and the desktop's usual soft limit of open files.
        rlimit saved{};
        ::getrlimit(RLIMIT_NOFILE, &saved);
        rlimit usual = saved;
        usual.rlim_cur = std::min<rlim_t>(1024, saved.rlim_max);
        ::setrlimit(RLIMIT_NOFILE, &usual);
        plovern.start({QStringLiteral("-h")}, QString(), QStringLiteral(":97"));
        ::setrlimit(RLIMIT_NOFILE, &saved);
        plovern.waitUntilTicking();
        QCOMPARE(plovern.process.state(), QProcess::Running);
        // It may open as many files as it is allowed.
        const QByteArray limits = contentOf(QStringLiteral("/proc/%1/limits").arg(plovern.process.processId()));
        const QList<QByteArray> open
            = limits.mid(limits.indexOf("Max open files")).split('\n').first().simplified().split(' ');
        QCOMPARE(open.value(3), open.value(4));
        plovern.terminate();
        QCOMPARE(contentOf(plovern.file("PLVSettings.txt")), QByteArray("0\r\n 0 \r\n"));
    }

    void endingDuringACopyStopsItSoonAndSavesEverything()
    {
        Installed plovern;
        const QString source = plovern.dir.filePath(QStringLiteral("Many"));
        for (int folder = 0; folder < 20; ++folder) {
            QVERIFY(QDir().mkpath(QStringLiteral("%1/d%2").arg(source).arg(folder)));
            for (int i = 0; i < 1000; ++i) {
                QFile f(QStringLiteral("%1/d%2/f%3").arg(source).arg(folder).arg(i));
                QVERIFY(f.open(QIODevice::WriteOnly));
                f.write("x");
            }
        }
        const QString backup = plovern.dir.filePath(QStringLiteral("backup/"));
        QDir().mkpath(backup);
        plovern.scheduleJustDue(source, backup);
        plovern.start({QStringLiteral("-h")});
        const QString copy = backup + QStringLiteral("Many") + dateStamp(QDate::currentDate());
        QTRY_VERIFY_WITH_TIMEOUT(QFileInfo::exists(copy), 15000);
        // Soon: the log says the copy was stopped, not finished.
        plovern.process.terminate();
        QVERIFY(plovern.process.waitForFinished(10000));
        QCOMPARE(plovern.process.exitCode(), 0);
        const QByteArray log = contentOf(plovern.file("PlovernLog.txt"));
        QVERIFY2(log.contains("copy stopped as the program ended"), log.constData());
        QCOMPARE(contentOf(plovern.file("SavedFilesDB.txt")), (copy + "\r\n").toLocal8Bit());
        QVERIFY(contentOf(plovern.file("Plovern.txt")).startsWith(source.toLocal8Bit()));
        // The stopped copy's second is not passed, so the next start makes it again.
        plovern.start({QStringLiteral("-h")});
        const QByteArray made = ("copy made: " + source + " to " + copy + ", 20000 files").toLocal8Bit();
        QTRY_VERIFY_WITH_TIMEOUT(contentOf(plovern.file("PlovernLog.txt")).contains(made), 30000);
        plovern.terminate();
        QCOMPARE(QDir(copy + "/d19").count(), 1000u + 2);
    }

    void endingWhileADriveHangsStillEndsSoonAndSavesEverything()
    {
        Installed plovern;
        makeTree(plovern.dir.filePath("Big"), {{"data", QByteArray(1 << 20, 'b')}});
        FrozenShare hung(plovern.dir.path());
        if (!hung.mounted())
            QSKIP(qPrintable(TestDrive::skipReason()));
        plovern.scheduleJustDue(plovern.dir.filePath("Big"), hung.share());
        plovern.start({QStringLiteral("-h")});
        const QString copy = hung.server() + "/Big" + dateStamp(QDate::currentDate());
        QTRY_VERIFY_WITH_TIMEOUT(QFileInfo::exists(copy + "/data"), 15000);
        // A second start reads what it copies.
        QTRY_COMPARE(instanceNote(OwnFolder(plovern.dir.path()), "Plovern.lock").copying, QStringLiteral("Big"));
        // Everything is saved within seconds, the copy left to its drive.
        plovern.process.terminate();
        QTRY_COMPARE_WITH_TIMEOUT(contentOf(plovern.file("PLVSettings.txt")), QByteArray("1\r\n 0 \r\n"), 5000);
        QTRY_VERIFY_WITH_TIMEOUT(contentOf(plovern.file("PLVLastTick.txt")) != "<missing>", 5000);
        QVERIFY(contentOf(plovern.file("Plovern.txt")).contains("share/"));
        // A call the drive's server took and never answered holds the process in
        // the kernel until it does; then it ends at once, waiting for nothing.
        hung.thaw();
        QVERIFY(plovern.process.waitForFinished(5000));
        QCOMPARE(plovern.process.exitCode(), 0);
    }

    void aFailedCopyIsToldOnTheDesktop()
    {
        QProcess bus;
        bus.start(QStringLiteral("dbus-daemon"), {"--session", "--nofork", "--print-address=1"});
        if (!bus.waitForStarted())
            QSKIP("no dbus-daemon to give the test a session bus of its own");
        QVERIFY(bus.waitForReadyRead(5000));
        const QString address = QString::fromLatin1(bus.readLine().trimmed());
        const auto stopBus = qScopeGuard([&] {
            bus.kill();
            bus.waitForFinished();
        });
        QDBusConnection connection = QDBusConnection::connectToBus(address, QStringLiteral("notifications"));
        NotificationService service;
        QVERIFY(connection.registerObject(QStringLiteral("/org/freedesktop/Notifications"), &service,
                                          QDBusConnection::ExportAllSlots));
        QVERIFY(connection.registerService(QStringLiteral("org.freedesktop.Notifications")));

        Installed plovern;
        plovern.extraEnvironment.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"), address);
        // A name with markup in it is shown as it is, never read as markup.
        const QString missing = plovern.dir.filePath(QStringLiteral("Unplugged <b>BOLD</b> & <img src='x'>"));
        QDir().mkpath(plovern.dir.filePath(QStringLiteral("backup")));
        plovern.scheduleJustDue(missing, plovern.dir.filePath(QStringLiteral("backup/")));
        plovern.start({QStringLiteral("-h")});
        QTRY_COMPARE_WITH_TIMEOUT(service.calls.size(), 1, 15000);
        plovern.terminate();
        const QStringList call = service.calls.first();
        QCOMPARE(call[0], QStringLiteral("Plovern"));
        QVERIFY(call[1].contains(missing));
        QVERIFY(call[2].contains(plovern.file("PlovernLog.txt")));
        QVERIFY2(call[2].contains("Unplugged &lt;b&gt;BOLD&lt;/b&gt; &amp; &lt;img src='x'&gt;")
                     && !call[2].contains('<'),
                 qPrintable(call[2]));
    }

    void aReadOnlyProgramFolderKeepsTheFilesInTheUsersDataFolder()
    {
        Installed plovern;
        QTemporaryDir home;
        // Root's are in root's own folder, whatever the environment says.
        QString data = home.filePath("plovern");
        if (::geteuid() == 0) {
            data = QDir(QFile::decodeName(::getpwuid(0)->pw_dir)).filePath(".local/share/plovern");
            if (QFileInfo::exists(data))
                QSKIP("root's own Plovern folder is there, and this test would change it");
        }
        const auto removeRoots = qScopeGuard([&] {
            if (::geteuid() == 0)
                QDir(data).removeRecursively();
        });
        QVERIFY(QFile::setPermissions(plovern.dir.path(), QFile::ReadOwner | QFile::ExeOwner));
        plovern.start({}, home.path());
        QTRY_VERIFY(QFileInfo::exists(data + "/Plovern.lock"));
        plovern.terminate();
        QVERIFY(QFile::setPermissions(plovern.dir.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
        QVERIFY(!QFileInfo::exists(plovern.file("PLVSettings.txt")));
        QCOMPARE(contentOf(data + "/PLVSettings.txt"), QByteArray("0\r\n 0 \r\n"));
        QCOMPARE(contentOf(data + "/Plovern.txt"), QByteArray());
        if (::geteuid() == 0)
            QVERIFY(QDir(home.path()).isEmpty());
    }
};

PLOVERN_TEST_MAIN(TestEndToEnd)
#include "tst_endtoend.moc"
