#include <QTest>

#include "core/schedule/catchup.h"
#include "core/schedule/clocktext.h"
#include "core/schedule/outlook.h"
#include "core/schedule/scheduler.h"
#include "support/core/testmain.h"

using namespace plovern;

namespace {

QDateTime at(int y, int mo, int d, int h, int mi, int s)
{
    return QDateTime(QDate(y, mo, d), QTime(h, mi, s));
}

// The seconds the cursor hands out, as clock texts.
QStringList evaluated(SecondCursor& cursor, const QDateTime& now)
{
    const SecondRange range = cursor.advance(now);
    QStringList texts;
    for (qint64 s = range.first; s <= range.last; ++s)
        texts.append(clockText(QTime(0, 0).addSecs(static_cast<int>(s % 86400))));
    return texts;
}

} // namespace

class TestScheduler : public QObject
{
    Q_OBJECT
private slots:
    void clockTextIsTwelveHourWhateverTheLocale()
    {
        QCOMPARE(clockText(QTime(0, 0, 0)), QStringLiteral("12:00:00 AM"));
        QCOMPARE(clockText(QTime(9, 5, 7)), QStringLiteral("9:05:07 AM"));
        QCOMPARE(clockText(QTime(12, 0, 0)), QStringLiteral("12:00:00 PM"));
        QCOMPARE(clockText(QTime(23, 59, 59)), QStringLiteral("11:59:59 PM"));
    }

    void onlyTextsTheClockShowsHaveASecond()
    {
        for (int s = 0; s < 86400; s += 37)
            QCOMPARE(secondOfDay(clockText(QTime(0, 0).addSecs(s))), std::optional<int>(s));
        for (const char* never : {"09:00:00 AM", "9:0:00 AM", "9:00:0 AM", "9:00:00 am", "9:00:00AM", "13:00:00 PM",
                                  "0:00:00 AM", "9:60:00 AM", "9:00:00 AM ", " 9:00:00 AM", "21:00:00", ""})
            QVERIFY2(!secondOfDay(QString::fromLatin1(never)), never);
    }

    void weekdaysAndDateStamps()
    {
        QCOMPARE(weekdayNumber(QDate(2026, 12, 6)), 1); // Sunday
        QCOMPARE(weekdayNumber(QDate(2026, 12, 12)), 7); // Saturday
        QCOMPARE(dateStamp(QDate(2026, 12, 7)), QStringLiteral("1272026"));
        QCOMPARE(dateStamp(QDate(2026, 1, 5)), QStringLiteral("152026"));
    }

    void cursorEvaluatesEverySecondOnce()
    {
        SecondCursor cursor;
        QCOMPARE(evaluated(cursor, at(2026, 12, 7, 10, 0, 0)), QStringList{"10:00:00 AM"});
        QCOMPARE(evaluated(cursor, at(2026, 12, 7, 10, 0, 0)), QStringList{});
        // A tick three seconds late evaluates the skipped ones too.
        QCOMPARE(evaluated(cursor, at(2026, 12, 7, 10, 0, 3)),
                 (QStringList{"10:00:01 AM", "10:00:02 AM", "10:00:03 AM"}));
        // Across midnight.
        QCOMPARE(evaluated(cursor, at(2026, 12, 7, 23, 59, 58)).size(), 50395);
        QCOMPARE(evaluated(cursor, at(2026, 12, 8, 0, 0, 1)),
                 (QStringList{"11:59:59 PM", "12:00:00 AM", "12:00:01 AM"}));
    }

    void cursorCatchesUpAtMostADay()
    {
        SecondCursor cursor;
        cursor.advance(at(2026, 12, 1, 8, 0, 0));
        const SecondRange range = cursor.advance(at(2026, 12, 7, 8, 0, 0));
        QCOMPARE(range.last - range.first + 1, SecondCursor::kMaxCatchUp);
        QCOMPARE(range.last, wallSecond(at(2026, 12, 7, 8, 0, 0)));
    }

