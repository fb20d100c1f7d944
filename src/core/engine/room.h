#pragma once

#include <optional>

#include <QString>

#include "core/engine/copytypes.h"

namespace plovern {

// What a drive has room for, for the unprivileged user, in bytes.
struct Room
{
    quint64 free = 0;
    quint64 size = 0;
    QString drive; // its mount point
    // It can make a file share the blocks of another, so a copy with a
    // reference writes only what changed.
    bool sharesBlocks = false;
};

// The room on the drive that holds the folder `folder`; none when it cannot
// be asked or does not say.
std::optional<Room> roomOf(const QString& folder);

// What a full copy of `source` writes: its files' sizes, each rounded up to
// whole 4 KiB blocks. Folders deeper than the walk holds open are not counted,
// so the figure never exceeds the copy. Each folder counts as progress of
// `control`. None when it was stopped or the source cannot be read; the copy
// then says why.
std::optional<quint64> bytesToCopy(const QString& source, CopyControl* control);

// Why a copy into `target` that writes `needed` bytes must not start on a
// drive with `room`: it would leave less than a margin (2 % of the drive, at
// most 1 GiB) free. Empty when it fits.
QString roomRefusal(const QString& target, quint64 needed, const Room& room);

// What a copy leaves free on a drive with `room`: 2 % of the drive, at most 1 GiB.
quint64 roomMargin(const Room& room);

// How many more copies of `bytes` each the drive holds, above the margin.
quint64 copiesRoomFor(quint64 bytes, const Room& room);

} // namespace plovern
