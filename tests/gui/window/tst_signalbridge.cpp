#include <csignal>

#include <QSignalSpy>
#include <QTest>

#include "gui/window/signalbridge.h"
#include "support/gui/testmain.h"

using namespace plovern;

class TestSignalBridge : public QObject
{
    Q_OBJECT
private slots:
    void theSignalsThatEndASessionArriveOnTheEventLoop()
    {
        SignalBridge bridge;
        QVERIFY2(bridge.error().isEmpty(), qPrintable(bridge.error()));
        QSignalSpy asked(&bridge, &SignalBridge::terminationRequested);
        for (const int signal : {SIGTERM, SIGHUP, SIGINT}) {
            const qsizetype before = asked.size();
            QVERIFY(::raise(signal) == 0);
            QTRY_COMPARE(asked.size(), before + 1);
        }
    }
};

PLOVERN_WINDOW_TEST_MAIN(TestSignalBridge)
#include "tst_signalbridge.moc"
