#include "core/engine/purge.h"

#include <algorithm>

#include <cerrno>

#include <sys/stat.h>
#include <unistd.h>

#include "core/engine/datedcopy.h"
#include "core/engine/treedelete.h"
#include "core/platform/ownfolder.h"
#include "core/platform/paths.h"
#include "core/platform/textfile.h"
#include "core/storage/copybook.h"

namespace plovern {

namespace {

bool validMonthDay(QStringView digits)
{
    // Month and day in two digits each, as a copy is named whose plain name
    // held another day's copy ("01112027").
    if (digits.size() == 4 && (digits[0] == QLatin1Char('0') || digits[2] == QLatin1Char('0'))) {
        const int m = digits.first(2).toInt();
        const int d = digits.sliced(2).toInt();
        return m >= 1 && m <= 12 && d >= 1 && d <= 31;
    }
    // Month and day each one or two digits, without leading zeros.
    for (qsizetype monthDigits = 1; monthDigits <= 2; ++monthDigits) {
        const qsizetype dayDigits = digits.size() - monthDigits;
        if (dayDigits < 1 || dayDigits > 2)
            continue;
        const QStringView month = digits.first(monthDigits);
        const QStringView day = digits.sliced(monthDigits);
        if (month[0] == QLatin1Char('0') || day[0] == QLatin1Char('0'))
            continue;
        const int m = month.toInt();
        const int d = day.toInt();
        if (m >= 1 && m <= 12 && d >= 1 && d <= 31)
            return true;
    }
    return false;
}

// The folder a record line names, taken lexically: "." and empty names
// dropped (so "/x/Docs1272025/." and "/x/Docs1272025/" name the folder itself,
// never what a link there points to), each ".." taking back the name before
// it. Nothing when a ".." would climb above the root.
std::optional<QString> lexicalPath(const QString& path)
{
    QStringList names;
    for (const QString& name : path.split(QLatin1Char('/'))) {
        if (name.isEmpty() || name == QLatin1String("."))
            continue;
        if (name != QLatin1String("..")) {
            names.append(name);
        } else if (names.isEmpty()) {
            return std::nullopt;
        } else {
            names.removeLast();
        }
    }
    return QLatin1Char('/') + names.join(QLatin1Char('/'));
}

// Why the line must not be deleted, or an empty text when it may be.
QString whyNotPurged(const QString& path, int year, const QStringList& protectedFolders)
{
    if (!path.startsWith(QLatin1Char('/')))
        return QStringLiteral("not an absolute path");
    const std::optional<QString> lexical = lexicalPath(path);
    if (!lexical)
        return QStringLiteral("climbs above the root");
    const QString& clean = *lexical;
    if (clean == QLatin1String("/"))
        return QStringLiteral("a file-system root");
    for (const QString& folder : protectedFolders) {
        if (!folder.isEmpty() && isAtOrBelow(folder, clean))
            return QStringLiteral("holds %1").arg(folder);
    }
    const std::optional<int> stamped = stampYear(lastName(clean));
    if (!stamped)
        return QStringLiteral("not a dated copy");
    if (*stamped >= year)
        return QStringLiteral("not a copy of an earlier year");
    return {};
}

// Whether `made` stands in for the earlier copy at `path`, which the book
// knows as `earlier` when it made it: then only a copy of the same source
// does, whatever the names say.
bool replaces(const MadeCopy& made, const QString& path, const std::optional<MadeCopy>& earlier, int year)
{
    if (!made.whole || made.day.year() != year)
        return false;
    if (earlier && !isCopyOf(made, {earlier->source, earlier->sourceReal, earlier->sourceId}))
        return false;
    const QString before = made.destination + lastName(made.source);
    if (!path.startsWith(before))
        return false;
    const std::optional<int> stamped = exactStampYear(QStringView(path).sliced(before.size()));
    return stamped && *stamped < year && isRealFolder(made.target) && (made.files > 0 || !holdsFiles(path));
}

// Why the folder at `realPath` (`id`, status `st`) is not this program's
// to delete: it belongs to another user, and is not a copy the book knows by
// its inode, nor of a source of hers. A folder she made under an old copy's
// name after it was gone is hers.
QString madeByAnother(const std::vector<MadeCopy>& book, const QString& realPath, const FolderId& id,
                      const struct stat& st)
{
    if (st.st_uid == ::geteuid() || st.st_uid == 0)
        return {};
    const std::optional<MadeCopy> known = findCopy(book, {realPath, realPath, id});
    if (known && known->targetId.known())
        return {};
    struct stat source;
    if (known
        && ::stat(pathBytes(known->sourceReal.isEmpty() ? known->source : known->sourceReal).constData(), &source) == 0
        && source.st_uid == st.st_uid)
        return {}; // a copy takes its source's owner
    return QStringLiteral("%1 was made by %2, not by a copy; nothing was deleted").arg(realPath, userName(st.st_uid));
}

} // namespace

std::optional<int> exactStampYear(QStringView digits)
{
    if (digits.size() < 6 || digits.size() > 8)
        return std::nullopt;
    for (const QChar c : digits) {
        if (c < QLatin1Char('0') || c > QLatin1Char('9'))
            return std::nullopt;
    }
    if (!validMonthDay(digits.first(digits.size() - 4)))
        return std::nullopt;
    return digits.last(4).toInt();
}

std::optional<int> stampYear(const QString& folderName)
{
    qsizetype start = folderName.size();
    while (start > 0 && folderName[start - 1].isDigit() && folderName[start - 1].unicode() < 128)
        --start;
    const QStringView digits = QStringView(folderName).sliced(start);
    if (digits.size() < 6)
        return std::nullopt;
    // No copy was made before computers kept the date this way.
    constexpr int kFirstYear = 1970;
    const int year = digits.last(4).toInt();
    if (year < kFirstYear)
        return std::nullopt;
    const QStringView monthDay = digits.first(digits.size() - 4);
    // The source name may itself end in digits: try the last two to four.
    for (qsizetype length = 2; length <= 4 && length <= monthDay.size(); ++length) {
        if (validMonthDay(monthDay.last(length)))
            return year;
    }
    return std::nullopt;
}

PurgeResult purgeRecord(const QByteArray& record, int year, const QStringList& protectedFolders,
                        const ReplacementCheck& replaced, const FolderDeleter& deleteFolder, const PurgeStop& stop)
{
    PurgeResult result;
    const QByteArray yearMark = QByteArray::number(year).right(2);
    for (const QByteArray& line : splitLines(record)) {
        if (!result.stopped.isEmpty() || line.right(2) == yearMark) {
            result.keptLines += line + kLineEnd;
            continue;
        }
        if (line.isEmpty())
            continue;
        const QString path = pathText(line);
        if (const QString why = whyNotPurged(path, year, protectedFolders); !why.isEmpty()) {
            result.failures.append(QStringLiteral("not purged, %1: %2").arg(why, path));
            continue;
        }
        const QString folder = *lexicalPath(path);
        if (!replaced(folder)) {
            result.keptLines += line + kLineEnd;
            if (!result.waiting.contains(path))
                result.waiting.append(path);
            continue;
        }
        QString error;
        bool deleted = false;
        const bool gone = deleteFolder(folder, &error, &deleted);
        if (!gone && stop && stop()) {
            result.stopped = path;
            result.keptLines += line + kLineEnd;
        } else if (!gone) {
            result.failures.append(QStringLiteral("could not purge %1: %2").arg(path, error));
        } else if (deleted) { // else purged before
            result.deleted.append(path);
        }
    }
    return result;
}

PurgeResult purgeEarlierCopies(const CopyPlaces& places, int year, std::mutex* filesLock, const PurgeStop& stop)
{
    std::unique_lock lock = filesLock ? std::unique_lock(*filesLock) : std::unique_lock<std::mutex>();
    QByteArray record;
    QString error;
    // No record: nothing to purge. One that is not to be trusted: nothing touched.
    if (!places.files->read(QString::fromLatin1(kRecordFile), &record, &error) && errno != ENOENT) {
        PurgeResult refused;
        refused.failures.append(QStringLiteral("could not read %1: %2").arg(places.path(kRecordFile), error));
        return refused;
    }
    std::vector<MadeCopy> book;
    // A book that cannot be read vouches for no copy: nothing is purged.
    if (!loadCopyBook(*places.files, &book, &error)) {
        PurgeResult refused;
        refused.failures.append(QStringLiteral("could not read %1: %2").arg(places.path(kCopyBookFile), error));
        return refused;
    }
    if (lock)
        lock.unlock();
    // The folders as the kernel resolves them too, so that no link leads the purge to one.
    QStringList protectedFolders = places.protectedFolders;
    for (const QString& folder : places.protectedFolders) {
        const QString real = realPath(folder);
        if (!real.isEmpty() && !protectedFolders.contains(real))
            protectedFolders.append(real);
    }
    // The checks run again on what is actually opened for deletion.
    const DeleteVeto veto = [&](const QString& realPath, int fd, const struct stat& st) {
        if (const QString why = whyNotPurged(realPath, year, protectedFolders); !why.isEmpty())
            return QStringLiteral("%1 is %2").arg(realPath, why);
        return madeByAnother(book, realPath, folderIdOf(fd, st), st);
    };
    const ReplacementCheck replaced = [&](const QString& path) {
        struct stat st;
        if (::lstat(pathBytes(path).constData(), &st) != 0 && errno == ENOENT)
            return true; // purged before: nothing left to lose
        const QString real = realLocation(path);
        const std::optional<MadeCopy> earlier = findCopy(book, {path, real, folderIdOf(real.isEmpty() ? path : real)});
        return std::any_of(book.begin(), book.end(),
                           [&](const MadeCopy& made) { return replaces(made, path, earlier, year); });
    };
    PurgeResult result = purgeRecord(
        record, year, protectedFolders, replaced,
        [&](const QString& path, QString* error, bool* deleted) {
            return deleteTree(path, error, veto, deleted, stop);
        },
        stop);
    if (filesLock)
        lock.lock();
    if (!places.files->save(QString::fromLatin1(kKeptLinesFile), result.keptLines, &error))
        result.failures.append(QStringLiteral("could not write %1: %2").arg(places.path(kKeptLinesFile), error));
    // Read again: copies made meanwhile are noted there.
    if (!loadCopyBook(*places.files, &book, &error)
        || (std::erase_if(book, [&](const MadeCopy& made) { return result.deleted.contains(made.target); }) > 0
            && !places.files->save(QString::fromLatin1(kCopyBookFile), formatCopyBook(book), &error)))
        result.failures.append(QStringLiteral("could not update %1: %2").arg(places.path(kCopyBookFile), error));
    return result;
}

} // namespace plovern
