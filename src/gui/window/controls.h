#pragma once

// Private to the window (src/gui/window/): nothing outside that folder includes it.
// How the window's controls are made, placed and fitted.

#include <QLabel>
#include <QPushButton>
#include <QStringList>
#include <QWidget>

#include "gui/platform/elide.h"

class QComboBox;

namespace plovern {

// The window's controls are placed as the layout was drawn, in twips.
template <typename Widget, typename... Arguments>
Widget* place(QWidget* parent, const char* name, int left, int top, int width, int height,
              const Arguments&... arguments)
{
    auto* widget = new Widget(arguments..., parent);
    widget->setObjectName(QString::fromLatin1(name));
    widget->setGeometry(left / kTwipsPerPixel, top / kTwipsPerPixel, width / kTwipsPerPixel, height / kTwipsPerPixel);
    return widget;
}
QLabel* label(QWidget* parent, const char* name, const char* text, int left, int top, int width, int height);
QPushButton* button(QWidget* parent, const char* name, const char* text, int left, int top, int width, int height);
// The labels drawn in the window-text colour on the window background.
void paintOnWindow(QLabel* label);

// Shrinks the control's font, never the control, until the widest of `texts`
// fits: the system's sans-serif is wider than the one the layout was drawn
// for. Below a readable size the letters grow narrower instead.
void fitFont(QWidget* control, const QStringList& texts);

QStringList itemsOf(const QComboBox* list);

// What a screen reader says for `control`: its purpose, and the caption that
// labels it, when one does. On Linux a list's name is its value, so a list
// without a caption says its purpose as its description too.
void nameControl(QWidget* control, const char* purpose, QLabel* caption = nullptr);

} // namespace plovern
