#include <sys/stat.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QTest>

#include "core/engine/purge.h"
#include "core/platform/paths.h"
#include "core/platform/textfile.h"
#include "core/storage/copybook.h"
#include "support/core/fakes.h"
#include "support/core/sandbox.h"
#include "support/core/testmain.h"

using namespace plovern;
using namespace plovern::test;

namespace {

// Records what the purge would delete; nothing is touched.
struct Recorder
{
    QStringList asked;
    QStringList missing;
    QStringList failing;

    FolderDeleter deleter()
    {
        return [this](const QString& path, QString* error, bool* deleted) {
            asked.append(path);
            *deleted = !missing.contains(path);
            if (failing.contains(path)) {
                *error = QStringLiteral("read-only file");
                return false;
            }
            return true;
        };
    }
};

const ReplacementCheck everyReplaced = [](const QString&) { return true; };

} // namespace

class TestPurge : public QObject
{
    Q_OBJECT
private slots:
    void stampYears_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<int>("year");
        QTest::newRow("m d yyyy") << "Data152026" << 2026;
        QTest::newRow("mm dd yyyy") << "Data12312025" << 2025;
        QTest::newRow("name ends in digits") << "Disk21272026" << 2026;
        QTest::newRow("only the stamp") << "1252026" << 2026;
        QTest::newRow("no stamp") << "Data" << 0;
        QTest::newRow("too short") << "Data12026" << 0;
        QTest::newRow("month 13 day 40") << "Data13402026" << 0;
        QTest::newRow("leading zero month") << "Data0152026" << 2026; // name "Data0" + 1/5/2026
        QTest::newRow("zeros") << "Data002026" << 0;
        QTest::newRow("year/month/day") << "Data20261205" << 0;
        QTest::newRow("before any copy") << "Data1261969" << 0;
    }
    void stampYears()
    {
        QFETCH(QString, name);
        QFETCH(int, year);
        QCOMPARE(stampYear(name).value_or(0), year);
    }

    void keepsThisYearAndDeletesEarlierCopies()
    {
        Recorder recorder;
        const QByteArray record = "/b/Data1262025\r\n/b/Data152026\r\n/b/Data12312024\r\n";
        const PurgeResult result = purgeRecord(record, 2026, {}, everyReplaced, recorder.deleter());
        QCOMPARE(recorder.asked, (QStringList{"/b/Data1262025", "/b/Data12312024"}));
        QCOMPARE(result.keptLines, QByteArray("/b/Data152026\r\n"));
        QCOMPARE(result.deleted, recorder.asked);
        QVERIFY(result.failures.isEmpty());
    }

    void aMissingOrStuckFolderDoesNotStopTheWalk()
    {
        Recorder recorder;
        recorder.missing = {"/b/A1262024"};
        recorder.failing = {"/b/B1262024"};
        const QByteArray record = "/b/A1262024\r\n/b/B1262024\r\n/b/C1262024\r\n/b/D162026\r\n";
        const PurgeResult result = purgeRecord(record, 2026, {}, everyReplaced, recorder.deleter());
        QCOMPARE(recorder.asked, (QStringList{"/b/A1262024", "/b/B1262024", "/b/C1262024"}));
        QCOMPARE(result.deleted, QStringList{"/b/C1262024"});
        QCOMPARE(result.failures.size(), 1);
        QVERIFY(result.failures[0].contains(QStringLiteral("/b/B1262024")));
        QCOMPARE(result.keptLines, QByteArray("/b/D162026\r\n"));
    }

    void neverDeletesWhatACopyDidNotMake()
    {
        Recorder recorder;
        const QByteArray record = "\r\n"
                                  "relative/Data1262025\r\n"
                                  "/\r\n"
                                  "/home/user\r\n"
                                  "/home\r\n"
                                  "/opt/plovern\r\n"
                                  "/home/user/Documents\r\n"
                                  "/b/Data1262027\r\n"
                                  "/b/Data20261205\r\n"
                                  "/home/user/Documents/../../user\r\n"
                                  "/b/ok1262025\n";
        const PurgeResult result
            = purgeRecord(record, 2026, {"/home/user", "/opt/plovern"}, everyReplaced, recorder.deleter());
        QCOMPARE(recorder.asked.join(" "), QStringLiteral("/b/ok1262025"));
        QCOMPARE(result.failures.size(), 9); // every refusal is told; the empty line is not
        QVERIFY(result.keptLines.isEmpty());
    }

    void yearMarksCompareTheLastTwoCharacters()
    {
        Recorder recorder;
        // A day/month/year stamp with a two-digit year still ends in "26".
        const PurgeResult result
            = purgeRecord("/b/Data051226\r\n/b/Data1261926\r\n", 2026, {}, everyReplaced, recorder.deleter());
        QVERIFY(recorder.asked.isEmpty());
        QCOMPARE(result.keptLines, QByteArray("/b/Data051226\r\n/b/Data1261926\r\n"));
    }

    void purgesRealFoldersEveryYear()
    {
        QTemporaryDir dir;
        const QString b = dir.filePath("b");
        makeTree(b,
                 {{"Data1262024/x", "x"},
                  {"Data1262025/sub/y", "y"},
                  {"Data152026/z", "z"},
                  {"Stuck1262025/locked/r", "r"},
                  {"Stuck152026/r", "r"}});
        ::chmod(QFile::encodeName(b + "/Stuck1262025/locked").constData(), 0555);
        const QString record = dir.filePath("SavedFilesDB.txt");
        const QString kept = dir.filePath("SavedFilesDB2.txt");
        const QString book = dir.filePath("PLVCopies.txt");
        // The first line's folder is already gone: the purge must go on past it.
        const QByteArray recordBefore
            = QString("%1/Gone1262023\r\n%1/Data1262024\r\n%1/Stuck1262025\r\n%1/Data1262025\r\n%1/Data152026\r\n")
                  .arg(b)
                  .toUtf8();
        QVERIFY(saveFile(record, recordBefore));
        QVERIFY(saveFile(book,
                         formatCopyBook({{b + "/Data152026", "/src/Data", b + "/", {2026, 1, 5}, true, 1},
                                         {b + "/Stuck152026", "/src/Stuck", b + "/", {2026, 1, 5}, true, 1}})));

        const PurgeResult result = purgeEarlierCopies(placesIn(dir.path()), 2026);
        QCOMPARE(result.failures.size(), 1);
        QVERIFY(result.failures[0].contains("Stuck1262025/locked: the folder cannot be changed"));
        QVERIFY(!QFileInfo::exists(b + "/Data1262024"));
        QVERIFY(!QFileInfo::exists(b + "/Data1262025"));
        QVERIFY(QFileInfo::exists(b + "/Stuck1262025/locked/r"));
        QVERIFY(QFileInfo::exists(b + "/Data152026/z"));
        QCOMPARE(contentOf(kept), (b + "/Data152026\r\n").toUtf8());
        QCOMPARE(contentOf(record), recordBefore);

        // A second purge the same year finds nothing more to do and keeps the same line.
        QCOMPARE(purgeEarlierCopies(placesIn(dir.path()), 2026).failures.size(), 1);
        QVERIFY(QFileInfo::exists(b + "/Data152026/z"));
        ::chmod(QFile::encodeName(b + "/Stuck1262025/locked").constData(), 0755);
    }

    void aCopyOfAnotherNameReplacesNothingTheBookDoesNotKnow()
    {
        QTemporaryDir dir;
        const QString b = dir.filePath("b/");
        // Docs' last backup, made before the book knew sources; Work's names are as long.
        makeTree(b + "Docs12252025", {{"f", "docs"}});
        makeTree(b + "Work152026", {{"f", "work"}});
        QVERIFY(saveFile(dir.filePath("SavedFilesDB.txt"), (b + "Docs12252025\r\n").toUtf8()));
        QVERIFY(saveFile(dir.filePath("PLVCopies.txt"),
                         formatCopyBook({{b + "Work152026", "/src/Work", b, {2026, 1, 5}, true, 1}})));
        const PurgeResult result = purgeEarlierCopies(placesIn(dir.path()), 2026);
        QCOMPARE(contentOf(b + "Docs12252025/f"), QByteArray("docs"));
        QCOMPARE(result.waiting, QStringList{b + "Docs12252025"});
    }

    void noLinkLeadsThePurgeAnywhere()
    {
        QTemporaryDir dir;
        // Home and the program folder, reached through stamped links and a stamped folder above home.
        const QString home = dir.filePath("Home1262020/me");
        makeTree(home, {{"precious", "p"}});
        makeTree(dir.filePath("program"), {{"Plovern.txt", "s"}});
        QVERIFY(QFile::link(home, dir.filePath("Docs1272025")));
        QVERIFY(QFile::link(dir.filePath("program"), dir.filePath("Prog1272025")));
        QVERIFY(QFile::link(dir.path(), dir.filePath("up")));
        const QString record = dir.filePath("SavedFilesDB.txt");
        QFile file(record);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(QString("%1/Docs1272025/\r\n%1/Docs1272025/.\r\n%1/Prog1272025/./\r\n%1/up/Home1262020\r\n"
                           "/../..%1/Home1262020\r\n")
                       .arg(dir.path())
                       .toLocal8Bit());
        file.close();
        // Copies of this year stand in for each, so only the links and the climb keep them.
        std::vector<MadeCopy> made;
        for (const QString& destination : {dir.path() + "/", dir.path() + "/up/"}) {
            for (const char* name : {"Docs", "Prog", "Home"}) {
                made.push_back(
                    {destination + name + "152026", "/x/" + QString(name), destination, {2026, 1, 5}, true, 1});
                makeTree(made.back().target, {{"f", "f"}});
            }
        }
        QVERIFY(saveFile(dir.filePath("PLVCopies.txt"), formatCopyBook(made)));
        const PurgeResult result = purgeEarlierCopies(placesIn(dir.path(), {home, dir.filePath("program")}), 2026);
        QCOMPARE(result.failures.size(), 5);
        QCOMPARE(contentOf(home + "/precious"), QByteArray("p"));
        QCOMPARE(contentOf(dir.filePath("program/Plovern.txt")), QByteArray("s"));
        QVERIFY(QFileInfo(dir.filePath("Docs1272025")).isSymLink());
    }

    void aLineThatIsNotTextDeletesItsOwnFolder()
    {
        QTemporaryDir dir;
        const QByteArray b = QFile::encodeName(dir.filePath("dst"));
        for (const QByteArray& name : {QByteArray("\xffOld1272025"), QByteArray("\xef\xbf\xbdOld1272025"),
                                       QByteArray("\xffOld152026"), QByteArray("\xc0\xafOld1272025")}) {
            QVERIFY(QDir().mkpath(QFile::decodeName(b)));
            QVERIFY(::mkdir(b + '/' + name, 0755) == 0);
            writeBytes(b + '/' + name + "/f", "f");
        }
        QVERIFY(saveFile(dir.filePath("SavedFilesDB.txt"), b + "/\xffOld1272025\r\n" + b + "/\xc0\xafOld1272025\r\n"));
        QVERIFY(saveFile(dir.filePath("PLVCopies.txt"),
                         formatCopyBook({{pathText(b + "/\xffOld152026"),
                                          pathText("/src/\xffOld"),
                                          pathText(b + "/"),
                                          {2026, 1, 5},
                                          true,
                                          1}})));
        const PurgeResult result = purgeEarlierCopies(placesIn(dir.path()), 2026);
        QCOMPARE(result.deleted, QStringList{pathText(b + "/\xffOld1272025")});
        struct stat st;
        QVERIFY(::lstat(b + "/\xffOld1272025", &st) != 0);
        QVERIFY(::lstat(b + "/\xef\xbf\xbdOld1272025", &st) == 0); // the sibling a lossy path would name
        QVERIFY(::lstat(b + "/\xc0\xafOld1272025", &st) == 0); // no copy of this year stands in for it
        QCOMPARE(result.waiting, QStringList{pathText(b + "/\xc0\xafOld1272025")});
    }

    void noRecordFileLeavesAnEmptyKeptFile()
    {
        QTemporaryDir dir;
        const QString kept = dir.filePath("SavedFilesDB2.txt");
        QCOMPARE(purgeEarlierCopies(placesIn(dir.path()), 2026).failures, QStringList());
        QVERIFY(QFileInfo::exists(kept));
        QCOMPARE(QFileInfo(kept).size(), 0);
    }
    void noLinkOfAnotherUserLeadsThePurge()
    {
        if (::geteuid() != 0)
            QSKIP("another user's links need root to make");
        QTemporaryDir dir;
        QVERIFY(::chmod(QFile::encodeName(dir.path()).constData(), 0755) == 0);
        // Root's backups, and her folder, where `bk` is a link of hers to them.
        const QString roots = dir.filePath("backup");
        makeTree(roots + "/Docs1272025", {{"f", "last year"}});
        makeTree(roots + "/Docs152026", {{"f", "this year"}});
        const QString hers = dir.filePath("mallory");
        QVERIFY(QDir().mkpath(hers));
        QVERIFY(::chown(QFile::encodeName(hers).constData(), kNobody, kNobody) == 0);
        const auto giveBack = qScopeGuard([&] { (void)!::chown(QFile::encodeName(hers).constData(), 0, 0); });
        QCOMPARE(inChild([&] {
                     return QByteArray(becomeUser(kNobody) && QFile::link(roots, hers + "/bk") ? "linked" : "-");
                 }),
                 QByteArray("linked"));
        QVERIFY(saveFile(dir.filePath("SavedFilesDB.txt"), (hers + "/bk/Docs1272025\r\n").toUtf8()));
        QVERIFY(saveFile(dir.filePath("PLVCopies.txt"),
                         formatCopyBook({{hers + "/bk/Docs152026", "/x/Docs", hers + "/bk/", {2026, 1, 5}, true, 1}})));
        const PurgeResult result = purgeEarlierCopies(placesIn(dir.path()), 2026);
        QCOMPARE(contentOf(roots + "/Docs1272025/f"), QByteArray("last year"));
        QVERIFY2(result.failures.join(' ').contains("the link " + hers + "/bk: it belongs to user nobody"),
                 qPrintable(result.failures.join(' ')));
    }
    void aPurgeTheEndCutsShortIsKeptAndFinishedLater()
    {
        QTemporaryDir dir;
        const QString backup = dir.filePath("backup/");
        QList<QPair<QString, QByteArray>> files;
        for (int i = 0; i < 40; ++i)
            files.append({QString("d%1/f").arg(i % 8) + QString::number(i), "old"});
        makeTree(backup + "Docs1272025", files);
        makeTree(backup + "Docs12302025", {{"f", "old"}});
        makeTree(backup + "Docs152026", {{"f", "new"}});
        QVERIFY(saveFile(dir.filePath("SavedFilesDB.txt"),
                         (backup + "Docs1272025\r\n" + backup + "Docs12302025\r\n").toUtf8()));
        QVERIFY(saveFile(dir.filePath("PLVCopies.txt"),
                         formatCopyBook({{backup + "Docs152026", "/x/Docs", backup, {2026, 1, 5}, true, 1}})));
        int asked = 0;
        const PurgeResult cut = purgeEarlierCopies(placesIn(dir.path()), 2026, nullptr, [&] { return ++asked > 10; });
        QCOMPARE(cut.stopped, backup + "Docs1272025");
        QVERIFY(cut.deleted.isEmpty() && cut.failures.isEmpty());
        QCOMPARE(cut.keptLines, (backup + "Docs1272025\r\n" + backup + "Docs12302025\r\n").toUtf8());
        QVERIFY(QFileInfo::exists(backup + "Docs1272025") && QFileInfo::exists(backup + "Docs12302025/f"));
        const PurgeResult finished = purgeEarlierCopies(placesIn(dir.path()), 2026);
        QCOMPARE(finished.deleted, (QStringList{backup + "Docs1272025", backup + "Docs12302025"}));
    }

    void thePurgeLeavesAFolderAnotherUserMade()
    {
        if (::geteuid() != 0)
            QSKIP("another user's folders need root to make");
        QTemporaryDir dir;
        const QString roots = dir.filePath("backup/");
        makeTree(roots + "Docs152026", {{"f", "this year"}});
        // She made a folder under the name of a copy long gone; the book
        // knows another of hers by its inode (a copy takes its source's owner).
        makeTree(roots + "Docs1272024", {{"f", "hers"}});
        makeTree(roots + "Docs1272025", {{"f", "her copy"}});
        for (const char* name : {"Docs1272024", "Docs1272025"}) {
            QVERIFY(::chmod(QFile::encodeName(roots + name).constData(), 0777) == 0);
            QVERIFY(::chown(QFile::encodeName(roots + name).constData(), kNobody, kNobody) == 0);
        }
        const auto giveBack
            = qScopeGuard([&] { (void)!::chown(QFile::encodeName(roots + "Docs1272024").constData(), 0, 0); });
        QVERIFY(saveFile(dir.filePath("SavedFilesDB.txt"),
                         (roots + "Docs1272024\r\n" + roots + "Docs1272025\r\n").toUtf8()));
        const auto copy = [&](const QString& name, QDate day) {
            const QString target = roots + name;
            return MadeCopy{target, "/x/Docs", roots, day, true, 1, target, "/x/Docs", 1, 2, folderIdOf(target)};
        };
        QVERIFY(saveFile(dir.filePath("PLVCopies.txt"),
                         formatCopyBook({copy("Docs152026", {2026, 1, 5}), copy("Docs1272025", {2025, 12, 7})})));
        const PurgeResult result = purgeEarlierCopies(placesIn(dir.path()), 2026);
        QCOMPARE(contentOf(roots + "Docs1272024/f"), QByteArray("hers"));
        QVERIFY2(result.failures.join(' ').contains(roots + "Docs1272024 was made by user nobody, not by a copy"),
                 qPrintable(result.failures.join(' ')));
        QVERIFY2(result.deleted == QStringList{roots + "Docs1272025"}, qPrintable(result.failures.join(' ')));
    }
};

PLOVERN_TEST_MAIN(TestPurge)
#include "tst_purge.moc"
