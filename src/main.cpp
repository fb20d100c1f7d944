#include <cstdlib>

#include <QApplication>

#include "app/frmmain.h"
#include "app/signalbridge.h"
#include "platform/clock.h"
#include "platform/messageboxes.h"
#include "platform/platform.h"
#include "platform/shell.h"

int main(int argc, char* argv[])
{
    // A scheduler started hidden must run where there is no screen at all.
    if (qEnvironmentVariableIsEmpty("DISPLAY") && qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY")
        && qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    plovern::ignoreFileSizeSignal();

    QApplication app(argc, argv);
    app.setApplicationName(QStringLiteral("plovern"));
    app.setQuitOnLastWindowClosed(false);

    plovern::SystemClock clock;
    plovern::QtMessageBoxes boxes;
    plovern::DesktopShell shell;
    const plovern::Platform platform{clock, boxes, shell, plovern::argumentText(app.arguments()),
                                     plovern::programFolder()};

    plovern::frmMain window(platform);
    boxes.setParent(&window);
    plovern::SignalBridge signals_;
    QObject::connect(&signals_, &plovern::SignalBridge::terminationRequested, &window, &QWidget::close);
    QObject::connect(&app, &QGuiApplication::aboutToQuit, &window, &plovern::frmMain::Form_Unload);
    QObject::connect(&window, &plovern::frmMain::unloaded, &app, &QCoreApplication::quit, Qt::QueuedConnection);

    window.Form_Load();
    if (!window.isHiddenForGood())
        window.show();
    return app.exec();
}
