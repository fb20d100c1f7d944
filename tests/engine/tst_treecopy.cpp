#include <sys/stat.h>
#include <unistd.h>

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>

#include "engine/foldcopy.h"
#include "engine/treecopy.h"
#include "support/fakes.h"
#include "support/testmain.h"

using namespace plovern;
using namespace plovern::test;

namespace {

QStringList entriesBelow(const QString& root)
{
    QStringList names;
    QDirIterator it(root, QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System,
                    QDirIterator::Subdirectories);
    while (it.hasNext())
        names.append(QDir(root).relativeFilePath(it.next()));
    names.sort();
    return names;
}

} // namespace

class TestTreeCopy : public QObject
{
    Q_OBJECT
private:
    QTemporaryDir m_dir;
    QString path(const QString& name) const { return m_dir.filePath(name); }

private slots:
    void init() { QVERIFY(m_dir.isValid()); }
    void cleanup()
    {
        // Leave the next test a clean, deletable folder.
        QDirIterator it(m_dir.path(), QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System,
                        QDirIterator::Subdirectories);
        while (it.hasNext())
            ::chmod(QFile::encodeName(it.next()).constData(), 0755);
        for (const QString& name : QDir(m_dir.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden))
            QDir(path(name)).removeRecursively(), QFile::remove(path(name));
    }

    void copiesTheWholeTreeWithModesTimesAndLinks()
    {
        makeTree(path("src"),
                 {{"a.txt", "alpha"},
                  {"sub/b.bin", QByteArray(300000, 'b')},
                  {"sub/deeper/c", ""},
                  {"empty/", {}},
                  {".hidden", "h"}});
        ::chmod(QFile::encodeName(path("src/a.txt")).constData(), 0640);
        const QDateTime old(QDate(2020, 5, 4), QTime(3, 2, 1), Qt::UTC);
        {
            QFile f(path("src/sub/b.bin"));
            QVERIFY(f.open(QIODevice::ReadWrite));
            QVERIFY(f.setFileTime(old, QFileDevice::FileModificationTime));
        }
        QVERIFY(QFile::link(QStringLiteral("../outside"), path("src/link-out")));
        QVERIFY(QFile::link(path("src"), path("src/sub/loop"))); // would recurse forever if followed
        QVERIFY(::mkfifo(QFile::encodeName(path("src/pipe")).constData(), 0644) == 0);

        QCOMPARE(copyTree(path("src"), path("dst")), QStringList());

        QCOMPARE(entriesBelow(path("dst")),
                 (QStringList{".hidden", "a.txt", "empty", "link-out", "sub", "sub/b.bin", "sub/deeper", "sub/deeper/c",
                              "sub/loop"}));
        QCOMPARE(contentOf(path("dst/a.txt")), QByteArray("alpha"));
        QCOMPARE(contentOf(path("dst/sub/b.bin")), QByteArray(300000, 'b'));
        QCOMPARE(QFileInfo(path("dst/a.txt")).permissions() & 0x7777,
                 QFileInfo(path("src/a.txt")).permissions() & 0x7777);
        QCOMPARE(QFileInfo(path("dst/sub/b.bin")).lastModified().toUTC(), old);
        QVERIFY(QFileInfo(path("dst/sub/loop")).isSymLink());
        QCOMPARE(QFileInfo(path("dst/link-out")).symLinkTarget(), QFileInfo(path("outside")).absoluteFilePath());
    }

    void mergesIntoAnEarlierCopyOfTheSameDay()
    {
        makeTree(path("src"), {{"same.txt", "new"}, {"sub/x", "x2"}});
        makeTree(path("dst"), {{"same.txt", "old"}, {"only-in-target.txt", "keep"}, {"sub/x", "x1"}});
        QCOMPARE(copyTree(path("src"), path("dst")), QStringList());
        QCOMPARE(contentOf(path("dst/same.txt")), QByteArray("new"));
        QCOMPARE(contentOf(path("dst/sub/x")), QByteArray("x2"));
        QCOMPARE(contentOf(path("dst/only-in-target.txt")), QByteArray("keep"));
        QCOMPARE(entriesBelow(path("dst")), (QStringList{"only-in-target.txt", "same.txt", "sub", "sub/x"}));
    }

    void aSecondCopyOfReadOnlyFoldersStillMerges()
    {
        makeTree(path("src"), {{"locked/a", "1"}});
        ::chmod(QFile::encodeName(path("src/locked")).constData(), 0555);
        ::chmod(QFile::encodeName(path("src")).constData(), 0555);
        QCOMPARE(copyTree(path("src"), path("dst")), QStringList());
        ::chmod(QFile::encodeName(path("src")).constData(), 0755);
        ::chmod(QFile::encodeName(path("src/locked")).constData(), 0755);
        makeTree(path("src"), {{"locked/a", "2"}, {"locked/b", "new"}});
        ::chmod(QFile::encodeName(path("src/locked")).constData(), 0555);
        QCOMPARE(copyTree(path("src"), path("dst")), QStringList());
        QCOMPARE(contentOf(path("dst/locked/a")), QByteArray("2"));
        QCOMPARE(contentOf(path("dst/locked/b")), QByteArray("new"));
        QCOMPARE(QFileInfo(path("dst/locked")).permissions() & 0x7777,
                 QFileInfo(path("src/locked")).permissions() & 0x7777);
    }

