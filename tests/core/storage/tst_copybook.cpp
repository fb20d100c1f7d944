#include <QTest>

#include "core/storage/copybook.h"
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
};

PLOVERN_TEST_MAIN(TestCopyBook)
#include "tst_copybook.moc"
