#include "core/engine/datedcopy.h"

#include <QDir>

#include "core/engine/clocktext.h"
#include "core/engine/treecopy.h"
#include "core/platform/textfile.h"

namespace plovern {

QString sourceName(const QString& source)
{
    qsizetype cut = source.lastIndexOf(QLatin1Char('/'));
    if (QDir::separator() != QLatin1Char('/'))
        cut = std::max(cut, source.lastIndexOf(QDir::separator()));
    return source.mid(cut + 1);
}

QString targetPath(const QString& source, const QString& destination, QDate day)
{
    return destination + sourceName(source) + dateStamp(day);
}

QString paddedTargetPath(const QString& source, const QString& destination, QDate day)
{
    return destination + sourceName(source) + paddedDateStamp(day);
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
