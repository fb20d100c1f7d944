#include "gui/window/controls.h"
#include "gui/platform/elide.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFontMetrics>
#include <QLabel>
#include <QPushButton>
#include <QStyle>
#include <QStyleOptionComboBox>

namespace plovern {

namespace {

// The width a control leaves its text.
int textRoom(QWidget* control)
{
    QStyle* style = control->style();
    if (auto* label = qobject_cast<QLabel*>(control))
        return label->width() - 2 * label->frameWidth();
    if (qobject_cast<QCheckBox*>(control)) {
        QStyleOptionButton option;
        option.initFrom(control);
        // The text is drawn with a margin on each side of it.
        return style->subElementRect(QStyle::SE_CheckBoxContents, &option, control).width()
            - 2 * style->pixelMetric(QStyle::PM_FocusFrameHMargin, &option, control);
    }
    if (qobject_cast<QPushButton*>(control))
        return control->width() - style->pixelMetric(QStyle::PM_ButtonMargin, nullptr, control)
            - 2 * style->pixelMetric(QStyle::PM_DefaultFrameWidth, nullptr, control);
    if (auto* list = qobject_cast<QComboBox*>(control)) {
        QStyleOptionComboBox option;
        option.initFrom(list);
        // The label keeps a frame's width from each side of its field.
        return style->subControlRect(QStyle::CC_ComboBox, &option, QStyle::SC_ComboBoxEditField, list).width()
            - 2 * style->pixelMetric(QStyle::PM_ComboBoxFrameWidth, &option, list);
    }
    return control->width();
}

} // namespace

void fitFont(QWidget* control, const QStringList& texts)
{
    control->setFont(fittedFont(control->font(), texts, textRoom(control)));
}

QStringList itemsOf(const QComboBox* list)
{
    QStringList items;
    for (int i = 0; i < list->count(); ++i)
        items.append(list->itemText(i));
    return items;
}

QLabel* label(QWidget* parent, const char* name, const char* text, int left, int top, int width, int height)
{
    auto* widget = place<QLabel>(parent, name, left, top, width, height);
    widget->setText(QString::fromLatin1(text));
    return widget;
}

QPushButton* button(QWidget* parent, const char* name, const char* text, int left, int top, int width, int height)
{
    auto* widget = place<QPushButton>(parent, name, left, top, width, height);
    widget->setText(QString::fromLatin1(text));
    return widget;
}

void paintOnWindow(QLabel* label)
{
    label->setAutoFillBackground(true);
    label->setForegroundRole(QPalette::WindowText);
    label->setBackgroundRole(QPalette::Window);
}

void nameControl(QWidget* control, const char* purpose, QLabel* caption)
{
    control->setAccessibleName(QString::fromLatin1(purpose));
    if (caption)
        caption->setBuddy(control);
    else if (qobject_cast<QComboBox*>(control))
        control->setAccessibleDescription(QString::fromLatin1(purpose));
}

} // namespace plovern
