#pragma once

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>

#include "gui/grid/flexgrid.h"
#include "gui/pickers/folderpickers.h"
#include "gui/window/frmmain.h"
#include "support/gui/testplatform.h"

namespace plovern::test {

// The real window over fakes and a temporary program folder; controls are
// found by their names, as a user of the window would know them.
struct WindowUnderTest
{
    explicit WindowUnderTest(const QString& arguments = QString())
        : env(arguments)
        , window(env.platform())
    {
    }

    template <typename T>
    T* get(const char* name)
    {
        T* found = window.findChild<T*>(QString::fromLatin1(name));
        if (!found)
            qFatal("no control %s", name);
        return found;
    }

    QLineEdit* edit(const char* name) { return get<QLineEdit>(name); }
    QLabel* label(const char* name) { return get<QLabel>(name); }
    PickList* list(const char* name) { return get<PickList>(name); }
    QPushButton* button(const char* name) { return get<QPushButton>(name); }
    FlexGrid* grid() { return get<FlexGrid>("MSFlexGrid1"); }
    QCheckBox* purge() { return get<QCheckBox>("chkPurge"); }
    QTimer* timer() { return get<QTimer>("Timer1"); }

    void choose(const char* listName, const QString& item)
    {
        PickList* pick = list(listName);
        const int index = pick->findText(item);
        if (index < 0)
            qFatal("%s has no item %s", listName, qPrintable(item));
        pick->setCurrentIndex(index);
    }

    // Fills every editing control for "Set Time".
    void fillEntry(const QString& source, const QString& destination, const QString& hour, const QString& minute,
                   const QString& second, const QString& half, const QString& day)
    {
        edit("Text1")->setText(source);
        edit("Text2")->setText(destination);
        choose("Combo1", hour);
        choose("Combo2", minute);
        choose("Combo3", second);
        choose("Combo4", half);
        choose("Combo5", day);
    }

    TestPlatform env;
    frmMain window;
};

} // namespace plovern::test
