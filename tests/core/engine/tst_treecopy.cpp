#include <csignal>

#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QMap>
#include <QProcess>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include "core/engine/datedcopy.h"
#include "core/engine/entries.h"
#include "core/engine/filecopy.h"
#include "core/engine/room.h"
#include "core/engine/treecopy.h"
#include "core/engine/treedelete.h"
#include "core/platform/paths.h"
#include "core/platform/textfile.h"
#include "core/platform/volumes.h"
#include "support/core/fakes.h"
#include "support/core/sandbox.h"
#include "support/core/testmain.h"

using namespace plovern;
using namespace plovern::test;

namespace {

struct stat statOf(const QString& path)
{
    struct stat st
    {
    };
    ::lstat(QFile::encodeName(path).constData(), &st);
    return st;
}

// A pid that belonged to a process that has ended.
pid_t endedPid()
{
    const pid_t pid = ::fork();
    if (pid == 0)
        ::_exit(0);
    ::waitpid(pid, nullptr, 0);
    return pid;
}

QByteArray reportBytes(const CopyReport& report)
{
    return QStringLiteral("%1|%2|%3")
        .arg(report.failureText(), report.warnings.join(QLatin1Char(';')))
        .arg(report.targetExists)
        .toUtf8();
}

// A clone call that answers as a drive would: `answer`, or 0 after copying
// the data itself, as a drive that shares would make it appear.
struct ScriptedClone
{
    int answer = 0;
    std::atomic<int> calls{0};

    CloneCall call()
    {
        return [this](int out, int in) {
            ++calls;
            if (answer != 0)
                return answer;
            char buffer[4096];
            for (off_t at = 0;;) {
                const ssize_t got = ::pread(in, buffer, sizeof buffer, at);
                if (got <= 0)
                    return got == 0 ? 0 : errno;
                if (::pwrite(out, buffer, size_t(got), at) != got)
                    return errno;
                at += got;
            }
        };
    }
};

} // namespace

class TestTreeCopy : public QObject
{
    Q_OBJECT
private:
    QTemporaryDir m_dir;
    QString path(const QString& name) const { return m_dir.filePath(name); }

private slots:
    void init() { QVERIFY(m_dir.isValid()); }
    void cleanup()
    {
        // Leave the next test a clean, deletable folder.
        QDirIterator it(m_dir.path(), QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System,
                        QDirIterator::Subdirectories);
        while (it.hasNext())
            ::chmod(QFile::encodeName(it.next()).constData(), 0755);
        for (const QString& name : QDir(m_dir.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden))
            QDir(path(name)).removeRecursively(), QFile::remove(path(name));
    }

    void copiesTheWholeTreeWithModesTimesAndLinks()
    {
        makeTree(path("src"),
                 {{"a.txt", "alpha"},
                  {"sub/b.bin", QByteArray(300000, 'b')},
                  {"sub/deeper/c", ""},
                  {"empty/", {}},
                  {".hidden", "h"}});
        ::chmod(QFile::encodeName(path("src/a.txt")).constData(), 0640);
        const QDateTime old(QDate(2020, 5, 4), QTime(3, 2, 1), Qt::UTC);
        {
            QFile f(path("src/sub/b.bin"));
            QVERIFY(f.open(QIODevice::ReadWrite));
            QVERIFY(f.setFileTime(old, QFileDevice::FileModificationTime));
        }
        QVERIFY(QFile::link(QStringLiteral("../outside"), path("src/link-out")));
        QVERIFY(QFile::link(path("src"), path("src/sub/loop"))); // would recurse forever if followed
        QVERIFY(::mkfifo(QFile::encodeName(path("src/pipe")).constData(), 0644) == 0);

        QCOMPARE(copyTree(path("src"), path("dst")).failureText(), QString());

        QCOMPARE(entriesBelow(path("dst")),
                 (QStringList{".hidden", "a.txt", "empty", "link-out", "sub", "sub/b.bin", "sub/deeper", "sub/deeper/c",
                              "sub/loop"}));
        QCOMPARE(contentOf(path("dst/a.txt")), QByteArray("alpha"));
        QCOMPARE(contentOf(path("dst/sub/b.bin")), QByteArray(300000, 'b'));
        QCOMPARE(QFileInfo(path("dst/a.txt")).permissions() & 0x7777,
                 QFileInfo(path("src/a.txt")).permissions() & 0x7777);
        QCOMPARE(QFileInfo(path("dst/sub/b.bin")).lastModified().toUTC(), old);
        QVERIFY(QFileInfo(path("dst/sub/loop")).isSymLink());
        QCOMPARE(QFileInfo(path("dst/link-out")).symLinkTarget(), QFileInfo(path("outside")).absoluteFilePath());
    }

    void mergesIntoAnEarlierCopyOfTheSameDay()
    {
        makeTree(path("src"), {{"same.txt", "new"}, {"sub/x", "x2"}});
        makeTree(path("dst"), {{"same.txt", "old"}, {"only-in-target.txt", "keep"}, {"sub/x", "x1"}});
        QCOMPARE(copyTree(path("src"), path("dst")).failureText(), QString());
        QCOMPARE(contentOf(path("dst/same.txt")), QByteArray("new"));
        QCOMPARE(contentOf(path("dst/sub/x")), QByteArray("x2"));
        QCOMPARE(contentOf(path("dst/only-in-target.txt")), QByteArray("keep"));
        QCOMPARE(entriesBelow(path("dst")), (QStringList{"only-in-target.txt", "same.txt", "sub", "sub/x"}));
    }

    void aSecondCopyOfReadOnlyFoldersStillMerges()
    {
        makeTree(path("src"), {{"locked/a", "1"}});
        ::chmod(QFile::encodeName(path("src/locked")).constData(), 0555);
        ::chmod(QFile::encodeName(path("src")).constData(), 0555);
        QCOMPARE(copyTree(path("src"), path("dst")).failureText(), QString());
        ::chmod(QFile::encodeName(path("src")).constData(), 0755);
        ::chmod(QFile::encodeName(path("src/locked")).constData(), 0755);
        makeTree(path("src"), {{"locked/a", "2"}, {"locked/b", "new"}});
        ::chmod(QFile::encodeName(path("src/locked")).constData(), 0555);
        QCOMPARE(copyTree(path("src"), path("dst")).failureText(), QString());
        QCOMPARE(contentOf(path("dst/locked/a")), QByteArray("2"));
        QCOMPARE(contentOf(path("dst/locked/b")), QByteArray("new"));
        QCOMPARE(QFileInfo(path("dst/locked")).permissions() & 0x7777,
                 QFileInfo(path("src/locked")).permissions() & 0x7777);
    }

