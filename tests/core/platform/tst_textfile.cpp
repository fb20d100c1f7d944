#include <QTest>

#include "core/platform/textfile.h"
#include "support/core/testmain.h"

using namespace plovern;

class TestTextFile : public QObject
{
    Q_OBJECT
private slots:
    void linesEndAtCrLfCrOrLf()
    {
        QCOMPARE(splitLines("a\r\nb\rc\nd"), (QList<QByteArray>{"a", "b", "c", "d"}));
        QCOMPARE(splitLines("a\r\n\r\n"), (QList<QByteArray>{"a", ""}));
        QCOMPARE(splitLines("\n\r"), (QList<QByteArray>{"", ""}));
        QVERIFY(splitLines(QByteArray()).isEmpty());
    }
};

PLOVERN_TEST_MAIN(TestTextFile)
#include "tst_textfile.moc"
