#include <QTest>

#include "core/storage/settingsfile.h"
#include "support/core/testmain.h"

using namespace plovern;

class TestSettingsFile : public QObject
{
    Q_OBJECT
private slots:
    void formatIsCountThenPaddedFlag()
    {
        QCOMPARE(formatSettings("3", true), QByteArray("3\r\n 1 \r\n"));
        QCOMPARE(formatSettings("0", false), QByteArray("0\r\n 0 \r\n"));
    }

    void reading_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("count"); // "-" when not read
        QTest::addColumn<int>("purge"); // -1 when not read

        QTest::newRow("written form, ticked") << QByteArray("3\r\n 1 \r\n") << "3" << 1;
        QTest::newRow("written form, clear") << QByteArray("0\r\n 0 \r\n") << "0" << 0;
        QTest::newRow("1 without blanks") << QByteArray("2\r\n1\r\n") << "2" << 1;
        QTest::newRow("2 clears") << QByteArray("2\r\n2\r\n") << "2" << 0;
        QTest::newRow("-1 clears") << QByteArray("2\r\n-1\r\n") << "2" << 0;
        QTest::newRow("third line ignored") << QByteArray("2\r\n 1 \r\nextra\r\n") << "2" << 1;
        QTest::newRow("one line") << QByteArray("4\r\n") << "4" << -1;
        QTest::newRow("flag not a number") << QByteArray("4\r\nyes\r\n") << "4" << -1;
        QTest::newRow("empty flag") << QByteArray("4\r\n\r\n") << "4" << -1;
        QTest::newRow("comma in line 1") << QByteArray("5,1\r\n 0 \r\n") << "5" << 1;
        QTest::newRow("count not a number") << QByteArray("three\r\n 1 \r\n") << "-" << 1;
        QTest::newRow("LF ends") << QByteArray("6\n 1 \n") << "6" << 1;
        QTest::newRow("CR ends") << QByteArray("6\r 0 \r") << "6" << 0;
        QTest::newRow("empty file") << QByteArray() << "-" << -1;
    }
    void reading()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(QString, count);
        QFETCH(int, purge);
        const StoredSettings stored = parseSettings(bytes);
        QCOMPARE(stored.count.value_or(QStringLiteral("-")), count);
        QCOMPARE(stored.purge ? int(*stored.purge) : -1, purge);
    }
};

PLOVERN_TEST_MAIN(TestSettingsFile)
#include "tst_settingsfile.moc"
