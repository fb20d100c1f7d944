#include <cerrno>
#include <csignal>
#include <cstdio>

#include <unistd.h>

#include <QApplication>

#include "core/platform/clock.h"
#include "core/platform/log.h"
#include "core/platform/notifier.h"
#include "core/platform/ownfolder.h"
#include "core/platform/process.h"
#include "core/platform/volumes.h"
#include "core/schedule/outlook.h"
#include "core/schedule/scheduler.h"
#include "core/storage/programfiles.h"
#include "core/storage/resultsfile.h"
#include "gui/platform/messageboxes.h"
#include "gui/platform/platform.h"
#include "gui/platform/shell.h"
#include "gui/window/frmmain.h"
#include "gui/window/signalbridge.h"

namespace {

void print(std::FILE* stream, const QString& text)
{
    const QByteArray bytes = text.toLocal8Bit();
    std::fwrite(bytes.constData(), 1, static_cast<size_t>(bytes.size()), stream);
}

// Each entry's line, from the files alone: no lock, no timer, no window, so
// it runs beside the instance that makes the copies.
int printStatus(const QString& folder)
{
    const plovern::ProgramFiles files(folder);
    std::vector<plovern::ScheduleEntry> entries;
    std::vector<plovern::EntryResult> results;
    std::vector<plovern::MadeCopy> book;
    QString error = files.judge();
    bool read = error.isEmpty();
    if (read && !files.loadSchedule(&entries, &error))
        read = errno == ENOENT; // no schedule yet: no entries
    read = read && plovern::loadResults(*files.folder(), &results, &error)
        && plovern::loadCopyBook(*files.folder(), &book, &error);
    if (!read) {
        print(stderr, QStringLiteral("plovern: cannot read the files in %1: %2\n").arg(folder, error));
        return 2;
    }
    const qint64 now = plovern::wallSecond(plovern::SystemClock().now());
    const plovern::LastResults last = plovern::lastResults(results, book);
    bool looks = false;
    for (const plovern::ScheduleEntry& entry : entries) {
        const plovern::Outlook outlook
            = plovern::outlookOf(entry, plovern::lastResultOf(last, entry.source, entry.destination), now);
        looks = looks || outlook.needsLook();
        print(stdout, plovern::shownText(plovern::statusLine(entry, outlook)) + QLatin1Char('\n'));
    }
    return looks ? 1 : 0;
}

// Holds the program folder for this process, or ends this start: a second
// instance started hidden says how to end the first; with a window, it asks
// whether to end the first and take its place.
bool holdProgramFolder(const QString& folder, bool hidden, plovern::MessageBoxes& boxes, plovern::FolderLock* lock)
{
    plovern::OwnFolder files(folder);
    files.judge(plovern::programFileNames());
    const QString lockFile = QString::fromLatin1(plovern::kLockFile);
    *lock = plovern::lockProgramFolder(files, lockFile);
    if (lock->state() == plovern::FolderLock::State::unavailable) {
        plovern::logLine(QStringLiteral("cannot lock %1: %2; a second instance would not be noticed")
                             .arg(files.filePath(lockFile), lock->why()));
    }
    if (lock->state() == plovern::FolderLock::State::heldByAnother) {
        const QString message = QStringLiteral("Plovern is already running with the files in %1.").arg(folder);
        if (hidden) {
            const std::optional<qint64> pid = plovern::runningInstance(files, lockFile);
            plovern::logLine(message
                             + (pid ? QStringLiteral(" End it with: kill %1").arg(*pid)
                                    : QStringLiteral(" End it with: pkill -x -u \"$USER\" plovern")));
            return false;
        }
        // A window it shows is brought to the front instead; only a new
        // instance notes that, so no older one is sent a signal it would die of.
        const plovern::InstanceNote note = plovern::instanceNote(files, lockFile);
        const std::optional<qint64> pid = plovern::runningInstance(files, lockFile);
        if (note.shown && pid && ::kill(static_cast<pid_t>(*pid), SIGUSR1) == 0)
            return false;
        // Ending it ends any copy it is making: only a chosen Yes does.
        if (!boxes.askBeforeEnding(plovern::endingQuestion(folder, note)))
            return false;
        if (QString why; !plovern::endRunningInstance(files, lockFile, 10000, lock, &why)) {
            boxes.inform(QStringLiteral("The running Plovern did not end (%1); this start ends.").arg(why),
                         plovern::MessageBoxes::Icon::Warning);
            return false;
        }
    }
    return true;
}

} // namespace

int main(int argc, char* argv[])
{
    plovern::SignalBridge::holdSignals();
    QStringList args;
    for (int i = 0; i < argc; ++i)
        args.append(QString::fromLocal8Bit(argv[i]));
    const QString switches = plovern::argumentText(args);
    const plovern::Switches asked = plovern::readSwitches(switches);
    if (asked.help || asked.version) {
        print(stdout, asked.help ? plovern::usageText() : plovern::versionText());
        return 0;
    }
    if (asked.status) {
        QCoreApplication app(argc, argv);
        return printStatus(plovern::programFolder());
    }
    const bool hidden = asked.hidden;
    // A scheduler that never shows its window must not depend on a screen:
    // losing the display (log-out, a crashed session) would end it unsaved.
    const bool noScreen = qEnvironmentVariableIsEmpty("DISPLAY") && qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY")
        && qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM");
    if (hidden || noScreen)
        qputenv("QT_QPA_PLATFORM", "offscreen");
    plovern::ignoreFileSizeSignal();
    plovern::raiseOpenFileLimit();

    QApplication app(argc, argv);
    app.setApplicationName(QStringLiteral("plovern"));
    app.setQuitOnLastWindowClosed(false);
    // From the first moment: a SIGTERM during start-up waits on the event loop and then saves.
    plovern::SignalBridge signals_;
    if (!signals_.error().isEmpty())
        plovern::logLine(QStringLiteral("cannot catch the signals that end a session: %1").arg(signals_.error()));

    plovern::SystemClock clock;
    plovern::QtMessageBoxes boxes;
    plovern::DesktopShell shell;
    plovern::DesktopNotifier notifier;
    QString folderError;
    const plovern::Platform platform{
        clock, boxes, shell, notifier, switches, plovern::programFolder(&folderError), plovern::mountedVolumeRoots()};
    if (!folderError.isEmpty())
        plovern::logLine(folderError);

    plovern::FolderLock lock;
    if (!holdProgramFolder(platform.programFolder, hidden, boxes, &lock))
        return 0;

    plovern::frmMain window(platform);
    boxes.setParent(&window);
    QObject::connect(&signals_, &plovern::SignalBridge::terminationRequested, &window, &QWidget::close);
    QObject::connect(&signals_, &plovern::SignalBridge::raiseRequested, &window, &plovern::frmMain::bringToFront);
    QObject::connect(&window, &plovern::frmMain::instanceNoteChanged, &window,
                     [&lock](const plovern::InstanceNote& note) { lock.tell(note); });
    QObject::connect(&app, &QGuiApplication::aboutToQuit, &window, &plovern::frmMain::Form_Unload);
    QObject::connect(&window, &plovern::frmMain::unloaded, &app, &QCoreApplication::quit, Qt::QueuedConnection);

    window.Form_Load();
    if (!window.isHiddenForGood())
        window.show();
    const int status = app.exec();
    if (window.copiesStuck()) {
        // Everything is saved; a thread stuck on a hung drive is not waited for.
        std::fflush(nullptr);
        ::_exit(status);
    }
    return status;
}