    void aMissingDestinationParentCreatesNothing()
    {
        makeTree(path("src"), {{"a", "a"}});
        QCOMPARE(copyTree(path("src"), path("unmounted/drive/copy")).failures, 1);
        QVERIFY(!QFileInfo::exists(path("unmounted")));
    }

    void aTargetInsideTheSourceIsRefused()
    {
        makeTree(path("src"), {{"a", "a"}});
        QCOMPARE(copyTree(path("src"), path("src/src1272026")).failures, 1);
        QCOMPARE(copyTree(path("src"), path("src")).failures, 1);
        QCOMPARE(entriesBelow(path("src")), QStringList{"a"});
    }

    void anUnreadableFileFailsTheCopyButNotTheRest()
    {
        makeTree(path("src"), {{"a", "a"}, {"locked", "secret"}, {"z/z", "z"}});
        ::chmod(QFile::encodeName(path("src/locked")).constData(), 0);
        const CopyReport report = copyTree(path("src"), path("dst"));
        QCOMPARE(report.failures, 1);
        QVERIFY(report.firstFailure.contains(QStringLiteral("locked")));
        QCOMPARE(contentOf(path("dst/a")), QByteArray("a"));
        QCOMPARE(contentOf(path("dst/z/z")), QByteArray("z"));
        QVERIFY(!QFileInfo::exists(path("dst/locked")));
    }

    void aFailedWriteNeverTearsTheEarlierCopy()
    {
        makeTree(path("src"), {{"big.bin", QByteArray(256 * 1024, 'n')}, {"fresh.bin", QByteArray(256 * 1024, 'f')}});
        makeTree(path("dst"), {{"big.bin", "the earlier good copy"}});
        CopyReport report;
        {
            FileSizeLimit limit(64 * 1024);
            report = copyTree(path("src"), path("dst"));
        }
        QCOMPARE(report.failures, 2);
        QCOMPARE(contentOf(path("dst/big.bin")), QByteArray("the earlier good copy"));
        // Neither a torn new file nor a temporary one is left behind.
        QCOMPARE(entriesBelow(path("dst")), QStringList{"big.bin"});
    }

    void failuresAreCountedOnceNamingTheSourceAndThePartialCopyIsRecorded()
    {
        makeTree(path("Reports"), {{"a", "a"}, {"x/locked1", "1"}, {"x/locked2", "2"}, {"x/locked3", "3"}});
        for (const char* name : {"Reports/x/locked1", "Reports/x/locked2", "Reports/x/locked3"})
            ::chmod(QFile::encodeName(path(name)).constData(), 0);
        QDir().mkpath(path("backup"));
        const CopyOutcome outcome = makeDatedCopy(path("Reports"), path("backup/"), QDate(2026, 12, 7));
        QCOMPARE(outcome.report.failures, 3);
        QVERIFY2(outcome.report.failureText().startsWith(path("Reports/x/locked")),
                 qPrintable(outcome.report.failureText()));
        QVERIFY(outcome.report.failureText().endsWith(QStringLiteral("(and 2 more)")));
        QVERIFY(outcome.report.targetExists); // the purge must be able to find what was made
        QCOMPARE(contentOf(path("backup/Reports1272026/a")), QByteArray("a"));
    }

    void metadataTheDriveCannotStoreIsAWarning()
    {
        // A drive that refuses modes, owners and attributes, as FAT does.
        makeTree(path("src"), {{"shared.txt", "s"}, {"sub/deep.txt", "d"}});
        ::chmod(QFile::encodeName(path("src/shared.txt")).constData(), 0664);
        ::chmod(QFile::encodeName(path("src/sub")).constData(), 0750);
        // Each drive answers with its own errno: FAT ENOSYS or EPERM, an sshfs share EACCES.
        for (const int error : {ENOSYS, EACCES}) {
            const QByteArray result = inChild([&] {
                if (!refuseSyscalls({SYS_fchmod, SYS_fchmodat, SYS_fchown, SYS_fchownat, SYS_fsetxattr}, error))
                    return QByteArray("<no seccomp>");
                return reportBytes(copyTree(path("src"), path("dst")));
            });
            QVERIFY2(result.startsWith("|modes not kept on 3 entries"), result.constData());
            QVERIFY(result.endsWith("|1"));
            QCOMPARE(contentOf(path("dst/sub/deep.txt")), QByteArray("d"));
            QVERIFY(QDir(path("dst")).removeRecursively());
        }
    }

    void anEntryGoneSinceTheListingIsAWarningAnyOtherFailureFails()
    {
        makeTree(path("src"), {{"a", "a"}});
        QVERIFY(QFile::link("a", path("src/ln")));
        // The link is read after its folder was listed: gone by then, or unreadable.
        for (const int error : {ENOENT, EIO}) {
            const QByteArray result = inChild([&] {
                if (!refuseSyscalls({SYS_readlinkat}, error))
                    return QByteArray("<no seccomp>");
                return reportBytes(copyTree(path("src"), path("dst")));
            });
            if (error == ENOENT)
                QCOMPARE(result, QByteArray("|1 entry vanished from the source during the copy|1"));
            else
                QVERIFY2(result.contains("/src/ln: cannot read link: Input/output error|"), result.constData());
            QCOMPARE(contentOf(path("dst/a")), QByteArray("a"));
            QVERIFY(QDir(path("dst")).removeRecursively());
        }
    }

