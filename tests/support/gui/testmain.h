#pragma once

#include <QApplication>
#include <QTest>

#include "support/core/testmain.h"

// The window's tests: a QApplication on the offscreen platform, at 96 dpi as
// the layout was drawn.
#define PLOVERN_WINDOW_TEST_MAIN(TestObject)                                                                           \
    int main(int argc, char** argv)                                                                                    \
    {                                                                                                                  \
        plovern::test::prepareProcess();                                                                               \
        QApplication app(argc, argv);                                                                                  \
        app.setAttribute(Qt::AA_Use96Dpi, true);                                                                       \
        TestObject tc;                                                                                                 \
        return QTest::qExec(&tc, argc, argv);                                                                          \
    }