    void aMissingDestinationParentCreatesNothing()
    {
        makeTree(path("src"), {{"a", "a"}});
        const QStringList failures = copyTree(path("src"), path("unmounted/drive/copy"));
        QCOMPARE(failures.size(), 1);
        QVERIFY(!QFileInfo::exists(path("unmounted")));
    }

    void aTargetInsideTheSourceIsRefused()
    {
        makeTree(path("src"), {{"a", "a"}});
        QCOMPARE(copyTree(path("src"), path("src/src1272026")).size(), 1);
        QCOMPARE(copyTree(path("src"), path("src")).size(), 1);
        QCOMPARE(entriesBelow(path("src")), QStringList{"a"});
    }

    void anUnreadableFileFailsTheCopyButNotTheRest()
    {
        makeTree(path("src"), {{"a", "a"}, {"locked", "secret"}, {"z/z", "z"}});
        ::chmod(QFile::encodeName(path("src/locked")).constData(), 0);
        const QStringList failures = copyTree(path("src"), path("dst"));
        QCOMPARE(failures.size(), 1);
        QVERIFY(failures[0].contains(QStringLiteral("locked")));
        QCOMPARE(contentOf(path("dst/a")), QByteArray("a"));
        QCOMPARE(contentOf(path("dst/z/z")), QByteArray("z"));
        QVERIFY(!QFileInfo::exists(path("dst/locked")));
    }

    void aFailedWriteNeverTearsTheEarlierCopy()
    {
        makeTree(path("src"), {{"big.bin", QByteArray(256 * 1024, 'n')}, {"fresh.bin", QByteArray(256 * 1024, 'f')}});
        makeTree(path("dst"), {{"big.bin", "the earlier good copy"}});
        QStringList failures;
        {
            FileSizeLimit limit(64 * 1024);
            failures = copyTree(path("src"), path("dst"));
        }
        QCOMPARE(failures.size(), 2);
        QCOMPARE(contentOf(path("dst/big.bin")), QByteArray("the earlier good copy"));
        // Neither a torn new file nor a temporary one is left behind.
        QCOMPARE(entriesBelow(path("dst")), QStringList{"big.bin"});
    }

    void targetPathsJoinWithoutSeparators()
    {
        const QDate day(2026, 12, 5);
        QCOMPARE(sourceName(QStringLiteral("/data/Reports")), QStringLiteral("Reports"));
        QCOMPARE(sourceName(QStringLiteral("/")), QString());
        QCOMPARE(sourceName(QStringLiteral("Reports")), QStringLiteral("Reports"));
        QCOMPARE(targetPath("/data/Reports", "/backup/", day), QStringLiteral("/backup/Reports1252026"));
        QCOMPARE(targetPath("/data/Reports", "/backup", day), QStringLiteral("/backupReports1252026"));
        QCOMPARE(targetPath("/", "/mnt/usb/", day), QStringLiteral("/mnt/usb/1252026"));
    }

    void foldCopyMakesTheDatedFolder()
    {
        makeTree(path("Reports"), {{"r.txt", "r"}});
        QDir().mkpath(path("backup"));
        const CopyOutcome outcome = foldCopy(path("Reports"), path("backup/"), QDate(2026, 12, 7));
        QCOMPARE(outcome.failures, QStringList());
        QCOMPARE(outcome.target, path("backup/Reports1272026"));
        QCOMPARE(contentOf(path("backup/Reports1272026/r.txt")), QByteArray("r"));

        QVERIFY(!foldCopy(QString(), path("backup/"), QDate(2026, 12, 7)).failures.isEmpty());
        QVERIFY(!foldCopy(path("missing"), path("backup/"), QDate(2026, 12, 7)).failures.isEmpty());
        QVERIFY(!QFileInfo::exists(path("backup/missing1272026")));
    }

    void deletesWholeTreesOnly()
    {
        makeTree(path("old"), {{"a", "a"}, {"sub/b", "b"}, {"sub/empty/", {}}});
        QVERIFY(QFile::link(path("keep"), path("old/link")));
        makeTree(path("keep"), {{"k", "k"}});
        QString error;
        const DeleteOutcome outcome = deleteTree(path("old"), &error);
        QCOMPARE(error, QString());
        QCOMPARE(outcome, DeleteOutcome::Deleted);
        QVERIFY(!QFileInfo::exists(path("old")));
        QCOMPARE(contentOf(path("keep/k")), QByteArray("k")); // the link was removed, not followed
        QCOMPARE(deleteTree(path("old")), DeleteOutcome::Missing);

        QVERIFY(QFile::link(path("keep"), path("alias")));
        QCOMPARE(deleteTree(path("alias")), DeleteOutcome::Failed);
        QVERIFY(QFileInfo::exists(path("keep/k")));
    }

    void aReadOnlyFileLeavesTheFolderWhole()
    {
        makeTree(path("old"), {{"a", "a"}, {"sub/ro", "r"}, {"z", "z"}});
        ::chmod(QFile::encodeName(path("old/sub/ro")).constData(), 0444);
        QString error;
        QCOMPARE(deleteTree(path("old"), &error), DeleteOutcome::Failed);
        QVERIFY(error.contains(QStringLiteral("ro")));
        QCOMPARE(entriesBelow(path("old")), (QStringList{"a", "sub", "sub/ro", "z"}));
    }
};

PLOVERN_TEST_MAIN(TestTreeCopy)
#include "tst_treecopy.moc"
