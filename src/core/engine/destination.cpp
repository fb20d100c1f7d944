#include "core/engine/destination.h"

#include "core/engine/datedcopy.h"
#include "core/platform/paths.h"
#include "core/schedule/clocktext.h"

namespace plovern {

namespace {

QString writingKeyOf(const QString& target, const QString& targetReal)
{
    const QString parent = realPath(parentPath(target));
    if (const FolderId above = folderIdOf(parent); above.known())
        return QString::fromLatin1(folderIdField(above)) + QLatin1Char('/') + lastName(target);
    return targetReal.isEmpty() ? target : targetReal;
}

} // namespace

Writer writerOf(const Destination& where, const DueCopy& copy)
{
    const QString name = where.sourceReal.isEmpty() ? copy.source : where.sourceReal;
    return {where.sourceId.known() ? QString::fromLatin1(folderIdField(where.sourceId)) : name, name};
}

Destination destinationOf(const std::vector<MadeCopy>& book, const DueCopy& copy, QDate day, const Writing& writing)
{
    Destination where;
    where.sourceReal = realPath(copy.source);
    where.sourceId = where.sourceReal.isEmpty() ? FolderId() : folderIdOf(where.sourceReal);
    const auto look = [&](const QString& target) {
        where.target = target;
        where.targetReal = realLocation(target);
        where.targetId = folderIdOf(where.targetReal.isEmpty() ? target : where.targetReal);
        where.earlier = findCopy(book, {target, where.targetReal, where.targetId});
        if (where.earlier && !isRealFolder(where.targetReal.isEmpty() ? target : where.targetReal))
            where.earlier.reset();
    };
    look(targetPath(copy.source, copy.destination, day));
    if (where.earlier && where.earlier->day != day && paddedDateStamp(day) != dateStamp(day)) {
        const QString plain = where.target;
        const QDate other = where.earlier->day;
        look(paddedTargetPath(copy.source, copy.destination, day));
        where.note
            = QStringLiteral("%1 holds the copy of %2, whose date has the same digits; the copy of %3 goes to %4")
                  .arg(plain, other.toString(Qt::ISODate), copy.source, where.target);
    }
    where.writingKey = writingKeyOf(where.target, where.targetReal);
    if (where.earlier && !isCopyOf(*where.earlier, {copy.source, where.sourceReal, where.sourceId})) {
        where.refusal = QStringLiteral("%1 holds the copy of %2; the copy of %3 was not made into it")
                            .arg(where.target, where.earlier->source, copy.source);
    } else if (const auto other = writing.find(where.writingKey);
               other != writing.end() && other->second.source != writerOf(where, copy).source) {
        where.refusal = QStringLiteral("%1 is being written by the copy of %2; the copy of %3 was not made into it")
                            .arg(where.target, other->second.name, copy.source);
    } else {
        where.refusal = refusedTarget(where.target, where.earlier.has_value());
    }
    return where;
}

Reuse reuseFor(const std::vector<MadeCopy>& book, const DueCopy& copy, QDate day, const Destination& where)
{
    Reuse reuse;
    for (const MadeCopy& earlier :
         referencesFor(book, {copy.source, where.sourceReal, where.sourceId}, copy.destination, day)) {
        if (isRealFolder(earlier.target)) {
            reuse.reference = earlier.target;
            reuse.referenceId = earlier.targetId;
            reuse.referenceWritten = {earlier.started, earlier.ended};
            break;
        }
    }
    if (where.earlier)
        reuse.merged = {where.earlier->started, where.earlier->ended};
    return reuse;
}

} // namespace plovern