    void clocksGoingBackRepeatNothing()
    {
        SecondCursor cursor;
        cursor.advance(at(2026, 10, 25, 1, 30, 0));
        cursor.advance(at(2026, 10, 25, 2, 59, 59));
        // Summer time ends: 2:59:59 is followed by 2:00:00 again.
        QCOMPARE(evaluated(cursor, at(2026, 10, 25, 2, 0, 0)), QStringList{});
        QCOMPARE(evaluated(cursor, at(2026, 10, 25, 2, 59, 59)), QStringList{});
        QCOMPARE(evaluated(cursor, at(2026, 10, 25, 3, 0, 0)), QStringList{"3:00:00 AM"});
        // Set back by more than two hours: afresh from the present second.
        QCOMPARE(evaluated(cursor, at(2026, 10, 25, 0, 30, 0)), QStringList{"12:30:00 AM"});
        QCOMPARE(evaluated(cursor, at(2026, 10, 25, 0, 30, 1)), QStringList{"12:30:01 AM"});
    }

    void anHourRepeatedAfterTheStartEvaluatesWhatTheFirstPassMissed()
    {
        // Started at 2:10 in the first pass of the repeated hour, after 2:00:05 had gone by.
        SecondCursor cursor;
        cursor.advance(at(2026, 10, 25, 2, 10, 0));
        cursor.advance(at(2026, 10, 25, 2, 59, 59));
        QStringList second;
        for (QTime t(2, 0, 0); t < QTime(3, 0, 1); t = t.addSecs(1))
            second += evaluated(cursor, at(2026, 10, 25, t.hour(), t.minute(), t.second()));
        QCOMPARE(second.size(), 10 * 60 + 1);
        QCOMPARE(second.count("2:00:05 AM"), 1);
        QCOMPARE(second.first(), QStringLiteral("2:00:00 AM"));
        QCOMPARE(second.at(599), QStringLiteral("2:09:59 AM"));
        QCOMPARE(second.last(), QStringLiteral("3:00:00 AM"));
        // A late tick in the second pass still evaluates each second once.
        SecondCursor late;
        late.advance(at(2026, 10, 25, 2, 10, 0));
        late.advance(at(2026, 10, 25, 2, 59, 59));
        QCOMPARE(evaluated(late, at(2026, 10, 25, 2, 0, 1)), QStringList{"2:00:01 AM"});
        QCOMPARE(evaluated(late, at(2026, 10, 25, 2, 0, 6)),
                 (QStringList{"2:00:02 AM", "2:00:03 AM", "2:00:04 AM", "2:00:05 AM", "2:00:06 AM"}));
    }

    void clocksGoingForwardEvaluateTheSkippedHourAtTheJump()
    {
        SecondCursor cursor;
        cursor.advance(at(2026, 3, 29, 1, 59, 59));
        const QStringList jump = evaluated(cursor, at(2026, 3, 29, 3, 0, 0));
        QCOMPARE(jump.size(), 3601);
        QCOMPARE(jump.first(), QStringLiteral("2:00:00 AM"));
        QCOMPARE(jump.last(), QStringLiteral("3:00:00 AM"));
    }

    void resetStartsAfresh()
    {
        SecondCursor cursor;
        cursor.advance(at(2026, 12, 7, 10, 0, 0));
        cursor.reset();
        QCOMPARE(evaluated(cursor, at(2026, 12, 7, 10, 5, 0)), QStringList{"10:05:00 AM"});
    }

    void theCatchUpMarkResumesADayBackAndNeverPassesAnUnfinishedCopy()
    {
        const qint64 now = 1000000;
        QCOMPARE(resumeFrom(now - 60, now), std::optional<qint64>(now - 60));
        QCOMPARE(resumeFrom(now - SecondCursor::kMaxCatchUp + 1, now), std::optional<qint64>(now - 86399));
        QCOMPARE(resumeFrom(now - SecondCursor::kMaxCatchUp, now), std::nullopt); // too long ago
        QCOMPARE(resumeFrom(now, now), std::nullopt);
        QCOMPARE(resumeFrom(now + 60, now), std::nullopt); // a clock set back since

        // The copy due at `now - 30` is still running: the mark stays before it.
        QCOMPARE(markToKeep(now, now - 30), std::optional<qint64>(now - 31));
        QCOMPARE(markToKeep(now - 40, now - 30), std::optional<qint64>(now - 40));
        QCOMPARE(markToKeep(now, std::nullopt), std::optional<qint64>(now));
        QCOMPARE(markToKeep(std::nullopt, now - 30), std::nullopt);
    }

