#include "gui/platform/messageboxes.h"

#include <QMessageBox>

#include "core/platform/process.h"

namespace plovern {

void QtMessageBoxes::inform(const QString& text, Icon icon)
{
    QMessageBox box(m_parent);
    box.setWindowTitle(programTitle());
    box.setText(text);
    switch (icon) {
    case Icon::None:
        box.setIcon(QMessageBox::NoIcon);
        break;
    case Icon::Information:
        box.setIcon(QMessageBox::Information);
        break;
    case Icon::Warning:
        box.setIcon(QMessageBox::Warning);
        break;
    }
    box.setStandardButtons(QMessageBox::Ok);
    box.exec();
}

bool QtMessageBoxes::askYesNo(const QString& text)
{
    QMessageBox box(m_parent);
    box.setWindowTitle(programTitle());
    box.setText(text);
    box.setIcon(QMessageBox::NoIcon);
    box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
    box.setDefaultButton(QMessageBox::Yes);
    // Escape and the title bar's cross keep what the box asks about: without
    // this Qt would take them for No. Only a chosen No counts.
    box.setEscapeButton(QMessageBox::Yes);
    box.exec();
    return box.clickedButton() != box.button(QMessageBox::No);
}

bool QtMessageBoxes::askBeforeEnding(const QString& text)
{
    QMessageBox box(m_parent);
    box.setWindowTitle(programTitle());
    box.setText(text);
    box.setIcon(QMessageBox::Warning);
    box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
    box.setDefaultButton(QMessageBox::No);
    box.setEscapeButton(QMessageBox::No);
    box.exec();
    return box.clickedButton() == box.button(QMessageBox::Yes);
}

} // namespace plovern
