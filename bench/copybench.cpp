// Copy speed of the engine against cp -a on the same trees, and the time of
// one scheduler tick over 10,000 entries. Runs alternate (engine, cp, engine,
// cp...) so drift hits both alike; every run writes a fresh target, and the
// small targets are deleted only after all timed runs, since creating files
// right after deleting many is slow on this file system. A copy is timed until its
// data is on the drive (its syncfs included), and everything is written out
// between runs, so no side pays for what the one before left.

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <functional>
#include <map>
#include <random>

#include <unistd.h>
#include <vector>

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QScopeGuard>
#include <QStorageInfo>
#include <QTemporaryDir>
#include <QTimer>

#include "core/engine/room.h"
#include "core/engine/treecopy.h"
#include "core/platform/clock.h"
#include "core/platform/notifier.h"
#include "core/platform/textfile.h"
#include "core/schedule/clocktext.h"
#include "core/storage/resultsfile.h"
#include "gui/grid/flexgrid.h"
#include "gui/grid/scheduletable.h"
#include "gui/platform/messageboxes.h"
#include "gui/platform/shell.h"
#include "gui/window/frmmain.h"
#include "support/core/sandbox.h"

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

// The fastest and the slowest round, to print beside a median.
QByteArray spread(const std::vector<double>& values)
{
    const auto [low, high] = std::minmax_element(values.begin(), values.end());
    return QByteArray::number(*low, 'f', 3) + "-" + QByteArray::number(*high, 'f', 3);
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

// Nothing one side wrote is left for the next to pay: the loop drive's image
// too is written out from the drive that holds it.
void writeBackEverything()
{
    ::sync();
}

// Removes a round's targets and gives their blocks back to the image, so a
// drive held in memory does not grow by a round's copies.
void dropTargets(const QStringList& targets, const QString& drive)
{
    for (const QString& target : targets)
        QDir(target).removeRecursively();
    writeBackEverything();
    QProcess::execute(QStringLiteral("fstrim"), {drive});
}

// Medians, and the ratio of the fastest rounds: this machine hands freed
// memory back to its host, and a round that takes memory anew from it pays
// seconds at random, so only the fastest rounds compare like with like.
struct Ratio
{
    double engine;
    double cp;
    double fastest;
};

double fastestRatio(const std::vector<double>& engine, const std::vector<double>& cp)
{
    return *std::min_element(engine.begin(), engine.end()) / *std::min_element(cp.begin(), cp.end());
}

// When the engine wrote each of its copies, for the second copy of the day.
std::map<QString, Written> engineWrote;

// With `drive` given, each round's targets are removed after it (cheap only
// for a few large files: freed inodes slow the next round's creates).
Ratio compare(const QString& name, const QString& source, const QString& targets, const QString& drive = {})
{
    // Each side's time runs until its data is on the drive, as a backup's must.
    auto engineCopy = [&](const QString& target) {
        const CopyReport report = copyTree(source, target);
        if (!report.complete() || !flushToDisk(target))
            qFatal("engine copy failed: %s", qPrintable(report.failureText()));
        engineWrote[target] = {report.started, report.ended};
    };
    auto cpCopy = [&](const QString& target) {
        if (QProcess::execute(QStringLiteral("cp"), {"-a", "--reflink=auto", source, target}) != 0
            || !flushToDisk(target))
            qFatal("cp -a failed");
    };
    // Warm the cache with one untimed run of each.
    engineCopy(targets + "/warm-engine");
    cpCopy(targets + "/warm-cp");
    if (!drive.isEmpty())
        dropTargets({targets + "/warm-engine", targets + "/warm-cp"}, drive);
    std::vector<double> engine, cp;
    // Each copy starts with nothing left to write from the one before.
    for (int run = 0; run < kRuns; ++run) {
        const QString engineTarget = QStringLiteral("%1/engine%2").arg(targets).arg(run);
        const QString cpTarget = QStringLiteral("%1/cp%2").arg(targets).arg(run);
        engine.push_back(seconds([&] { engineCopy(engineTarget); }));
        writeBackEverything();
        cp.push_back(seconds([&] { cpCopy(cpTarget); }));
        writeBackEverything();
        if (!drive.isEmpty())
            dropTargets({engineTarget, cpTarget}, drive);
    }
    const Ratio r{median(engine), median(cp), fastestRatio(engine, cp)};
    std::printf("%-6s engine %.3f s (%s), cp -a %.3f s (%s) (medians of %d), ratio %.2f, of the fastest rounds %.2f\n",
                qPrintable(name), r.engine, spread(engine).constData(), r.cp, spread(cp).constData(), kRuns,
                r.engine / r.cp, r.fastest);
    std::fflush(stdout);
    return r;
}

// The second copy of a day: both onto the identical copies they made above.
Ratio compareMerge(const QString& source, const QString& targets)
{
    std::vector<double> engine, cp;
    for (int run = 0; run < kRuns; ++run) {
        const QString onto = QStringLiteral("%1/engine%2").arg(targets).arg(run);
        Reuse sameDay;
        sameDay.merged = engineWrote.at(onto);
        engine.push_back(seconds([&] {
            const CopyReport report = copyTree(source, onto, 2, nullptr, &sameDay);
            if (!report.complete() || !flushToDisk(onto))
                qFatal("engine merge failed: %s", qPrintable(report.failureText()));
        }));
        writeBackEverything();
        cp.push_back(seconds([&] {
            const QString target = QStringLiteral("%1/cp%2").arg(targets).arg(run);
            if (QProcess::execute(QStringLiteral("cp"), {"-a", "--reflink=auto", source + "/.", target}) != 0
                || !flushToDisk(target))
                qFatal("cp -a failed");
        }));
        writeBackEverything();
    }
    const Ratio r{median(engine), median(cp), fastestRatio(engine, cp)};
    std::printf(
        "merge  engine %.3f s (%s), cp -a %.3f s (%s) (medians of %d), ratio %.2f, of the fastest rounds %.2f\n",
        r.engine, spread(engine).constData(), r.cp, spread(cp).constData(), kRuns, r.engine / r.cp, r.fastest);
    std::fflush(stdout);
    return r;
}

// Changes every hundredth of the small files below `root`: new bytes, same size.
void changeOnePercent(const QString& tree, std::mt19937& random, int round)
{
    const QString root = tree + QStringLiteral("/small");
    int index = 0;
    for (int top = 0; top < 20; ++top) {
        for (int sub = 0; sub < 15; ++sub) {
            for (int f = 0; f < 67; ++f, ++index) {
                if ((index + round) % 100 != 0)
                    continue;
                const QString path = QStringLiteral("%1/d%2/s%3/f%4.dat").arg(root).arg(top).arg(sub).arg(f);
                if (QFile::exists(path))
                    writeFile(path, QFileInfo(path).size(), random);
            }
        }
    }
}

struct Reused
{
    double ratio = 0; // the second day's time over a full copy's
    double fastest = 0; // the same of the fastest rounds
    double mibPerDay = 0; // space the second day took
    double changedMib = 0;
    qint64 entries = 0;
};

// One copy as the program makes it: the tree, then everything flushed to
// disk, so a later copy never pays for the writes of this one.
CopyReport flushedCopy(const QString& source, const QString& target, const Reuse* reuse = nullptr)
{
    CopyReport report = copyTree(source, target, 2, nullptr, reuse);
    if (!report.complete() || !flushToDisk(target))
        qFatal("copy to %s failed: %s", qPrintable(target), qPrintable(report.failureText()));
    return report;
}

// A full copy against the next day's, which shares with it, with 1 % of the
// files changed in between; interleaved, medians. `used` gives the bytes in
// use on the target's drive, or nothing where it is not measured.
Reused compareReuse(const QString& source, const QString& targets, std::mt19937& random,
                    const std::function<qint64()>& used, int runs = 3)
{
    std::vector<double> full, next, space;
    Reused r;
    for (int run = 0; run < runs; ++run) {
        const QString first = QStringLiteral("%1/full%2").arg(targets).arg(run);
        CopyReport made;
        full.push_back(seconds([&] { made = flushedCopy(source, first); }));
        changeOnePercent(source, random, run);
        flushToDisk(source);
        const qint64 before = used ? used() : 0;
        const Reuse reuse{first, cloneBlocks, {made.started, made.ended}};
        CopyReport report;
        next.push_back(
            seconds([&] { report = flushedCopy(source, QStringLiteral("%1/next%2").arg(targets).arg(run), &reuse); }));
        if (used)
            space.push_back(double(used() - before) / (1 << 20));
        r.changedMib = double(report.bytes) / (1 << 20);
        r.entries = qint64(report.files);
    }
    r.ratio = median(next) / median(full);
    r.fastest = fastestRatio(next, full);
    r.mibPerDay = space.empty() ? 0 : median(space);
    return r;
}

// A tree of large files that did not change, copied again sharing all of it.
double compareUnchangedLarge(const QString& source, const QString& targets)
{
    std::vector<double> full, next;
    for (int run = 0; run < 2; ++run) {
        const QString first = QStringLiteral("%1/large-full%2").arg(targets).arg(run);
        CopyReport made;
        full.push_back(seconds([&] { made = flushedCopy(source, first); }));
        const Reuse reuse{first, cloneBlocks, {made.started, made.ended}};
        next.push_back(
            seconds([&] { flushedCopy(source, QStringLiteral("%1/large-next%2").arg(targets).arg(run), &reuse); }));
    }
    return median(next) / median(full);
}

// The reuse lines for a drive that can share blocks, with `daily` the tree
// copied each day; the day-2 figure, or a negative one where the drive could
// not be made.
double reuseOn(const QString& format, const QString& work, const QString& daily, const QString& large,
               std::mt19937& random)
{
    QDir().mkpath(work);
    // The image goes with the drive: the next drive may be held in the same memory.
    const auto removeImage = qScopeGuard([&] { QDir(work).removeRecursively(); });
    const plovern::test::LoopDrive drive(work, format, qint64(8) << 30);
    if (!drive.mounted()) {
        std::printf("reuse on %s: skipped, %s\n", qPrintable(format), qPrintable(drive.skipReason()));
        std::fflush(stdout);
        return -1;
    }
    const Reused r = compareReuse(daily, drive.root(), random, [&] { return drive.used(); });
    const double largeRatio = compareUnchangedLarge(large, drive.root());
    std::printf("reuse on %s: day 2 %.2f of a full copy (fastest rounds %.2f), %.1f MiB per day (%.1f MiB changed, "
                "%.2f KiB more per entry "
                "of %lld); unchanged large files %.3f\n",
                qPrintable(format), r.ratio, r.fastest, r.mibPerDay, r.changedMib,
                (r.mibPerDay - r.changedMib) * 1024 / double(std::max<qint64>(r.entries, 1)), r.entries, largeRatio);
    std::fflush(stdout);
    return r.fastest;
}

class StepClock final : public Clock
{
public:
    QDateTime now() const override { return m_now; }
    void step() { m_now = m_now.addSecs(1); }

private:
    QDateTime m_now{QDate(2026, 12, 7), QTime(1, 0, 0)};
};

struct TickCost
{
    double median;
    double first; // the tick that marks every row for the first time
    double minutely; // the longest of the later ticks, which show the marks and the title once a minute
};

TickCost tickMilliseconds()
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
    const double middle = median(ticks);
    std::sort(ticks.begin(), ticks.end(), std::greater<>());
    return {middle, ticks[0], ticks[1]};
}

