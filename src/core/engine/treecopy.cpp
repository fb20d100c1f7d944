#include "core/engine/treecopy.h"

#include <algorithm>
#include <cerrno>
#include <ctime>
#include <memory>
#include <optional>
#include <string>
#include <system_error>
#include <thread>
#include <vector>

#include <fcntl.h>
#include <linux/fs.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <QFile>

#include "core/engine/copyjob.h"
#include "core/engine/filecopy.h"
#include "core/engine/room.h"
#include "core/engine/treewalk.h"
#include "core/platform/ownfolder.h"
#include "core/platform/paths.h"
#include "core/platform/volumes.h"
#include "core/schedule/outlook.h"

namespace plovern {

namespace {

QString failureAt(const QString& target, const QString& what)
{
    return QStringLiteral("%1: %2").arg(target, what);
}

} // namespace

namespace {

qint64 coarseNanoseconds()
{
    struct timespec now;
    ::clock_gettime(CLOCK_REALTIME_COARSE, &now);
    return now.tv_sec * 1000000000LL + now.tv_nsec;
}

// The end of a copy as the target drive's change times tell it: a time no
// earlier than any change the copy made, and earlier than any change made
// after it returns. The kernel stamps with a clock that lags the wall clock
// by up to a tick, so the end is the wall clock once that clock has passed
// it; a drive with a clock of its own is waited out to its step. A stopped
// copy is not waited for: it is not whole.
qint64 stampedEnd(int dirFd, long long resolution, const CopyControl* control)
{
    const qint64 now = wallNanoseconds();
    const bool kernel = stampsByKernelClock(dirFd);
    const qint64 step = std::max<qint64>(resolution, 1000000000LL);
    const qint64 end = kernel ? now : (now / step + 1) * step - 1;
    const qint64 giveUp = now + 2 * step;
    while (!(control && control->stop)) {
        const qint64 passed = kernel ? coarseNanoseconds() : wallNanoseconds();
        if (passed > end || wallNanoseconds() > giveUp)
            return end;
        ::usleep(kernel ? 1000 : 10000);
    }
    return now;
}

} // namespace

namespace {

// The two ends of a copy, open: the source folder and the copy's own folder.
struct Ends
{
    QString sourceReal;
    Fd src;
    struct stat srcSt = {};
    Fd dst;
    struct stat dstSt = {};
    bool existed = false; // the copy's folder was there: a merge
};

// What the kernel's lock table says of who holds the lock on the folder `st`.
QString writtenByAnother(const struct stat& st)
{
    const QByteArray node = QByteArray::number(::major(st.st_dev), 16).rightJustified(2, '0') + ':'
        + QByteArray::number(::minor(st.st_dev), 16).rightJustified(2, '0') + ':' + QByteArray::number(st.st_ino);
    QFile locks(QStringLiteral("/proc/locks"));
    if (locks.open(QIODevice::ReadOnly)) {
        // "1: FLOCK  ADVISORY  WRITE 4242 08:01:1234 0 EOF"
        for (const QByteArray& line : locks.readAll().split('\n')) {
            const QList<QByteArray> fields = line.simplified().split(' ');
            if (fields.size() >= 6 && fields[1] == "FLOCK" && fields[5] == node)
                return QStringLiteral("another copy (process %1) is writing into it now; nothing was written")
                    .arg(QString::fromLatin1(fields[4]));
        }
    }
    return QStringLiteral("another copy is writing into it now; nothing was written");
}

bool refuse(CopyReport* refused, const QString& at, const QString& why)
{
    refused->failures = 1;
    refused->firstFailure = failureAt(at, why);
    return false;
}

bool openSource(const QString& source, Ends* ends, CopyReport* refused)
{
    // A source drive that is not there shows as its empty mount point folder.
    ends->sourceReal = realPath(source);
    if (const QString mountPoint = unmountedDriveOf(ends->sourceReal.isEmpty() ? source : ends->sourceReal);
        !mountPoint.isEmpty())
        return refuse(refused, source, QStringLiteral("the source drive is not mounted at %1").arg(mountPoint));
    // Never through a link another user could have placed on the way, as
    // the target: root would copy what she points it at where she can read it.
    QString why;
    ends->src.reset(openFolderJudged(pathBytes(source), &why));
    if (!ends->src.valid() && errno == EPERM)
        return refuse(refused, source, why);
    if (!ends->src.valid() || ::fstat(ends->src.get(), &ends->srcSt) != 0)
        return refuse(refused, source, QStringLiteral("cannot open the source folder: ") + textOf(errnoText(errno)));
    return true;
}

// Only the target folder itself is ever created: a missing parent means the
// destination is not there (a backup drive that is not mounted).
bool openTarget(const QString& source, const QString& target, Ends* ends, CopyReport* refused)
{
    const QString parent = parentPath(target);
    const std::string name = bytesOf(lastName(target));
    // Never through a link another user could have placed on the way.
    QString why;
    const Fd parentFd(openFolderJudged(pathBytes(parent), &why));
    if (!parentFd.valid() && errno == EPERM)
        return refuse(refused, target, why);
    if (!parentFd.valid() || name.empty())
        return refuse(refused, parent, QStringLiteral("the destination folder is not there"));
    const QString targetReal = realLocation(target);
    if (const QString mountPoint = unmountedDriveOf(targetReal); !mountPoint.isEmpty())
        return refuse(refused, target, QStringLiteral("the backup drive is not mounted at %1").arg(mountPoint));
    if (isAtOrBelow(targetReal, ends->sourceReal))
        return refuse(refused, target, QStringLiteral("the target lies inside the source %1").arg(source));
    ends->existed = ::mkdirat(parentFd.get(), name.c_str(), S_IRWXU) != 0;
    if (ends->existed && errno != EEXIST)
        return refuse(refused, target, QStringLiteral("cannot create the copy: ") + textOf(errnoText(errno)));
    ends->dst.reset(::openat(parentFd.get(), name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    if (!ends->dst.valid() || ::fstat(ends->dst.get(), &ends->dstSt) != 0) {
        refuse(refused, target, QStringLiteral("cannot open the copy: ") + textOf(errnoText(errno)));
        // A link at the copy's name is no copy: nothing to record.
        struct stat there;
        refused->targetExists
            = ::fstatat(parentFd.get(), name.c_str(), &there, AT_SYMLINK_NOFOLLOW) == 0 && S_ISDIR(there.st_mode);
        return false;
    }
    // Held until the copy's last descriptor closes, so that another program
    // (a second install, another user's) never writes into it at once. A
    // drive that keeps no locks (NFS for a folder) cannot be asked.
    if (::flock(ends->dst.get(), LOCK_EX | LOCK_NB) != 0 && errno == EWOULDBLOCK)
        return refuse(refused, target, writtenByAnother(ends->dstSt));
    return true;
}

// What earlier copies lend this one: the reference only where it is a
// folder, not a link to one, on the copy's own drive.
void lend(CopyJob& job, const Reuse* reuse, const Ends& ends)
{
    if (!reuse)
        return;
    if (!reuse->reference.isEmpty()) {
        Fd reference(::open(bytesOf(reuse->reference).c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
        struct stat st;
        // A folder made anew at the reference's name vouches for nothing.
        if (reference.valid() && ::fstat(reference.get(), &st) == 0 && st.st_dev == ends.dstSt.st_dev
            && !job.isTarget(st)
            && (!reuse->referenceId.known() || folderIdOf(reference.get(), st) == reuse->referenceId))
            job.setReference(std::move(reference), reuse->clone, reuse->referenceWritten);
    }
    if (ends.existed)
        job.setMerged(reuse->merged);
}

// Walks the tree on this thread while `threads` workers copy its files.
void run(CopyJob& job, Ends& ends, int threads)
{
    TaskQueue queue;
    auto work = [&job, &queue](bool wait) {
        FileTask task;
        while (queue.pop(&task, wait)) {
            copyFile(job, task);
            task = {};
        }
    };
    std::vector<std::thread> workers;
    try {
        for (int i = 0; i < threads; ++i)
            workers.emplace_back(work, true);
    } catch (const std::system_error&) {
        // No more threads to be had: the walking thread copies what is left.
    }
    walkTree(job, queue, std::move(ends.src), std::move(ends.dst), ends.srcSt, ends.dstSt, ends.existed);
    queue.close();
    work(false);
    for (std::thread& worker : workers)
        worker.join();
}

} // namespace

CopyReport copyTree(const QString& source, const QString& target, int threads, CopyControl* control, const Reuse* reuse)
{
    const qint64 started = wallNanoseconds();
    Ends ends;
    CopyReport refused;
    if (!openSource(source, &ends, &refused) || !openTarget(source, target, &ends, &refused))
        return refused;
    const Fd rootFd(::dup(ends.dst.get()));
    CopyJob job(bytesOf(source), rootFd.get(), FileId::of(ends.dstSt));
    job.setHabits(probeDrive(ends.dst.get(), job.tempName()));
    job.setControl(control);
    job.setSourceSlack(sourceTimeSlack(ends.src.get()));
    lend(job, reuse, ends);
    const std::optional<Room> room = roomOf(target);
    if (room)
        job.setRoom(room->free, roomMargin(*room));
    run(job, ends, threads);
    CopyReport report = job.report();
    if (job.outOfRoom()) {
        // The reason the copy ended, whatever failed before it.
        ++report.failures;
        report.firstFailure = QStringLiteral("the copy %1 needs more than %2, %3 free on %4")
                                  .arg(target, bytesText(job.roomNeeded()), bytesText(job.roomFree()), room->drive);
    }
    report.started = started;
    report.ended = stampedEnd(rootFd.get(), job.habits().timeResolution, control);
    report.targetExists = true;
    report.targetId = folderIdOf(rootFd.get(), ends.dstSt);
    if (report.sharedFiles > 0)
        report.reference = reuse->reference;
    if (report.files == 0 && report.complete() && !report.stopped)
        report.warnings.append(QStringLiteral("the source folder is empty"));
    return report;
}

} // namespace plovern
