#include <QTest>

#include "core/schedule/entryeditor.h"
#include "support/core/messages.h"
#include "support/core/testmain.h"

using namespace plovern;

namespace {

EditorFields filled()
{
    return {"/data/Reports", "/backup/", "10", "00", "00", "AM", "Monday"};
}

} // namespace

class TestEntryEditor : public QObject
{
    Q_OBJECT
private slots:
    void dayCodes_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("code");
        QTest::newRow("Every") << "Every"
                               << "Every";
        QTest::newRow("Sunday") << "Sunday"
                                << "1";
        QTest::newRow("Monday") << "Monday"
                                << "2";
        QTest::newRow("Saturday") << "Saturday"
                                  << "7";
        QTest::newRow("lower case") << "sunday"
                                    << "";
        QTest::newRow("empty") << ""
                               << "";
    }
    void dayCodes()
    {
        QFETCH(QString, name);
        QFETCH(QString, code);
        QCOMPARE(dayCode(name), code);
        if (!code.isEmpty()) // and back, as --status shows a day
            QCOMPARE(dayName(code), name);
    }

    void refusesEmptyFieldsInControlOrder()
    {
        const QStringList& messages = test::kMissingFieldMessages;
        QString EditorFields::*const fields[]
            = {&EditorFields::source, &EditorFields::destination, &EditorFields::hour, &EditorFields::minute,
               &EditorFields::second, &EditorFields::half,        &EditorFields::day};
        for (int empty = 0; empty < 7; ++empty) {
            EditorFields f = filled();
            f.*fields[empty] = QString();
            QCOMPARE(refusal(f), messages[empty]);
        }
        // All empty: only the first is named.
        QCOMPARE(refusal(EditorFields{}), messages[0]);
        QCOMPARE(refusal(filled()), QString());
    }

    void blankPathsPassButSeparatorsAreRefused()
    {
        EditorFields f = filled();
        f.source = QStringLiteral(" ");
        QCOMPARE(refusal(f), QString());
        f.source = QStringLiteral("/data/a,b");
        QCOMPARE(refusal(f), QStringLiteral("The Source may not contain a comma or a line break !"));
        f = filled();
        f.destination = QStringLiteral("/backup/\nx");
        QCOMPARE(refusal(f), QStringLiteral("The Destination may not contain a comma or a line break !"));
        // An empty field is still named first.
        f.hour.clear();
        QCOMPARE(refusal(f), QStringLiteral("Please Enter in a Hour !"));
    }

    void timeTextJoinsTheListsAsTheyAre()
    {
        EditorFields f = filled();
        QCOMPARE(composeTimeText(f), QStringLiteral("10:00:00 AM"));
        f.hour = "9";
        f.minute = "05";
        f.second = "30";
        f.half = "PM";
        QCOMPARE(composeTimeText(f), QStringLiteral("9:05:30 PM"));
    }

    void reviewTextIsSevenLines()
    {
        const QString text = reviewText({"S", "D", "10:00:00 AM", "2"});
        QCOMPARE(text,
                 QStringLiteral("Scheduled To Copy \r\nFrom: S\r\nTo: D\r\nAt: 10:00:00 AM\r\nON Day= 2\r\n"
                                "Click Yes To Keep Scheduled Copy \r\nOr Click No To Delete Scheduled Copy"));
    }
};

PLOVERN_TEST_MAIN(TestEntryEditor)
#include "tst_entryeditor.moc"
