#include <QDir>
#include <QTemporaryDir>
#include <QTest>

#include "core/platform/volumes.h"
#include "support/core/sandbox.h"
#include "support/core/testmain.h"

using namespace plovern;
using namespace plovern::test;

class TestVolumes : public QObject
{
    Q_OBJECT
private slots:
    void theVolumesAreTheMountedDrivesAndNothingMemoryBacked()
    {
        QTemporaryDir dir;
        QVERIFY(QDir().mkpath(dir.filePath("drive")));
        QVERIFY(QDir().mkpath(dir.filePath("memory")));
        const QByteArray seen = inChild([&] {
            if (!enterMountNamespace() || !bindMount(dir.filePath("drive"), dir.filePath("drive"))
                || !mountTmpfs(dir.filePath("memory")))
                return QByteArray("no namespace");
            const QStringList roots = mountedVolumeRoots();
            return QByteArray(roots.contains("/") ? "/" : "-")
                + (roots.contains(dir.filePath("drive")) ? " drive" : " -")
                + (roots.contains(dir.filePath("memory")) ? " memory" : " -");
        });
        if (seen == "no namespace")
            QSKIP("no mount namespace here");
        QCOMPARE(seen, QByteArray("/ drive -"));
    }

    void aPathBelongsToTheDeepestVolumeAboveIt()
    {
        const QStringList roots{"/", "/media/anna/STICK", "/media/anna/STICK2"};
        QCOMPARE(volumeRootOf("/media/anna/STICK/Reports", roots), QStringLiteral("/media/anna/STICK"));
        QCOMPARE(volumeRootOf("/media/anna/STICK2", roots), QStringLiteral("/media/anna/STICK2"));
        QCOMPARE(volumeRootOf("/media/anna/STICK22/x", roots), QStringLiteral("/"));
    }
};

PLOVERN_TEST_MAIN(TestVolumes)
#include "tst_volumes.moc"
