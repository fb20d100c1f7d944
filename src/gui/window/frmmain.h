#pragma once

// The window and its controls keep the names the program has always given
// them (frmMain, Command7, Label4, Timer1_Timer...), which is why they do not
// follow the house naming rules.

#include <map>
#include <memory>
#include <utility>
#include <vector>

#include <QDate>
#include <QWidget>

#include "core/platform/logfile.h"
#include "core/platform/process.h"
#include "core/schedule/outlook.h"
#include "core/schedule/scheduler.h"
#include "core/storage/programfiles.h"
#include "core/storage/resultsfile.h"
#include "gui/platform/platform.h"

class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QTimer;

namespace plovern {

class CopyWorker;
class DirList;
class DriveList;
class FlexGrid;
class PickList;

inline constexpr char kHomePage[] = "https://plovern.org/";

// The one window. Its controls hold the program's whole state: the schedule
// in the grid, the entry count in Label4, the purge flag in chkPurge, the
// scheduler's on/off state in Command5's caption. The handlers stay short and
// hand the work to schedule/, engine/ and storage/.
class frmMain final : public QWidget
{
    Q_OBJECT
public:
    explicit frmMain(const Platform& platform, QWidget* parent = nullptr);
    ~frmMain() override;

    // True while copies that fell due are still being made.
    bool isCopying() const;

    // True when the unload left a copy that would not stop (a drive that
    // hangs): the program must then end without waiting for it.
    bool copiesStuck() const { return m_copiesStuck; }

    // True once a switch or "Hide" has hidden the window; it is never shown again.
    bool isHiddenForGood() const { return m_hiddenForGood; }
    void setVisible(bool visible) override;
    // A second start asked for this window: to the front, when it is shown.
    void bringToFront();

    void Form_Load();
    void Form_Resize();
    void Form_Unload();

    void Command4_Click();
    // False when the timer cannot start: the interval in Text4 is no number of seconds it takes.
    bool Command5_Click();
    void Command6_Click();
    void Command7_Click();
    void Command8_Click();
    void Command9_Click();
    void Command10_Click();
    void Command11_Click();
    void Command12_Click();
    void Label12_Click();
    void MSFlexGrid1_Click();
    void MSFlexGrid1_DblClick();
    void Timer1_Timer();
    void Drive1_Change();
    void Drive2_Change();
    void Dir1_Change();
    void Dir2_Change();
    void chkPurge_Click();

    void loadvariables();
    // Ends at its first failure and gives it to the caller.
    bool savevariables(QString* error = nullptr);

signals:
    // The unload sequence has run; the program ends.
    void unloaded();
    // Whether the window is shown and what it copies changed: a second start reads it.
    void instanceNoteChanged(const plovern::InstanceNote& note);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    void buildControls();
    void buildShownControls();
    void buildStateHolders();
    void connectHandlers();
    void hideForGood();
    void reconcileCount();
    // Files that other users may change steer nothing: told once, then left alone.
    void refuseUntrustedFiles();
    void fitFonts();
    // The catch-up mark, from and to its file.
    void resumeFromLastTick();
    void saveLastTick();
    void showProgress();
    // What a second start reads: whether the window is shown, and what the
    // copies said they copy as each began or ended.
    void tellNote();
    void noteCopying(const QString& source);
    // Each entry's last copy, from the files, into the rows and the title.
    void loadOutcomes();
    // The rows' marks and the title as of now, and any overdue entry told.
    void showOutlook();
    void ShellOpen(const QString& target);
    void tick();

    Platform m_platform;
    bool m_hiddenForGood = false;
    bool m_unloaded = false;
    bool m_copiesStuck = false;
    ProgramFiles m_files;
    QString m_distrust; // why the program's files are not to be trusted, if they are not
    // The last wall-clock second the scheduler evaluated.
    SecondCursor m_cursor;
    qint64 m_lastTickSaved = 0; // when the mark last went to its file, in wall seconds
    LogFile m_log;
    std::unique_ptr<CopyWorker> m_worker;
    QTimer* m_progress = nullptr;
    LastResults m_last; // each entry's last copy, as the files last told
    std::vector<std::pair<ScheduleEntry, Outlook>> m_marked; // what each row's mark shows
    // The day each overdue entry (source, destination) was last told of.
    std::map<std::pair<QString, QString>, QDate> m_toldOverdue;
    qint64 m_outlookMinute = -1; // the wall minute the outlook was last shown
    InstanceNote m_toldNote;
    QString m_copying; // the source name the copies last said they copy

    QLabel* Label1 = nullptr;
    QLabel* Label2 = nullptr;
    QLabel* Label4 = nullptr;
    QLabel* Label5 = nullptr;
    QLabel* Label6 = nullptr;
    QLabel* Label7 = nullptr;
    QLabel* Label8 = nullptr;
    QLabel* Label9 = nullptr;
    QLabel* Label10 = nullptr;
    QLabel* Label11 = nullptr;
    QLabel* Label12 = nullptr;
    DriveList* Drive1 = nullptr;
    DriveList* Drive2 = nullptr;
    DirList* Dir1 = nullptr;
    DirList* Dir2 = nullptr;
    QLineEdit* Text1 = nullptr;
    QLineEdit* Text2 = nullptr;
    QLineEdit* Text3 = nullptr;
    QLineEdit* Text4 = nullptr;
    PickList* Combo1 = nullptr;
    PickList* Combo2 = nullptr;
    PickList* Combo3 = nullptr;
    PickList* Combo4 = nullptr;
    PickList* Combo5 = nullptr;
    QPushButton* Command4 = nullptr;
    QPushButton* Command5 = nullptr;
    QPushButton* Command6 = nullptr;
    QPushButton* Command7 = nullptr;
    QPushButton* Command8 = nullptr;
    QPushButton* Command9 = nullptr;
    QPushButton* Command10 = nullptr;
    QPushButton* Command11 = nullptr;
    QPushButton* Command12 = nullptr;
    QCheckBox* chkPurge = nullptr;
    FlexGrid* MSFlexGrid1 = nullptr;
    QTimer* Timer1 = nullptr;
};

} // namespace plovern