    void aDefaultAclAtTheDestinationChangesNoModeNorAcl()
    {
        // A backup folder whose default ACL gives another user rights to what is made in it.
        QVERIFY(QDir().mkpath(path("backup")));
        if (!setAcl(path("backup"), "system.posix_acl_default",
                    {{0x01, 7, ~0u}, {0x02, 7, 1234}, {0x04, 7, ~0u}, {0x10, 7, ~0u}, {0x20, 5, ~0u}}))
            QSKIP("this drive keeps no ACLs");
        makeTree(path("src"), {{"plain.txt", "p"}, {"private/key", "k"}, {"shared.txt", "s"}});
        ::chmod(QFile::encodeName(path("src/plain.txt")).constData(), 0644);
        ::chmod(QFile::encodeName(path("src/private/key")).constData(), 0600);
        ::chmod(QFile::encodeName(path("src/private")).constData(), 0750);
        QVERIFY(setAcl(path("src/shared.txt"), "system.posix_acl_access",
                       {{0x01, 6, ~0u}, {0x02, 4, 4321}, {0x04, 4, ~0u}, {0x10, 4, ~0u}, {0x20, 0, ~0u}}));
        QVERIFY(cpA(QFile::encodeName(path("src")), QFile::encodeName(path("backup/cp"))));
        QCOMPARE(copyTree(path("src"), path("backup/copy")).failureText(), QString());
        QCOMPARE(treeListing(QFile::encodeName(path("backup/copy"))),
                 treeListing(QFile::encodeName(path("backup/cp"))));
        QCOMPARE(statOf(path("backup/copy/plain.txt")).st_mode & 07777, mode_t(0644));
        // Merging into the day's copy made before the ACL was there changes nothing either.
        QCOMPARE(copyTree(path("src"), path("backup/copy")).failureText(), QString());
        QCOMPARE(treeListing(QFile::encodeName(path("backup/copy"))),
                 treeListing(QFile::encodeName(path("backup/cp"))));
    }

    void aSecondCopyOfTheDaySkipsUnchangedFilesAndClearsStaleTemporaries()
    {
        makeTree(path("src"), {{"same", "same"}, {"changed", "old"}, {"mode", "m"}, {"sub/x", "x"}});
        settle();
        const CopyReport first = copyTree(path("src"), path("dst"));
        QCOMPARE(first.failureText(), QString());
        Reuse sameDay;
        sameDay.merged = {first.started, first.ended};
        const ino_t sameInode = statOf(path("dst/same")).st_ino;
        makeTree(path("src"), {{"changed", "new"}});
        // Same size and time, another mode: not the same file.
        ::chmod(QFile::encodeName(path("src/mode")).constData(), 0600);
        // Left by a copy that was killed, one that another copy is still
        // writing, and a file of the user's that only looks alike.
        QProcess running;
        running.start("sleep", {"60"});
        QVERIFY(running.waitForStarted());
        const QString stale = QStringLiteral(".plovern-%1-7.part").arg(endedPid());
        const QString busy = QStringLiteral(".plovern-%1-3.part").arg(running.processId());
        makeTree(path("dst"),
                 {{stale, "torn"}, {"sub/" + stale, "torn"}, {busy, "half"}, {".plovern-notes.part", "mine"}});

        QCOMPARE(copyTree(path("src"), path("dst"), 2, nullptr, &sameDay).failureText(), QString());
        running.kill();
        running.waitForFinished();
        QCOMPARE(statOf(path("dst/same")).st_ino, sameInode);
        QCOMPARE(contentOf(path("dst/changed")), QByteArray("new"));
        QCOMPARE(statOf(path("dst/mode")).st_mode & 07777, mode_t(0600));
        QCOMPARE(entriesBelow(path("dst")),
                 (QStringList{busy, ".plovern-notes.part", "changed", "mode", "same", "sub", "sub/x"}));
    }

    void unchangedFilesAreClonedFromTheReferenceAndNothingElse()
    {
        makeTree(path("src"),
                 {{"same", "same"},
                  {"retimed", "abc"},
                  {"resized", "abc"},
                  {"sub/same", "s"},
                  {"through-link/f", "f"},
                  {"linked", "l"},
                  {"empty", ""}});
        const Written refWritten = referenceCopy(QFile::encodeName(path("src")), QFile::encodeName(path("ref")));
        QVERIFY(refWritten.known());
        // Since the reference was made:
        const struct timespec later[2] = {{2000000000, 5}, {2000000000, 5}};
        QVERIFY(::utimensat(AT_FDCWD, QFile::encodeName(path("src/retimed")).constData(), later, 0) == 0);
        QFile resized(path("src/resized"));
        QVERIFY(resized.open(QIODevice::Append) && resized.write("d") == 1);
        resized.close();
        makeTree(path("src"), {{"new", "new"}});
        // Links in the reference, where a folder and a file of the same size and time stand behind them.
        QVERIFY(QDir().rename(path("ref/through-link"), path("ref/elsewhere")));
        QVERIFY(QFile::link("elsewhere", path("ref/through-link")));
        QVERIFY(QDir().rename(path("ref/linked"), path("ref/linked.real")));
        QVERIFY(QFile::link("linked.real", path("ref/linked")));

        ScriptedClone clone;
        const Reuse reuse{path("ref"), clone.call(), refWritten};
        const CopyReport report = copyTree(path("src"), path("dst"), 2, nullptr, &reuse);
        QCOMPARE(report.failureText(), QString());
        QCOMPARE(clone.calls.load(), 2);
        QCOMPARE(report.sharedFiles, quint64(2)); // "same" and "sub/same"
        QCOMPARE(report.sharedBytes, quint64(5));
        QCOMPARE(report.reference, path("ref"));
        QCOMPARE(treeListing(QFile::encodeName(path("dst"))), treeListing(QFile::encodeName(path("src"))));
    }

