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

namespace {

// A Yes/No box whose `settled` button is both the default and what Escape and
// the title bar's cross answer; the button chosen.
QAbstractButton* askYesOrNo(QMessageBox* box, const QString& text, QMessageBox::Icon icon,
                            QMessageBox::StandardButton settled)
{
    box->setWindowTitle(programTitle());
    box->setText(text);
    box->setIcon(icon);
    box->setStandardButtons(QMessageBox::Yes | QMessageBox::No);
    box->setDefaultButton(settled);
    box->setEscapeButton(settled);
    box->exec();
    return box->clickedButton();
}

} // namespace

bool QtMessageBoxes::askYesNo(const QString& text)
{
    // Escape and the cross keep what the box asks about: only a chosen No counts.
    QMessageBox box(m_parent);
    return askYesOrNo(&box, text, QMessageBox::NoIcon, QMessageBox::Yes) != box.button(QMessageBox::No);
}

bool QtMessageBoxes::askBeforeEnding(const QString& text)
{
    QMessageBox box(m_parent);
    return askYesOrNo(&box, text, QMessageBox::Warning, QMessageBox::No) == box.button(QMessageBox::Yes);
}

} // namespace plovern
