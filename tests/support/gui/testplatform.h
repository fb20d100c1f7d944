#pragma once

#include <QList>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include "gui/platform/messageboxes.h"
#include "gui/platform/platform.h"
#include "gui/platform/shell.h"
#include "support/core/fakes.h"

namespace plovern::test {

// Records every box and answers Yes/No boxes from a script (Yes when it runs out).
class FakeBoxes final : public MessageBoxes
{
public:
    struct Box
    {
        QString text;
        Icon icon;
        bool yesNo;
    };

    void inform(const QString& text, Icon icon) override { shown.append({text, icon, false}); }
    bool askYesNo(const QString& text) override
    {
        shown.append({text, Icon::None, true});
        return answers.isEmpty() ? true : answers.takeFirst();
    }
    bool askBeforeEnding(const QString& text) override { return askYesNo(text); }

    QList<Box> shown;
    QList<bool> answers;
};

class FakeShell final : public Shell
{
public:
    void open(const QString& target) override { opened.append(target); }
    QStringList opened;
};

// The fakes plus a temporary program folder.
struct TestPlatform
{
    explicit TestPlatform(const QString& arguments = QString());

    Platform platform() const;
    QString file(const QString& name) const;
    QByteArray read(const QString& name) const;
    void write(const QString& name, const QByteArray& bytes) const;

    mutable FakeClock clock;
    mutable FakeBoxes boxes;
    mutable FakeShell shell;
    mutable FakeNotifier notifier;
    QString arguments;
    QTemporaryDir folder;
};

} // namespace plovern::test
