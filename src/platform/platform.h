#pragma once

#include <QString>
#include <QStringList>

namespace plovern {

class Clock;
class MessageBoxes;
class Shell;

// What the window needs from the outside world, handed over at construction:
// main() passes the real services, tests pass fakes.
struct Platform
{
    Clock& clock;
    MessageBoxes& boxes;
    Shell& shell;
    QString arguments; // the program's arguments joined by single blanks
    QString programFolder; // the folder that holds the program's files
};

QString programTitle();

// The argument part of a command line as one text: "-h -p" stays two words.
QString argumentText(const QStringList& argv);

// The folder beside the executable.
QString executableFolder();

// Where the program keeps its files: beside the executable when that folder
// can be written (a portable copy, a build folder); otherwise, as when
// installed system-wide, the user's data folder, created on first use.
QString programFolder();

// One of the program's files: the folder, the native separator, the name.
QString programFile(const QString& folder, const QString& name);

// Make a write past RLIMIT_FSIZE fail with EFBIG instead of killing the process.
void ignoreFileSizeSignal();

} // namespace plovern
