#include "core/engine/treecopy.h"

#include <algorithm>
#include <cerrno>
#include <ctime>
#include <memory>
#include <string>
#include <system_error>
#include <thread>
#include <vector>

#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "core/engine/copyjob.h"
#include "core/engine/filecopy.h"
#include "core/engine/treewalk.h"
#include "core/platform/ownfolder.h"
#include "core/platform/paths.h"
#include "core/platform/volumes.h"

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

CopyReport copyTree(const QString& source, const QString& target, int threads, CopyControl* control, const Reuse* reuse)
{
    const qint64 started = wallNanoseconds();
    CopyReport refused;
    refused.failures = 1;
    // A source drive that is not there shows as its empty mount point folder.
    const QString sourceReal = realPath(source);
    if (const QString mountPoint = unmountedDriveOf(sourceReal.isEmpty() ? source : sourceReal);
        !mountPoint.isEmpty()) {
        refused.firstFailure
            = failureAt(source, QStringLiteral("the source drive is not mounted at %1").arg(mountPoint));
        return refused;
    }
    Fd src(::open(bytesOf(source).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    struct stat srcSt;
    if (!src.valid() || ::fstat(src.get(), &srcSt) != 0) {
        refused.firstFailure
            = failureAt(source, QStringLiteral("cannot open the source folder: ") + textOf(errnoText(errno)));
        return refused;
    }

    // Only the target folder itself is ever created: a missing parent means
    // the destination is not there (a backup drive that is not mounted).
    const QString parent = parentPath(target);
    const std::string name = bytesOf(lastName(target));
    // Never through a link another user could have placed on the way.
    QString why;
    Fd parentFd(openFolderJudged(pathBytes(parent), &why));
    if (!parentFd.valid() && errno == EPERM) {
        refused.firstFailure = failureAt(target, why);
        return refused;
    }
    if (!parentFd.valid() || name.empty()) {
        refused.firstFailure = failureAt(parent, QStringLiteral("the destination folder is not there"));
        return refused;
    }
    const QString targetReal = realLocation(target);
    if (const QString mountPoint = unmountedDriveOf(targetReal); !mountPoint.isEmpty()) {
        refused.firstFailure
            = failureAt(target, QStringLiteral("the backup drive is not mounted at %1").arg(mountPoint));
        return refused;
    }
    if (isAtOrBelow(targetReal, sourceReal)) {
        refused.firstFailure = failureAt(target, QStringLiteral("the target lies inside the source %1").arg(source));
        return refused;
    }

    const bool existed = ::mkdirat(parentFd.get(), name.c_str(), S_IRWXU) != 0;
    if (existed && errno != EEXIST) {
        refused.firstFailure = failureAt(target, QStringLiteral("cannot create the copy: ") + textOf(errnoText(errno)));
        return refused;
    }
    Fd dst(::openat(parentFd.get(), name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    struct stat dstSt;
    if (!dst.valid() || ::fstat(dst.get(), &dstSt) != 0) {
        refused.firstFailure = failureAt(target, QStringLiteral("cannot open the copy: ") + textOf(errnoText(errno)));
        // A link at the copy's name is no copy: nothing to record.
        struct stat there;
        refused.targetExists
            = ::fstatat(parentFd.get(), name.c_str(), &there, AT_SYMLINK_NOFOLLOW) == 0 && S_ISDIR(there.st_mode);
        return refused;
    }
    Fd rootFd(::dup(dst.get()));

    CopyJob job(bytesOf(source), rootFd.get(), FileId::of(dstSt));
    job.setHabits(probeDrive(dst.get(), job.tempName()));
    job.setControl(control);
    job.setSourceSlack(sourceTimeSlack(src.get()));
    if (reuse && !reuse->reference.isEmpty()) {
        // Only a folder, not a link to one, on the copy's own drive.
        Fd reference(::open(bytesOf(reuse->reference).c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
        struct stat st;
        if (reference.valid() && ::fstat(reference.get(), &st) == 0 && st.st_dev == dstSt.st_dev && !job.isTarget(st))
            job.setReference(std::move(reference), reuse->clone, reuse->referenceWritten);
    }
    if (reuse && existed)
        job.setMerged(reuse->merged);
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
    walkTree(job, queue, std::move(src), std::move(dst), srcSt, dstSt, existed);
    queue.close();
    work(false);
    for (std::thread& worker : workers)
        worker.join();
    CopyReport report = job.report();
    report.started = started;
    report.ended = stampedEnd(rootFd.get(), job.habits().timeResolution, control);
    report.targetExists = true;
    if (report.sharedFiles > 0)
        report.reference = reuse->reference;
    if (report.files == 0 && report.complete() && !report.stopped)
        report.warnings.append(QStringLiteral("the source folder is empty"));
    return report;
}

} // namespace plovern
