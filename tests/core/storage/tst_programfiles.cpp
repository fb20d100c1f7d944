#include <grp.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include "core/platform/textfile.h"
#include "core/storage/programfiles.h"
#include "support/core/testmain.h"

using namespace plovern;

namespace {

void setMode(const QString& path, mode_t mode)
{
    QVERIFY(::chmod(QFile::encodeName(path).constData(), mode) == 0);
}

} // namespace

class TestProgramFiles : public QObject
{
    Q_OBJECT
private slots:
    void filesOthersMayChangeSteerNothing()
    {
        QTemporaryDir dir;
        const QString folder = dir.filePath("program");
        QVERIFY(QDir().mkpath(folder));
        setMode(folder, 0755);
        const QString schedule = folder + "/Plovern.txt";
        QVERIFY(saveFile(schedule, "/etc/ssl/private,/media/stick/,1:00:00 AM,Every\r\n"));
        setMode(schedule, 0644);
        QCOMPARE(ProgramFiles(folder).judge(), QString());

        // A schedule any user may write, as in the field.
        setMode(schedule, 0666);
        QVERIFY(ProgramFiles(folder).judge().contains("Plovern.txt: any user may change it"));
        setMode(schedule, 0644);

        // A folder any user may write: they may replace the files whatever their modes.
        setMode(folder, 0777);
        QVERIFY(ProgramFiles(folder).judge().contains("any user may change it"));
        // With the sticky bit they may not, as long as the files are ours.
        setMode(folder, 01777);
        QCOMPARE(ProgramFiles(folder).judge(), QString());
        // A folder above that any user may write lets them swap ours.
        setMode(folder, 0755);
        setMode(dir.path(), 0777);
        QVERIFY(ProgramFiles(folder).judge().startsWith("the folder " + dir.path()));
        setMode(dir.path(), 0700);

        // A link is judged by what it leads to.
        QVERIFY(QFile::rename(schedule, folder + "/real.txt"));
        QVERIFY(QFile::link(folder + "/real.txt", schedule));
        QCOMPARE(ProgramFiles(folder).judge(), QString());
        setMode(folder + "/real.txt", 0666);
        QVERIFY(!ProgramFiles(folder).judge().isEmpty());
        setMode(folder + "/real.txt", 0644);

        // Group write: fine for the user's own private group only.
        const passwd* me = ::getpwuid(::geteuid());
        const group* own = me ? ::getgrgid(me->pw_gid) : nullptr;
        setMode(folder + "/real.txt", 0664);
        if (own && QByteArray(own->gr_name) == me->pw_name)
            QCOMPARE(ProgramFiles(folder).judge(), QString());
        if (::geteuid() != 0)
            QSKIP("files of other users and groups need root to make");
        QVERIFY(::chown(QFile::encodeName(folder + "/real.txt").constData(), 0, 4321) == 0);
        QVERIFY(ProgramFiles(folder).judge().contains("its group"));
        QVERIFY(::chown(QFile::encodeName(folder + "/real.txt").constData(), 1234, 0) == 0);
        QVERIFY(ProgramFiles(folder).judge().contains("belongs to user 1234"));
    }
};

PLOVERN_TEST_MAIN(TestProgramFiles)
#include "tst_programfiles.moc"
