#include "gui/pickers/folderpickers.h"

#include <algorithm>

#include <QDir>
#include <QKeyEvent>
#include <QScrollBar>
#include <QStyleOptionComboBox>
#include <QStylePainter>
#include <QStyledItemDelegate>

#include "core/platform/volumes.h"
#include "gui/platform/elide.h"

namespace plovern {

namespace {

constexpr int kPathRole = Qt::UserRole;
constexpr int kDepthRole = Qt::UserRole + 1;
constexpr int kIndentPerLevel = 2; // blanks' widths

// Indents each folder by its depth as drawn, not in its text, so that typing
// finds it and a screen reader says its name alone.
class IndentDelegate final : public QStyledItemDelegate
{
public:
    using QStyledItemDelegate::QStyledItemDelegate;

    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override
    {
        QStyleOptionViewItem indented(option);
        indented.rect.setLeft(option.rect.left() + indent(option, index));
        QStyledItemDelegate::paint(painter, indented, index);
    }

    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override
    {
        return QStyledItemDelegate::sizeHint(option, index) + QSize(indent(option, index), 0);
    }

private:
    static int indent(const QStyleOptionViewItem& option, const QModelIndex& index)
    {
        return index.data(kDepthRole).toInt() * kIndentPerLevel
            * option.fontMetrics.horizontalAdvance(QLatin1Char(' '));
    }
};

} // namespace

PickList::PickList(QWidget* parent)
    : QComboBox(parent)
{
    setEditable(false);
    setMaxVisibleItems(kVisibleItems);
    // Styles that open a list over the whole screen ignore the count otherwise.
    setStyleSheet(QStringLiteral("QComboBox { combobox-popup: 0; }"));
}

void PickList::keyPressEvent(QKeyEvent* event)
{
    const bool typing = !event->text().isEmpty() && event->text().at(0).isPrint() && event->key() != Qt::Key_Space;
    if (typing) {
        event->accept();
        return;
    }
    QComboBox::keyPressEvent(event);
}

DriveList::DriveList(const QStringList& roots, QWidget* parent)
    : PickList(parent)
{
    addItems(roots.isEmpty() ? QStringList{QDir::rootPath()} : roots);
    for (int i = 0; i < count(); ++i)
        setItemData(i, itemText(i), Qt::ToolTipRole);
    connect(this, &QComboBox::currentTextChanged, this, [this](const QString& text) { setToolTip(text); });
    showDriveOf(QDir::currentPath());
    setToolTip(currentText());
    m_drive = currentText();
    // Choosing the drive already chosen changes nothing, a typed path included.
    connect(this, &QComboBox::activated, this, [this] {
        if (currentText() == m_drive)
            return;
        m_drive = currentText();
        emit driveChanged();
    });
}

void DriveList::showDriveOf(const QString& path)
{
    const QStringList roots = [this] {
        QStringList items;
        for (int i = 0; i < count(); ++i)
            items.append(itemText(i));
        return items;
    }();
    const int index = findText(volumeRootOf(path, roots));
    if (index >= 0)
        setCurrentIndex(index);
    m_drive = currentText();
}

QString DriveList::shownText() const
{
    QStyleOptionComboBox option;
    initStyleOption(&option);
    const QRect field = style()->subControlRect(QStyle::CC_ComboBox, &option, QStyle::SC_ComboBoxEditField, this);
    return elidePath(currentText(), fontMetrics(), field.width());
}

void DriveList::paintEvent(QPaintEvent*)
{
    QStylePainter painter(this);
    QStyleOptionComboBox option;
    initStyleOption(&option);
    painter.drawComplexControl(QStyle::CC_ComboBox, option);
    option.currentText = shownText();
    painter.drawControl(QStyle::CE_ComboBoxLabel, option);
}

void DriveList::showPopup()
{
    view()->setMinimumWidth(std::max(width(),
                                     view()->sizeHintForColumn(0) + 2 * view()->frameWidth()
                                         + view()->verticalScrollBar()->sizeHint().width()));
    PickList::showPopup();
}

DirList::DirList(QWidget* parent)
    : QListWidget(parent)
{
    setSelectionMode(QAbstractItemView::SingleSelection);
    setItemDelegate(new IndentDelegate(this));
    // The current folder is highlighted whether the list has focus or not, so the focus shows on the frame.
    setStyleSheet(QStringLiteral("QListWidget:focus { border: 2px solid palette(highlight); }"));
    connect(this, &QListWidget::itemDoubleClicked, this, &DirList::open);
    if (!setPath(QDir::currentPath()))
        setPath(QDir::rootPath());
}

bool DirList::setPath(const QString& folder)
{
    const QString target = QDir::cleanPath(QDir(folder).absolutePath());
    QDir dir(target);
    if (!dir.exists() || !dir.isReadable())
        return false;
    const QStringList children = dir.entryList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name | QDir::LocaleAware);

    clear();
    QStringList chain;
    for (QDir up(target);;) {
        chain.prepend(up.absolutePath());
        if (up.isRoot() || !up.cdUp())
            break;
    }
    int depth = 0;
    for (const QString& ancestor : chain) {
        const QString name = QDir(ancestor).isRoot() ? ancestor : QDir(ancestor).dirName();
        auto* item = new QListWidgetItem(name, this);
        item->setData(kPathRole, ancestor);
        item->setData(kDepthRole, depth);
        ++depth;
    }
    setCurrentRow(static_cast<int>(chain.size()) - 1);
    const QString prefix = target.endsWith(QLatin1Char('/')) ? target : target + QLatin1Char('/');
    for (const QString& child : children) {
        auto* item = new QListWidgetItem(child, this);
        item->setData(kPathRole, prefix + child);
        item->setData(kDepthRole, depth);
    }

    const bool moved = target != m_path;
    m_path = target;
    if (moved)
        emit pathChanged();
    return true;
}

void DirList::keyPressEvent(QKeyEvent* event)
{
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
        open(currentItem());
        event->accept();
        return;
    }
    QListWidget::keyPressEvent(event);
}

void DirList::open(QListWidgetItem* item)
{
    if (item)
        setPath(item->data(kPathRole).toString());
}

} // namespace plovern
