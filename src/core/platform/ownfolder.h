#pragma once

#include <sys/stat.h>

#include <mutex>

#include <QByteArray>
#include <QString>
#include <QStringList>

namespace plovern {

// "user alice", or "user 1001" where the system knows no name.
QString userName(uid_t uid);

// Why other users could change the file or folder `st` describes, open as
// `fd` (an O_PATH descriptor will do), or an empty text. As ssh's StrictModes
// and cron's spool: it must belong to the user running the program or to
// root, and no one else may write it, by its mode or by an ACL. Group write
// is fine where the group is the user's private group and has no one else in
// it. A folder others may write counts only with the sticky bit.
QString openToOthers(int fd, const struct stat& st);

// Where a walk ended: the folder that holds the last name, and that name.
struct WalkEnd
{
    int folder = -1; // owned by the caller once the walk succeeded
    QByteArray leaf;
    bool exists = false;
    struct stat st = {};
};

// Walks `path` (from the folder `from`, whose path is `fromPath`, when
// relative) as the kernel would,
// but judging each link it passes: a link is followed only when it belongs
// to the user running or to root. With `judgeFolders`, every folder on the
// way must also pass openToOthers. The last name is not followed unless
// `followLast`. Returns false with the reason in `why`.
bool walkJudged(int from, const QByteArray& fromPath, const QByteArray& path, bool judgeFolders, bool followLast,
                WalkEnd* end, QString* why);

// The folder at `path` open for reading (O_DIRECTORY), reached as
// walkJudged does without judging folders: never through a link of another
// user's. -1 with errno (ENOENT when it is not there, EPERM for such a link)
// and the reason in `why`.
int openFolderJudged(const QByteArray& path, QString* why);

// The folder of the program's files, held open from the start so that every
// file is found in the folder that was judged, and each file judged on the
// descriptor that reads or writes it, at every open: another user's file,
// a link of hers, a file she may write, or one she planted after the start,
// is neither read nor written through. Files it creates, it creates
// exclusively. Once the folder, or any file judge() was given, fails,
// nothing there is read or written at all.
class OwnFolder
{
public:
    explicit OwnFolder(QString path);
    ~OwnFolder();
    OwnFolder(const OwnFolder&) = delete;
    OwnFolder& operator=(const OwnFolder&) = delete;

    const QString& path() const { return m_path; }
    QString filePath(const QString& name) const;
    // Judges the folder and the files `names` (a missing one is fine) and
    // says why the program must not use its files here, or an empty text.
    QString judge(const QStringList& names);
    QString distrust() const;

    // False with errno ENOENT when the file is not there, any other when it
    // is there and cannot be read or trusted.
    bool read(const QString& name, QByteArray* bytes, QString* error = nullptr) const;
    // Replaces the file whole through a temporary file beside it.
    bool save(const QString& name, const QByteArray& bytes, QString* error = nullptr) const;
    // Appends and flushes to disk, creating the file if it is missing; a
    // part-written append is taken back.
    bool append(const QString& name, const QByteArray& bytes, QString* error = nullptr) const;
    // The size of the file, or -1 when it is missing or not to be trusted.
    qint64 size(const QString& name) const;
    // Renames `from` over `to`, a trusted file over whatever was there.
    bool rename(const QString& from, const QString& to, QString* error = nullptr) const;
    // A descriptor on the file open for reading and writing, created if
    // missing, or -1 with the reason; the caller closes it.
    int openForLock(const QString& name, QString* error = nullptr) const;

private:
    enum class Create { no, yes };
    int open(const QString& name, int flags, Create create, QString* error) const;

    QString m_path;
    int m_fd = -1;
    mutable std::mutex m_mutex;
    QString m_distrust;
};

} // namespace plovern
