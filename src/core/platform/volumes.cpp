#include "core/platform/volumes.h"

#include <array>
#include <cstdio>
#include <vector>

#include <mntent.h>

#include <QDir>
#include <QFile>
#include <QStorageInfo>

#include "core/platform/paths.h"

namespace plovern {

namespace {

struct MountEntry
{
    QByteArray device;
    QString point; // clean
    QByteArray type;
};

// The entries of a mount table or fstab as glibc reads them: comments
// skipped, "\040" and the other escapes undone.
std::vector<MountEntry> mountsIn(FILE* table)
{
    std::vector<MountEntry> mounts;
    if (!table)
        return mounts;
    mntent entry{};
    std::array<char, 8192> line{};
    while (::getmntent_r(table, &entry, line.data(), static_cast<int>(line.size()))) {
        const QString point = QDir::cleanPath(pathText(entry.mnt_dir));
        if (point.startsWith(QLatin1Char('/')))
            mounts.push_back({entry.mnt_fsname, point, entry.mnt_type});
    }
    return mounts;
}

std::vector<MountEntry> mountsOf(const char* path)
{
    FILE* table = ::setmntent(path, "re");
    std::vector<MountEntry> mounts = mountsIn(table);
    if (table)
        ::endmntent(table);
    return mounts;
}

QStringList pointsOf(const std::vector<MountEntry>& mounts)
{
    QStringList points;
    for (const MountEntry& mount : mounts)
        points.append(mount.point);
    return points;
}

} // namespace

QString unmountedDriveOf(const QString& path, const QByteArray& fstab, const QStringList& mountPoints)
{
    const QString clean = QDir::cleanPath(path);
    QByteArray table = fstab; // fmemopen takes no empty buffer
    table.append('\n');
    FILE* file = ::fmemopen(table.data(), static_cast<size_t>(table.size()), "r");
    const QStringList listed = pointsOf(mountsIn(file));
    if (file)
        std::fclose(file);
    for (const QString& point : listed) {
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
    QFile fstab(QStringLiteral("/etc/fstab"));
    const QByteArray listed = fstab.open(QIODevice::ReadOnly) ? fstab.readAll() : QByteArray();
    return unmountedDriveOf(path, listed, pointsOf(mountsOf("/proc/self/mounts")));
}

QStringList mountedVolumeRoots()
{
    QStringList roots;
    const std::vector<MountEntry> mounts = mountsOf("/proc/self/mounts");
    if (!mounts.empty()) {
        // Disks (a device node) and network shares: where backups go.
        static const QList<QByteArray> network = {"nfs", "nfs4", "cifs", "smb3", "fuse.sshfs", "9p"};
        for (const MountEntry& mount : mounts) {
            const bool holdsFiles
                = mount.device.startsWith('/') || mount.point == QLatin1String("/") || network.contains(mount.type);
            if (holdsFiles && !roots.contains(mount.point))
                roots.append(mount.point);
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
