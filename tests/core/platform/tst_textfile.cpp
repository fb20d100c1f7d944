#include <random>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>

#include "core/platform/logfile.h"
#include "core/platform/ownfolder.h"
#include "core/platform/paths.h"
#include "core/platform/textfile.h"
#include "support/core/fakes.h"
#include "support/core/testmain.h"

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

    void pathsCarryEveryByte()
    {
        // Names are bytes: UTF-8 or not, overlong, encoded surrogates, cut short.
        const QByteArray odd[] = {"\xff",         "\xc0\xaf",    "\xed\xb2\x80",    "\xe2\x82", "\xf4\x90\x80\x80",
                                  "\xef\xbf\xbd", "caf\xc3\xa9", "\xf0\x9f\x92\xbe"};
        for (const QByteArray& bytes : odd)
            QCOMPARE(pathBytes(pathText("/d/" + bytes + "x")), "/d/" + bytes + "x");
        QCOMPARE(pathText("caf\xc3\xa9"), QStringLiteral("caf\u00e9"));
        QVERIFY(pathText("\xff") != pathText("\xef\xbf\xbd")); // never the same folder as U+FFFD
        std::mt19937 random(7);
        for (int i = 0; i < 20000; ++i) {
            QByteArray bytes(1 + int(random() % 12), Qt::Uninitialized);
            for (char& c : bytes)
                c = char(1 + random() % 255);
            QCOMPARE(pathBytes(pathText(bytes)), bytes);
        }
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
        LogFile log(std::make_shared<const OwnFolder>(dir.path()), "PlovernLog.txt");
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
