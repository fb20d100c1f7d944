#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QTest>

#include "core/engine/copyworker.h"
#include "core/engine/room.h"
#include "core/engine/treedelete.h"
#include "core/platform/logfile.h"
#include "core/platform/process.h"
#include "core/platform/textfile.h"
#include "core/schedule/clocktext.h"
#include "core/schedule/scheduler.h"
#include "support/core/fakes.h"
#include "support/core/sandbox.h"
#include "support/core/testmain.h"

using namespace plovern;
using namespace plovern::test;

namespace {

const QDate kNewYear(2026, 1, 5);

// A worker over a program folder and a backup drive of its own.
struct Worker
{
    Worker()
        : places(placesIn(dir.path()))
        , log(places.files, "PlovernLog.txt")
        , worker(places, clock, log, notifier, std::chrono::seconds(2))
    {
        QDir().mkpath(backup);
    }

    // Runs one copy due at 10 AM on `day` and waits for it and its purge.
    void copy(const QString& source, bool purge = true, QDate day = kNewYear, const QString& destination = {})
    {
        const qint64 second = wallSecond(QDateTime(day, QTime(10, 0)));
        worker.enqueue({{source, destination.isEmpty() ? backup : destination, second, purge}});
        QTRY_VERIFY_WITH_TIMEOUT(!worker.busy(), 20000);
    }
    QString logText() const { return QString::fromUtf8(contentOf(log.path())); }
    void record(const QStringList& lines) const
    {
        QVERIFY(saveFile(dir.filePath("SavedFilesDB.txt"), (lines.join("\r\n") + "\r\n").toUtf8()));
    }
    QString source(const QString& name) const { return dir.filePath("sources/" + name); }

    QTemporaryDir dir;
    QString backup = dir.filePath("backup/");
    FakeClock clock;
    FakeNotifier notifier;
    CopyPlaces places;
    LogFile log;
    CopyWorker worker;
};

} // namespace

class TestCopyWorker : public QObject
{
    Q_OBJECT
private slots:
    void theLastBackupsWaitForACompleteCopyOfTheYear()
    {
        Worker w;
        const QString june = w.backup + "Docs6302025";
        const QString december = w.backup + "Docs12312025";
        makeTree(june, {{"thesis.odt", "june"}});
        makeTree(december, {{"thesis.odt", "december"}});
        w.record({june, december});

        // The source drive is dead: the first copy of the year fails.
        w.copy(w.source("Docs"));
        QVERIFY(w.logText().contains("copy failed"));
        QVERIFY(w.logText().contains("kept " + june + ": no complete copy of this year yet"));
        QVERIFY(w.logText().contains("kept " + december + ": no complete copy of this year yet"));
        QCOMPARE(contentOf(december + "/thesis.odt"), QByteArray("december"));

        // Its folder is back but empty (a drive not mounted there): made, told, and no replacement.
        QVERIFY(QDir().mkpath(w.source("Docs")));
        w.copy(w.source("Docs"));
        QVERIFY(w.logText().contains("warnings: the source folder is empty"));
        QCOMPARE(contentOf(june + "/thesis.odt"), QByteArray("june"));

        // A copy with a failure is no replacement either.
        makeTree(w.source("Docs"), {{"thesis.odt", "january"}, {"locked", "l"}});
        ::chmod(QFile::encodeName(w.source("Docs/locked")).constData(), 0);
        w.copy(w.source("Docs"));
        QCOMPARE(contentOf(june + "/thesis.odt"), QByteArray("june"));

        // Nor is one that was made whole and then went away.
        QFile::remove(w.source("Docs/locked"));
        w.copy(w.source("Docs"), false);
        QVERIFY(QDir(w.backup + "Docs152026").removeRecursively());
        w.copy(w.source("Missing")); // any copy is followed by the purge
        QCOMPARE(contentOf(june + "/thesis.odt"), QByteArray("june"));

        // A whole copy that is there: now the earlier ones go.
        w.copy(w.source("Docs"));
        QVERIFY(!QFileInfo::exists(june));
        QVERIFY(!QFileInfo::exists(december));
        QVERIFY(w.logText().contains("purged " + december));
        QCOMPARE(contentOf(w.backup + "Docs152026/thesis.odt"), QByteArray("january"));
    }

