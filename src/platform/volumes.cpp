#include "platform/volumes.h"

#include <QDir>
#include <QFile>
#include <QStorageInfo>

#include "platform/paths.h"

namespace plovern {

namespace {

// The mount table escapes blanks and a few other characters as \ooo.
QString unescapeMountPath(const QByteArray& field)
{
    QByteArray out;
    for (qsizetype i = 0; i < field.size(); ++i) {
        if (field[i] == '\\' && i + 3 < field.size()) {
            bool ok = false;
            const int code = field.mid(i + 1, 3).toInt(&ok, 8);
            if (ok) {
                out.append(static_cast<char>(code));
                i += 3;
                continue;
            }
        }
        out.append(field[i]);
    }
    return pathText(out);
}

// The second field of each line of a mount table or fstab.
QStringList mountPointsIn(const QByteArray& table)
{
    QStringList points;
    for (const QByteArray& line : table.split('\n')) {
        const QList<QByteArray> fields = line.simplified().split(' ');
        if (fields.size() < 2 || fields[0].startsWith('#'))
            continue;
        const QString point = QDir::cleanPath(unescapeMountPath(fields[1]));
        if (point.startsWith(QLatin1Char('/')))
            points.append(point);
    }
    return points;
}

QByteArray readAll(const char* path)
{
    QFile file(QString::fromLatin1(path));
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

} // namespace

QString unmountedDriveOf(const QString& path, const QByteArray& fstab, const QStringList& mountPoints)
{
    const QString clean = QDir::cleanPath(path);
    for (const QString& point : mountPointsIn(fstab)) {
        if (point != QLatin1String("/") && isAtOrBelow(clean, point) && !mountPoints.contains(point))
            return point;
    }
    for (const QString& removable : {QStringLiteral("/media/"), QStringLiteral("/run/media/")}) {
        if (!clean.startsWith(removable))
            continue;
        // The drive's own folder: two names below, /media/<user>/<drive>.
        const QStringList names = clean.mid(removable.size()).split(QLatin1Char('/'));
        if (names.size() < 2)
            continue;
        const QString drive = removable + names[0] + QLatin1Char('/') + names[1];
        if (!mountPoints.contains(drive))
            return drive;
    }
    return {};
}

QString unmountedDriveOf(const QString& path)
{
    return unmountedDriveOf(path, readAll("/etc/fstab"), mountPointsIn(readAll("/proc/self/mounts")));
}

QStringList mountedVolumeRoots()
{
    QStringList roots;
    QFile table(QStringLiteral("/proc/self/mounts"));
    if (table.open(QIODevice::ReadOnly)) {
        for (const QByteArray& line : table.readAll().split('\n')) {
            const QList<QByteArray> fields = line.split(' ');
            if (fields.size() < 3)
                continue;
            const QByteArray& device = fields[0];
            const QString root = unescapeMountPath(fields[1]);
            // Disks (a device node) and network shares: where backups go.
            static const QList<QByteArray> network = {"nfs", "nfs4", "cifs", "smb3", "fuse.sshfs", "9p"};
            const bool holdsFiles = device.startsWith('/') || root == QLatin1String("/") || network.contains(fields[2]);
            if (holdsFiles && !roots.contains(root))
                roots.append(root);
        }
    } else {
        for (const QStorageInfo& volume : QStorageInfo::mountedVolumes()) {
            if (volume.isValid() && volume.isReady() && !roots.contains(volume.rootPath()))
                roots.append(volume.rootPath());
        }
    }
    if (roots.isEmpty())
        roots.append(QDir::rootPath());
    roots.sort();
    return roots;
}

QString volumeRootOf(const QString& path, const QStringList& roots)
{
    QString best = QDir::rootPath();
    for (const QString& root : roots) {
        if (isAtOrBelow(path, root) && root.size() > best.size())
            best = root;
    }
    return best;
}

} // namespace plovern
