#pragma once

// Private to the window (src/gui/window/): nothing outside that folder includes it.

#include <QStringList>

class QComboBox;
class QWidget;

namespace plovern {

// Shrinks the control's font, never the control, until the widest of `texts`
// fits: the system's sans-serif is wider than the one the layout was drawn
// for. Below a readable size the letters grow narrower instead.
void fitFont(QWidget* control, const QStringList& texts);

QStringList itemsOf(const QComboBox* list);

} // namespace plovern
