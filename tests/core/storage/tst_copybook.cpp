#include <QTest>

#include "core/schedule/outlook.h"
#include "core/schedule/scheduler.h"
#include "core/storage/copybook.h"
#include "core/storage/resultsfile.h"
#include "support/core/testmain.h"

using namespace plovern;

class TestCopyBook : public QObject
{
    Q_OBJECT
private slots:
    void aCopySharesOnlyWithAnEarlierWholeCopyOfItsEntryThisMonth()
    {
        const QString docs = "/home/anna/Documents";
        const QString backup = "/backup/";
        auto made = [&](const QString& target, QDate day, bool whole = true, const QString& source = {},
                        const QString& destination = {}) {
            return MadeCopy{target,
                            source.isEmpty() ? docs : source,
                            destination.isEmpty() ? backup : destination,
                            day,
                            whole,
                            10,
                            {},
                            {},
                            1,
                            2};
        };
        const std::vector<MadeCopy> book{
            made("/backup/Documents11302026", QDate(2026, 11, 30)), // last month
            made("/backup/Documents1222026", QDate(2026, 12, 2)),
            made("/backup/Documents1252026", QDate(2026, 12, 5)),
            made("/backup/Documents1262026", QDate(2026, 12, 6), false), // failed in part
            made("/backup/Documents1272026", QDate(2026, 12, 7)), // today's own folder
            made("/other/Documents1242026", QDate(2026, 12, 4), true, docs, "/other/"),
            made("/backup/Documents1232026", QDate(2026, 12, 3), true, "/home/bob/Documents"),
        };
        auto targets = [](const std::vector<MadeCopy>& copies) {
            QStringList out;
            for (const MadeCopy& copy : copies)
                out.append(copy.target);
            return out;
        };
        QCOMPARE(targets(referencesFor(book, {docs}, backup, QDate(2026, 12, 7))),
                 (QStringList{"/backup/Documents1252026", "/backup/Documents1222026"}));
        // The first copy of a month is a full one.
        QCOMPARE(targets(referencesFor(book, {docs}, backup, QDate(2027, 1, 1))), QStringList());
        QCOMPARE(targets(referencesFor(book, {docs}, backup, QDate(2026, 12, 1))), QStringList());
        QCOMPARE(targets(referencesFor(book, {docs}, "/other/", QDate(2026, 12, 7))),
                 QStringList{"/other/Documents1242026"});
        // A copy whose times are not known cannot vouch for its files.
        std::vector<MadeCopy> untimed = book;
        for (MadeCopy& copy : untimed)
            copy.started = copy.ended = 0;
        QCOMPARE(targets(referencesFor(untimed, {docs}, backup, QDate(2026, 12, 7))), QStringList());
    }

    void foldersAndSourcesAreKnownByWhatTheyAre()
    {
        const MadeCopy alice{"/backup/Documents1282026",
                             "/home/alice/Documents",
                             "/backup/",
                             {2026, 12, 8},
                             true,
                             3,
                             "/backup/Documents1282026",
                             "/home/alice/Documents",
                             1796724000000000000,
                             1796724001000000000,
                             {2049, 131073},
                             {2049, 12}};
        const std::vector<MadeCopy> book = parseCopyBook(formatCopyBook({alice}));
        QCOMPARE(book, std::vector<MadeCopy>{alice});
        // Another spelling, or a bind mount, of the same folder is the same folder.
        QVERIFY(findCopy(book, {"/backup//Documents1282026", "/backup/Documents1282026", {2049, 131073}}));
        QVERIFY(findCopy(book, {"/bind/Documents1282026", "/bind/Documents1282026", {2049, 131073}}));
        // A device numbered anew is the same folder only where the path still leads to the inode.
        QVERIFY(findCopy(book, {"/backup/Documents1282026", "/backup/Documents1282026", {2065, 131073}}));
        QVERIFY(!findCopy(book, {"/bind/Documents1282026", "/bind/Documents1282026", {2065, 131073}}));
        // A folder made anew at the copy's path is not the copy.
        QVERIFY(!findCopy(book, {"/backup/Documents1282026", "/backup/Documents1282026", {2049, 131074}}));
        // Where the drive numbers no inodes, the real path tells.
        QVERIFY(findCopy(book, {"/backup//Documents1282026", "/backup/Documents1282026"}));
        QVERIFY(!findCopy(book, {"/backup/Documents1282026", "/mnt/other/Documents1282026"}));
        QVERIFY(!isCopyOf(alice, {"/home/bob/Documents", "/home/bob/Documents", {2049, 13}}));
        QVERIFY(isCopyOf(alice, {"/mnt/alice/Documents", "/mnt/alice/Documents", {2049, 12}}));
        // A line written before real paths were kept is found by its text alone and vouches for nothing.
        const std::vector<MadeCopy> old
            = parseCopyBook("2026-12-07 whole 3 /backup/Documents1272026 /home/alice/Documents /backup/\r\n");
        QCOMPARE(old.size(), size_t(1));
        QVERIFY(findCopy(old, {"/backup/Documents1272026", "/backup/Documents1272026", {2049, 7}}));
        QVERIFY(!findCopy(old, {"/backup//Documents1272026", "/backup/Documents1272026"}));
        QCOMPARE(old[0].ended, 0);
        // A copy made anew at a path replaces what the book knew there.
        std::vector<MadeCopy> noted = book;
        MadeCopy anew = alice;
        anew.targetId.inode = 131074;
        noteCopy(&noted, anew);
        QCOMPARE(noted, std::vector<MadeCopy>{anew});
    }

