// Copy speed of the engine against cp -a on the same trees, and the time of
// one scheduler tick over 10,000 entries. Runs alternate (engine, cp, engine,
// cp...) so drift hits both alike; every run writes a fresh target, and the
// targets are deleted only after all timed runs, since creating files right
// after deleting many is slow on this file system.

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <functional>
#include <random>
#include <vector>

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTimer>

#include "core/engine/clocktext.h"
#include "core/engine/treecopy.h"
#include "core/platform/clock.h"
#include "core/platform/notifier.h"
#include "gui/grid/flexgrid.h"
#include "gui/grid/scheduletable.h"
#include "gui/platform/messageboxes.h"
#include "gui/platform/shell.h"
#include "gui/window/frmmain.h"

using namespace plovern;

namespace {

constexpr int kRuns = 5;

double seconds(const std::function<void()>& work)
{
    const auto start = std::chrono::steady_clock::now();
    work();
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

void writeFile(const QString& path, qint64 size, std::mt19937& random)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        qFatal("cannot write %s", qPrintable(path));
    QByteArray chunk(1 << 20, '\0');
    for (qint64 left = size; left > 0;) {
        const qint64 n = std::min<qint64>(left, chunk.size());
        for (qint64 i = 0; i < n; i += 64)
            chunk[i] = static_cast<char>(random());
        file.write(chunk.constData(), n);
        left -= n;
    }
}

qint64 makeSmallTree(const QString& root, std::mt19937& random)
{
    qint64 bytes = 0;
    int files = 0;
    for (int top = 0; top < 20; ++top) {
        for (int sub = 0; sub < 15; ++sub) {
            const QString folder = QStringLiteral("%1/d%2/s%3").arg(root).arg(top).arg(sub);
            QDir().mkpath(folder);
            for (int f = 0; f < 67 && files < 20000; ++f, ++files) {
                const qint64 size = 1024 + static_cast<qint64>(random() % (15 * 1024));
                writeFile(QStringLiteral("%1/f%2.dat").arg(folder).arg(f), size, random);
                bytes += size;
            }
        }
    }
    return bytes;
}

qint64 makeLargeTree(const QString& root, std::mt19937& random)
{
    QDir().mkpath(root);
    for (int i = 0; i < 4; ++i)
        writeFile(QStringLiteral("%1/big%2.bin").arg(root).arg(i), qint64(256) << 20, random);
    return qint64(1024) << 20;
}

struct Ratio
{
    double engine;
    double cp;
};

Ratio compare(const QString& name, const QString& source, const QString& targets)
{
    auto engineCopy = [&](const QString& target) {
        const CopyReport report = copyTree(source, target);
        if (!report.complete())
            qFatal("engine copy failed: %s", qPrintable(report.failureText()));
    };
    auto cpCopy = [&](const QString& target) {
        if (QProcess::execute(QStringLiteral("cp"), {"-a", "--reflink=auto", source, target}) != 0)
            qFatal("cp -a failed");
    };
    // Warm the cache with one untimed run of each.
    engineCopy(targets + "/warm-engine");
    cpCopy(targets + "/warm-cp");
    std::vector<double> engine, cp;
    for (int run = 0; run < kRuns; ++run) {
        engine.push_back(seconds([&] { engineCopy(QStringLiteral("%1/engine%2").arg(targets).arg(run)); }));
        cp.push_back(seconds([&] { cpCopy(QStringLiteral("%1/cp%2").arg(targets).arg(run)); }));
    }
    const Ratio r{median(engine), median(cp)};
    std::printf("%-6s engine %.3f s, cp -a %.3f s (medians of %d), ratio %.2f\n", qPrintable(name), r.engine, r.cp,
                kRuns, r.engine / r.cp);
    std::fflush(stdout);
    return r;
}

// The second copy of a day: both onto the identical copies they made above.
Ratio compareMerge(const QString& source, const QString& targets)
{
    std::vector<double> engine, cp;
    for (int run = 0; run < kRuns; ++run) {
        engine.push_back(seconds([&] {
            const CopyReport report = copyTree(source, QStringLiteral("%1/engine%2").arg(targets).arg(run));
            if (!report.complete())
                qFatal("engine merge failed: %s", qPrintable(report.failureText()));
        }));
        cp.push_back(seconds([&] {
            const QString target = QStringLiteral("%1/cp%2").arg(targets).arg(run);
            if (QProcess::execute(QStringLiteral("cp"), {"-a", "--reflink=auto", source + "/.", target}) != 0)
                qFatal("cp -a failed");
        }));
    }
    const Ratio r{median(engine), median(cp)};
    std::printf("merge  engine %.3f s, cp -a %.3f s (medians of %d), ratio %.2f\n", r.engine, r.cp, kRuns,
                r.engine / r.cp);
    std::fflush(stdout);
    return r;
}

class StepClock final : public Clock
{
public:
    QDateTime now() const override { return m_now; }
    void step() { m_now = m_now.addSecs(1); }

private:
    QDateTime m_now{QDate(2026, 12, 7), QTime(1, 0, 0)};
};

double tickMilliseconds()
{
    StepClock clock;
    QtMessageBoxes boxes;
    DesktopShell shell;
    DesktopNotifier notifier;
    frmMain window(Platform{clock, boxes, shell, notifier, QString(), QDir::tempPath(), {QStringLiteral("/")}});
    FlexGrid* grid = window.findChild<FlexGrid*>(QStringLiteral("MSFlexGrid1"));
    for (int i = 0; i < 10000; ++i) {
        const int hour = 2 + i % 10;
        insertTop(*grid,
                  {QStringLiteral("/src/%1").arg(i), QStringLiteral("/dst/"),
                   QStringLiteral("%1:%2:00 PM").arg(hour).arg(i % 60, 2, 10, QLatin1Char('0')),
                   i % 2 ? QStringLiteral("Every") : QString::number(1 + i % 7)});
    }
    std::vector<double> ticks;
    for (int i = 0; i < 300; ++i) {
        clock.step();
        ticks.push_back(seconds([&] { window.Timer1_Timer(); }) * 1000);
    }
    return median(ticks);
}

// The longest the window's event loop waits, beyond a 5 ms timer's own
// interval, while the window has a fresh copy of `source` made.
double longestDelayDuringCopy(const QString& source, const QString& destination)
{
    StepClock clock;
    QtMessageBoxes boxes;
    DesktopShell shell;
    DesktopNotifier notifier;
    QTemporaryDir program;
    frmMain window(Platform{clock, boxes, shell, notifier, QString(), program.path(), {QStringLiteral("/")}});
    window.Form_Load();
    window.findChild<QTimer*>(QStringLiteral("Timer1"))->stop();
    FlexGrid* grid = window.findChild<FlexGrid*>(QStringLiteral("MSFlexGrid1"));
    insertTop(*grid, {source, destination, clockText(clock.now().addSecs(1).time()), QStringLiteral("Every")});
    window.Timer1_Timer();
    clock.step();
    window.Timer1_Timer();
    QElapsedTimer elapsed;
    elapsed.start();
    qint64 last = 0;
    qint64 worst = 0;
    QEventLoop loop;
    QTimer probe;
    probe.setTimerType(Qt::PreciseTimer);
    probe.setInterval(5);
    QObject::connect(&probe, &QTimer::timeout, [&] {
        const qint64 now = elapsed.nsecsElapsed();
        worst = std::max(worst, now - last - 5'000'000);
        last = now;
        if (!window.isCopying())
            loop.quit();
    });
    probe.start();
    loop.exec();
    return worst / 1e6;
}

} // namespace

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QTemporaryDir work(QDir::tempPath() + QStringLiteral("/plovern-bench-XXXXXX"));
    std::mt19937 random(7);

    std::printf("generating trees under %s\n", qPrintable(work.path()));
    std::fflush(stdout);
    const qint64 smallBytes = makeSmallTree(work.filePath("small"), random);
    const qint64 largeBytes = makeLargeTree(work.filePath("large"), random);
    std::printf("small: 20000 files, %lld MiB; large: 4 files, %lld MiB\n", smallBytes >> 20, largeBytes >> 20);

    QDir().mkpath(work.filePath("out-small"));
    QDir().mkpath(work.filePath("out-large"));
    const Ratio small = compare(QStringLiteral("small"), work.filePath("small"), work.filePath("out-small"));
    const Ratio large = compare(QStringLiteral("large"), work.filePath("large"), work.filePath("out-large"));
    const Ratio merge = compareMerge(work.filePath("small"), work.filePath("out-small"));

    std::printf("one tick over 10000 entries: %.3f ms (median of 300)\n", tickMilliseconds());
    std::printf("window event loop during a 20000-file copy: longest delay %.1f ms\n",
                longestDelayDuringCopy(work.filePath("small"), work.filePath("out-small/window-")));
    std::printf("copy time vs cp -a: small %.2f, large %.2f, merge %.2f\n", small.engine / small.cp,
                large.engine / large.cp, merge.engine / merge.cp);
    return 0;
}
