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
            return MadeCopy{
                target, source.isEmpty() ? docs : source, destination.isEmpty() ? backup : destination, day, whole, 10};
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
    }
};

PLOVERN_TEST_MAIN(TestCopyBook)
#include "tst_copybook.moc"
