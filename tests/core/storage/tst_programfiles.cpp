#include <grp.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QTest>

#include "core/engine/purge.h"
#include "core/platform/logfile.h"
#include "core/platform/process.h"
#include "core/platform/textfile.h"
#include "core/storage/copybook.h"
#include "core/storage/programfiles.h"
#include "support/core/fakes.h"
#include "support/core/sandbox.h"
#include "support/core/testmain.h"

using namespace plovern;
using namespace plovern::test;

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

        // A schedule any user may write, as in the field: then nothing is
        // written there, not even the lock.
        setMode(schedule, 0666);
        ProgramFiles distrusted(folder);
        QVERIFY(distrusted.judge().contains("Plovern.txt: any user may change it"));
        QCOMPARE(lockProgramFolder(*distrusted.folder(), kLockFile).state(), FolderLock::State::unavailable);
        QVERIFY(!distrusted.saveSettings("1", false));
        QCOMPARE(QDir(folder).entryList(QDir::Files | QDir::Hidden), QStringList{"Plovern.txt"});
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
    void filesAnotherUserPlantsAfterTheStartSteerNothing()
    {
        if (::geteuid() != 0)
            QSKIP("another user's files need root to make");
        QTemporaryDir dir;
        setMode(dir.path(), 0755);
        const QString folder = dir.filePath("program");
        QVERIFY(QDir().mkpath(folder));
        setMode(folder, 01777); // sticky, as the README allows
        ProgramFiles files(folder);
        QCOMPARE(files.judge(), QString());

        // After the start she plants a record and a book that send the purge
        // to a folder of root's, a last tick, a lock, and a log that is a
        // link to a file of root's.
        const QString victim = dir.filePath("backup/Photos12252019");
        makeTree(victim, {{"photo", "p"}});
        makeTree(dir.filePath("backup/Photos152026"), {{"photo", "p"}});
        const QString roots = dir.filePath("roots.txt");
        QVERIFY(saveFile(roots, "root's\n"));
        const QByteArray planted = inChild([&] {
            const MadeCopy made{dir.filePath("backup/Photos152026"),
                                "/home/alice/Photos",
                                dir.filePath("backup/"),
                                {2026, 1, 5},
                                true,
                                1};
            const bool ok = becomeUser(kNobody) && saveFile(folder + "/SavedFilesDB.txt", (victim + "\r\n").toUtf8())
                && saveFile(folder + "/PLVCopies.txt", formatCopyBook({made}))
                && saveFile(folder + "/PLVLastTick.txt", "2026-01-01T00:00:00\r\n")
                && saveFile(folder + "/Plovern.lock", "1\n") && QFile::link(roots, folder + "/PlovernLog.txt");
            return QByteArray(ok ? "planted" : "not planted");
        });
        QCOMPARE(planted, QByteArray("planted"));

        const PurgeResult purged = purgeEarlierCopies(files.copyPlaces({}), 2026);
        QVERIFY(QFileInfo::exists(victim + "/photo"));
        QVERIFY2(purged.failures.join(' ').contains("SavedFilesDB.txt: it belongs to user nobody"),
                 qPrintable(purged.failures.join(' ')));
        QDateTime tick;
        QVERIFY(!files.loadLastTick(&tick));
        LogFile log(files.folder(), kLogFile);
        log.write(QDateTime::currentDateTime(), "copy made");
        QCOMPARE(contentOf(roots), QByteArray("root's\n"));
        // Her lock keeps no one out.
        QCOMPARE(lockProgramFolder(*files.folder(), kLockFile).state(), FolderLock::State::unavailable);
    }

    void aclEntriesCount()
    {
        QTemporaryDir dir;
        const QString folder = dir.filePath("program");
        QVERIFY(QDir().mkpath(folder));
        ProgramFiles files(folder);
        QVERIFY(files.saveSchedule({}));
        const QString schedule = files.path(kScheduleFile);
        // setfacl -m u:nobody:rw: the mask shows as the group's write.
        if (!setAcl(schedule, "system.posix_acl_access",
                    {{0x01, 6, 0}, {0x02, 6, kNobody}, {0x04, 4, 0}, {0x10, 6, 0}, {0x20, 4, 0}}))
            QSKIP("this drive keeps no ACLs");
        QVERIFY2(ProgramFiles(folder).judge().contains("user nobody may change it (ACL)"),
                 qPrintable(ProgramFiles(folder).judge()));
        // setfacl -m g:nogroup:rw: a group of others through its own entry.
        QVERIFY(setAcl(schedule, "system.posix_acl_access",
                       {{0x01, 6, 0}, {0x04, 4, 0}, {0x08, 6, kNobody}, {0x10, 6, 0}, {0x20, 4, 0}}));
        QVERIFY2(ProgramFiles(folder).judge().contains(" may change it (ACL)"),
                 qPrintable(ProgramFiles(folder).judge()));
        // A mask without write leaves her none.
        QVERIFY(setAcl(schedule, "system.posix_acl_access",
                       {{0x01, 6, 0}, {0x02, 6, kNobody}, {0x04, 4, 0}, {0x10, 4, 0}, {0x20, 4, 0}}));
        QCOMPARE(ProgramFiles(folder).judge(), QString());

        // A default ACL on the folder gives her nothing in the files the
        // program writes there, whatever mode they keep.
        QVERIFY(QFile::remove(schedule));
        QVERIFY(saveFile(schedule, ""));
        setMode(schedule, 0664);
        QVERIFY(setAcl(folder, "system.posix_acl_default",
                       {{0x01, 7, 0}, {0x02, 6, kNobody}, {0x04, 5, 0}, {0x10, 7, 0}, {0x20, 5, 0}}));
        QVERIFY(files.saveSchedule({}));
        QVERIFY(files.saveSettings("3", false));
        QCOMPARE(ProgramFiles(folder).judge(), QString());
    }

    void aGroupWithAnyoneElseInItIsNotPrivate()
    {
        QTemporaryDir dir;
        const QString folder = dir.filePath("program");
        QVERIFY(QDir().mkpath(folder));
        QVERIFY(saveFile(folder + "/Plovern.txt", ""));
        setMode(folder + "/Plovern.txt", 0664);
        const QString passwd = dir.filePath("passwd");
        const QString group = dir.filePath("group");
        const QByteArray me = ::getpwuid(::geteuid())->pw_name;
        const QByteArray id = QByteArray::number(::geteuid()) + ':' + QByteArray::number(::getegid());
        const auto accounts = [&](const QByteArray& users, const QByteArray& groups) {
            QFile p(passwd), g(group); // written in place: the mounts show the same files
            return p.open(QIODevice::WriteOnly | QIODevice::Truncate) && p.write(users) == users.size()
                && g.open(QIODevice::WriteOnly | QIODevice::Truncate) && g.write(groups) == groups.size();
        };
        const QByteArray alone = me + ":x:" + id + "::/:/bin/sh\nmallory:x:4242:4242::/:/bin/sh\n";
        const QByteArray ownGroup = me + ":x:" + QByteArray::number(::getegid()) + ":";
        QVERIFY(accounts(alone, ownGroup + "\nmallory:x:4242:\n"));
        const QByteArray judged = inChild([&] {
            if (!enterMountNamespace() || !bindMount(passwd, "/etc/passwd") || !bindMount(group, "/etc/group"))
                return QByteArray("no namespace");
            QByteArray seen = ProgramFiles(folder).judge().isEmpty() ? "trusted" : "distrusted";
            // usermod -aG: she is a member.
            accounts(alone, ownGroup + "mallory\nmallory:x:4242:\n");
            seen += ProgramFiles(folder).judge().contains("its group") ? " member" : " -";
            // Or it is her primary group.
            accounts(alone + "eve:x:4343:" + QByteArray::number(::getegid()) + "::/:/bin/sh\n",
                     ownGroup + "\nmallory:x:4242:\n");
            seen += ProgramFiles(folder).judge().contains("its group") ? " primary" : " -";
            return seen;
        });
        if (judged == "no namespace")
            QSKIP("no mount namespace here");
        QCOMPARE(judged, QByteArray("trusted member primary"));
    }

    void aLinkIsTrustedOnlyWithItsWay()
    {
        if (::geteuid() != 0)
            QSKIP("a folder of another user needs root to make");
        QTemporaryDir dir;
        setMode(dir.path(), 0755);
        const QString theirs = dir.filePath("theirs");
        QVERIFY(QDir().mkpath(theirs));
        QVERIFY(saveFile(theirs + "/record.txt", "")); // root's file, in her folder
        QVERIFY(::chown(QFile::encodeName(theirs).constData(), kNobody, kNobody) == 0);
        const auto giveBack = qScopeGuard([&] { (void)!::chown(QFile::encodeName(theirs).constData(), 0, 0); });
        const QString folder = dir.filePath("program");
        QVERIFY(QDir().mkpath(folder));
        QVERIFY(QFile::link(theirs + "/record.txt", folder + "/SavedFilesDB.txt"));
        const QString why = ProgramFiles(folder).judge();
        QVERIFY2(why.contains("the folder " + theirs + ": it belongs to user nobody"), qPrintable(why));
        // The same link to a file on a way that is all root's is fine.
        QVERIFY(QDir().mkpath(dir.filePath("roots")));
        QVERIFY(saveFile(dir.filePath("roots/record.txt"), ""));
        QVERIFY(QFile::remove(folder + "/SavedFilesDB.txt"));
        QVERIFY(QFile::link(dir.filePath("roots/record.txt"), folder + "/SavedFilesDB.txt"));
        QCOMPARE(ProgramFiles(folder).judge(), QString());
    }
};

PLOVERN_TEST_MAIN(TestProgramFiles)
#include "tst_programfiles.moc"