    void anEntrysLastCopyKeepsItsLastWholeOneWhateverItsNames()
    {
        const QString odd = "/home/anna/Re ports%20\n,x";
        const qint64 t = wallSecond(QDateTime(QDate(2026, 12, 8), QTime(9, 0)));
        std::vector<EntryResult> results;
        noteResult(&results, {odd, "/backup/", Outcome::made, t, 3, 30, {}, t, 0, 12288});
        noteResult(&results, {odd, "/other/", Outcome::made, t + 500, 3, 30, {}, t + 500});
        noteResult(&results, {odd, "/backup/", Outcome::failed, t + 1000, 0, 0, "gone\tnow"});
        noteResult(&results, {odd, "/backup/", Outcome::stopped, t + 2000});
        // Times no clock tells are not known: a line of none is no result.
        const QByteArray far = "made " + QByteArray::number(qint64(1) << 60) + " 0 0 1 1 0 /far /b \r\n";
        const QByteArray before = "made " + QByteArray::number(t) + " -4 -4 1 1 0 /before /b \r\n";
        results = parseResults(formatResults(results) + "failed x 0 0 0 0 /a /b \r\nwhole 1 2\r\n" + far + before);
        QCOMPARE(results.size(), size_t(3));
        QCOMPARE(results[2].lastWhole, 0);
        QCOMPARE(results[2].since, t);
        const std::optional<EntryResult> last = lastResultOf(lastResults(results, {}), odd, "/backup/");
        QVERIFY(last);
        QCOMPARE(last->outcome, Outcome::stopped);
        QCOMPARE(last->lastWhole, t); // the failure and the stop did not make one
        QCOMPARE(last->since, t);
        QCOMPARE(last->fullBytes, quint64(12288)); // what the next copy's room is judged by
        // Copies made before the results were kept: the book's latest whole one.
        const MadeCopy made{"/backup/Docs1282026", "/home/anna/Docs",  "/backup/", {2026, 12, 8}, true, 7, {}, {},
                            1796724000000000000,   1796724001000000000};
        const MadeCopy torn{"/backup/Docs1292026", "/home/anna/Docs", "/backup/", {2026, 12, 9}, false, 2};
        const std::optional<EntryResult> seeded
            = lastResultOf(lastResults(results, {made, torn}), "/home/anna/Docs", "/backup/");
        QVERIFY(seeded);
        QCOMPARE(seeded->outcome, Outcome::made);
        QCOMPARE(seeded->files, quint64(7));
        QCOMPARE(seeded->lastWhole, seeded->at);
        QVERIFY(!lastResultOf(lastResults(results, {made}), "/home/anna/Docs", "/other/"));
        // A line written before the times were kept tells its day.
        const std::vector<MadeCopy> old
            = parseCopyBook("2026-12-04 whole 1 /backup/Docs1242026 /home/anna/Docs /backup/\r\n");
        const std::optional<EntryResult> upgraded = lastResultOf(lastResults({}, old), "/home/anna/Docs", "/backup/");
        QVERIFY(upgraded);
        QCOMPARE(upgraded->lastWhole, wallSecond(QDateTime(QDate(2026, 12, 4), QTime(0, 0))));
        QVERIFY(lastCopyText(upgraded).contains(", 1 file, "));
    }
};

PLOVERN_TEST_MAIN(TestCopyBook)
#include "tst_copybook.moc"