    void aTwinStandsForItsSourceOnlyWhileNeitherChanged()
    {
        // Same size and time on both sides in every case below.
        makeTree(path("src"),
                 {{"same", "same"},
                  {"putBack", "aaaa"},
                  {"edited", "eeee"},
                  {"linked", "llll"},
                  {"other", "LLLL"},
                  {"renamed", "rrrr"},
                  {"taker", "TTTT"}});
        const struct timespec t[2] = {{1700000000, 0}, {1700000000, 0}};
        for (const QString& name : QDir(path("src")).entryList(QDir::Files))
            QVERIFY(::utimensat(AT_FDCWD, QFile::encodeName(path("src/" + name)).constData(), t, 0) == 0);
        const Written refWritten = referenceCopy(QFile::encodeName(path("src")), QFile::encodeName(path("ref")));
        settle();
        const CopyReport first = copyTree(path("src"), path("day"));
        QCOMPARE(first.failureText(), QString());
        const auto putBack = [&](const QString& file, const QByteArray& content) {
            QFile f(file);
            QVERIFY(f.open(QIODevice::ReadWrite) && f.write(content) == content.size());
            f.close();
            QVERIFY(::utimensat(AT_FDCWD, QFile::encodeName(file).constData(), t, 0) == 0);
        };
        // The source changed and its time was put back.
        putBack(path("src/putBack"), "bbbb");
        // In the earlier copies: edited with the time put back, a hard link
        // to another file, another file renamed over it.
        for (const QString& copy : {path("ref"), path("day")}) {
            putBack(copy + "/edited", "XXXX");
            QVERIFY(QFile::remove(copy + "/linked"));
            QVERIFY(
                ::link(QFile::encodeName(copy + "/other").constData(), QFile::encodeName(copy + "/linked").constData())
                == 0);
            QVERIFY(::rename(QFile::encodeName(copy + "/taker").constData(),
                             QFile::encodeName(copy + "/renamed").constData())
                    == 0);
        }
        ScriptedClone clone;
        const Reuse reuse{path("ref"), clone.call(), refWritten};
        const CopyReport cloned = copyTree(path("src"), path("dst"), 2, nullptr, &reuse);
        QCOMPARE(cloned.failureText(), QString());
        QCOMPARE(clone.calls.load(), 1); // "same": the link changed "other" too
        QCOMPARE(treeListing(QFile::encodeName(path("dst"))), treeListing(QFile::encodeName(path("src"))));

        Reuse sameDay;
        sameDay.merged = {first.started, first.ended};
        const CopyReport merged = copyTree(path("src"), path("day"), 2, nullptr, &sameDay);
        QCOMPARE(merged.failureText(), QString());
        QCOMPARE(merged.bytes, quint64(24)); // all but "same"
        QVERIFY(!merged.warnings.join(' ').contains("changed during"));
        QCOMPARE(treeListing(QFile::encodeName(path("day"))), treeListing(QFile::encodeName(path("src"))));
    }

    void aTwinOfAnotherSizeIsChangedWhereChangeTimesDoNotMove()
    {
        // A drive that keeps no change time of its own (FAT shows the
        // creation time) does not tell a twin truncated in the copy.
        struct stat source = {};
        source.st_mode = S_IFREG | 0644;
        source.st_size = 10;
        source.st_ctim = {100, 0};
        struct stat twin = source;
        const Written written{200000000000LL, 300000000000LL};
        QVERIFY(unchangedCopy(source, twin, written, {}));
        twin.st_size = 9;
        QVERIFY(!unchangedCopy(source, twin, written, {}));
    }

    void aFileThatChangesWhileItIsCopiedIsSaidAndTakenAgain_data()
    {
        QTest::addColumn<QString>("change");
        QTest::newRow("a new time") << "--change-on-read";
        QTest::newRow("size and time kept") << "--rewrite-on-read";
    }
    void aFileThatChangesWhileItIsCopiedIsSaidAndTakenAgain()
    {
        QFETCH(QString, change);
        makeTree(path("share"), {{"busy.img", QByteArray(1 << 20, 'b')}, {"quiet", "q"}});
        QVERIFY(QDir().mkpath(path("mnt")));
        const TestDrive drive(path("share"), path("mnt"), {change, "busy.img"});
        if (!drive.mounted())
            QSKIP(qPrintable(TestDrive::skipReason()));
        settle();
        const CopyReport first = copyTree(path("mnt"), path("dst"));
        QCOMPARE(first.failureText(), QString());
        QVERIFY2(first.warnings.join(' ').contains("1 file changed during the copy"),
                 qPrintable(first.warnings.join(' ')));
        Reuse sameDay;
        sameDay.merged = {first.started, first.ended};
        const CopyReport second = copyTree(path("mnt"), path("dst"), 2, nullptr, &sameDay);
        QVERIFY(second.bytes >= quint64(1 << 20)); // the source drive's slack may take "quiet" again too
    }

    void aDriveThatRetimesARenameStillKeepsTheSourcesTime()
    {
        makeTree(path("src"), {{"doc", "one"}});
        QVERIFY(QDir().mkpath(path("share")));
        QVERIFY(QDir().mkpath(path("mnt")));
        const TestDrive drive(path("share"), path("mnt"), {"--retime-on-rename"});
        if (!drive.mounted())
            QSKIP(qPrintable(TestDrive::skipReason()));
        QCOMPARE(copyTree(path("src"), path("mnt/copy")).failureText(), QString());
        makeTree(path("src"), {{"doc", "two"}}); // replaced: written aside, renamed over
        const struct timespec old[2] = {{1500000000, 0}, {1500000000, 0}};
        QVERIFY(::utimensat(AT_FDCWD, QFile::encodeName(path("src/doc")).constData(), old, 0) == 0);
        const CopyReport report = copyTree(path("src"), path("mnt/copy"));
        QCOMPARE(report.failureText(), QString());
        QCOMPARE(contentOf(path("share/copy/doc")), QByteArray("two"));
        QCOMPARE(statOf(path("share/copy/doc")).st_mtim.tv_sec, time_t(1500000000));
    }

    void twoSavesWithinADrivesSecondAreTwoVersions()
    {
        QVERIFY(QDir().mkpath(path("share")));
        QVERIFY(QDir().mkpath(path("mnt")));
        const TestDrive drive(path("share"), path("mnt"), {"--whole-seconds"});
        if (!drive.mounted())
            QSKIP(qPrintable(TestDrive::skipReason()));
        // Both saves and the copy between them within one second of the
        // drive's: tried again until they fell in one, which is the point.
        bool oneSecond = false;
        Reuse sameDay;
        for (int tries = 0; tries < 20 && !oneSecond; ++tries) {
            removeTree(QFile::encodeName(path("dst")));
            makeTree(path("share"), {{"doc", "one"}});
            const time_t saved = statOf(path("mnt/doc")).st_mtim.tv_sec;
            const CopyReport first = copyTree(path("mnt"), path("dst"));
            makeTree(path("share"), {{"doc", "two"}});
            oneSecond = statOf(path("mnt/doc")).st_mtim.tv_sec == saved && first.ended / 1000000000LL == saved;
            sameDay.merged = {first.started, first.ended};
        }
        QVERIFY2(oneSecond, "no two saves and a copy fell within one second in 20 tries");
        QCOMPARE(copyTree(path("mnt"), path("dst"), 2, nullptr, &sameDay).failureText(), QString());
        QCOMPARE(contentOf(path("dst/doc")), QByteArray("two"));

        // A copy onto that drive, and its file changed within the copy's last second.
        makeTree(path("src"), {{"doc", "one"}});
        settle();
        const CopyReport onto = copyTree(path("src"), path("mnt/day"));
        const struct stat kept = statOf(path("mnt/day/doc"));
        makeTree(path("mnt/day"), {{"doc", "XXX"}});
        const struct timespec times[2] = {kept.st_atim, kept.st_mtim};
        QVERIFY(::utimensat(AT_FDCWD, QFile::encodeName(path("mnt/day/doc")).constData(), times, 0) == 0);
        sameDay.merged = {onto.started, onto.ended};
        QCOMPARE(copyTree(path("src"), path("mnt/day"), 2, nullptr, &sameDay).bytes, quint64(3));
        QCOMPARE(contentOf(path("mnt/day/doc")), QByteArray("one"));
    }

