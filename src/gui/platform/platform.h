#pragma once

#include <QString>
#include <QStringList>

namespace plovern {

class Clock;
class MessageBoxes;
class Notifier;
class Shell;

// What the window needs from the outside world, handed over at construction:
// main() passes the real services, tests pass fakes.
struct Platform
{
    Clock& clock;
    MessageBoxes& boxes;
    Shell& shell;
    Notifier& notifier;
    QString arguments; // the program's arguments joined by single blanks
    QString programFolder; // the folder that holds the program's files
    QStringList volumeRoots; // the drives the pickers offer (mountedVolumeRoots() in the program)
};

} // namespace plovern
