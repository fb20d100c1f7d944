#include "gui/window/frmmain.h"

#include <limits>
#include <new>

#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QDir>
#include <QIcon>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>

#include "core/engine/copyworker.h"
#include "core/platform/clock.h"
#include "core/platform/log.h"
#include "core/platform/notifier.h"
#include "core/platform/process.h"
#include "core/platform/textfile.h"
#include "core/schedule/catchup.h"
#include "core/schedule/clocktext.h"
#include "core/schedule/entryeditor.h"
#include "core/schedule/outlook.h"
#include "core/storage/programfiles.h"
#include "core/storage/resultsfile.h"
#include "gui/grid/flexgrid.h"
#include "gui/grid/scheduletable.h"
#include "gui/pickers/folderpickers.h"
#include "gui/platform/elide.h"
#include "gui/platform/messageboxes.h"
#include "gui/platform/shell.h"
#include "gui/window/controls.h"

// The icons are compiled into the GUI library, whose resources a linker drops
// unless someone asks for them.
static void loadResources()
{
    Q_INIT_RESOURCE(plovern);
}

namespace plovern {

namespace {

const QSize kClientSize(5490 / kTwipsPerPixel, 7785 / kTwipsPerPixel);

const QString kStartTimer = QStringLiteral("Start Timer");
const QString kStopTimer = QStringLiteral("Stop Timer");

} // namespace

frmMain::frmMain(const Platform& platform, QWidget* parent)
    : QWidget(parent)
    , m_platform(platform)
    , m_files(platform.programFolder)
    , m_log(m_files.folder(), QString::fromLatin1(kLogFile))
    , m_worker(std::make_unique<CopyWorker>(m_files.copyPlaces({QDir::homePath()}), platform.clock, m_log,
                                            platform.notifier))
{
    loadResources();
    setObjectName(QStringLiteral("frmMain"));
    setWindowTitle(programTitle());
    QIcon icon;
    icon.addFile(QStringLiteral(":/icons/plovern-16.png"), QSize(16, 16));
    icon.addFile(QStringLiteral(":/icons/plovern-32.png"), QSize(32, 32));
    setWindowIcon(icon);
    QFont font(QStringLiteral("MS Sans Serif"));
    font.setStyleHint(QFont::SansSerif);
    font.setPointSizeF(8.25);
    setFont(font);
    setFixedSize(kClientSize);
    buildControls();
}

frmMain::~frmMain() = default;

bool frmMain::isCopying() const
{
    return m_worker->busy();
}

void frmMain::buildControls()
{
    buildShownControls();
    buildStateHolders();
    connectHandlers();
}

void frmMain::buildShownControls()
{
    Label12 = label(this, "Label12", kHomePage, 3480, 0, 1785, 195);
    QFont underlined = font();
    underlined.setUnderline(true);
    Label12->setFont(underlined);
    Label12->setCursor(Qt::PointingHandCursor);
    Label12->adjustSize();
    Label12->installEventFilter(this);

    Label1 = label(this, "Label1", "Source Folder", 120, 120, 990, 195);
    Drive1 = place<DriveList>(this, "Drive1", 120, 360, 1455, 315, m_platform.volumeRoots);
    Dir1 = place<DirList>(this, "Dir1", 1800, 360, 3375, 990);
    Label9 = label(this, "Label9", "Source Folder Path", 120, 1440, 1365, 195);
    Text1 = place<QLineEdit>(this, "Text1", 120, 1680, 5055, 285);
    Label2 = label(this, "Label2", "Destination Folder", 120, 2040, 1275, 195);
    Drive2 = place<DriveList>(this, "Drive2", 120, 2280, 1455, 315, m_platform.volumeRoots);
    Dir2 = place<DirList>(this, "Dir2", 1800, 2280, 3375, 1215);
    Label10 = label(this, "Label10", "Destination Folder", 120, 3480, 1275, 195);
    Text2 = place<QLineEdit>(this, "Text2", 120, 3720, 5055, 285);
    Label8 = label(this, "Label8", "Choose Day", 120, 4200, 870, 195);
    Combo5 = place<PickList>(this, "Combo5", 1320, 4200, 975, 315);
    Label6 = label(this, "Label6", "Clock", 3360, 4200, 405, 195);
    Label5 = label(this, "Label5", "", 3840, 4200, 975, 285);
    Label5->setFrameStyle(QFrame::Box | QFrame::Plain);
    Label11 = label(this, "Label11", "Choose Time", 120, 4680, 1095, 255);
    Combo1 = place<PickList>(this, "Combo1", 1320, 4680, 615, 315);
    for (int hour = 1; hour <= 12; ++hour)
        Combo1->addItem(QString::number(hour));
    Combo2 = place<PickList>(this, "Combo2", 2040, 4680, 615, 315);
    Combo3 = place<PickList>(this, "Combo3", 2760, 4680, 615, 315);
    Combo4 = place<PickList>(this, "Combo4", 3480, 4680, 615, 315);
    Combo4->addItems({QStringLiteral("AM"), QStringLiteral("PM")});
    Command7 = button(this, "Command7", "Set Time", 4200, 4680, 855, 315);
    Command7->setToolTip(QStringLiteral("Add the copy of the source to the destination at this time and day"));
    MSFlexGrid1 = place<FlexGrid>(this, "MSFlexGrid1", 0, 5160, 5415, 2055);
    chkPurge = place<QCheckBox>(this, "chkPurge", 120, 7320, 1455, 255);
    chkPurge->setText(QStringLiteral("Purge Folders"));
    chkPurge->setToolTip(QStringLiteral("After each copy, delete the recorded copies of earlier years once a "
                                        "complete copy of this year replaces them"));
    Command6 = button(this, "Command6", "Hide", 3360, 7320, 975, 375);
    Command6->setToolTip(QStringLiteral("Hide the window for good; the copies go on. End Plovern with SIGTERM "
                                        "(pkill -x plovern)"));
    Command4 = button(this, "Command4", "Close", 4440, 7320, 975, 375);
    for (QLabel* shown : {Label1, Label2, Label5, Label6})
        paintOnWindow(shown);
    // Auto-size labels take the size of their text in whatever font the system has.
    for (QLabel* autoSize : {Label1, Label9, Label2, Label10, Label8, Label6})
        autoSize->adjustSize();
    for (PickList* list : {Combo1, Combo2, Combo3, Combo4, Combo5})
        list->setCurrentIndex(-1);
    nameControl(Text1, "Source folder path", Label9);
    nameControl(Text2, "Destination folder path", Label10);
    nameControl(Drive1, "Source drive", Label1);
    nameControl(Dir1, "Source folders");
    nameControl(Drive2, "Destination drive", Label2);
    nameControl(Dir2, "Destination folders");
    nameControl(Combo1, "Hour", Label11);
    nameControl(Combo2, "Minute");
    nameControl(Combo3, "Second");
    nameControl(Combo4, "AM or PM");
    nameControl(Combo5, "Day", Label8);
    nameControl(Label5, "Clock", Label6);
    nameControl(MSFlexGrid1, "Scheduled copies");
    // The time and the day stay in view, the vertical scroll bar or not.
    MSFlexGrid1->setFitToView(true);
    MSFlexGrid1->setColumnNames({QStringLiteral("Entry"), QStringLiteral("Source"), QStringLiteral("Destination"),
                                 QStringLiteral("Time"), QStringLiteral("Day")});
    // Keyboard focus moves through the shown controls in this order.
    QWidget* const tabOrder[] = {Text1,    Text2,       Command4, Command6, Combo1, Combo2, Combo3, Combo4,
                                 Command7, MSFlexGrid1, Combo5,   Drive1,   Dir1,   Drive2, Dir2,   chkPurge};
    for (size_t i = 1; i < std::size(tabOrder); ++i)
        setTabOrder(tabOrder[i - 1], tabOrder[i]);
}

// State holders the user never sees, below the client area, and the timer.
void frmMain::buildStateHolders()
{
    Command8 = button(this, "Command8", "Command8", 480, 8520, 975, 255);
    Command9 = button(this, "Command9", "Command9", 1560, 8520, 975, 255);
    Text4 = place<QLineEdit>(this, "Text4", 3000, 8640, 615, 375);
    Text4->setText(QStringLiteral("1"));
    Command10 = button(this, "Command10", "save settings", 240, 8760, 1335, 255);
    Command11 = button(this, "Command11", "load settings", 1560, 8760, 1095, 255);
    Command5 = button(this, "Command5", "Start Timer", 1560, 9000, 1095, 255);
    Label7 = label(this, "Label7", "0", 720, 9240, 855, 255);
    Label4 = label(this, "Label4", "0", 1680, 9360, 90, 195);
    Text3 = place<QLineEdit>(this, "Text3", 2160, 9600, 975, 285);
    Text3->setEnabled(false);
    Command12 = button(this, "Command12", "zipup", 1680, 10200, 1815, 495);
    for (QWidget* never : std::initializer_list<QWidget*>{Command8, Command9, Text4, Command10, Command11, Command5,
                                                          Label4, Text3, Command12})
        never->setVisible(false);

    Timer1 = new QTimer(this);
    Timer1->setObjectName(QStringLiteral("Timer1"));
    Timer1->setTimerType(Qt::PreciseTimer);
    Timer1->setInterval(0);
    m_progress = new QTimer(this);
    m_progress->setInterval(250);
}

void frmMain::connectHandlers()
{
    connect(Command4, &QPushButton::clicked, this, &frmMain::Command4_Click);
    connect(Command5, &QPushButton::clicked, this, &frmMain::Command5_Click);
    connect(Command6, &QPushButton::clicked, this, &frmMain::Command6_Click);
    connect(Command7, &QPushButton::clicked, this, &frmMain::Command7_Click);
    connect(Command8, &QPushButton::clicked, this, &frmMain::Command8_Click);
    connect(Command9, &QPushButton::clicked, this, &frmMain::Command9_Click);
    connect(Command10, &QPushButton::clicked, this, &frmMain::Command10_Click);
    connect(Command11, &QPushButton::clicked, this, &frmMain::Command11_Click);
    connect(Command12, &QPushButton::clicked, this, &frmMain::Command12_Click);
    connect(MSFlexGrid1, &FlexGrid::Click, this, &frmMain::MSFlexGrid1_Click);
    connect(MSFlexGrid1, &FlexGrid::DblClick, this, &frmMain::MSFlexGrid1_DblClick);
    connect(Timer1, &QTimer::timeout, this, &frmMain::Timer1_Timer);
    connect(m_progress, &QTimer::timeout, this, &frmMain::showProgress);
    connect(m_worker.get(), &CopyWorker::copyFinished, this, &frmMain::saveLastTick);
    connect(m_worker.get(), &CopyWorker::copyFinished, this, &frmMain::loadOutcomes);
    connect(m_worker.get(), &CopyWorker::copyingChanged, this, &frmMain::noteCopying);
    connect(Drive1, &DriveList::driveChanged, this, &frmMain::Drive1_Change);
    connect(Drive2, &DriveList::driveChanged, this, &frmMain::Drive2_Change);
    connect(Dir1, &DirList::pathChanged, this, &frmMain::Dir1_Change);
    connect(Dir2, &DirList::pathChanged, this, &frmMain::Dir2_Change);
    // The user's own changes of the purge box, not those of start-up, are saved at once.
    connect(chkPurge, &QCheckBox::clicked, this, &frmMain::chkPurge_Click);
}

void frmMain::chkPurge_Click()
{
    if (QString error; !savevariables(&error))
        logLine(QStringLiteral("could not save the settings to %1: %2").arg(m_files.path(kSettingsFile), error));
}

void frmMain::setVisible(bool visible)
{
    if (visible && m_hiddenForGood)
        return;
    QWidget::setVisible(visible);
    tellNote();
}

void frmMain::bringToFront()
{
    if (m_hiddenForGood || !isVisible())
        return;
    setWindowState((windowState() & ~Qt::WindowMinimized) | Qt::WindowActive);
    raise();
    activateWindow();
}

void frmMain::tellNote()
{
    const InstanceNote note{isVisible() && !m_hiddenForGood, m_copying};
    if (note == m_toldNote)
        return;
    m_toldNote = note;
    emit instanceNoteChanged(note);
}

void frmMain::noteCopying(const QString& source)
{
    m_copying = source;
    tellNote();
}

void frmMain::hideForGood()
{
    m_hiddenForGood = true;
    hide();
}

// ---- start-up -------------------------------------------------------------

void frmMain::Form_Load()
{
    const Switches switches = readSwitches(m_platform.arguments);
    if (switches.purge)
        chkPurge->setChecked(true);
    if (switches.hidden)
        hideForGood();
    refuseUntrustedFiles();
    for (int n = 0; n <= 9; ++n)
        Combo2->addItem(QStringLiteral("0") + QString::number(n));
    for (int n = 0; n <= 9; ++n)
        Combo3->addItem(QStringLiteral("0") + QString::number(n));
    Combo5->addItems({QStringLiteral("Every"), QStringLiteral("Sunday"), QStringLiteral("Monday"),
                      QStringLiteral("Tuesday"), QStringLiteral("Wednesday"), QStringLiteral("Thursday"),
                      QStringLiteral("Friday"), QStringLiteral("Saturday")});
    Label7->setText(QString::number(weekdayNumber(m_platform.clock.now().date())));
    for (int n = 10; n <= 59; ++n) {
        Combo2->addItem(QString::number(n));
        Combo3->addItem(QString::number(n));
    }
    for (PickList* list : {Combo2, Combo3, Combo5})
        list->setCurrentIndex(-1);
    Command11_Click();
    // Start-up ends at a timer that cannot start; what was done stays done.
    if (Command5_Click())
        loadvariables();
    reconcileCount();
    fitFonts();
    resumeFromLastTick();
    loadOutcomes();
    // A purge the last run's end cut short is finished now, not after the next copy.
    if (chkPurge->isChecked() && Timer1->isActive())
        m_worker->requestPurge(m_platform.clock.now().date().year());
}

void frmMain::resumeFromLastTick()
{
    QDateTime kept;
    if (!Timer1->isActive() || !m_files.loadLastTick(&kept))
        return;
    const std::optional<qint64> mark = resumeFrom(wallSecond(kept), wallSecond(m_platform.clock.now()));
    if (!mark)
        return;
    m_cursor.resume(*mark);
    m_log.write(m_platform.clock.now(),
                QStringLiteral("catching up what fell due since %1").arg(kept.toString(Qt::ISODate)));
}

void frmMain::saveLastTick()
{
    const std::optional<qint64> mark = markToKeep(m_cursor.mark(), m_worker->oldestPending());
    if (!mark || !m_distrust.isEmpty())
        return;
    m_lastTickSaved = wallSecond(m_platform.clock.now());
    if (QString error; !m_files.saveLastTick(wallDateTime(*mark), &error))
        logLine(QStringLiteral("could not save the last tick to %1: %2").arg(m_files.path(kLastTickFile), error));
}

void frmMain::showProgress()
{
    if (!m_worker->busy()) {
        m_progress->stop();
        showOutlook();
        return;
    }
    const QString source = m_worker->currentSource();
    setWindowTitle(source.isNull() ? programTitle() + QStringLiteral(" - copying")
                                   : QStringLiteral("%1 - copying %2: %3 files")
                                         .arg(programTitle(), source, QString::number(m_worker->currentFiles())));
}

void frmMain::loadOutcomes()
{
    if (m_distrust.isEmpty()) {
        QString error;
        std::vector<EntryResult> results;
        if (!loadResults(*m_files.folder(), &results, &error))
            logLine(QStringLiteral("could not read %1: %2").arg(m_files.path(kResultsFile), error));
        std::vector<MadeCopy> book;
        if (!loadCopyBook(*m_files.folder(), &book, &error))
            logLine(QStringLiteral("could not read %1: %2").arg(m_files.path(kCopyBookFile), error));
        m_last = lastResults(results, book);
    }
    showOutlook();
}

void frmMain::showOutlook()
{
    const QDateTime now = m_platform.clock.now();
    const qint64 second = wallSecond(now);
    m_outlookMinute = second / 60;
    const std::vector<ScheduleEntry> entries = readEntries(*MSFlexGrid1);
    std::vector<Outlook> outlooks;
    outlooks.reserve(entries.size());
    m_marked.resize(entries.size());
    for (size_t row = 0; row < entries.size(); ++row) {
        const ScheduleEntry& entry = entries[row];
        const Outlook& outlook
            = outlooks.emplace_back(outlookOf(entry, lastResultOf(m_last, entry.source, entry.destination), second));
        // The words are made again only for what changed, or for a row not yet marked.
        if (m_marked[row] != std::pair(entry, outlook) || MSFlexGrid1->rowMark(static_cast<int>(row)).said.isEmpty()) {
            markEntry(*MSFlexGrid1, static_cast<int>(row), entry, outlook);
            m_marked[row] = {entry, outlook};
        }
        if (!outlook.overdueSince)
            continue;
        QDate& told = m_toldOverdue[{entry.source, entry.destination}];
        if (told != now.date()) {
            told = now.date();
            m_platform.notifier.notify(QStringLiteral("The backup of %1 is overdue").arg(shownText(entry.source)),
                                       shownText(overdueText(entry, *outlook.overdueSince)));
        }
    }
    if (!m_worker->busy())
        setWindowTitle(outlookTitle(programTitle(), entries, outlooks, second));
}

void frmMain::fitFonts()
{
    for (QLabel* label : findChildren<QLabel*>())
        fitFont(label, {label->text()});
    for (QPushButton* button : findChildren<QPushButton*>())
        fitFont(button, {button->text()});
    fitFont(chkPurge, {chkPurge->text()});
    for (PickList* list : findChildren<PickList*>()) {
        if (!qobject_cast<DriveList*>(list)) // a drive list elides its long paths instead
            fitFont(list, itemsOf(list));
    }
    fitFont(Label5, {clockText(QTime(12, 0)), clockText(QTime(0, 0))});
}

// A count that disagrees with the loaded schedule (a lost or older settings
// file) would leave entries unsaved; the rows are what counts.
void frmMain::reconcileCount()
{
    const QString rows = QString::number(readEntries(*MSFlexGrid1).size());
    if (Label4->text() != rows)
        Label4->setText(rows);
}

// ---- window behaviour -----------------------------------------------------

void frmMain::Form_Resize()
{
    if (windowState() & Qt::WindowMaximized)
        setWindowState(windowState() & ~Qt::WindowMaximized);
    if (!(windowState() & Qt::WindowMinimized) && size() != kClientSize)
        resize(kClientSize);
}

void frmMain::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    Form_Resize();
}

