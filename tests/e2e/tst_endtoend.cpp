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

    void start(const QStringList& arguments, const QString& dataHome = QString())
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        if (!dataHome.isEmpty())
            env.insert(QStringLiteral("XDG_DATA_HOME"), dataHome);
        env.remove(QStringLiteral("DISPLAY"));
        env.remove(QStringLiteral("WAYLAND_DISPLAY"));
        env.remove(QStringLiteral("QT_QPA_PLATFORM"));
        process.setProcessEnvironment(env);
        process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        process.start(program, arguments);
        QVERIFY(process.waitForStarted());
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