    void anEmptySourceReplacesOnlyAnEmptyCopy()
    {
        Worker w;
        QVERIFY(QDir().mkpath(w.backup + "Spare12312025/nothing"));
        makeTree(w.backup + "Full12312025", {{"f", "f"}});
        w.record({w.backup + "Spare12312025", w.backup + "Full12312025"});
        QVERIFY(QDir().mkpath(w.source("Spare")));
        QVERIFY(QDir().mkpath(w.source("Full")));
        w.copy(w.source("Spare"));
        w.copy(w.source("Full"));
        QVERIFY(!QFileInfo::exists(w.backup + "Spare12312025"));
        QCOMPARE(contentOf(w.backup + "Full12312025/f"), QByteArray("f"));
    }

    void aPurgeRunsOnlyWhenAskedFor()
    {
        Worker w;
        makeTree(w.backup + "Docs12312025", {{"f", "old"}});
        w.record({w.backup + "Docs12312025"});
        makeTree(w.source("Docs"), {{"f", "new"}});
        w.copy(w.source("Docs"), false);
        QCOMPARE(contentOf(w.backup + "Docs12312025/f"), QByteArray("old"));
        w.copy(w.source("Docs"), true);
        QVERIFY(!QFileInfo::exists(w.backup + "Docs12312025"));
    }

    void twoSourcesOfOneNameNeverShareACopy()
    {
        Worker w;
        makeTree(w.source("alice/Documents"), {{"thesis.odt", "alice"}});
        makeTree(w.source("bob/Documents"), {{"thesis.odt", "bob"}});
        const QString copy = w.backup + "Documents152026";
        w.copy(w.source("alice/Documents"));
        w.copy(w.source("bob/Documents"));
        QCOMPARE(contentOf(copy + "/thesis.odt"), QByteArray("alice"));
        QVERIFY(
            w.logText().contains(QString("copy failed: %1 holds the copy of %2; the copy of %3 was not made into it")
                                     .arg(copy, w.source("alice/Documents"), w.source("bob/Documents"))));
        QCOMPARE(w.notifier.sent().size(), 1);
        QVERIFY(w.notifier.sent()[0].second.contains(w.source("alice/Documents")));
        QCOMPARE(QString::fromUtf8(contentOf(w.dir.filePath("SavedFilesDB.txt"))).count("Documents152026"), 1);

        // Alice's entry again that day still merges into its own copy.
        makeTree(w.source("alice/Documents"), {{"notes.txt", "later"}});
        w.copy(w.source("alice/Documents"));
        QCOMPARE(contentOf(copy + "/notes.txt"), QByteArray("later"));

        // A folder no copy explains (made by hand, or before the copies were noted) is merged into.
        makeTree(w.backup + "Mail152026", {{"by-hand", "h"}});
        makeTree(w.source("Mail"), {{"inbox", "i"}});
        w.copy(w.source("Mail"));
        QCOMPARE(contentOf(w.backup + "Mail152026/inbox"), QByteArray("i"));
        QCOMPARE(contentOf(w.backup + "Mail152026/by-hand"), QByteArray("h"));

        // Alice's copy deleted since is nobody's: Bob's copy of the day is made.
        QVERIFY(QDir(copy).removeRecursively());
        w.copy(w.source("bob/Documents"));
        QCOMPARE(contentOf(copy + "/thesis.odt"), QByteArray("bob"));
    }

