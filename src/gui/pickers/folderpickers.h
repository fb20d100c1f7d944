#pragma once

#include <QComboBox>
#include <QListWidget>

namespace plovern {

// A drop-down list that can only be picked from: typing neither enters text
// nor jumps to an item.
class PickList : public QComboBox
{
    Q_OBJECT
public:
    explicit PickList(QWidget* parent = nullptr);

    // About this many items show at a time when the list opens, whatever the style.
    static constexpr int kVisibleItems = 15;

protected:
    void keyPressEvent(QKeyEvent* event) override;
};

// The mounted volumes, by their root paths. A path too long for the list is
// shortened in the middle, so its last name shows; the whole path is in the
// tooltip, and the open list is as wide as its longest path.
class DriveList final : public PickList
{
    Q_OBJECT
public:
    explicit DriveList(const QStringList& roots, QWidget* parent = nullptr);

    QString drive() const { return currentText(); }
    // Shows the volume that holds `path` as chosen, without a change signal.
    void showDriveOf(const QString& path);
    // The chosen path as the list shows it.
    QString shownText() const;
    void showPopup() override;

signals:
    void driveChanged();

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QString m_drive;
};

// A classic directory list: the path from the root down to the current folder,
// then the current folder's sub-folders by name (hidden ones left out).
// Opening an item (double click, Enter) moves there; a highlight does not.
class DirList final : public QListWidget
{
    Q_OBJECT
public:
    explicit DirList(QWidget* parent = nullptr);

    // The current folder: absolute, no trailing separator except at the root.
    QString path() const { return m_path; }
    // Moves to `folder`; a folder that cannot be listed leaves everything as
    // it was and returns false.
    bool setPath(const QString& folder);

signals:
    void pathChanged();

protected:
    void keyPressEvent(QKeyEvent* event) override;

private:
    void open(QListWidgetItem* item);

    QString m_path;
};

} // namespace plovern
