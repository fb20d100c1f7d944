#pragma once

#include <QStringList>

namespace plovern {

// The root paths of the mounted disks and network shares (not the kernel's
// pseudo file systems nor memory-backed ones), read from the mount table without touching the
// volumes themselves, so a dead network mount cannot hang the caller.
QStringList mountedVolumeRoots();

// The root, among `roots`, of the volume that holds `path`.
QString volumeRootOf(const QString& path, const QStringList& roots);

// Where the drive that `path` belongs on is missing: a mount point listed in
// `fstab` that is not among `mountPoints`, or a /media/<user>/<drive> or
// /run/media/<user>/<drive> folder that is not a mount point, at or above
// `path`. Empty when nothing is missing, so a copy there reaches its drive
// rather than the system disk below the empty mount point.
QString unmountedDriveOf(const QString& path, const QByteArray& fstab, const QStringList& mountPoints);
// The same against /etc/fstab and the mounts of now.
QString unmountedDriveOf(const QString& path);

} // namespace plovern
