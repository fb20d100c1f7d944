// Eight days unattended: the real window's tick driven second by second by
// a fake clock whose ticks come late, sometimes very late, over 200 entries.
// Every entry must run exactly once on each day it is due, and never else.

#include <cstdio>
#include <map>
#include <random>

#include <QDir>
#include <QFile>
#include <QTest>

#include "core/schedule/clocktext.h"
#include "gui/grid/scheduletable.h"
#include "support/gui/testmain.h"
#include "support/gui/window.h"

using namespace plovern;
using namespace plovern::test;

namespace {

long residentKiB()
{
    QFile statm(QStringLiteral("/proc/self/statm"));
    if (!statm.open(QIODevice::ReadOnly))
        return -1;
    const QList<QByteArray> fields = statm.readAll().split(' ');
    return fields.size() > 1 ? fields[1].toLong() * (sysconf(_SC_PAGESIZE) / 1024) : -1;
}

struct Planned
{
    QString name;
    QTime time;
    QString day; // "Every" or "1".."7"
};

std::vector<Planned> plan(std::mt19937& random)
{
    std::vector<Planned> entries;
    auto add = [&](QTime time, const QString& day) {
        entries.push_back({QStringLiteral("e%1-").arg(entries.size()), time, day});
    };
    for (int s = 0; s < 60; ++s) // a second apart
        add(QTime(10, 0, s), QStringLiteral("Every"));
    for (int d = 1; d <= 7; ++d) {
        for (int i = 0; i < 10; ++i)
            add(QTime(0, 0).addSecs(static_cast<int>(random() % 86400)), QString::number(d));
    }
    for (int i = 0; i < 20; ++i)
        add(QTime(23, 59, 59), i < 6 ? QStringLiteral("Every") : QString::number(1 + i % 7));
    for (int i = 0; i < 20; ++i)
        add(QTime(0, 0, 0), i < 6 ? QStringLiteral("Every") : QString::number(1 + i % 7));
    while (entries.size() < 200)
        add(QTime(0, 0).addSecs(static_cast<int>(random() % 86400)), QStringLiteral("Every"));
    return entries;
}

} // namespace

class TestWeek : public QObject
{
    Q_OBJECT
private slots:
    void everyEntryRunsOnceOnEachDueDay()
    {
        std::mt19937 random(20261207);
        WindowUnderTest w;
        const QString sources = w.env.folder.filePath(QStringLiteral("sources"));
        const QString backup = w.env.folder.filePath(QStringLiteral("backup")) + QLatin1Char('/');
        QDir().mkpath(backup);
        const std::vector<Planned> entries = plan(random);
        w.window.Form_Load();
        w.timer()->stop();
        for (const Planned& entry : entries) {
            QDir().mkpath(sources + QLatin1Char('/') + entry.name);
            insertTop(*w.grid(), {sources + QLatin1Char('/') + entry.name, backup, clockText(entry.time), entry.day});
        }

        const QDateTime start(QDate(2026, 12, 5), QTime(23, 59, 50)); // a Saturday
        const QDateTime end = start.addDays(8).addSecs(20);
        const long rssStart = residentKiB();
        QDateTime intended = start;
        QDateTime arrival = start;
        qint64 ticks = 0;
        int longCopies = 0;
        while (arrival < end) {
            w.env.clock.set(arrival);
            w.window.Timer1_Timer();
            ++ticks;
            intended = intended.addSecs(1);
            QDateTime next = intended.addSecs(static_cast<int>(random() % 4));
            if (random() % 20000 == 0) { // a long copy holds the window up
                next = next.addSecs(30 + static_cast<int>(random() % 300));
                intended = next;
                ++longCopies;
            }
            arrival = std::max(arrival, next);
        }
        const QDateTime last = w.env.clock.now(); // the last second a tick saw
        QTRY_VERIFY_WITH_TIMEOUT(!w.window.isCopying(), 120000);
        const long rssEnd = residentKiB();

        // What should have run: each entry on each date whose weekday it names,
        // within the seconds the ticks covered.
        std::map<QString, int> expected;
        for (QDate date = start.date(); date <= last.date(); date = date.addDays(1)) {
            for (const Planned& entry : entries) {
                const QDateTime due(date, entry.time);
                const bool onDay = entry.day == QLatin1String("Every") || entry.day.toInt() == weekdayNumber(date);
                if (onDay && due >= start && due <= last)
                    ++expected[entry.name + dateStamp(date)];
            }
        }
        std::map<QString, int> made;
        QFile record(w.env.file(QStringLiteral("SavedFilesDB.txt")));
        QVERIFY(record.open(QIODevice::ReadOnly));
        for (const QByteArray& line : record.readAll().split('\n')) {
            if (!line.trimmed().isEmpty())
                ++made[QString::fromLocal8Bit(line.trimmed()).mid(backup.size())];
        }
        int expectedRuns = 0, madeRuns = 0;
        for (const auto& [key, count] : expected)
            expectedRuns += count;
        for (const auto& [key, count] : made)
            madeRuns += count;
        std::printf("week: %zu entries, %lld ticks, %d long copies, %d runs due, %d runs made, RSS %ld KiB at the "
                    "start, %ld KiB at the end\n",
                    entries.size(), ticks, longCopies, expectedRuns, madeRuns, rssStart, rssEnd);
        std::fflush(stdout);
        QCOMPARE(made, expected);
    }
};

PLOVERN_WINDOW_TEST_MAIN(TestWeek)
#include "tst_week.moc"