    void aDriveThatCannotShareIsAskedOncePerCopy_data()
    {
        QTest::addColumn<int>("answer");
        QTest::addColumn<int>("calls"); // of four unchanged files
        QTest::addColumn<QString>("warning");
        QTest::newRow("ext4, FAT, exFAT") << int(EOPNOTSUPP) << 1 << QString();
        QTest::newRow("another drive") << int(EXDEV) << 1 << QString();
        QTest::newRow("no such call") << int(ENOTTY) << 1 << QString();
        QTest::newRow("not this file") << int(EINVAL) << 1 << QString();
        QTest::newRow("the reference is damaged") << int(EIO) << 4 << "4 files of the earlier copy could not be read";
        QTest::newRow("full") << int(ENOSPC) << 4 << QString();
    }
    void aDriveThatCannotShareIsAskedOncePerCopy()
    {
        QFETCH(int, answer);
        QFETCH(int, calls);
        QFETCH(QString, warning);
        makeTree(path("src"), {{"a", "a"}, {"b", "b"}, {"sub/c", "c"}, {"sub/d", "d"}});
        const Written refWritten = referenceCopy(QFile::encodeName(path("src")), QFile::encodeName(path("ref")));
        ScriptedClone clone{answer};
        const Reuse reuse{path("ref"), clone.call(), refWritten};
        const CopyReport report = copyTree(path("src"), path("dst"), 2, nullptr, &reuse);
        QCOMPARE(report.failureText(), QString());
        QCOMPARE(clone.calls.load(), calls);
        QCOMPARE(report.sharedFiles, quint64(0));
        QCOMPARE(report.warnings.join(' ').contains("earlier copy"), !warning.isEmpty());
        if (!warning.isEmpty())
            QVERIFY2(report.warnings.join(' ').contains(warning), qPrintable(report.warnings.join(' ')));
        QCOMPARE(treeListing(QFile::encodeName(path("dst"))), treeListing(QFile::encodeName(path("src"))));
    }

    void aReferenceOnAnotherDriveOrBehindALinkIsNotUsed()
    {
        makeTree(path("src"), {{"a", "a"}});
        const Written refWritten = referenceCopy(QFile::encodeName(path("src")), QFile::encodeName(path("ref")));
        QVERIFY(QFile::link(path("ref"), path("ref-link")));
        ScriptedClone clone;
        const Reuse linked{path("ref-link"), clone.call(), refWritten};
        QCOMPARE(copyTree(path("src"), path("dst"), 2, nullptr, &linked).sharedFiles, quint64(0));
        QCOMPARE(clone.calls.load(), 0);
        // Nor a folder that is not the one the book knew there.
        Reuse replaced{path("ref"), clone.call(), refWritten};
        replaced.referenceId = folderIdOf(path("src"));
        if (replaced.referenceId.known()) {
            QCOMPARE(copyTree(path("src"), path("dst4"), 2, nullptr, &replaced).sharedFiles, quint64(0));
            QCOMPARE(clone.calls.load(), 0);
        }
        // Nor a drive mounted inside it, where a twin of the same size and time waits.
        makeTree(path("src"), {{"sub/t", "t"}});
        QVERIFY(cpA(QFile::encodeName(path("src/sub")), QFile::encodeName(path("sub-elsewhere"))));
        const Written subWritten = referenceCopy(QFile::encodeName(path("src")), QFile::encodeName(path("ref2")));
        const QByteArray inside = inChild([&] {
            if (!enterMountNamespace() || !bindMount(path("sub-elsewhere"), path("ref2/sub")))
                return QByteArray("<no mount namespace>");
            ScriptedClone mounted;
            const Reuse across{path("ref2"), mounted.call(), subWritten};
            copyTree(path("src"), path("dst3"), 2, nullptr, &across);
            return QByteArray::number(mounted.calls.load());
        });
        if (inside != "<no mount namespace>")
            QCOMPARE(inside, QByteArray("1")); // "a", not "sub/t"
        QTemporaryDir memory("/dev/shm/plovern-XXXXXX"); // another drive than the temporary folder's
        if (!memory.isValid() || statOf(memory.path()).st_dev == statOf(path("src")).st_dev)
            QSKIP("no second drive at hand (/dev/shm)");
        const Reuse elsewhere{memory.filePath("ref"), clone.call(),
                              referenceCopy(QFile::encodeName(path("src")), QFile::encodeName(memory.filePath("ref")))};
        QCOMPARE(copyTree(path("src"), path("dst2"), 2, nullptr, &elsewhere).sharedFiles, quint64(0));
        QCOMPARE(clone.calls.load(), 0);
    }

    void clonesForRealWhereTheTemporaryFolderCanShare()
    {
        makeTree(path("src"), {{"big", QByteArray(256 << 10, 'x')}});
        const Reuse reuse{path("ref"), cloneBlocks,
                          referenceCopy(QFile::encodeName(path("src")), QFile::encodeName(path("ref")))};
        const CopyReport report = copyTree(path("src"), path("dst"), 2, nullptr, &reuse);
        QCOMPARE(report.failureText(), QString());
        if (report.sharedFiles == 0)
            QSKIP("the temporary folder's drive cannot share blocks (FICLONE)");
        QVERIFY(sharesBlocks(path("dst/big")));
        QCOMPARE(contentOf(path("dst/big")), contentOf(path("src/big")));
    }