void frmMain::changeEvent(QEvent* event)
{
    QWidget::changeEvent(event);
    if (event->type() == QEvent::WindowStateChange)
        Form_Resize();
}

bool frmMain::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == Label12 && event->type() == QEvent::MouseButtonRelease) {
        Label12_Click();
        return true;
    }
    return QWidget::eventFilter(watched, event);
}

void frmMain::closeEvent(QCloseEvent* event)
{
    Form_Unload();
    event->accept();
}

void frmMain::Form_Unload()
{
    if (m_unloaded)
        return;
    m_unloaded = true;
    // A copy under way stops at its next file, is recorded and logged as stopped.
    if (!m_worker->stop(1500)) {
        m_copiesStuck = true;
        logLine(QStringLiteral("a copy under way did not stop in time; its drive may have hung"));
    }
    Command10_Click();
    if (QString error; !savevariables(&error))
        logLine(QStringLiteral("could not save the settings to %1: %2").arg(m_files.path(kSettingsFile), error));
    Timer1->stop();
    saveLastTick();
    emit unloaded();
}

void frmMain::Command4_Click()
{
    close();
}

void frmMain::Command6_Click()
{
    hideForGood();
}

void frmMain::Command12_Click() { }

void frmMain::Label12_Click()
{
    ShellOpen(Label12->text());
}