    void dailyCopiesShareTheBlocksOfUnchangedFiles_data()
    {
        QTest::addColumn<QString>("format");
        QTest::newRow("btrfs") << "btrfs";
        QTest::newRow("XFS") << "xfs";
    }
    void dailyCopiesShareTheBlocksOfUnchangedFiles()
    {
        QFETCH(QString, format);
        Worker w;
        const LoopDrive drive(w.dir.path(), format);
        if (!drive.mounted())
            QSKIP(qPrintable(drive.skipReason()));
        const QString backup = drive.root() + "/";
        const QString docs = w.source("Docs");
        makeTree(
            docs,
            {{"a", QByteArray(64 << 10, 'a')}, {"b", QByteArray(64 << 10, 'b')}, {"sub/c", QByteArray(1 << 20, 'c')}});
        ::chmod(QFile::encodeName(docs + "/a").constData(), 0600);
        settle();
        w.copy(docs, false, QDate(2026, 12, 1), backup);
        makeTree(docs, {{"b", QByteArray(64 << 10, 'B')}});
        // The drive nearly full: a full copy would not fit beside the margin,
        // but one that shares the first copy's blocks writes only "b".
        const std::optional<Room> room = roomOf(backup);
        QVERIFY(room);
        const QByteArray filler = QFile::encodeName(drive.root() + "/filler");
        const int fill = ::open(filler.constData(), O_CREAT | O_WRONLY | O_CLOEXEC, 0600);
        QVERIFY(fill >= 0 && ::posix_fallocate(fill, 0, off_t(room->free - roomMargin(*room) - (600 << 10))) == 0);
        ::syncfs(fill);
        ::close(fill);
        QVERIFY(!roomRefusal(backup + "Docs1222026", quint64(1216) << 10, *roomOf(backup)).isEmpty());
        w.copy(docs, false, QDate(2026, 12, 2), backup);
        QVERIFY(::unlink(filler.constData()) == 0);

        const QString first = backup + "Docs1212026";
        const QString second = backup + "Docs1222026";
        QVERIFY2(w.logText().contains(QString("copy made: %1 to %2, 3 files, 65536 bytes, ").arg(docs, second)),
                 qPrintable(w.logText()));
        QVERIFY2(w.logText().contains("2 files (1.1 MiB) shared with " + first), qPrintable(w.logText()));
        QVERIFY(sharesBlocks(second + "/a"));
        QVERIFY(sharesBlocks(second + "/sub/c"));
        QVERIFY(!sharesBlocks(second + "/b"));
        QCOMPARE(treeListing(QFile::encodeName(second)), treeListing(QFile::encodeName(docs)));
        // Deleting the first copy, as the purge does, leaves the second whole.
        QVERIFY(deleteTree(first));
        QCOMPARE(treeListing(QFile::encodeName(second)), treeListing(QFile::encodeName(docs)));
        // The first copy of a month shares nothing.
        w.copy(docs, false, QDate(2027, 1, 4), backup);
        QVERIFY(!sharesBlocks(backup + "Docs142027/a"));
        QVERIFY(!w.logText().contains("shared with " + second));
    }

    void aHungDriveHoldsUpOnlyItsOwnCopies()
    {
        Worker w;
        makeTree(w.source("Big"), {{"data", QByteArray(1 << 20, 'b')}});
        makeTree(w.source("Local"), {{"l", "l"}});
        FrozenShare hung(w.dir.path());
        if (!hung.mounted())
            QSKIP(qPrintable(TestDrive::skipReason()));
        const qint64 due = wallSecond(QDateTime(kNewYear, QTime(10, 0)));
        w.worker.enqueue({{w.source("Big"), hung.share(), due, false}});
        w.worker.enqueue({{w.source("Local"), w.backup, due + 8, false}});
        QTRY_COMPARE_WITH_TIMEOUT(contentOf(w.backup + "Local152026/l"), QByteArray("l"), 10000);
        // Told after 2 s without progress, or later on a busy machine.
        const QRegularExpression stalled(
            QRegularExpression::escape(
                QString("copy of %1 to %2: no progress for ").arg(w.source("Big"), w.dir.filePath("share/Big152026")))
            + "([2-9]|[1-9][0-9]+) s; the drive may have hung");
        QTRY_VERIFY_WITH_TIMEOUT(w.logText().contains(stalled), 10000);
        QCOMPARE(w.logText().count("no progress"), 1);
        QVERIFY(!w.worker.stop(500)); // stuck: the program must not wait for it
        hung.thaw();
        QVERIFY(w.worker.stop(10000));
        // Cut short by the end: still pending, so the kept mark never passes it.
        QCOMPARE(w.worker.oldestPending(), std::optional<qint64>(due));
    }