    void keepsHolesHardLinksAttributesAndLinkTimes()
    {
        QDir().mkpath(path("src/a"));
        QDir().mkpath(path("src/b"));
        {
            QFile sparse(path("src/disk.img"));
            QVERIFY(sparse.open(QIODevice::WriteOnly));
            QVERIFY(sparse.seek(qint64(1) << 30));
            sparse.write(QByteArray(8192, 'd'));
        }
        makeTree(path("src"), {{"a/one", "linked"}});
        QVERIFY(
            ::link(QFile::encodeName(path("src/a/one")).constData(), QFile::encodeName(path("src/b/two")).constData())
            == 0);
        const bool attributes
            = ::setxattr(QFile::encodeName(path("src/a/one")).constData(), "user.tag", "blue", 4, 0) == 0;
        QVERIFY(QFile::link(QStringLiteral("a/one"), path("src/ln")));
        const struct timespec old[2] = {{1000000000, 0}, {1000000000, 0}};
        QVERIFY(::utimensat(AT_FDCWD, QFile::encodeName(path("src/ln")).constData(), old, AT_SYMLINK_NOFOLLOW) == 0);

        QCOMPARE(copyTree(path("src"), path("dst")).failureText(), QString());
        QVERIFY(statOf(path("dst/disk.img")).st_blocks * 512 < 1024 * 1024);
        QCOMPARE(statOf(path("dst/disk.img")).st_size, statOf(path("src/disk.img")).st_size);
        QCOMPARE(statOf(path("dst/a/one")).st_ino, statOf(path("dst/b/two")).st_ino);
        QCOMPARE(statOf(path("dst/ln")).st_mtim.tv_sec, time_t(1000000000));
        if (attributes) {
            char value[8] = {};
            QCOMPARE(::getxattr(QFile::encodeName(path("dst/b/two")).constData(), "user.tag", value, sizeof value), 4);
            QCOMPARE(QByteArray(value), QByteArray("blue"));
        }
        // The second copy of the day finds the links made and leaves them.
        QCOMPARE(copyTree(path("src"), path("dst")).failureText(), QString());
        QCOMPARE(statOf(path("dst/a/one")).st_ino, statOf(path("dst/b/two")).st_ino);
    }

    void depthCostsNoDescriptors()
    {
        // Far deeper than the open files allowed would reach at a few descriptors a level.
        QString deep = path("src");
        for (int level = 0; level < 400; ++level)
            deep += QStringLiteral("/d");
        QVERIFY(QDir().mkpath(deep));
        makeTree(deep, {{"bottom", "b"}});
        const QByteArray result = inChild([&] {
            const rlimit limit{200, 200};
            ::setrlimit(RLIMIT_NOFILE, &limit);
            return reportBytes(copyTree(path("src"), path("dst")));
        });
        QCOMPARE(result, QByteArray("||1"));
        QCOMPARE(contentOf(deep.replace(path("src"), path("dst")) + "/bottom"), QByteArray("b"));
    }

