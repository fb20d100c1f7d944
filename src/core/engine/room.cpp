#include "core/engine/room.h"

#include <algorithm>
#include <vector>

#include <fcntl.h>
#include <sys/statvfs.h>

#include <QFileInfo>

#include "core/engine/drivehabits.h"
#include "core/engine/entries.h"
#include "core/platform/ownfolder.h"
#include "core/platform/paths.h"
#include "core/schedule/outlook.h"

namespace plovern {

namespace {

constexpr size_t kHeldLevels = 256;

struct Level
{
    Fd folder;
    std::vector<Entry> entries;
    size_t next = 0;
};

// The highest folder above `folder` on its drive.
QString mountPointOf(const QString& folder)
{
    struct stat st = {};
    QString point = QFileInfo(folder).absoluteFilePath();
    if (::stat(QFile::encodeName(point).constData(), &st) != 0)
        return point;
    const dev_t drive = st.st_dev;
    for (QString up = QFileInfo(point).absolutePath(); up != point; up = QFileInfo(point).absolutePath()) {
        if (::stat(QFile::encodeName(up).constData(), &st) != 0 || st.st_dev != drive)
            break;
        point = up;
    }
    return point;
}

} // namespace

std::optional<Room> roomOf(const QString& folder)
{
    const Fd drive(::open(QFile::encodeName(folder).constData(), O_PATH | O_DIRECTORY | O_CLOEXEC));
    struct statvfs fs = {};
    // A drive of no blocks tells nothing of its room (FUSE drives that do not say).
    if (!drive.valid() || ::fstatvfs(drive.get(), &fs) != 0 || fs.f_blocks == 0)
        return std::nullopt;
    return Room{quint64(fs.f_bavail) * fs.f_frsize, quint64(fs.f_blocks) * fs.f_frsize, mountPointOf(folder),
                sharesBlocks(drive.get())};
}

std::optional<quint64> bytesToCopy(const QString& source, CopyControl* control)
{
    QString why; // the copy itself says why it cannot open the source
    Fd root(openFolderJudged(pathBytes(source), &why));
    if (!root.valid())
        return std::nullopt;
    std::vector<Level> levels;
    levels.push_back({std::move(root), {}, 0});
    if (!listFolder(levels.back().folder.get(), &levels.back().entries))
        return std::nullopt;
    quint64 bytes = 0;
    while (!levels.empty()) {
        if (control->stop.load(std::memory_order_relaxed))
            return std::nullopt;
        Level& level = levels.back();
        if (level.next == level.entries.size()) {
            levels.pop_back();
            continue;
        }
        const Entry& entry = level.entries[level.next++];
        if (entry.type == DT_DIR && levels.size() < kHeldLevels) {
            Fd below(::openat(level.folder.get(), entry.name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
            std::vector<Entry> entries;
            if (below.valid() && listFolder(below.get(), &entries))
                levels.push_back({std::move(below), std::move(entries), 0});
            control->progress.fetch_add(1, std::memory_order_relaxed);
        } else if (entry.type == DT_REG) {
            struct stat st = {};
            if (::fstatat(level.folder.get(), entry.name.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0)
                bytes += inBlocks(quint64(st.st_size));
        }
    }
    return bytes;
}

quint64 roomMargin(const Room& room)
{
    return std::min<quint64>(room.size / 50, quint64(1) << 30);
}

QString roomRefusal(const QString& target, quint64 needed, const Room& room)
{
    if (needed + roomMargin(room) <= room.free)
        return {};
    return QStringLiteral("the copy %1 needs %2, %3 free on %4")
        .arg(target, bytesText(needed), bytesText(room.free), room.drive);
}

quint64 copiesRoomFor(quint64 bytes, const Room& room)
{
    const quint64 usable = room.free - std::min(room.free, roomMargin(room));
    return usable / std::max<quint64>(bytes, 1);
}

} // namespace plovern