    void twoSpellingsOfOneDestinationAreOneDestination()
    {
        Worker w;
        makeTree(w.source("alice/Documents"), {{"thesis.odt", "alice"}});
        makeTree(w.source("bob/Documents"), {{"thesis.odt", "bob"}});
        QVERIFY(QFile::link(w.backup, w.dir.filePath("link")));
        const QString copy = w.backup + "Documents152026";
        w.copy(w.source("alice/Documents"));
        for (const QString& spelling : {w.backup + "/", w.dir.filePath("link/"), w.dir.filePath("./backup/")}) {
            w.copy(w.source("bob/Documents"), true, kNewYear, spelling);
            QVERIFY2(w.logText().contains(QString("copy failed: %1Documents152026 holds the copy of %2")
                                              .arg(spelling, w.source("alice/Documents"))),
                     qPrintable(w.logText()));
        }
        QCOMPARE(contentOf(copy + "/thesis.odt"), QByteArray("alice"));
        // Alice's source by another spelling is still Alice's.
        w.copy(w.dir.filePath("sources/bob/../alice/Documents"), false, kNewYear, w.dir.filePath("link/"));
        QCOMPARE(w.logText().count("copy made"), 2);
    }

    void twoSpellingsOfOneDestinationNeverWriteOneFolderAtOnce()
    {
        Worker w;
        makeTree(w.source("alice/Documents"), {{"thesis.odt", QByteArray(1 << 20, 'a')}});
        makeTree(w.source("bob/Documents"), {{"thesis.odt", "bob"}, {"bob.txt", "b"}});
        FrozenShare hung(w.dir.path());
        if (!hung.mounted())
            QSKIP(qPrintable(TestDrive::skipReason()));
        // Two lanes, for the texts differ; Alice's copy held open while Bob's comes due.
        const qint64 due = wallSecond(QDateTime(kNewYear, QTime(10, 0)));
        w.worker.enqueue({{w.source("alice/Documents"), hung.share(), due, false}});
        QTRY_COMPARE(w.worker.currentSource(), QStringLiteral("Documents"));
        w.worker.enqueue({{w.source("bob/Documents"), hung.share() + "/", due, false}});
        QTRY_VERIFY_WITH_TIMEOUT(w.logText().contains("Documents152026 is being written by the copy of "), 10000);
        hung.thaw();
        QTRY_VERIFY_WITH_TIMEOUT(!w.worker.busy(), 20000);
        QCOMPARE(entriesBelow(hung.share() + "Documents152026"), QStringList{"thesis.odt"});
    }

    void twoMountsOfOneDestinationAreOneFolder()
    {
        const QByteArray seen = inChild([] {
            if (!enterMountNamespace()) // while the child has one thread
                return QByteArray("<no namespace>");
            Worker w;
            const QString bind = w.dir.filePath("bind/");
            // A drive that keeps its inodes, mounted twice.
            if (!mountTmpfs(w.backup) || !QDir().mkpath(bind) || !bindMount(w.backup, bind))
                return QByteArray("<no namespace>");
            makeTree(w.source("u1/Documents"), {{"thesis.odt", "u1"}});
            makeTree(w.source("u2/Documents"), {{"thesis.odt", "u2"}, {"u2.txt", "2"}});
            // While the first is written, before its folder is there, the second waits its turn.
            const DueCopy first{w.source("u1/Documents"), w.backup};
            const Destination writing = destinationOf({}, first, kNewYear, {});
            const QString refusal = destinationOf({}, {w.source("u2/Documents"), bind}, kNewYear,
                                                  {{writing.writingKey, writerOf(writing, first)}})
                                        .refusal;
            if (!refusal.contains("is being written by the copy of "))
                return "not held: " + refusal.toUtf8();
            w.copy(w.source("u1/Documents"), false);
            w.copy(w.source("u2/Documents"), false, kNewYear, bind);
            return entriesBelow(w.backup + "Documents152026").join(' ').toUtf8() + "\n" + w.logText().toUtf8();
        });
        if (seen == "<no namespace>")
            QSKIP("this kernel lets no user mount a drive of her own");
        QVERIFY2(seen.startsWith("thesis.odt\n") && seen.contains("Documents152026 holds the copy of "),
                 seen.constData());
    }

