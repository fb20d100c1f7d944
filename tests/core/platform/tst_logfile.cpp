#include <memory>

#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>

#include "core/platform/logfile.h"
#include "core/platform/ownfolder.h"
#include "support/core/fakes.h"
#include "support/core/testmain.h"

using namespace plovern;
using namespace plovern::test;

class TestLogFile : public QObject
{
    Q_OBJECT
private slots:
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

PLOVERN_TEST_MAIN(TestLogFile)
#include "tst_logfile.moc"