// What the estimate of a copy's size, taken before each copy, costs it.
double estimateSeconds(const QString& source)
{
    std::vector<double> runs;
    for (int run = 0; run < kRuns; ++run) {
        CopyControl control;
        runs.push_back(seconds([&] {
            if (!bytesToCopy(source, &control))
                qFatal("cannot list %s", qPrintable(source));
        }));
    }
    return median(runs);
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

// Milliseconds to read the results of `entries` entries, each line its own entry.
double resultsMilliseconds(int entries)
{
    std::vector<plovern::EntryResult> results;
    for (int i = 0; i < entries; ++i)
        results.push_back({QStringLiteral("/home/u/Source%1").arg(i),
                           QStringLiteral("/backup/"),
                           plovern::Outcome::made,
                           212000000000 + i,
                           3,
                           30,
                           {},
                           212000000000 + i});
    const QByteArray bytes = plovern::formatResults(results);
    std::size_t read = 0;
    const double ms = seconds([&] { read = plovern::parseResults(bytes).size(); }) * 1000;
    return read == std::size_t(entries) ? ms : -1;
}

} // namespace

// This machine hands memory back to its host as soon as it is freed, and a
// copy that takes it anew pays seconds at random; for the bench's length,
// freed memory is kept a minute first where the kernel lets us say so.
class FreedMemoryKept
{
public:
    FreedMemoryKept()
    {
        QFile knob(kKnob);
        if (!knob.open(QIODevice::ReadWrite))
            return;
        m_before = knob.readAll().trimmed();
        knob.seek(0);
        if (knob.write("60000\n") > 0 && knob.flush())
            std::printf("freed memory kept a minute before it goes back to the host (was %s ms)\n",
                        m_before.constData());
        else
            m_before.clear();
    }
    ~FreedMemoryKept()
    {
        QFile knob(kKnob);
        if (!m_before.isEmpty() && knob.open(QIODevice::WriteOnly))
            knob.write(m_before + "\n");
    }
    FreedMemoryKept(const FreedMemoryKept&) = delete;
    FreedMemoryKept& operator=(const FreedMemoryKept&) = delete;

private:
    static constexpr const char* kKnob = "/sys/module/page_reporting/parameters/min_free_ms";
    QByteArray m_before;
};

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const FreedMemoryKept kept;
    QTemporaryDir work(QDir::tempPath() + QStringLiteral("/plovern-bench-XXXXXX"));
    // The drives' images in memory where it has room: the host disk's
    // writeback, not the copy, decided a large copy's time on a disk image.
    // The fresh drive's 8 GiB hold the small rounds and one large round at a
    // time; one drive that shares blocks is held beside it at a time.
    const QString shm = QStringLiteral("/dev/shm");
    QTemporaryDir memory(shm + QStringLiteral("/plovern-bench-XXXXXX"));
    const bool inMemory = memory.isValid() && QStorageInfo(shm).bytesAvailable() > (qint64(16) << 30);
    const QDir images(inMemory ? memory.path() : work.path());
    std::mt19937 random(7);

    std::printf("generating trees under %s\n", qPrintable(work.path()));
    std::fflush(stdout);
    // The small and large copies on a file system of their own, made fresh:
    // one that has just freed many inodes slows every writer, unevenly.
    QDir().mkpath(images.filePath("fresh"));
    const plovern::test::LoopDrive fresh(images.filePath("fresh"), QStringLiteral("ext4"), qint64(8) << 30);
    const QDir onto(fresh.mounted() ? fresh.root() : work.path());
    std::printf("small and large copies on %s\n",
                fresh.mounted() ? (inMemory ? "a fresh ext4 on a loop device, its image in memory"
                                            : "a fresh ext4 on a loop device, its image on the work folder's drive")
                                : qPrintable("the work folder's drive: " + fresh.skipReason()));
    const qint64 smallBytes = makeSmallTree(onto.filePath("small"), random);
    const qint64 largeBytes = makeLargeTree(onto.filePath("large"), random);
    std::printf("small: 20000 files, %lld MiB; large: 4 files, %lld MiB\n", smallBytes >> 20, largeBytes >> 20);

    QDir().mkpath(onto.filePath("out-small"));
    QDir().mkpath(onto.filePath("out-large"));
    const Ratio small = compare(QStringLiteral("small"), onto.filePath("small"), onto.filePath("out-small"));
    const Ratio large = compare(QStringLiteral("large"), onto.filePath("large"), onto.filePath("out-large"),
                                fresh.mounted() ? fresh.root() : QString());
    const Ratio merge = compareMerge(onto.filePath("small"), onto.filePath("out-small"));

    // The tree copied each day: the small files and the large ones.
    makeSmallTree(work.filePath("daily/small"), random);
    makeLargeTree(work.filePath("daily/large"), random);
    const double btrfs = reuseOn(QStringLiteral("btrfs"), images.filePath("btrfs"), work.filePath("daily"),
                                 onto.filePath("large"), random);
    reuseOn(QStringLiteral("xfs"), images.filePath("xfs"), work.filePath("daily"), onto.filePath("large"), random);
    // On this drive, which cannot share: a second day costs what the first does.
    QDir().mkpath(work.filePath("out-reuse"));
    const Reused plain = compareReuse(work.filePath("daily"), work.filePath("out-reuse"), random, {}, 5);
    std::printf("reuse on the work folder's drive (no sharing): day 2 %.2f of a full copy\n", plain.ratio);

    const TickCost tick = tickMilliseconds();
    std::printf("one tick over 10000 entries: %.3f ms (median of 300); the first marking of every row %.1f ms, "
                "then at most %.1f ms once a minute (the marks that changed and the title)\n",
                tick.median, tick.first, tick.minutely);
    for (const int entries : {10000, 100000})
        std::printf("reading the results of %d entries: %.1f ms\n", entries, resultsMilliseconds(entries));
    const double estimate = estimateSeconds(onto.filePath("small"));
    std::printf("space estimate before a copy of the small tree: %.3f s, %.2f of its copy (median of %d)\n", estimate,
                estimate / small.engine, kRuns);
    std::printf("window event loop during a 20000-file copy: longest delay %.1f ms\n",
                longestDelayDuringCopy(onto.filePath("small"), onto.filePath("out-small/window-")));
    const QString reuse = btrfs < 0 ? QStringLiteral("skipped") : QString::number(btrfs, 'f', 2);
    std::printf("copy time vs cp -a, of the fastest rounds: small %.2f, large %.2f, merge %.2f, reuse %s\n",
                small.fastest, large.fastest, merge.fastest, qPrintable(reuse));
    return 0;
}