    void twoProgramsNeverWriteOneFolderAtOnce()
    {
        Worker first;
        Worker second; // another install: its own program folder and book
        makeTree(first.source("alice/Documents"), {{"thesis.odt", QByteArray(1 << 20, 'a')}});
        makeTree(second.source("bob/Documents"), {{"thesis.odt", "bob"}, {"bob.txt", "b"}});
        FrozenShare hung(first.dir.path());
        if (!hung.mounted())
            QSKIP(qPrintable(TestDrive::skipReason()));
        const qint64 due = wallSecond(QDateTime(kNewYear, QTime(10, 0)));
        first.worker.enqueue({{first.source("alice/Documents"), hung.share(), due, false}});
        // Alice's copy has begun writing when Bob's comes due.
        QTRY_VERIFY_WITH_TIMEOUT(QFileInfo::exists(hung.server() + "/Documents152026/thesis.odt"), 10000);
        second.worker.enqueue({{second.source("bob/Documents"), hung.share(), due, false}});
        QTRY_VERIFY_WITH_TIMEOUT(!second.worker.busy(), 20000);
        hung.thaw();
        QTRY_VERIFY_WITH_TIMEOUT(!first.worker.busy(), 20000);
        QVERIFY2(second.logText().contains(
                     QString("Documents152026: another copy (process %1) is writing into it now").arg(::getpid())),
                 qPrintable(second.logText()));
        QCOMPARE(entriesBelow(hung.share() + "Documents152026"), QStringList{"thesis.odt"});
        QVERIFY(first.logText().contains("copy made"));
    }

    void thePurgeReplacesACopyOnlyWithOneOfItsOwnSource()
    {
        Worker w;
        const QString alice = w.source("alice/Documents");
        const QString bob = w.source("bob/Documents");
        makeTree(alice, {{"thesis.odt", "alice"}});
        makeTree(bob, {{"thesis.odt", "bob"}});
        // Bob's last backup, made last year; his drive has died since.
        const QString last = w.backup + "Documents12302025";
        makeTree(last, {{"thesis.odt", "bob 2025"}});
        w.record({last});
        MadeCopy made{last, bob, w.backup, {2025, 12, 30}, true, 1};
        QVERIFY(saveFile(w.dir.filePath("PLVCopies.txt"), formatCopyBook({made})));
        QVERIFY(QDir(w.source("bob")).removeRecursively());
        w.copy(alice, true, QDate(2026, 1, 6));
        QCOMPARE(contentOf(last + "/thesis.odt"), QByteArray("bob 2025"));
        QVERIFY(w.logText().contains("kept " + last + ": no complete copy of this year yet"));
        // His own whole copy of this year replaces it.
        makeTree(bob, {{"thesis.odt", "bob"}});
        w.copy(bob, true, QDate(2026, 1, 7));
        QVERIFY(!QFileInfo::exists(last));
    }

