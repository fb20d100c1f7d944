#pragma once

#include <string>

#include <sys/stat.h>

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <QStringView>

namespace plovern {

// A path is bytes, and need not be UTF-8. A QString carries any such path
// losslessly: valid UTF-8 as its text, each other byte as a lone surrogate
// U+DC80 to U+DCFF (Python's "surrogateescape"). Every path read from the
// program's files, from the system or from a control reaches the system
// calls through these two, never through a lossy conversion.
QString pathText(QByteArrayView bytes);
QByteArray pathBytes(QStringView text);
// A path as one field of a line of the program's files: percent-encoded, so
// that no blank, comma or line end in it splits the line, and back.
QByteArray pathField(QStringView path);
QString pathOfField(QByteArrayView field);
// The same as the copy engine keeps them, and a system call's reason.
std::string bytesOf(const QString& path);
QString textOf(const std::string& bytes);
std::string errnoText(int error);

// The path with links, "." and ".." resolved by the system, or an empty text
// when some part of it is not there.
QString realPath(const QString& path);

// Where the path leads with the folders above it resolved and its own last
// name as it is, so that a link there is told apart from what it points to;
// an empty text when its parent is not there. Two spellings of one folder
// ("/backup//Docs", a link to /backup) give one text.
QString realLocation(const QString& path);

// Whether the path names a folder itself, not a link to one.
bool isRealFolder(const QString& path);

// What a folder is wherever it is mounted (a bind mount, a drive at two
// places): its device and inode. Known only on drives whose inode numbers
// hold while the folder does (ext4, XFS, btrfs, tmpfs, F2FS, bcachefs, ZFS,
// NFS); FAT, exFAT, NTFS, SMB and FUSE drives (sshfs) number files as they
// are looked up, so there a folder is told by its real path.
struct FolderId
{
    quint64 device = 0;
    quint64 inode = 0;

    bool known() const { return inode != 0; }
    // Whether both are known and one folder. A device renumbered since
    // (a drive plugged in after another, a btrfs subvolume after a reboot)
    // is the same folder where the real path still leads to the inode.
    bool sameAs(const FolderId& other, bool sameRealPath) const
    {
        return known() && inode == other.inode && (device == other.device || sameRealPath);
    }
    bool operator==(const FolderId&) const = default;
};

// The folder `path` leads to, not following its last name when it is a link.
FolderId folderIdOf(const QString& path);
// The folder open as `fd`, whose status is `st`.
FolderId folderIdOf(int fd, const struct stat& st);
// "device:inode", or "-" when not known; and back (unknown when malformed).
QByteArray folderIdField(const FolderId& id);
FolderId folderIdOfField(QByteArrayView field);

// Whether `path` is `folder` or lies below it; both clean and absolute.
bool isAtOrBelow(QStringView path, QStringView folder);

// "/a/b/c" gives "/a/b" and "c"; a path without "/" has the parent ".".
QString parentPath(const QString& path);
QString lastName(const QString& path);

} // namespace plovern
