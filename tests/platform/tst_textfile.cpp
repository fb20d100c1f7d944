#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>

#include "platform/logfile.h"
#include "platform/textfile.h"
#include "support/fakes.h"
#include "support/testmain.h"

using namespace plovern;
using namespace plovern::test;

class TestTextFile : public QObject
{
    Q_OBJECT
private slots:
    void linesEndAtCrLfCrOrLf()
    {
        QCOMPARE(splitLines("a\r\nb\rc\nd"), (QList<QByteArray>{"a", "b", "c", "d"}));
        QCOMPARE(splitLines("a\r\n\r\n"), (QList<QByteArray>{"a", ""}));
        QCOMPARE(splitLines("\n\r"), (QList<QByteArray>{"", ""}));
        QVERIFY(splitLines(QByteArray()).isEmpty());
    }

    void aShortSaveKeepsTheOldFile()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath("f.txt");
        QVERIFY(saveFile(path, "old"));
        bool saved = true;
        QString error;
        {
            FileSizeLimit limit(100);
            saved = saveFile(path, QByteArray(1000, 'n'), &error);
        }
        QVERIFY(!saved);
        QVERIFY(!error.isEmpty());
        QCOMPARE(contentOf(path), QByteArray("old"));
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList{"f.txt"});
    }

    void aShortAppendIsTakenBack()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath("record.txt");
        QVERIFY(appendToFile(path, "/b/one\r\n"));
        bool appended = true;
        {
            FileSizeLimit limit(12);
            appended = appendToFile(path, "/b/two-is-too-long\r\n");
        }
        QVERIFY(!appended);
        QVERIFY(appendToFile(path, "/b/three\r\n"));
        QCOMPARE(contentOf(path), QByteArray("/b/one\r\n/b/three\r\n"));
    }

    void theLogKeepsOneOlderFilePastItsLimit()
    {
        QTemporaryDir dir;
        LogFile log(dir.filePath("PlovernLog.txt"));
        QCOMPARE(log.olderPath(), dir.filePath("PlovernLog.1.txt"));
        const QDateTime when(QDate(2026, 12, 7), QTime(9, 0, 5));
        log.write(when, "copy made: first");
        QCOMPARE(contentOf(log.path()), QByteArray("2026-12-07T09:00:05 copy made: first\r\n"));
        const QString line(100000, QLatin1Char('x'));
        for (int i = 0; i < 21; ++i) // a little over two limits' worth
            log.write(when, line);
        QVERIFY(QFileInfo(log.path()).size() <= LogFile::kLimit);
        QVERIFY(QFileInfo(log.olderPath()).size() <= LogFile::kLimit);
        QVERIFY(QFileInfo(log.olderPath()).size() > LogFile::kLimit - 110000);
        QVERIFY(!contentOf(log.olderPath()).contains("first")); // the oldest went
        QVERIFY(!QFileInfo::exists(dir.filePath("PlovernLog.1.1.txt")));
    }
};

PLOVERN_TEST_MAIN(TestTextFile)
#include "tst_textfile.moc"
