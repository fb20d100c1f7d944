#include "core/storage/copybook.h"

#include <algorithm>
#include <cerrno>

#include "core/platform/ownfolder.h"
#include "core/platform/paths.h"
#include "core/platform/textfile.h"
#include "core/storage/programfiles.h"

namespace plovern {

std::vector<MadeCopy> parseCopyBook(const QByteArray& bytes)
{
    std::vector<MadeCopy> copies;
    for (const QByteArray& line : splitLines(bytes)) {
        const QList<QByteArray> fields = line.split(' ');
        if ((fields.size() != 6 && fields.size() != 10 && fields.size() != 12)
            || (fields[1] != "whole" && fields[1] != "partial"))
            continue;
        MadeCopy copy;
        copy.day = QDate::fromString(QString::fromLatin1(fields[0]), Qt::ISODate);
        bool isNumber = false;
        copy.files = fields[2].toULongLong(&isNumber);
        copy.whole = fields[1] == "whole";
        copy.target = pathOfField(fields[3]);
        copy.source = pathOfField(fields[4]);
        copy.destination = pathOfField(fields[5]);
        if (fields.size() == 12) {
            copy.targetId = folderIdOfField(fields[10]);
            copy.sourceId = folderIdOfField(fields[11]);
        }
        if (fields.size() >= 10) {
            bool started = false;
            bool ended = false;
            copy.targetReal = pathOfField(fields[6]);
            copy.sourceReal = pathOfField(fields[7]);
            copy.started = fields[8].toLongLong(&started);
            copy.ended = fields[9].toLongLong(&ended);
            isNumber = isNumber && started && ended;
        }
        if (copy.day.isValid() && isNumber && !copy.target.isEmpty())
            noteCopy(&copies, std::move(copy));
    }
    return copies;
}

QByteArray formatCopyBook(const std::vector<MadeCopy>& copies)
{
    QByteArray bytes;
    for (const MadeCopy& copy : copies) {
        bytes += copy.day.toString(Qt::ISODate).toLatin1() + ' ' + (copy.whole ? "whole" : "partial") + ' '
            + QByteArray::number(copy.files) + ' ' + pathField(copy.target) + ' ' + pathField(copy.source) + ' '
            + pathField(copy.destination) + ' ' + pathField(copy.targetReal) + ' ' + pathField(copy.sourceReal) + ' '
            + QByteArray::number(copy.started) + ' ' + QByteArray::number(copy.ended) + ' '
            + folderIdField(copy.targetId) + ' ' + folderIdField(copy.sourceId) + kLineEnd;
    }
    return bytes;
}

bool isSameFolder(const FolderName& a, const FolderName& b)
{
    const bool bothReal = !a.real.isEmpty() && !b.real.isEmpty();
    if (a.id.known() && b.id.known())
        return a.id.sameAs(b.id, bothReal && a.real == b.real);
    return bothReal ? a.real == b.real : a.text == b.text;
}

bool isCopyAt(const MadeCopy& copy, const FolderName& target)
{
    return isSameFolder({copy.target, copy.targetReal, copy.targetId}, target);
}

bool isCopyOf(const MadeCopy& copy, const FolderName& source)
{
    return isSameFolder({copy.source, copy.sourceReal, copy.sourceId}, source);
}

std::optional<MadeCopy> findCopy(const std::vector<MadeCopy>& copies, const FolderName& target)
{
    const auto found
        = std::find_if(copies.begin(), copies.end(), [&](const MadeCopy& copy) { return isCopyAt(copy, target); });
    return found == copies.end() ? std::nullopt : std::optional<MadeCopy>(*found);
}

std::vector<MadeCopy> referencesFor(const std::vector<MadeCopy>& copies, const FolderName& source,
                                    const QString& destination, QDate day)
{
    std::vector<MadeCopy> found;
    for (const MadeCopy& copy : copies) {
        if (copy.whole && copy.ended > 0 && isCopyOf(copy, source) && copy.destination == destination && copy.day < day
            && copy.day.year() == day.year() && copy.day.month() == day.month())
            found.push_back(copy);
    }
    std::stable_sort(found.begin(), found.end(), [](const MadeCopy& a, const MadeCopy& b) { return a.day > b.day; });
    return found;
}

void noteCopy(std::vector<MadeCopy>* copies, MadeCopy copy)
{
    const FolderName made{copy.target, copy.targetReal, copy.targetId};
    std::erase_if(*copies, [&](const MadeCopy& known) {
        return isCopyAt(known, made) || (!made.real.isEmpty() && known.targetReal == made.real);
    });
    copies->push_back(std::move(copy));
}

bool loadCopyBook(const OwnFolder& files, std::vector<MadeCopy>* book, QString* error)
{
    QByteArray bytes;
    if (!files.read(QString::fromLatin1(kCopyBookFile), &bytes, error) && errno != ENOENT)
        return false;
    *book = parseCopyBook(bytes);
    return true;
}

} // namespace plovern
