#include "platform/volumes.h"

#include <QDir>
#include <QFile>
#include <QStorageInfo>

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
    return QFile::decodeName(out);
}

} // namespace

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
        const bool holds = path == root || root == QLatin1String("/")
            || path.startsWith(root.endsWith(QLatin1Char('/')) ? root : root + QLatin1Char('/'));
        if (holds && root.size() > best.size())
            best = root;
    }
    return best;
}

} // namespace plovern