void frmMain::ShellOpen(const QString& target)
{
    m_platform.shell.open(target);
}

// ---- schedule table -------------------------------------------------------

void frmMain::Command7_Click()
{
    const EditorFields fields{Text1->text(),         Text2->text(),         Combo1->currentText(),
                              Combo2->currentText(), Combo3->currentText(), Combo4->currentText(),
                              Combo5->currentText()};
    if (const QString message = refusal(fields); !message.isEmpty()) {
        m_platform.boxes.inform(message, MessageBoxes::Icon::Information);
        return;
    }
    Text3->setText(composeTimeText(fields));
    Command8_Click();
    showOutlook();
    Command10_Click(); // a crash or a lost display must not cost the entry
    if (QString error; !savevariables(&error))
        m_platform.boxes.inform(QStringLiteral("The entry was added, but the settings could not be saved to %1: %2")
                                    .arg(m_files.path(kSettingsFile), error),
                                MessageBoxes::Icon::Warning);
}

void frmMain::Command8_Click()
{
    insertTop(*MSFlexGrid1, {Text1->text(), Text2->text(), Text3->text(), dayCode(Combo5->currentText())});
    Label4->setText(adjustedCount(Label4->text(), +1, *MSFlexGrid1));
}

void frmMain::Command9_Click()
{
    for (const ScheduleEntry& entry : readEntries(*MSFlexGrid1))
        m_platform.boxes.inform(entry.time, MessageBoxes::Icon::None);
}

