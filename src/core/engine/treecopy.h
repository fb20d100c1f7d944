#pragma once

#include <QString>

#include "core/engine/copytypes.h"

namespace plovern {

// Copies the folder tree at `source` into the folder `target`, creating the
// target folder itself (never its parents) or merging into it if it exists.
// A file already at the target that still stands for its source (see Reuse)
// is left as it is; any other is replaced whole, written under a temporary
// name and renamed over the old one once complete. A file that changed while
// it was copied is a warning; the next copy takes it again. Modes, times, owners (when
// the program may set them), extended attributes, holes and hard links within
// the copy are kept; symbolic links are copied as links and never followed;
// FIFOs, sockets and devices are skipped, never opened. A file that fails does
// not stop the rest of the tree. The number of open descriptors stays bounded
// whatever the depth. Files are copied on `threads` worker threads besides the
// one walking the tree.
CopyReport copyTree(const QString& source, const QString& target, int threads = 2, CopyControl* control = nullptr,
                    const Reuse* reuse = nullptr);

} // namespace plovern
