#pragma once

#include <QString>

class QWidget;

namespace plovern {

// Every box the program shows goes through here, titled with the program's
// name, so the window never opens a dialog of its own.
class MessageBoxes
{
public:
    enum class Icon { None, Information, Warning };

    virtual ~MessageBoxes() = default;
    // A modal box with a single OK button.
    virtual void inform(const QString& text, Icon icon) = 0;
    // A modal box with Yes and No, Yes the default, no icon. False only for No.
    virtual bool askYesNo(const QString& text) = 0;
    // For a question whose Yes ends something under way: No is the default,
    // and the answer of Escape and of closing the box. True only for Yes.
    virtual bool askBeforeEnding(const QString& text) = 0;
};

class QtMessageBoxes final : public MessageBoxes
{
public:
    explicit QtMessageBoxes(QWidget* parent = nullptr)
        : m_parent(parent)
    {
    }
    void setParent(QWidget* parent) { m_parent = parent; }

    void inform(const QString& text, Icon icon) override;
    bool askYesNo(const QString& text) override;
    bool askBeforeEnding(const QString& text) override;

private:
    QWidget* m_parent;
};

} // namespace plovern
