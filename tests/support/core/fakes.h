#pragma once

#include <memory>
#include <mutex>

#include <QDateTime>
#include <QList>
#include <QStringList>
#include <QTemporaryDir>

#include "core/engine/treecopy.h"
#include "core/platform/clock.h"
#include "core/platform/notifier.h"
#include "core/storage/programfiles.h"

namespace plovern::test {

class FakeClock final : public Clock
{
public:
    QDateTime now() const override { return m_now; }
    void set(const QDateTime& now) { m_now = now; }
    void advance(qint64 seconds) { m_now = m_now.addSecs(seconds); }

private:
    QDateTime m_now{QDate(2026, 12, 7), QTime(10, 0, 0)};
};

// Records each notification; safe from the copy thread.
class FakeNotifier final : public Notifier
{
public:
    void notify(const QString& summary, const QString& body) override
    {
        std::lock_guard lock(m_mutex);
        m_sent.append({summary, body});
    }
    QList<QPair<QString, QString>> sent() const
    {
        std::lock_guard lock(m_mutex);
        return m_sent;
    }

private:
    mutable std::mutex m_mutex;
    QList<QPair<QString, QString>> m_sent;
};

// The names below `root`, relative to it, sorted.
QStringList entriesBelow(const QString& root);

// The whole file, or "<missing>".
QByteArray contentOf(const QString& path);
// Writes the file whole, as a user or another program would.
bool saveFile(const QString& path, const QByteArray& bytes);

// Lowers the largest file this process may write, for one scope: writes past
// it fail with EFBIG, as on a full disk.
class FileSizeLimit
{
public:
    explicit FileSizeLimit(quint64 bytes);
    ~FileSizeLimit();
    FileSizeLimit(const FileSizeLimit&) = delete;
    FileSizeLimit& operator=(const FileSizeLimit&) = delete;

private:
    quint64 m_saved;
};

// Builds a file tree under `root` from "path" -> content pairs; a path that
// ends in "/" is an empty folder.
void makeTree(const QString& root, const QList<QPair<QString, QByteArray>>& files);

// The places of the program's files in `folder`, as the window gives them
// to the copies.
CopyPlaces placesIn(const QString& folder, const QStringList& protectedFolders = {});

} // namespace plovern::test

namespace plovern::test {

// Every entry below `root`, walked by bytes (names need not be text), one
// line each: the path, its type, mode, size, modification time, extended
// attributes (ACLs among them) and, for a file its content, for a link its
// target; the root's own mode and attributes first. Two trees that give the same
// lines hold the same entries.
QList<QByteArray> treeListing(const QByteArray& root);

// A tree as the field grows them, generated from `seed`: folders up to
// `depth` levels deep with two or three sub-folders where the walk goes on,
// files here and there, odd names (blanks, a leading dash, bytes that are not
// UTF-8, a line break, the longest name a drive allows), links, an empty
// folder and one wide folder. At least one chain reaches `depth`.
void growTree(const QByteArray& root, unsigned seed, int depth);

// Copies `from` to `to` with `cp -a`, the reference a copy is held against.
bool cpA(const QByteArray& from, const QByteArray& to);

// Waits until what was changed so far lies further back than the slack the
// engine gives the temporary folder's drive, so that a copy starting now may
// take it as unchanged since (sourceTimeSlack).
void settle();

// The source settled, then a reference copy made with `cp -a`, and when it
// was written, as the copy book would know it; nothing known when cp failed.
Written referenceCopy(const QByteArray& from, const QByteArray& to);

// Writes a file whose path need not be text.
void writeBytes(const QByteArray& path, const QByteArray& content);

// Whether every extent of the file at `path` shares its blocks with another
// file (FIEMAP's shared flag, which needs no root).
bool sharesBlocks(const QString& path);

// Removes the tree at `root`, whatever bytes its names hold.
void removeTree(const QByteArray& root);

} // namespace plovern::test
