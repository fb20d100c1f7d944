// Whatever the copy record holds, the purge asks to delete only dated copies
// of earlier years, never a root, a protected folder or anything above one.
// Deletion is replaced by a check, so no input can delete anything.

#include <cstdlib>

#include <QDir>

#include "core/engine/purge.h"

namespace {

const QStringList kProtected{QStringLiteral("/home/user"), QStringLiteral("/opt/plovern")};
constexpr int kYear = 2026;

bool check(const QString& path, QString*, bool* deleted)
{
    const QString clean = QDir::cleanPath(path);
    if (!QDir::isAbsolutePath(path) || QDir(clean).isRoot())
        std::abort();
    for (const QString& folder : kProtected) {
        if (folder == clean || folder.startsWith(clean + QLatin1Char('/')))
            std::abort();
    }
    const std::optional<int> year = plovern::stampYear(QDir(clean).dirName());
    if (!year || *year >= kYear)
        std::abort();
    *deleted = true;
    return true;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    // Every earlier copy counts as replaced, so that each one reaches the check.
    const plovern::PurgeResult result = plovern::purgeRecord(
        bytes, kYear, kProtected, [](const QString&) { return true; }, check);
    for (const QByteArray& kept : result.keptLines.split('\n')) {
        if (!kept.isEmpty() && !kept.endsWith("26\r"))
            std::abort();
    }
    return 0;
}