    void aCopyNeverMergesIntoAnotherDaysCopy()
    {
        Worker w;
        // 11 January and 1 November 2027 both give the digits 1112027.
        makeTree(w.source("Work"), {{"plan", "january"}, {"old", "o"}});
        w.copy(w.source("Work"), false, QDate(2027, 1, 11));
        QFile::remove(w.source("Work/old"));
        makeTree(w.source("Work"), {{"plan", "november"}});
        w.copy(w.source("Work"), false, QDate(2027, 11, 1));
        const QString january = w.backup + "Work1112027";
        const QString november = w.backup + "Work11012027";
        QCOMPARE(contentOf(january + "/plan"), QByteArray("january"));
        QCOMPARE(contentOf(january + "/old"), QByteArray("o"));
        QCOMPARE(contentOf(november + "/plan"), QByteArray("november"));
        QVERIFY(!QFileInfo::exists(november + "/old"));
        QVERIFY2(w.logText().contains(january
                                      + " holds the copy of 2027-01-11, whose date has the same digits; the "
                                        "copy of "
                                      + w.source("Work") + " goes to " + november),
                 qPrintable(w.logText()));
        std::vector<MadeCopy> book;
        QVERIFY(loadCopyBook(*w.places.files, &book));
        QVERIFY(findCopy(book, {january}) && findCopy(book, {november}));
        // The same day again merges into its own padded copy; the purge reads it as a copy of 2027.
        w.copy(w.source("Work"), false, QDate(2027, 11, 1));
        QCOMPARE(QString::fromUtf8(contentOf(w.dir.filePath("SavedFilesDB.txt"))).count(november), 2);
        QCOMPARE(stampYear("Work11012027"), std::optional<int>(2027));
        QCOMPARE(stampYear("Work01112027"), std::optional<int>(2027));
    }
    void namesAreTextInTheLogAndTheNotifications()
    {
        Worker w;
        // A name that would take an argument, forge a line and colour a
        // terminal, break a line where readers take C1's NEL and Unicode's
        // separators, and show the rest of it reversed.
        const QString name = "Rep%1orts\n2026-01-05T10:00:00 copy made: "
                             "forged\r\x1b[31m\u0085\u2028\u2029\u200e\u061c\u202a\u202e\u2066\u2069";
        makeTree(w.source(name), {{"f", "f"}, {"locked", "l"}});
        ::chmod(QFile::encodeName(w.source(name + "/locked")).constData(), 0);
        w.copy(w.source(name), false);
        const QStringList lines = w.logText().split("\r\n", Qt::SkipEmptyParts);
        QCOMPARE(lines.size(), 1);
        const QString shown = "Rep%1orts\\n2026-01-05T10:00:00 copy made: forged\\r\\x1b[31m\\u0085\\u2028\\u2029"
                              "\\u200e\\u061c\\u202a\\u202e\\u2066\\u2069";
        QVERIFY2(lines[0].contains(shown + " to ") && lines[0].contains(", 1 failure, first: "), qPrintable(lines[0]));
        QCOMPARE(w.notifier.sent().size(), 1);
        QVERIFY(w.notifier.sent()[0].first.contains(shown));
        QVERIFY(!w.notifier.sent()[0].second.contains('\r') && !w.notifier.sent()[0].second.contains(QChar(0x2028)));
        // And as a second start asks whether to end the copy.
        QVERIFY(endingQuestion(w.dir.path(), {false, w.source(name)}).contains(shown + " now; "));
    }
    void noCopyPassesAnotherUsersLinkOrGoesIntoHerFolder()
    {
        if (::geteuid() != 0)
            QSKIP("another user's links and folders need root to make");
        Worker w;
        QVERIFY(::chmod(QFile::encodeName(w.dir.path()).constData(), 0755) == 0);
        makeTree(w.source("Docs"), {{"secret.txt", "s"}});
        const QString roots = w.dir.filePath("roots");
        QVERIFY(QDir().mkpath(roots));
        // Her folder, where she makes `bk` a link to a folder of root's.
        const QString hers = w.dir.filePath("mallory");
        QVERIFY(QDir().mkpath(hers));
        QVERIFY(::chown(QFile::encodeName(hers).constData(), kNobody, kNobody) == 0);
        const auto giveBack = qScopeGuard([&] {
            (void)!::chown(QFile::encodeName(hers).constData(), 0, 0);
            (void)!::chown(QFile::encodeName(w.backup).constData(), 0, 0);
        });
        QCOMPARE(inChild([&] {
                     return QByteArray(becomeUser(kNobody) && QFile::link(roots, hers + "/bk") ? "linked" : "-");
                 }),
                 QByteArray("linked"));
        w.copy(w.source("Docs"), false, kNewYear, hers + "/bk/");
        QVERIFY(QDir(roots).isEmpty());
        QVERIFY2(w.logText().contains("the link " + hers + "/bk: it belongs to user nobody"), qPrintable(w.logText()));
        QVERIFY(!QFileInfo::exists(w.dir.filePath("SavedFilesDB.txt")));
        QCOMPARE(w.notifier.sent().size(), 1);

        // Nor to a source: her link as the source, or on the way to it.
        QCOMPARE(inChild([&] {
                     return QByteArray(becomeUser(kNobody) && QFile::link(w.source("Docs"), hers + "/src")
                                               && QFile::link(w.dir.filePath("sources"), hers + "/lnk")
                                           ? "linked"
                                           : "-");
                 }),
                 QByteArray("linked"));
        for (const auto& [source, link] :
             {std::pair(hers + "/src", hers + "/src"), {hers + "/lnk/Docs", hers + "/lnk"}}) {
            w.copy(source, false);
            QVERIFY2(w.logText().contains("the link " + link + ": it belongs to user nobody"), qPrintable(w.logText()));
        }
        QVERIFY(QDir(w.backup).isEmpty());
        QVERIFY(!QFileInfo::exists(w.dir.filePath("SavedFilesDB.txt")));
        QCOMPARE(w.notifier.sent().size(), 3);
        QCOMPARE(inChild([&] {
                     return QByteArray(
                         becomeUser(kNobody) && QFile::remove(hers + "/src") && QFile::remove(hers + "/lnk") ? "removed"
                                                                                                             : "-");
                 }),
                 QByteArray("removed"));

        // A link at today's name, even root's own: refused, nothing recorded, told.
        QVERIFY(QFile::link(roots, w.backup + "Docs152026"));
        w.copy(w.source("Docs"), false);
        QVERIFY(QDir(roots).isEmpty());
        QVERIFY(w.logText().contains(w.backup + "Docs152026 is a link"));
        QVERIFY(!QFileInfo::exists(w.dir.filePath("SavedFilesDB.txt")));
        QCOMPARE(w.notifier.sent().size(), 4);
        QVERIFY(QFile::remove(w.backup + "Docs152026"));

        // A folder she made at today's name where anyone may write.
        QVERIFY(::chmod(QFile::encodeName(w.backup).constData(), 01777) == 0);
        QCOMPARE(inChild([&] {
                     return QByteArray(becomeUser(kNobody) && QDir().mkdir(w.backup + "Docs152026") ? "made" : "-");
                 }),
                 QByteArray("made"));
        w.copy(w.source("Docs"), false);
        QVERIFY(QDir(w.backup + "Docs152026").isEmpty());
        QVERIFY2(w.logText().contains(w.backup + "Docs152026 was made by user nobody"), qPrintable(w.logText()));
    }
    void aCopyLeavesTwoPercentOfItsDriveFree()
    {
        const Room drive{1000, 1000, "/b", false};
        QCOMPARE(roomRefusal("/b/Docs152026", 980, drive), QString());
        QVERIFY(!roomRefusal("/b/Docs152026", 981, drive).isEmpty());
        QCOMPARE(copiesRoomFor(490, drive), quint64(2));
        QCOMPARE(copiesRoomFor(491, drive), quint64(1));
    }
    void aCopyThatCannotFitIsNotBegunAndFewCopiesLeftAreSaid()
    {
        const QByteArray seen = inChild([] {
            if (!enterMountNamespace()) // while the child has one thread
                return QByteArray("<no namespace>");
            Worker w;
            if (!mountTmpfs(w.backup, "size=8m"))
                return QByteArray("<no namespace>");
            makeTree(w.source("Docs"), {{"big", QByteArray(5 << 20, 'b')}, {"small", "s"}});
            // Until the clock has passed the source's change, no copy may
            // vouch for it, and the day's second copy would write it again.
            settle();
            QByteArray seen;
            // The day's second copy merges, writing nothing, though a full copy would not fit.
            for (const QDate day : {kNewYear, kNewYear, kNewYear.addDays(1)}) {
                w.worker.enqueue({{w.source("Docs"), w.backup, wallSecond(QDateTime(day, QTime(10, 0))), false}});
                if (!QTest::qWaitFor([&] { return !w.worker.busy(); }, 20000))
                    return QByteArray("<copy not done in 20 s>");
                seen += QFileInfo::exists(w.backup + "Docs" + dateStamp(day)) ? "made " : "none ";
            }
            for (const auto& [summary, body] : w.notifier.sent())
                seen += (summary + ": " + body + "\n").toUtf8();
            return seen + contentOf(w.dir.filePath("PLVResults.txt")).left(7);
        });
        if (seen == "<no namespace>")
            QSKIP("this kernel lets no user mount a drive of her own");
        const QList<QByteArray> lines = seen.split('\n'); // each notice ends with where the log is
        QVERIFY2(lines.size() == 5, seen.constData());
        QVERIFY2(lines[0].startsWith("made made none Little room left for the backups of ")
                     && lines[0].contains(": room for 0 more copies of Docs on /")
                     && lines[0].endsWith("/backup; the purge is off"), // the drive's own top folder
                 seen.constData());
        // The second day's copy was refused before it wrote anything, and said why.
        QVERIFY2(lines[2].startsWith("The backup of ")
                     && lines[2].contains("/Docs162026 needs 5.2 MB, 3.1 MB free on "),
                 seen.constData());
        QCOMPARE(lines[4], QByteArray("failed "));
    }