    void dueRunsMatchTimeAndDay()
    {
        const std::vector<ScheduleEntry> entries{
            {"a", "d", "10:00:00 AM", "Every"}, // 0
            {"b", "d", "10:00:00 AM", "2"}, // 1: Monday
            {"c", "d", "10:00:00 AM", "3"}, // 2: Tuesday
            {"e", "d", "10:00:00 AM", ""}, // 3: empty day code
            {"f", "d", "10:00:00 AM", "8"}, // 4
            {"g", "d", "10:0:00 AM", "Every"}, // 5: one-digit minutes
            {"h", "d", "10:00:00 am", "Every"}, // 6
            {"i", "d", "9:59:59 AM", "Every"}, // 7: due a second earlier
            {"j", "d", "10:00:00 AM", "every"}, // 8
        };
        const qint64 monday10 = wallSecond(at(2026, 12, 7, 10, 0, 0));
        const std::vector<DueRun> runs = dueRuns(entries, {monday10 - 1, monday10});
        QCOMPARE(runs.size(), size_t(3));
        QCOMPARE(runs[0].row, 7);
        QCOMPARE(runs[0].second, monday10 - 1);
        QCOMPARE(runs[1].row, 0);
        QCOMPARE(runs[2].row, 1);
        QCOMPARE(runs[2].second, monday10);

        const qint64 tuesday10 = wallSecond(at(2026, 12, 8, 10, 0, 0));
        const std::vector<DueRun> tuesday = dueRuns(entries, {tuesday10, tuesday10});
        QCOMPARE(tuesday.size(), size_t(2));
        QCOMPARE(tuesday[0].row, 0);
        QCOMPARE(tuesday[1].row, 2);
    }

    void dueRunsAcrossMidnightUseEachSecondsOwnWeekday()
    {
        const std::vector<ScheduleEntry> entries{
            {"sunday night", "d", "11:59:59 PM", "1"},
            {"monday morning", "d", "12:00:00 AM", "2"},
            {"sunday morning", "d", "12:00:00 AM", "1"},
        };
        // Sunday 11:59:58 PM to Monday 12:00:01 AM.
        const qint64 first = wallSecond(at(2026, 12, 6, 23, 59, 58));
        const std::vector<DueRun> runs = dueRuns(entries, {first, first + 3});
        QCOMPARE(runs.size(), size_t(2));
        QCOMPARE(runs[0].row, 0);
        QCOMPARE(wallDate(runs[0].second), QDate(2026, 12, 6));
        QCOMPARE(runs[1].row, 1);
        QCOMPARE(wallDate(runs[1].second), QDate(2026, 12, 7));
    }

    void theNextDueSecondIsTheFirstTheTickWouldRun()
    {
        // From each hour of a week, for each day code and a few times: the
        // next due second is the first second the tick runs the entry.
        for (const char* day : {"Every", "1", "4", "7", "", "8"}) {
            for (const char* time : {"12:00:00 AM", "11:59:59 PM", "9:30:00 AM", "09:30:00 AM"}) {
                const ScheduleEntry entry{"s", "d", time, day};
                for (qint64 from = wallSecond(at(2026, 12, 6, 0, 0, 0)); from < wallSecond(at(2026, 12, 13, 0, 0, 0));
                     from += 3599) {
                    std::optional<qint64> first;
                    for (qint64 day = 0; day < 8 && !first; ++day) {
                        const std::vector<DueRun> runs
                            = dueRuns(std::span(&entry, 1), {from + 1 + day * 86400, from + (day + 1) * 86400});
                        if (!runs.empty())
                            first = runs.front().second;
                    }
                    QCOMPARE(nextDueSecond(entry, from), first);
                }
            }
        }
    }

    void anEntryIsOverdueAPeriodAndADayAfterItsLastWholeCopy()
    {
        const qint64 made = wallSecond(at(2026, 12, 7, 10, 0, 0)); // a Monday
        const EntryResult failedSince{"/src/Docs", "/b/", Outcome::failed, made, 0, 0, "gone", made, made};
        const auto overdueAfter = [&](const QString& day, qint64 seconds) {
            return outlookOf({"/src/Docs", "/b/", "10:00:00 AM", day}, failedSince, made + seconds)
                .overdueSince.has_value();
        };
        constexpr qint64 kDay = 24 * 3600;
        // Daily: one copy missed and a day of grace; weekly: a week and a day.
        QVERIFY(!overdueAfter("Every", 2 * kDay));
        QVERIFY(overdueAfter("Every", 2 * kDay + 1));
        QVERIFY(!overdueAfter("2", 8 * kDay));
        QVERIFY(overdueAfter("2", 8 * kDay + 1));
    }
};

PLOVERN_TEST_MAIN(TestScheduler)
#include "tst_scheduler.moc"
