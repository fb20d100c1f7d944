#pragma once

#include <QStringList>

namespace plovern {

// The root paths of the mounted disks and network shares (not the kernel's
// pseudo file systems nor memory-backed ones), read from the mount table without touching the
// volumes themselves, so a dead network mount cannot hang the caller.
QStringList mountedVolumeRoots();

// The root, among `roots`, of the volume that holds `path`.
QString volumeRootOf(const QString& path, const QStringList& roots);

} // namespace plovern
