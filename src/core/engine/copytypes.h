#pragma once

// What a copy is told and what it tells: the values the copy's parts, its
// entry point (treecopy.h) and its callers share.

#include <atomic>
#include <functional>

#include <QString>
#include <QStringList>

#include "core/platform/paths.h"

namespace plovern {

// What one copy did. Failures are counted and only the first is kept, so a
// tree of ten thousand unreadable files costs one line. Warnings name what the
// target drive could not keep (modes on FAT, say) and files that vanished from
// the source while it was copied; they do not make the copy a failure.
struct CopyReport
{
    int failures = 0;
    QString firstFailure; // names the source path and the reason
    QStringList warnings; // one line per kind, with its count
    bool targetExists = false; // the target folder is there, whole or in part
    bool stopped = false; // asked to stop before the tree was through
    quint64 files = 0; // files in the copy, written or found unchanged
    quint64 bytes = 0; // bytes written
    // The files' sizes in whole 4 KiB blocks: what a full copy writes.
    quint64 fullBytes = 0;
    quint64 sharedFiles = 0; // files that share their blocks with the reference
    quint64 sharedBytes = 0;
    QString reference; // the earlier copy shared with, when one was
    FolderId targetId; // the folder the copy went into
    // Wall-clock nanoseconds, taken before the first entry was read and
    // after the last was written.
    qint64 started = 0;
    qint64 ended = 0;

    bool complete() const { return failures == 0; }
    // The first failure, with "(and N more)" when there were others.
    QString failureText() const;
};

// A file's size as the drive it is copied to takes it, near enough for an
// estimate: in whole 4 KiB blocks.
inline quint64 inBlocks(quint64 size)
{
    return (size + 4095) / 4096 * 4096;
}

// What another thread may see of a running copy, and how it stops one: the
// copy looks at `stop` before each file and each folder, so it ends at the
// next file; the file being written is finished or removed, never left torn.
struct CopyControl
{
    std::atomic<bool> stop{false};
    std::atomic<quint64> files{0};
    // Grows with every folder, file and piece of data written: still means stuck.
    std::atomic<quint64> progress{0};
};

// The wall clock in nanoseconds, as file change times are kept.
qint64 wallNanoseconds();

// Makes the file `out` share the blocks of the file `in` (FICLONE): 0, or the errno.
using CloneCall = std::function<int(int out, int in)>;
int cloneBlocks(int out, int in);

// When an earlier copy wrote the files of its folder, in wall-clock
// nanoseconds (CopyReport::started and ended, kept in the copy book). A file
// it wrote stands for its source only while the source has not changed since
// that copy started and the file itself has not changed since it ended: the
// change times tell, which no program can put back.
struct Written
{
    qint64 started = 0;
    qint64 ended = 0;
    bool known() const { return ended > 0; }
};

// What earlier copies lend this one. A copy merging into a folder that an
// earlier copy of the day wrote (`merged`) leaves the files that still
// stand for their sources as they are. On a drive that can share blocks
// (btrfs, XFS, bcachefs, OpenZFS) a file of `reference` at the same path
// that still stands for its source is cloned into the copy, which is still
// a file of its own; its mode, owner, attributes and times come from the
// source as for any other. The reference's paths are resolved without
// following a link and without leaving its drive. The first answer that the
// drive cannot share turns cloning off for the rest of the copy; a file that
// fails to clone is copied. Where a time is not known, nothing is lent.
struct Reuse
{
    QString reference;
    CloneCall clone = cloneBlocks;
    Written referenceWritten = {};
    Written merged = {};
    FolderId referenceId = {}; // when known, the folder the book knows at `reference`
};

} // namespace plovern
