#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include "engine/clocktext.h"
#include "support/fakes.h"
#include "support/testmain.h"

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

    QTemporaryDir dir;
    QString program;
    QProcess process;
};

} // namespace

class TestEndToEnd : public QObject
{
    Q_OBJECT
private slots:
    void aHiddenProgramCopiesOnTimeAndSavesOnTerm()
    {
        Installed plovern;
        const QString source = plovern.dir.filePath(QStringLiteral("Reports"));
        const QString backup = plovern.dir.filePath(QStringLiteral("backup/"));
        makeTree(source, {{"a.txt", "alpha"}, {"sub/b.txt", "beta"}});
        QDir().mkpath(backup);

        const QDateTime due = QDateTime::currentDateTime().addSecs(2);
        const QByteArray schedule
            = (source + "," + backup + "," + clockText(due.time()) + ",Every\r\n" + "/never,/nowhere/,3:33:33 AM,9\r\n")
                  .toLocal8Bit();
        QFile file(plovern.file("Plovern.txt"));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(schedule);
        file.close();

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
        QTest::qWait(1500);
        QVERIFY(!QFileInfo::exists(plovern.file("Plovern.txt")));
        plovern.terminate();
        QCOMPARE(contentOf(plovern.file("Plovern.txt")), QByteArray());
        QCOMPARE(contentOf(plovern.file("PLVSettings.txt")), QByteArray("0\r\n 0 \r\n"));
    }

    void oneProgramPerProgramFolder()
    {
        Installed plovern;
        plovern.start({QStringLiteral("-h")});
        QTRY_VERIFY(QFileInfo::exists(plovern.file("Plovern.lock")));
        const QByteArray second = plovern.runAgain({QStringLiteral("-hp")});
        QVERIFY2(second.startsWith("0 ") && second.contains("already running"), second.constData());
        QCOMPARE(plovern.process.state(), QProcess::Running);

        // A crashed instance leaves its lock behind; it must not block the next start.
        plovern.process.kill();
        QVERIFY(plovern.process.waitForFinished());
        QVERIFY(QFileInfo::exists(plovern.file("Plovern.lock")));
        plovern.start({QStringLiteral("-h")});
        QTest::qWait(1000);
        QCOMPARE(plovern.process.state(), QProcess::Running);
        plovern.terminate();
    }

    void aHiddenProgramNeedsNoDisplay()
    {
        Installed plovern;
        // A display that is gone, as after the session that started it ended.
        plovern.start({QStringLiteral("-h")}, QString(), QStringLiteral(":97"));
        QTest::qWait(1500);
        QCOMPARE(plovern.process.state(), QProcess::Running);
        plovern.terminate();
        QCOMPARE(contentOf(plovern.file("PLVSettings.txt")), QByteArray("0\r\n 0 \r\n"));
    }

    void aReadOnlyProgramFolderKeepsTheFilesInTheUsersDataFolder()
    {
        Installed plovern;
        QTemporaryDir home;
        QVERIFY(QFile::setPermissions(plovern.dir.path(), QFile::ReadOwner | QFile::ExeOwner));
        plovern.start({}, home.path());
        QTest::qWait(1000);
        plovern.terminate();
        QVERIFY(QFile::setPermissions(plovern.dir.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
        QVERIFY(!QFileInfo::exists(plovern.file("PLVSettings.txt")));
        QCOMPARE(contentOf(home.filePath("plovern/PLVSettings.txt")), QByteArray("0\r\n 0 \r\n"));
        QCOMPARE(contentOf(home.filePath("plovern/Plovern.txt")), QByteArray());
    }
};

PLOVERN_TEST_MAIN(TestEndToEnd)
#include "tst_endtoend.moc"
