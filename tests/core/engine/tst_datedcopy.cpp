#include <sys/stat.h>

#include <QDate>
#include <QDir>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>

#include "core/engine/datedcopy.h"
#include "core/platform/paths.h"
#include "support/core/fakes.h"
#include "support/core/testmain.h"

using namespace plovern;
using namespace plovern::test;

class TestDatedCopy : public QObject
{
    Q_OBJECT
private:
    QTemporaryDir m_dir;
    QString path(const QString& name) const { return m_dir.filePath(name); }

private slots:
    void targetPathsJoinWithoutSeparators()
    {
        const QDate day(2026, 12, 5);
        QCOMPARE(targetPath("/data/Reports", "/backup/", day), QStringLiteral("/backup/Reports1252026"));
        QCOMPARE(targetPath("/data/Reports", "/backup", day), QStringLiteral("/backupReports1252026"));
        QCOMPARE(targetPath("/", "/mnt/usb/", day), QStringLiteral("/mnt/usb/1252026"));
    }

    void foldCopyMakesTheDatedFolder()
    {
        makeTree(path("Reports"), {{"r.txt", "r"}});
        QDir().mkpath(path("backup"));
        const CopyOutcome outcome = makeDatedCopy(path("Reports"), path("backup/"), QDate(2026, 12, 7));
        QCOMPARE(outcome.report.failureText(), QString());
        QCOMPARE(outcome.target, path("backup/Reports1272026"));
        QCOMPARE(contentOf(path("backup/Reports1272026/r.txt")), QByteArray("r"));

        QVERIFY(!makeDatedCopy(QString(), path("backup/"), QDate(2026, 12, 7)).report.complete());
        QVERIFY(!makeDatedCopy(path("missing"), path("backup/"), QDate(2026, 12, 7)).report.complete());
        QVERIFY(!QFileInfo::exists(path("backup/missing1272026")));
    }

    void aSourceThatIsNotTextCopiesItsOwnFolder()
    {
        const QByteArray root = QFile::encodeName(m_dir.path());
        for (const QByteArray& name : {QByteArray("\xff"
                                                  "Docs"),
                                       QByteArray("\xef\xbf\xbd"
                                                  "Docs")}) {
            QVERIFY(::mkdir(root + '/' + name, 0755) == 0);
            writeBytes(root + '/' + name + "/whose", name);
        }
        QVERIFY(::mkdir(root + "/\xfe", 0755) == 0);
        const CopyOutcome outcome = makeDatedCopy(pathText(root
                                                           + "/\xff"
                                                             "Docs"),
                                                  pathText(root + "/\xfe/"), QDate(2026, 12, 7));
        QCOMPARE(outcome.report.failureText(), QString());
        QCOMPARE(pathBytes(outcome.target),
                 root
                     + "/\xfe/\xff"
                       "Docs1272026");
        QCOMPARE(treeListing(root
                             + "/\xfe/\xff"
                               "Docs1272026"),
                 treeListing(root
                             + "/\xff"
                               "Docs"));
        for (const char* tree : {"/\xff"
                                 "Docs",
                                 "/\xef\xbf\xbd"
                                 "Docs",
                                 "/\xfe"})
            removeTree(root + tree);
    }
};

PLOVERN_TEST_MAIN(TestDatedCopy)
#include "tst_datedcopy.moc"
