#include <fcntl.h>
#include <linux/fs.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>

#include "core/engine/treedelete.h"
#include "support/core/fakes.h"
#include "support/core/sandbox.h"
#include "support/core/testmain.h"

using namespace plovern;
using namespace plovern::test;

class TestTreeDelete : public QObject
{
    Q_OBJECT
private:
    QTemporaryDir m_dir;
    QString path(const QString& name) const { return m_dir.filePath(name); }

private slots:
    void deletesWholeTreesOnly()
    {
        makeTree(path("old"), {{"a", "a"}, {"sub/b", "b"}, {"sub/empty/", {}}});
        QVERIFY(QFile::link(path("keep"), path("old/link")));
        makeTree(path("keep"), {{"k", "k"}});
        QString error;
        bool deleted = false;
        QVERIFY(deleteTree(path("old"), &error, {}, &deleted));
        QCOMPARE(error, QString());
        QVERIFY(deleted);
        QVERIFY(!QFileInfo::exists(path("old")));
        QCOMPARE(contentOf(path("keep/k")), QByteArray("k")); // the link was removed, not followed
        QVERIFY(deleteTree(path("old"), &error, {}, &deleted)); // gone is gone
        QVERIFY(!deleted);

        QVERIFY(QFile::link(path("keep"), path("alias")));
        QVERIFY(!deleteTree(path("alias")));
        QVERIFY(QFileInfo::exists(path("keep/k")));

        // A copy writing into it holds it locked, whichever program it is.
        const int held = ::open(QFile::encodeName(path("keep")).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        QVERIFY(held >= 0 && ::flock(held, LOCK_EX) == 0);
        QVERIFY(!deleteTree(path("keep"), &error));
        ::close(held);
        QVERIFY2(error.contains("a copy is writing into it now"), qPrintable(error));
        QVERIFY(QFileInfo::exists(path("keep/k")));
    }

    void deletesNothingOfAFileSystemMountedInside()
    {
        makeTree(path("old"), {{"a", "a"}, {"share/", {}}});
        const QByteArray result = inChild([&] {
            if (!enterMountNamespace() || !mountTmpfs(path("old/share")))
                return QByteArray("<no mount namespace>");
            makeTree(path("old/share"), {{"their-file", "theirs"}});
            QString error;
            const bool deleted = deleteTree(path("old"), &error);
            return QByteArray::number(int(deleted)) + "|" + contentOf(path("old/share/their-file")) + "|"
                + contentOf(path("old/a")) + "|" + error.toUtf8();
        });
        if (result == "<no mount namespace>")
            QSKIP("this kernel lets no user mount in a namespace of its own");
        QVERIFY2(result.startsWith("0|theirs|a|"), result.constData());
        QVERIFY(result.contains("mounted"));
    }

    void onlyWhatTheSystemProtectsKeepsACopyFromThePurge()
    {
        // A file's own write bit protects nothing here (every git repository has 0444 objects).
        makeTree(path("old"), {{"a", "a"}, {".git/objects/ab/cdef", "blob"}, {"z", "z"}});
        ::chmod(QFile::encodeName(path("old/.git/objects/ab/cdef")).constData(), 0444);
        QString error;
        QVERIFY(deleteTree(path("old"), &error));

        // A folder this user may not change is left whole.
        makeTree(path("old"), {{"a", "a"}, {"sub/ro/f", "r"}});
        ::chmod(QFile::encodeName(path("old/sub/ro")).constData(), 0555);
        QVERIFY(!deleteTree(path("old"), &error));
        QVERIFY2(error.endsWith("old/sub/ro: the folder cannot be changed"), qPrintable(error));
        QCOMPARE(entriesBelow(path("old")), (QStringList{"a", "sub", "sub/ro", "sub/ro/f"}));
        ::chmod(QFile::encodeName(path("old/sub/ro")).constData(), 0755);

        // Immutable and append-only files anywhere in the tree: checked first, nothing deleted.
        for (const int flag : {FS_IMMUTABLE_FL, FS_APPEND_FL}) {
            QList<QPair<QString, QByteArray>> files;
            for (int i = 0; i < 50; ++i)
                files.append({QStringLiteral("d%1/f%2").arg(i / 10).arg(i), "x"});
            makeTree(path("many"), files);
            const QStringList before = entriesBelow(path("many"));
            const QString lockedFile = path("many/d2/f28");
            if (!setInodeFlag(lockedFile, flag, true))
                QSKIP("making a file immutable needs CAP_LINUX_IMMUTABLE and a drive that keeps the flag");
            const bool deleted = deleteTree(path("many"), &error);
            setInodeFlag(lockedFile, flag, false);
            QVERIFY(!deleted);
            QVERIFY2(error.contains("d2/f28: the system protects it from deletion"), qPrintable(error));
            QCOMPARE(entriesBelow(path("many")), before);
            QVERIFY(deleteTree(path("many")));
        }
    }
};

PLOVERN_TEST_MAIN(TestTreeDelete)
#include "tst_treedelete.moc"
