#pragma once

// Private to the copy engine (src/core/engine/): nothing outside that folder includes it.

#include <string>

namespace plovern {

// What the target's drive does with what a copy asks of it, found once per
// copy by trying, in the target folder: drives lie (exFAT through FUSE takes a
// mode and keeps 0777; sshfs sets a link's time on the file it points to).
struct DriveHabits
{
    bool foldsCase = false; // a name made in lower case is found in upper case
    bool dropsModes = false; // a mode change succeeds and does not hold
    bool keepsModes = true; // a mode change succeeds and holds (not on FAT, exFAT)
    bool followsLinks = false; // a link's time, set without following it, lands on its target
    // Nanoseconds between two times the drive can tell apart: 2 s on FAT,
    // 10 ms on exFAT, whole seconds through some FUSE drives.
    long long timeResolution = 1;
    bool keepsOwners = true; // an owner set as root holds (not on FAT, exFAT, sshfs)
};

// Tries each habit once in the folder `dirFd` with a file of the name
// `probe`, which it removes again. A folder where nothing can be made has none.
DriveHabits probeDrive(int dirFd, const std::string& probe);

// Whether the drive holding the folder `dirFd` takes `a` and `b` for one
// name: a file made under the name `stem` + `a` is found as `stem` + `b`.
// Which names a drive folds is its own table's business (exFAT keeps the
// Kelvin sign apart from "k"), so this asks the drive. A probe that cannot be
// made says they are one.
bool driveFolds(int dirFd, const std::string& stem, const std::string& a, const std::string& b);

// Whether the drive holding `dirFd` stamps change times with the kernel's
// clock for file times, which keeps nanoseconds and lags the wall clock by up
// to one tick (ext4, btrfs, XFS, tmpfs, F2FS, bcachefs, ZFS).
bool stampsByKernelClock(int dirFd);

// Whether the drive holding `dirFd` can make a file share the blocks of
// another (btrfs, XFS, bcachefs, OpenZFS).
bool sharesBlocks(int dirFd);

// How much earlier than a copy's start a file on the source drive holding
// `dirFd` must have changed to be taken as unchanged since: the step of the
// kernel's clock where it stamps, and FAT's two seconds on any other drive
// (FAT, exFAT, NTFS, network shares, FUSE), whose clocks may be coarser.
long long sourceTimeSlack(int dirFd);

// A link the target's file system cannot hold (FAT), as opposed to one that
// could not be made.
bool refusedByTarget(int error);

} // namespace plovern