    void aSourceThatGrewStopsBeforeItsDriveFills()
    {
        const QByteArray seen = inChild([] {
            if (!enterMountNamespace())
                return QByteArray("<no namespace>");
            Worker w;
            if (!mountTmpfs(w.backup, "size=8m"))
                return QByteArray("<no namespace>");
            makeTree(w.source("Docs"), {{"0", QByteArray(1 << 20, '0')}});
            w.copy(w.source("Docs"), false);
            // Ten times what the last copy held: it starts, and stops at a file.
            for (char name = '1'; name <= '9'; ++name)
                makeTree(w.source("Docs"), {{QString(QChar(name)), QByteArray(1 << 20, name)}});
            w.copy(w.source("Docs"), false, kNewYear.addDays(1));
            QByteArray seen = w.logText().toUtf8() + "\n";
            const std::optional<Room> room = roomOf(w.backup);
            seen += room && room->free >= roomMargin(*room) ? "margin kept\n" : "drive filled\n";
            for (const QString& name : entriesBelow(w.backup + "Docs162026"))
                seen += name.toUtf8() + "=" + QByteArray::number(QFileInfo(w.backup + "Docs162026/" + name).size())
                    + " ";
            return seen;
        });
        if (seen == "<no namespace>")
            QSKIP("this kernel lets no user mount a drive of her own");
        QVERIFY2(seen.contains("Docs162026 needs more than ") && seen.contains("margin kept"), seen.constData());
        // What is there is whole; the file that would not fit was not begun.
        const QList<QByteArray> files = seen.split('\n').last().trimmed().split(' ');
        QVERIFY2(files.size() >= 3 && files.size() < 10, seen.constData());
        for (const QByteArray& file : files)
            QVERIFY2(file.endsWith("=1048576"), seen.constData());
    }

