#include <QFont>
#include <QFontMetrics>
#include <QTest>

#include "gui/platform/elide.h"
#include "support/gui/testmain.h"

using namespace plovern;

class TestElide : public QObject
{
    Q_OBJECT
private slots:
    void aPathLosesItsMiddleAndKeepsItsLastName()
    {
        const QFontMetrics metrics{QFont()};
        const QString path = QStringLiteral("/home/anna/Pictures/Holidays");
        QCOMPARE(elidePath(path, metrics, metrics.horizontalAdvance(path)), path);
        const int width = metrics.horizontalAdvance(QStringLiteral("/home/an\u2026/Holidays"));
        const QString shown = elidePath(path, metrics, width);
        QVERIFY2(shown.startsWith("/home") && shown.endsWith("\u2026/Holidays"), qPrintable(shown));
        QVERIFY(metrics.horizontalAdvance(shown) <= width);
        // A last name too long for the width loses letters at its start.
        const QString narrow = elidePath(path, metrics, metrics.horizontalAdvance(QStringLiteral("\u2026idays")));
        QVERIFY2(narrow.endsWith("idays") && !narrow.contains('/'), qPrintable(narrow));
    }

    void aFontShrinksToReadableThenNarrows()
    {
        QFont font;
        font.setPointSizeF(10);
        const QString text = QStringLiteral("Destination Folder Path");
        QCOMPARE(fittedFont(font, {text}, 10000).pointSizeF(), 10.0);
        const int room = QFontMetrics(font).horizontalAdvance(text) * 4 / 5;
        const QFont fitted = fittedFont(font, {text, QStringLiteral("short")}, room);
        QVERIFY(fitted.pointSizeF() < 10.0 && fitted.pointSizeF() >= 7.0);
        QVERIFY(QFontMetrics(fitted).horizontalAdvance(text) <= room);
        // Never below a readable size: too little room narrows the letters.
        const QFont squeezed = fittedFont(font, {text}, room / 4);
        QCOMPARE(squeezed.pointSizeF(), 7.0);
        QVERIFY(squeezed.stretch() < QFont::Unstretched);
    }
};

PLOVERN_WINDOW_TEST_MAIN(TestElide)
#include "tst_elide.moc"