void frmMain::MSFlexGrid1_Click()
{
    MSFlexGrid1_DblClick();
}

void frmMain::MSFlexGrid1_DblClick()
{
    try {
        const int row = MSFlexGrid1->RowSel();
        const ScheduleEntry entry = readEntry(*MSFlexGrid1, row);
        Text1->setText(entry.source);
        Text2->setText(entry.destination);
        Text3->setText(entry.time);
        if (entry.isBlank()) // the end row below the entries
            return;
        if (m_platform.boxes.askYesNo(reviewText(entry)))
            return;
        MSFlexGrid1->RemoveItem(row);
        Label4->setText(adjustedCount(Label4->text(), -1, *MSFlexGrid1));
        showOutlook();
        Command10_Click();
        if (QString error; !savevariables(&error)) // the count goes with the schedule
            logLine(QStringLiteral("could not save the settings to %1: %2").arg(m_files.path(kSettingsFile), error));
    } catch (const GridError&) {
        // The review ends quietly; the boxes keep what was written.
    }
}

// ---- scheduler ------------------------------------------------------------

bool frmMain::Command5_Click()
{
    if (Command5->text() != kStartTimer) {
        Command5->setText(kStartTimer);
        Timer1->stop();
        return true;
    }
    Command5->setText(kStopTimer);
    bool isNumber = false;
    const qint64 milliseconds = Text4->text().toLongLong(&isNumber) * 1000;
    if (!isNumber || milliseconds < 0 || milliseconds > std::numeric_limits<int>::max())
        return false; // not a number of seconds the timer accepts
    Timer1->setInterval(static_cast<int>(milliseconds));
    loadvariables();
    // Seconds that passed while the timer was off are not made up.
    m_cursor.reset();
    if (milliseconds > 0)
        Timer1->start();
    return true;
}