    void aCopyBookThatCannotBeReadIsNeverWrittenOver()
    {
        Worker w;
        makeTree(w.source("Docs"), {{"f", "f"}});
        w.copy(w.source("Docs"), false);
        const QString book = w.dir.filePath("PLVCopies.txt");
        const QByteArray before = contentOf(book);
        QVERIFY(::chmod(QFile::encodeName(book).constData(), 0) == 0);
        const auto giveBack = qScopeGuard([&] { ::chmod(QFile::encodeName(book).constData(), 0644); });
        if (QFile(book).open(QIODevice::ReadOnly))
            QSKIP("this user reads files whatever their mode");
        makeTree(w.backup + "Docs1272025", {{"f", "last year"}});
        w.record({w.backup + "Docs1272025"});
        w.copy(w.source("Docs"), true, kNewYear.addDays(1));
        QVERIFY(QFileInfo::exists(w.backup + "Docs162026/f")); // made where due
        ::chmod(QFile::encodeName(book).constData(), 0644);
        QCOMPARE(contentOf(book), before); // not replaced by a book of one line
        QCOMPARE(contentOf(w.backup + "Docs1272025/f"), QByteArray("last year"));
        QVERIFY2(w.logText().contains("could not read " + book), qPrintable(w.logText()));
    }
};

PLOVERN_TEST_MAIN(TestCopyWorker)
#include "tst_copyworker.moc"
