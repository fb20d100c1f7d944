#pragma once

#include <memory>
#include <optional>

#include <QString>
#include <QStringList>

#include "core/platform/fd.h"

namespace plovern {

class OwnFolder;

QString programTitle();

// The argument part of a command line as one text: "-h -p" stays two words.
QString argumentText(const QStringList& argv);

// The folder beside the executable.
QString executableFolder();

// Where the program keeps its files: beside the executable when that folder
// can be written (a portable copy, a build folder); otherwise, and always
// when installed system-wide (under /usr, /bin or /sbin), the user's data
// folder, created on first use.
QString programFolder(QString* error = nullptr);

// Whether `folder` belongs to the system's installation, where no program
// keeps its user's files, whoever runs it.
bool isSystemFolder(const QString& folder);

// What the program's switches ask for: "-h" hidden for good, "-p" the purge
// on, "-hp" both. Only the whole argument text counts, exactly.
struct Switches
{
    bool hidden = false;
    bool purge = false;
    bool help = false; // "--help": print how to use it and end
    bool version = false; // "--version": print the version and end
    bool status = false; // "--status": print each entry's last copy and next one, and end
};
Switches readSwitches(const QString& arguments);
// What --help and --version print.
QString usageText();
QString versionText();

// Holds the program folder for this process alone, so two instances never
// copy the same entries twice nor save over each other's schedule: an flock
// on its lock file, which the kernel lets go when the process ends however
// it ends, so no content of the file (empty, another's pid, our own) can keep
// a later start out. Programs this one starts do not inherit it.
// Where no lock can be made at all (a folder that cannot be written, files
// that are not to be trusted: another user's lock file keeps no one out),
// the program still runs, and `why` says so.
// What a running instance tells a second start through its lock file, below
// its pid: whether its window is shown, and the source it is copying now.
struct InstanceNote
{
    bool shown = false;
    QString copying; // empty while it copies nothing

    bool operator==(const InstanceNote&) const = default;
};

class FolderLock
{
public:
    enum class State { held, heldByAnother, unavailable };

    FolderLock() = default;
    FolderLock(State state, Fd fd, QString why = {})
        : m_state(state)
        , m_fd(std::move(fd))
        , m_why(std::move(why))
    {
    }

    State state() const { return m_state; }
    // Writes the pid and `note` into the lock file, when the lock is held.
    void tell(const InstanceNote& note) const;
    // Why no lock could be made, when it could not.
    const QString& why() const { return m_why; }

private:
    State m_state = State::unavailable;
    Fd m_fd;
    QString m_why;
};

// Locks the file `name` among the program's `files`.
FolderLock lockProgramFolder(const OwnFolder& files, const QString& name);

// The running instance that holds the lock file `name`, by the pid it wrote
// there; none when no process holds it.
std::optional<qint64> runningInstance(const OwnFolder& files, const QString& name);

// What the instance holding the lock file `name` last told; nothing of
// itself (hidden, copying nothing) when it wrote no note.
InstanceNote instanceNote(const OwnFolder& files, const QString& name);
// What a second start asks before it ends the instance running on the files
// in `folder`, which told it `note`; the name it copies shown as the log shows it.
QString endingQuestion(const QString& folder, const InstanceNote& note);

// Ends the instance that holds the lock as a log-out would (SIGTERM, so it
// saves everything) and takes the lock into `lock` once it has let go; false
// with the reason when no instance of this program is named there or it did
// not end in `milliseconds`.
bool endRunningInstance(const OwnFolder& files, const QString& name, int milliseconds, FolderLock* lock,
                        QString* error = nullptr);

// Lets the process open as many files as the system allows it: a margin for
// copies on slow drives, whose workers hold a few files each.
void raiseOpenFileLimit();

// Make a write past RLIMIT_FSIZE fail with EFBIG instead of killing the process.
void ignoreFileSizeSignal();

} // namespace plovern
