#include <QDir>
#include <QTemporaryDir>
#include <QTest>

#include "core/platform/ownfolder.h"
#include "support/core/fakes.h"
#include "support/core/testmain.h"

using namespace plovern;
using namespace plovern::test;

class TestOwnFolder : public QObject
{
    Q_OBJECT
private slots:
    void aShortSaveKeepsTheOldFile()
    {
        QTemporaryDir dir;
        const OwnFolder files(dir.path());
        const QString path = dir.filePath("f.txt");
        QVERIFY(files.save("f.txt", "old"));
        bool saved = true;
        QString error;
        {
            FileSizeLimit limit(100);
            saved = files.save("f.txt", QByteArray(1000, 'n'), &error);
        }
        QVERIFY(!saved);
        QVERIFY(!error.isEmpty());
        QCOMPARE(contentOf(path), QByteArray("old"));
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList{"f.txt"});
    }

    void aShortAppendIsTakenBack()
    {
        QTemporaryDir dir;
        const OwnFolder files(dir.path());
        const QString path = dir.filePath("record.txt");
        QVERIFY(files.append("record.txt", "/b/one\r\n"));
        bool appended = true;
        {
            FileSizeLimit limit(12);
            appended = files.append("record.txt", "/b/two-is-too-long\r\n");
        }
        QVERIFY(!appended);
        QVERIFY(files.append("record.txt", "/b/three\r\n"));
        QCOMPARE(contentOf(path), QByteArray("/b/one\r\n/b/three\r\n"));
    }
};

PLOVERN_TEST_MAIN(TestOwnFolder)
#include "tst_ownfolder.moc"