    void aDeepChainIsCopiedAndPurgedInBoundedMemory()
    {
        // Made through descriptors: its paths are far longer than any call
        // takes. 40,000 levels took 1.6 GB when memory grew with the square
        // of the depth; 100,000 pass too, in a minute here.
        constexpr int kDepth = 40000;
        QVERIFY(QDir().mkpath(path("chain")));
        int fd = ::open(QFile::encodeName(path("chain")).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        for (int level = 0; level < kDepth && fd >= 0; ++level) {
            ::mkdirat(fd, "d", 0755);
            const int next = ::openat(fd, "d", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
            ::close(fd);
            fd = next;
        }
        QVERIFY(fd >= 0);
        const int bottom = ::openat(fd, "bottom", O_WRONLY | O_CREAT | O_CLOEXEC, 0644);
        QVERIFY(bottom >= 0 && ::write(bottom, "b", 1) == 1);
        ::close(bottom);
        ::close(fd);
        const auto cleanUp = qScopeGuard([&] {
            deleteTree(path("chain"));
            deleteTree(path("copy"));
        });
        const QByteArray result = inChild([&] {
#if !defined(__SANITIZE_ADDRESS__)
            // Linear in the depth fits easily; the square of it (20 GB) does not.
            const rlimit limit{qint64(1) << 30, qint64(1) << 30};
            ::setrlimit(RLIMIT_AS, &limit);
#endif
            const CopyReport report = copyTree(path("chain"), path("copy"));
            QByteArray out = reportBytes(report) + "|" + QByteArray::number(report.files);
            out += holdsFiles(path("copy")) ? "|holds" : "|empty";
            QString error;
            out += deleteTree(path("copy"), &error) ? "|deleted" : "|" + error.toUtf8();
            return out;
        });
        QCOMPARE(result, QByteArray("||1|1|holds|deleted"));
        QVERIFY(deleteTree(path("chain")));
    }

    void bushyTreesDeeperThanTheHeldLevelsCopyAsCpDoes()
    {
        // Real home folders: deep, bushy, wide, with names that are not text.
        for (const unsigned seed : {1u, 2u, 3u}) {
            const QByteArray source = QFile::encodeName(path("tree")) + QByteArray::number(seed);
            growTree(source, seed, 12);
            QVERIFY(cpA(source, source + "-cp"));
            const QByteArray result = inChild([&] {
                const rlimit limit{200, 200};
                ::setrlimit(RLIMIT_NOFILE, &limit);
                const CopyReport report = copyTree(QFile::decodeName(source), QFile::decodeName(source + "-copy"));
                return reportBytes(report) + ' ' + QByteArray::number(report.fullBytes);
            });
            // The estimate before a first copy lists what the copy itself counts.
            CopyControl control;
            QCOMPARE(result, "||1 " + QByteArray::number(bytesToCopy(QFile::decodeName(source), &control).value_or(0)));
            const QList<QByteArray> expected = treeListing(source + "-cp");
            QVERIFY(expected.size() > 2000);
            QCOMPARE(treeListing(source + "-copy"), expected);
            for (const char* tree : {"", "-cp", "-copy"})
                removeTree(source + tree);
        }
    }

    void aCopyNeverWritesIntoItsOwnSource()
    {
        // The destination reaches the source's folder through a bind mount.
        makeTree(path("src"), {{"a", "a"}, {"backup/", {}}});
        QDir().mkpath(path("drive"));
        const QByteArray result = inChild([&] {
            if (!enterMountNamespace() || !bindMount(path("src/backup"), path("drive")))
                return QByteArray("<no mount namespace>");
            return reportBytes(copyTree(path("src"), path("drive/src1272026")));
        });
        if (result == "<no mount namespace>")
            QSKIP("this kernel lets no user mount in a namespace of its own");
        QVERIFY2(result.startsWith("|the copy's own folder"), result.constData());
        QCOMPARE(entriesBelow(path("src/backup/src1272026")), (QStringList{"a", "backup"}));
    }

    void copiesToRealFoldingDrivesKeepingApartWhatTheyKeepApart_data()
    {
        QTest::addColumn<QString>("format");
        QTest::newRow("FAT16 through fusefat") << "vfat";
        QTest::newRow("exFAT through exfat-fuse") << "exfat";
    }
    void copiesToRealFoldingDrivesKeepingApartWhatTheyKeepApart()
    {
        QFETCH(QString, format);
        const QString mkfs = QStandardPaths::findExecutable("mkfs." + format, {"/usr/sbin", "/sbin"});
        const QString mounter = format == "vfat" ? QStandardPaths::findExecutable("fusefat")
                                                 : QStandardPaths::findExecutable("mount.exfat-fuse", {"/usr/sbin"});
        if (::geteuid() != 0 || mkfs.isEmpty() || mounter.isEmpty())
            QSKIP("a FAT or exFAT drive needs root, its mkfs and its FUSE driver");
        QFile image(path("stick.img"));
        QVERIFY(image.open(QIODevice::WriteOnly) && image.resize(32 << 20));
        image.close();
        QProcess run;
        QCOMPARE(QProcess::execute(mkfs, {image.fileName()}), 0);
        QVERIFY(QDir().mkpath(path("stick")));
        QString loop;
        if (format == "exfat") { // exfat-fuse wants a block device
            run.start("losetup", {"-f", "--show", image.fileName()});
            QVERIFY(run.waitForFinished() && run.exitCode() == 0);
            loop = QString::fromUtf8(run.readAllStandardOutput()).trimmed();
            QCOMPARE(QProcess::execute(mounter, {loop, path("stick")}), 0);
        } else {
            QCOMPARE(QProcess::execute(mounter, {"-o", "rw+", image.fileName(), path("stick")}), 0);
        }
        const auto unmount = qScopeGuard([&] {
            ::umount2(QFile::encodeName(path("stick")).constData(), MNT_DETACH);
            if (!loop.isEmpty())
                QProcess::execute("losetup", {"-d", loop});
        });
        makeTree(path("src"), {{"Makefile", "first"}, {"makefile", "second"}, {"sub/a.txt", "a"}});
        if (format == "exfat") // the Kelvin sign folds to "k" in Unicode, but exFAT keeps it apart
            makeTree(path("src"), {{"\u212A.txt", "kelvin"}, {"k.txt", "k"}});
        ::chmod(QFile::encodeName(path("src/sub")).constData(), 0750);

        makeTree(path("src"), {{"kept", "k"}});
        settle();
        Reuse sameDay;
        for (int copy = 1; copy <= 3; ++copy) { // and the second and third copies of the day
            if (copy == 3) // a file replaced, not merely found unchanged
                makeTree(path("src"), {{"kept", "K"}});
            const CopyOutcome outcome
                = makeDatedCopy(path("src"), path("stick/"), QDate(2026, 12, 7), nullptr, &sameDay);
            sameDay.merged = {outcome.report.started, outcome.report.ended};
            QVERIFY(outcome.report.targetExists);
            // Times held to the drive's step, and a second copy rewrites nothing unchanged.
            const long long apart
                = timesApart(statOf(path("stick/src1272026/kept")).st_mtim, statOf(path("src/kept")).st_mtim);
            QVERIFY2(apart <= 2000000000LL, qPrintable(QString::number(apart)));
            QVERIFY2(!outcome.report.warnings.join(' ').contains("times not kept"),
                     qPrintable(outcome.report.warnings.join(' ')));
            if (copy == 2)
                QCOMPARE(outcome.report.bytes, quint64(0));
            if (copy == 3)
                QCOMPARE(outcome.report.bytes, quint64(1));
            QCOMPARE(outcome.report.failures, 1);
            const QRegularExpression folded(
                "/src/(\\w+): the drive cannot keep it apart from .*/src/(\\w+), which was kept");
            const QRegularExpressionMatch names = folded.match(outcome.report.firstFailure);
            QVERIFY2(names.hasMatch(), qPrintable(outcome.report.firstFailure));
            QCOMPARE(contentOf(path("stick/src1272026/Makefile")), contentOf(path("src/" + names.captured(2))));
            QVERIFY(outcome.report.warnings.join(' ').contains("modes not kept"));
            QCOMPARE(contentOf(path("stick/src1272026/sub/a.txt")), QByteArray("a"));
            if (format == "exfat") {
                QCOMPARE(contentOf(path("stick/src1272026/\u212A.txt")), QByteArray("kelvin"));
                QCOMPARE(contentOf(path("stick/src1272026/k.txt")), QByteArray("k"));
            }
        }
    }

    void aDriveThatFollowsLinksChangesNothingOutsideTheCopy()
    {
        // sshfs sets a link's time and owner on what it points to, whatever the flags say.
        makeTree(path("victim"), {{"file", "theirs"}});
        const struct timespec old[2] = {{1000000000, 0}, {1000000000, 0}};
        QVERIFY(::utimensat(AT_FDCWD, QFile::encodeName(path("victim/file")).constData(), old, 0) == 0);
        makeTree(path("src"), {{"a", "a"}});
        QVERIFY(QFile::link(path("victim/file"), path("src/ln")));
        QVERIFY(QDir().mkpath(path("share")));
        QVERIFY(QDir().mkpath(path("mnt")));
        const TestDrive drive(path("share"), path("mnt"), {"--follow-links"});
        if (!drive.mounted())
            QSKIP(qPrintable(TestDrive::skipReason()));
        const CopyReport report = copyTree(path("src"), path("mnt/copy"));
        QCOMPARE(report.failureText(), QString());
        QCOMPARE(statOf(path("victim/file")).st_mtim.tv_sec, time_t(1000000000));
        QVERIFY2(report.warnings.join(' ').contains("owners and times not kept on 1 symbolic link ("),
                 qPrintable(report.warnings.join(' ')));
        QCOMPARE(QFileInfo(path("share/copy/ln")).symLinkTarget(), path("victim/file"));
        QCOMPARE(contentOf(path("share/copy/a")), QByteArray("a"));
    }

    void aDriveThatFoldsCaseKeepsTheFirstOfNamesAlike()
    {
        // FAT's way, on a drive an ordinary user can mount: names alike but
        // for case are one, and the second never overwrites the first.
        makeTree(path("src"), {{"Makefile", "first"}, {"makefile", "second"}, {"sub/a", "a"}, {"SUB/b", "b"}});
        // Enough pairs that the copy threads would reach them in any order.
        constexpr int kPairs = 40;
        for (int i = 0; i < kPairs; ++i)
            makeTree(path("src"), {{QString("Note%1").arg(i), "upper"}, {QString("note%1").arg(i), "lower"}});
        QVERIFY(QDir().mkpath(path("share")));
        QVERIFY(QDir().mkpath(path("mnt")));
        const TestDrive drive(path("share"), path("mnt"), {"--fold-case"});
        if (!drive.mounted())
            QSKIP(qPrintable(TestDrive::skipReason()));
        // The first of each pair in the source folder's order is the one kept.
        const int srcFd = ::open(QFile::encodeName(path("src")).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        std::vector<Entry> order;
        QVERIFY(listFolder(srcFd, &order));
        ::close(srcFd);
        QMap<QString, QString> kept; // folded name: the first name
        for (const Entry& entry : order) {
            const QString name = QString::fromStdString(entry.name);
            if (!kept.contains(name.toLower()))
                kept.insert(name.toLower(), name);
        }
        Reuse sameDay;
        for (int copy = 1; copy <= 2; ++copy) { // and the second copy of the day
            const CopyReport report = copyTree(path("src"), path("mnt/copy"), 2, nullptr, &sameDay);
            sameDay.merged = {report.started, report.ended};
            QCOMPARE(report.failures, 2 + kPairs);
            QVERIFY2(report.firstFailure.contains("the drive cannot keep it apart from"),
                     qPrintable(report.firstFailure));
            const QStringList copied = entriesBelow(path("share/copy"));
            QCOMPARE(copied.size(), 3 + kPairs);
            for (const QString& file : copied) {
                if (!file.contains('/'))
                    QCOMPARE(contentOf(path("share/copy/" + file)), contentOf(path("src/" + kept[file.toLower()])));
            }
        }
    }

    void aCopyNeverPassesAnotherUsersLink()
    {
        if (::geteuid() != 0)
            QSKIP("another user's links need root to make");
        QVERIFY(::chmod(QFile::encodeName(m_dir.path()).constData(), 0755) == 0);
        makeTree(path("src"), {{"secret.txt", "s"}});
        QVERIFY(QDir().mkpath(path("roots")));
        QVERIFY(QDir().mkpath(path("hers")));
        QVERIFY(::chown(QFile::encodeName(path("hers")).constData(), kNobody, kNobody) == 0);
        const auto giveBack = qScopeGuard([&] { (void)!::chown(QFile::encodeName(path("hers")).constData(), 0, 0); });
        QCOMPARE(inChild([&] {
                     return QByteArray(becomeUser(kNobody) && QFile::link(path("roots"), path("hers/bk")) ? "linked"
                                                                                                          : "-");
                 }),
                 QByteArray("linked"));
        const CopyReport report = copyTree(path("src"), path("hers/bk/Docs1282026"));
        QVERIFY2(report.failureText().contains("the link " + path("hers/bk") + ": it belongs to user nobody"),
                 qPrintable(report.failureText()));
        QVERIFY(!report.targetExists);
        QVERIFY(QDir(path("roots")).isEmpty());
    }

    void aDriveThatIsNotMountedIsRefused()
    {
        const QByteArray fstab = "# static file system information\n"
                                 "UUID=1234 /          ext4 errors=remount-ro 0 1\n"
                                 "UUID=5678 /mnt/backup\\040disk ext4 noauto,user 0 2\n";
        const QStringList mounted{"/", "/media/anna/STICK"};
        QCOMPARE(unmountedDriveOf("/mnt/backup disk/Reports1272026", fstab, mounted),
                 QStringLiteral("/mnt/backup disk"));
        QCOMPARE(unmountedDriveOf("/mnt/backup disk/Reports1272026", fstab, mounted + QStringList{"/mnt/backup disk"}),
                 QString());
        QCOMPARE(unmountedDriveOf("/media/anna/OTHER/Reports1272026", fstab, mounted),
                 QStringLiteral("/media/anna/OTHER"));
        QCOMPARE(unmountedDriveOf("/run/media/anna/OTHER/x/Reports1272026", fstab, mounted),
                 QStringLiteral("/run/media/anna/OTHER"));
        QCOMPARE(unmountedDriveOf("/media/anna/Reports1272026", fstab, mounted),
                 QStringLiteral("/media/anna/Reports1272026"));
        QCOMPARE(unmountedDriveOf("/media/anna/STICK/Reports1272026", fstab, mounted), QString());
        QCOMPARE(unmountedDriveOf("/home/anna/Reports1272026", fstab, mounted), QString());
    }

    void aDriveThatIsNotMountedIsNeitherReadNorWritten()
    {
        // Its mount point folder is there and empty: the copy must not pass for
        // a backup. The mount points are the test's own, on a /run of its own.
        const QByteArray result = inChild([&] {
            if (!enterMountNamespace() || !mountTmpfs("/run"))
                return QByteArray("<no mount namespace>");
            QDir().mkpath("/run/media/anna/STICK/Docs");
            QDir().mkpath("/run/media/anna/BACKUP");
            makeTree(path("Docs"), {{"a", "a"}});
            return reportBytes(copyTree("/run/media/anna/STICK/Docs", path("Docs1252026"))) + "\n"
                + reportBytes(copyTree(path("Docs"), "/run/media/anna/BACKUP/Docs1252026")) + "\n"
                + QByteArray::number(QDir("/run/media/anna/BACKUP").isEmpty());
        });
        if (result == "<no mount namespace>")
            QSKIP("this kernel lets no user mount in a namespace of its own");
        QCOMPARE(
            result,
            QByteArray(
                "/run/media/anna/STICK/Docs: the source drive is not mounted at /run/media/anna/STICK||0\n"
                "/run/media/anna/BACKUP/Docs1252026: the backup drive is not mounted at /run/media/anna/BACKUP||0\n1"));
        QVERIFY(!QFileInfo::exists(path("Docs1252026")));
    }
};

PLOVERN_TEST_MAIN(TestTreeCopy)
#include "tst_treecopy.moc"
