#include <random>

#include <QTest>

#include "core/platform/paths.h"
#include "support/core/testmain.h"

using namespace plovern;

class TestPaths : public QObject
{
    Q_OBJECT
private slots:
    void pathsCarryEveryByte()
    {
        // Names are bytes: UTF-8 or not, overlong, encoded surrogates, cut short.
        const QByteArray odd[] = {"\xff",         "\xc0\xaf",    "\xed\xb2\x80",    "\xe2\x82", "\xf4\x90\x80\x80",
                                  "\xef\xbf\xbd", "caf\xc3\xa9", "\xf0\x9f\x92\xbe"};
        for (const QByteArray& bytes : odd)
            QCOMPARE(pathBytes(pathText("/d/" + bytes + "x")), "/d/" + bytes + "x");
        QCOMPARE(pathText("caf\xc3\xa9"), QStringLiteral("caf\u00e9"));
        QVERIFY(pathText("\xff") != pathText("\xef\xbf\xbd")); // never the same folder as U+FFFD
        std::mt19937 random(7);
        for (int i = 0; i < 20000; ++i) {
            QByteArray bytes(1 + int(random() % 12), Qt::Uninitialized);
            for (char& c : bytes)
                c = char(1 + random() % 255);
            QCOMPARE(pathBytes(pathText(bytes)), bytes);
        }
    }

    void theLastNameIsWhatFollowsTheLastSeparator()
    {
        QCOMPARE(lastName(QStringLiteral("/data/Reports")), QStringLiteral("Reports"));
        QCOMPARE(lastName(QStringLiteral("/")), QString());
        QCOMPARE(lastName(QStringLiteral("Reports")), QStringLiteral("Reports"));
    }
};

PLOVERN_TEST_MAIN(TestPaths)
#include "tst_paths.moc"