void frmMain::Timer1_Timer()
{
    try {
        tick();
    } catch (const std::bad_alloc&) {
        // The one failure the tick does not answer itself: it ends there, and
        // the next one starts afresh.
        logLine(QStringLiteral("scheduler tick failed: out of memory"));
    }
}

void frmMain::tick()
{
    const QDateTime now = m_platform.clock.now();
    Label7->setText(QString::number(weekdayNumber(now.date())));
    Label5->setText(clockText(now.time()));
    const SecondRange seconds = m_cursor.advance(now);
    if (seconds.isEmpty())
        return;
    if (seconds.last / 60 != m_outlookMinute)
        showOutlook();
    // The copies work on copies of the cells, so nothing they do touches the grid.
    const std::vector<ScheduleEntry> entries = readEntries(*MSFlexGrid1);
    std::vector<DueCopy> batch;
    for (const DueRun& run : dueRuns(entries, seconds)) {
        const ScheduleEntry& entry = entries[static_cast<size_t>(run.row)];
        batch.push_back({entry.source, entry.destination, run.second, chkPurge->isChecked()});
    }
    if (!batch.empty() && m_distrust.isEmpty()) {
        m_worker->enqueue(std::move(batch));
        m_progress->start();
    }
    if (seconds.last - m_lastTickSaved >= kKeepMarkEvery)
        saveLastTick();
}

