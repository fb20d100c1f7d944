#include <QTest>

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
        QCOMPARE(targets(referencesFor(book, docs, backup, QDate(2026, 12, 7))),
                 (QStringList{"/backup/Documents1252026", "/backup/Documents1222026"}));
        // The first copy of a month is a full one.
        QCOMPARE(targets(referencesFor(book, docs, backup, QDate(2027, 1, 1))), QStringList());
        QCOMPARE(targets(referencesFor(book, docs, backup, QDate(2026, 12, 1))), QStringList());
        QCOMPARE(targets(referencesFor(book, docs, "/other/", QDate(2026, 12, 7))),
                 QStringList{"/other/Documents1242026"});
        // A copy whose times are not known cannot vouch for its files.
        std::vector<MadeCopy> untimed = book;
        for (MadeCopy& copy : untimed)
            copy.started = copy.ended = 0;
        QCOMPARE(targets(referencesFor(untimed, docs, backup, QDate(2026, 12, 7))), QStringList());
    }

    void foldersAndSourcesAreKnownByTheirRealPaths()
    {
        const MadeCopy alice{
            "/backup/Documents1282026", "/home/alice/Documents", "/backup/",          {2026, 12, 8},      true, 3,
            "/backup/Documents1282026", "/home/alice/Documents", 1796724000000000000, 1796724001000000000};
        const std::vector<MadeCopy> book = parseCopyBook(formatCopyBook({alice}));
        QCOMPARE(book, std::vector<MadeCopy>{alice});
        // Another spelling of the same folder is the same folder; the same spelling of another is not.
        QVERIFY(findCopy(book, "/backup//Documents1282026", "/backup/Documents1282026"));
        QVERIFY(!findCopy(book, "/backup/Documents1282026", "/mnt/other/Documents1282026"));
        QVERIFY(!isCopyOf(alice, "/home/bob/Documents", "/home/bob/Documents"));
        QVERIFY(isCopyOf(alice, "/home/alice/./Documents", "/home/alice/Documents"));
        // A line written before real paths were kept is found by its text alone and vouches for nothing.
        const std::vector<MadeCopy> old
            = parseCopyBook("2026-12-07 whole 3 /backup/Documents1272026 /home/alice/Documents /backup/\r\n");
        QCOMPARE(old.size(), size_t(1));
        QVERIFY(findCopy(old, "/backup/Documents1272026", "/backup/Documents1272026"));
        QVERIFY(!findCopy(old, "/backup//Documents1272026", "/backup/Documents1272026"));
        QCOMPARE(old[0].ended, 0);
    }

    void anEntrysLastCopyKeepsItsLastWholeOneWhateverItsNames()
    {
        const QString odd = "/home/anna/Re ports%20\n,x";
        std::vector<EntryResult> results;
        noteResult(&results, {odd, "/backup/", Outcome::made, 1000, 3, 30, {}, 1000, 0, 12288});
        noteResult(&results, {odd, "/other/", Outcome::made, 1500, 3, 30, {}, 1500});
        noteResult(&results, {odd, "/backup/", Outcome::failed, 2000, 0, 0, "gone\tnow"});
        noteResult(&results, {odd, "/backup/", Outcome::stopped, 3000});
        results = parseResults(formatResults(results) + "failed x 0 0 0 0 /a /b \r\nwhole 1 2\r\n");
        QCOMPARE(results.size(), size_t(2));
        const std::optional<EntryResult> last = lastResultOf(lastResults(results, {}), odd, "/backup/");
        QVERIFY(last);
        QCOMPARE(last->outcome, Outcome::stopped);
        QCOMPARE(last->lastWhole, 1000); // the failure and the stop did not make one
        QCOMPARE(last->since, 1000);
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
    }
};

PLOVERN_TEST_MAIN(TestCopyBook)
#include "tst_copybook.moc"
