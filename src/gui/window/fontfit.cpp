#include "gui/window/fontfit.h"

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
    const int room = textRoom(control);
    QFont font = control->font();
    constexpr qreal kReadable = 7.0;
    constexpr int kNarrowest = QFont::ExtraCondensed;
    auto fits = [&] {
        const QFontMetrics metrics(font);
        for (const QString& text : texts) {
            if (metrics.horizontalAdvance(text) > room)
                return false;
        }
        return true;
    };
    while (!fits() && font.pointSizeF() - 0.25 >= kReadable)
        font.setPointSizeF(font.pointSizeF() - 0.25);
    if (font.stretch() == QFont::AnyStretch)
        font.setStretch(QFont::Unstretched);
    while (!fits() && font.stretch() - 5 >= kNarrowest)
        font.setStretch(font.stretch() - 5);
    control->setFont(font);
}

QStringList itemsOf(const QComboBox* list)
{
    QStringList items;
    for (int i = 0; i < list->count(); ++i)
        items.append(list->itemText(i));
    return items;
}

} // namespace plovern