// ---- files ----------------------------------------------------------------

void frmMain::refuseUntrustedFiles()
{
    m_distrust = m_files.judge();
    if (m_distrust.isEmpty())
        return;
    const QString message = QStringLiteral("Plovern reads nothing from its files and copies nothing: %1. Other users "
                                           "could steer it. Let only you change them (chmod go-w).")
                                .arg(m_distrust);
    if (m_hiddenForGood) {
        logLine(message); // not into the log: nothing is written among those files
    } else {
        m_platform.boxes.inform(message, MessageBoxes::Icon::Warning);
    }
}

void frmMain::Command11_Click()
{
    if (!m_distrust.isEmpty())
        return;
    std::vector<ScheduleEntry> entries;
    if (!m_files.loadSchedule(&entries))
        return;
    for (const ScheduleEntry& entry : entries)
        insertTop(*MSFlexGrid1, entry);
}

void frmMain::Command10_Click()
{
    if (!m_distrust.isEmpty())
        return; // not even replaced: the files are not the program's to change
    if (QString error; !m_files.saveSchedule(readEntries(*MSFlexGrid1), &error))
        logLine(QStringLiteral("could not save the schedule to %1: %2").arg(m_files.path(kScheduleFile), error));
}

void frmMain::loadvariables()
{
    if (!m_distrust.isEmpty())
        return;
    StoredSettings stored;
    if (!m_files.loadSettings(&stored))
        return;
    if (stored.count)
        Label4->setText(*stored.count);
    if (stored.purge)
        chkPurge->setChecked(*stored.purge);
}

bool frmMain::savevariables(QString* error)
{
    if (!m_distrust.isEmpty())
        return true; // not the program's to change
    return m_files.saveSettings(Label4->text(), chkPurge->isChecked(), error);
}

// ---- folder pickers -------------------------------------------------------

void frmMain::Drive1_Change()
{
    if (!Dir1->setPath(Drive1->drive()))
        Drive1->showDriveOf(Dir1->path());
}

void frmMain::Drive2_Change()
{
    if (!Dir2->setPath(Drive2->drive()))
        Drive2->showDriveOf(Dir2->path());
}

void frmMain::Dir1_Change()
{
    Text1->setText(Dir1->path());
}

void frmMain::Dir2_Change()
{
    Text2->setText(Dir2->path());
}

} // namespace plovern
