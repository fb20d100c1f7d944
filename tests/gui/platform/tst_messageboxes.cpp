#include <functional>

#include <QApplication>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include "gui/platform/messageboxes.h"
#include "support/gui/testmain.h"

using namespace plovern;

namespace {

// Acts on the box as soon as it is shown.
void whenShown(const std::function<void(QMessageBox*)>& act)
{
    QTimer::singleShot(10, [act] {
        if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget()))
            act(box);
        else
            whenShown(act);
    });
}

} // namespace

class TestMessageBoxes : public QObject
{
    Q_OBJECT
private slots:
    void onlyAChosenYesEndsWhatIsUnderWay()
    {
        QtMessageBoxes boxes;
        const auto asked = [&](const std::function<void(QMessageBox*)>& act) {
            whenShown(act);
            return boxes.askBeforeEnding(QStringLiteral("End it and start this one?"));
        };
        QVERIFY(!asked([](QMessageBox* box) { QTest::keyClick(box, Qt::Key_Escape); }));
        QVERIFY(!asked([](QMessageBox* box) { QTest::keyClick(box, Qt::Key_Return); }));
        QVERIFY(!asked([](QMessageBox* box) { box->close(); }));
        QVERIFY(asked([](QMessageBox* box) { box->button(QMessageBox::Yes)->click(); }));
        // The window's own questions keep Yes as what Enter and Escape answer.
        whenShown([](QMessageBox* box) { QTest::keyClick(box, Qt::Key_Escape); });
        QVERIFY(boxes.askYesNo(QStringLiteral("Review the entry?")));
    }
};

PLOVERN_WINDOW_TEST_MAIN(TestMessageBoxes)
#include "tst_messageboxes.moc"
