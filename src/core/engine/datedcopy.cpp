#include "core/engine/datedcopy.h"

#include <cerrno>

#include <fcntl.h>
#include <unistd.h>

#include "core/engine/treecopy.h"
#include "core/platform/fd.h"
#include "core/platform/ownfolder.h"
#include "core/platform/paths.h"
#include "core/platform/textfile.h"
#include "core/schedule/clocktext.h"

namespace plovern {

QString targetPath(const QString& source, const QString& destination, QDate day)
{
    return destination + lastName(source) + dateStamp(day);
}

QString paddedTargetPath(const QString& source, const QString& destination, QDate day)
{
    return destination + lastName(source) + paddedDateStamp(day);
}

QString refusedTarget(const QString& target, bool explained)
{
    WalkEnd end;
    QString why;
    if (!walkJudged(AT_FDCWD, ".", pathBytes(target), false, false, &end, &why))
        return errno == ENOENT || errno == ENOTDIR ? QString() : why; // a missing way fails the copy as before
    const Fd above(end.folder);
    if (!end.exists)
        return {};
    if (S_ISLNK(end.st.st_mode))
        return QStringLiteral("%1 is a link; no copy is made through it").arg(target);
    const uid_t uid = ::geteuid();
    if (!explained && end.st.st_uid != uid && end.st.st_uid != 0) {
        return QStringLiteral("%1 was made by %2, not by a copy; no copy is made into it")
            .arg(target, userName(end.st.st_uid));
    }
    return {};
}

CopyOutcome makeDatedCopy(const QString& source, const QString& destination, QDate day, CopyControl* control,
                          const Reuse* reuse)
{
    return makeCopy(source, targetPath(source, destination, day), control, reuse);
}

CopyOutcome makeCopy(const QString& source, const QString& target, CopyControl* control, const Reuse* reuse)
{
    CopyOutcome outcome{target, {}};
    if (source.isEmpty()) {
        outcome.report.failures = 1;
        outcome.report.firstFailure = QStringLiteral("no source folder given");
        return outcome;
    }
    outcome.report = copyTree(source, outcome.target, 2, control, reuse);
    QString error;
    if (outcome.report.targetExists && !flushToDisk(outcome.target, &error) && outcome.report.failures++ == 0)
        outcome.report.firstFailure = QStringLiteral("cannot flush the copy to disk: ") + error;
    return outcome;
}

} // namespace plovern
