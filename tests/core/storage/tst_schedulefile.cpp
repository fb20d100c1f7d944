#include <QTest>

#include "core/storage/schedulefile.h"
#include "support/core/testmain.h"

using namespace plovern;

class TestScheduleFile : public QObject
{
    Q_OBJECT
private slots:
    void formatIsFourFieldsAndCrLf()
    {
        const std::vector<ScheduleEntry> entries{{"/data", "/backup/", "10:00:00 AM", "2"},
                                                 {" ", " ", "1:00:00 PM", ""}};
        QCOMPARE(formatSchedule(entries), QByteArray("/data,/backup/,10:00:00 AM,2\r\n , ,1:00:00 PM,\r\n"));
        QCOMPARE(formatSchedule({}), QByteArray());
    }

    void roundTripKeepsEveryField()
    {
        const std::vector<ScheduleEntry> entries{
            {"/a b", "/c/", "12:00:00 AM", "Every"}, {"  ", "/ü/", "9:05:30 PM", "7"}, {"x", "", "", ""}};
        QCOMPARE(parseSchedule(formatSchedule(entries)), entries);
    }

    void pathsThatAreNotTextStayTheirBytes()
    {
        const QByteArray bytes = "/src/\xffOld,/dst/\xc0\xaf/,10:00:00 AM,2\r\n";
        const std::vector<ScheduleEntry> entries = parseSchedule(bytes);
        QCOMPARE(entries.size(), size_t(1));
        QVERIFY(entries[0].source != QStringLiteral("/src/\ufffdOld"));
        QCOMPARE(formatSchedule(entries), bytes);
    }

    void lineEnds_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::newRow("CR LF") << QByteArray("a,b,c,d\r\ne,f,g,h\r\n");
        QTest::newRow("CR") << QByteArray("a,b,c,d\re,f,g,h\r");
        QTest::newRow("LF") << QByteArray("a,b,c,d\ne,f,g,h\n");
        QTest::newRow("no final end") << QByteArray("a,b,c,d\r\ne,f,g,h");
    }
    void lineEnds()
    {
        QFETCH(QByteArray, bytes);
        const std::vector<ScheduleEntry> expected{{"a", "b", "c", "d"}, {"e", "f", "g", "h"}};
        QCOMPARE(parseSchedule(bytes), expected);
    }

    void oddLinesLoadWhatTheyHaveAndTheRestStillLoads()
    {
        const QByteArray bytes = "a,b,c,d,e,f\r\n"
                                 "\r\n"
                                 ",,,\r\n"
                                 "p,q\r\n"
                                 "w,x,y,z\r\n";
        const std::vector<ScheduleEntry> expected{{"a", "b", "c", "d"}, {"p", "q", "", ""}, {"w", "x", "y", "z"}};
        QCOMPARE(parseSchedule(bytes), expected);
        // A short line is written back with its empty fields and loads again as four.
        QCOMPARE(formatSchedule(std::vector<ScheduleEntry>{expected[1]}), QByteArray("p,q,,\r\n"));
        QCOMPARE(parseSchedule("p,q,,\r\n"), std::vector<ScheduleEntry>{expected[1]});
    }

    void emptyFileHasNoEntries()
    {
        QVERIFY(parseSchedule(QByteArray()).empty());
        QVERIFY(parseSchedule("\r\n\n\r").empty());
    }
};

PLOVERN_TEST_MAIN(TestScheduleFile)
#include "tst_schedulefile.moc"
