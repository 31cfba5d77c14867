#include "QtPrinters.h"
#include "platform/Platform.h"
#include "runs/RunRecord.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTimeZone>

#include <gtest/gtest.h>

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace caltrix;
using namespace caltrix::runs;

namespace {

const QDateTime ProgramStart(QDate(2026, 12, 10), QTime(16, 28, 0), QTimeZone(3600));
const RunTrainer Trainer { 12345, 5, 74.5, 1 };
const RunPreset P1 { QStringLiteral("P1"), 15, 3 };
const RunPreset P2 { QStringLiteral("P2"), 25, 6 };

QStringList linesOf(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return { QStringLiteral("<cannot read %1>").arg(path) };
    QString text = QString::fromUtf8(file.readAll());
    if (!text.endsWith(QLatin1Char('\n')))
        return { QStringLiteral("<the last line is cut>") };
    text.chop(1);
    return text.split(QLatin1Char('\n'));
}

bool isNumber(const QString& field)
{
    bool ok = false;
    field.toDouble(&ok);
    return ok;
}

// Whether a line of the record has the header's fields: a tick line with the tick's fields and
// no verdict, or an end line with the verdict and no tick.
bool parses(const QString& line)
{
    const QStringList f = line.split(QLatin1Char(','));
    if (f.size() != 16 || !isNumber(f[0]) || !QDateTime::fromString(f[1], Qt::ISODate).isValid())
        return false;
    for (const int i : { 2, 3, 4, 5, 7, 8 }) {
        if (!isNumber(f[i]))
            return false;
    }
    const bool tick = isNumber(f[9]) && isNumber(f[10]) && (f[11] == u'0' || f[11] == u'1')
        && (f[12] + f[13] + f[14] + f[15]).isEmpty();
    const bool steadyEnd = f[12] == QLatin1String("steady") && isNumber(f[13]) && isNumber(f[14]) && isNumber(f[15]);
    const bool notSteadyEnd = f[12] == QLatin1String("not steady") && (f[13] + f[14] + f[15]).isEmpty();
    return tick || ((f[9] + f[10] + f[11]).isEmpty() && (steadyEnd || notSteadyEnd));
}

TEST(RunRecord, OneFileHoldsTheRunsOfAProgramStartLineByLine)
{
    platform::ScopedLocale german { QLocale(QLocale::German) };
    QTemporaryDir dir;
    int failures = 0;
    RunRecord record(dir.path() + QStringLiteral("/runs"), ProgramStart, [&failures](const QString&) { ++failures; });

    record.startRun(ProgramStart.addSecs(2), Trainer, P1);
    record.recordTick({ 1, 14.2, false });
    record.recordTick({ 2, 15.25, true });
    record.endRun({});
    record.recordTick({ 3, 15.0, true }); // between runs: not recorded
    record.startRun(ProgramStart.addSecs(5), Trainer, P2);
    record.recordTick({ 1, 24.96, true });
    record.endRun({ Steadiness { 24.96, 0.214, 30, 42 } });

    EXPECT_EQ(record.filePath(), dir.path() + QStringLiteral("/runs/2026-12-10T16-28-00.csv"));
    EXPECT_EQ(linesOf(record.filePath()),
        (QStringList {
            QStringLiteral("run,started,device,unit_type,roll_diameter,events_per_turn,preset,target_kmh,level,"
                           "second,speed_kmh,in_band,verdict,mean_kmh,spread_kmh,held_s"),
            QStringLiteral("1,2026-12-10T16:28:02+01:00,12345,5,74.5,1,P1,15,3,1,14.20,0,,,,"),
            QStringLiteral("1,2026-12-10T16:28:02+01:00,12345,5,74.5,1,P1,15,3,2,15.25,1,,,,"),
            QStringLiteral("1,2026-12-10T16:28:02+01:00,12345,5,74.5,1,P1,15,3,,,,not steady,,,"),
            QStringLiteral("2,2026-12-10T16:28:05+01:00,12345,5,74.5,1,P2,25,6,1,24.96,1,,,,"),
            QStringLiteral("2,2026-12-10T16:28:05+01:00,12345,5,74.5,1,P2,25,6,,,,steady,24.96,0.21,42"),
        }));
    EXPECT_EQ(failures, 0);
}

TEST(RunRecord, AWriterKilledMidRunLeavesEveryLineItWrote)
{
    QTemporaryDir dir;
    int ready[2];
    int never[2];
    ASSERT_EQ(::pipe(ready), 0);
    ASSERT_EQ(::pipe(never), 0);
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        // The writer: a thousand ticks in runs of a hundred, the last run still open; then it says
        // so and waits, blocked on a pipe that never brings anything, to be killed.
        ::close(ready[0]);
        ::close(never[1]);
        RunRecord record(dir.path(), ProgramStart, {});
        record.startRun(ProgramStart, Trainer, P2);
        for (int second = 1; second <= 1000; ++second) {
            record.recordTick({ second, 20 + (second % 1000) / 100.0, second % 2 == 0 });
            if (second % 100 == 0) {
                record.endRun({ Steadiness { 25, 0.1, 30, second } });
                record.startRun(ProgramStart.addSecs(second), Trainer, P2);
            }
        }
        char nothing = 0;
        const bool told = ::write(ready[1], "w", 1) == 1;
        ::_exit(told && ::read(never[0], &nothing, 1) >= 0 ? 0 : 1);
    }
    ::close(ready[1]);
    ::close(never[0]);
    char written = 0;
    const bool allWritten = ::read(ready[0], &written, 1) == 1;
    ::kill(child, SIGKILL);
    ::waitpid(child, nullptr, 0);
    ::close(ready[0]);
    ::close(never[1]);
    ASSERT_TRUE(allWritten) << "the writer ended before writing";

    // The header, a thousand ticks and ten end lines: nothing was left in a buffer of the program.
    const QStringList lines = linesOf(dir.path() + QStringLiteral("/2026-12-10T16-28-00.csv"));
    ASSERT_EQ(lines.size(), 1011);
    EXPECT_EQ(lines.front().toUtf8(), RunRecord::header());
    for (qsizetype i = 1; i < lines.size(); ++i)
        ASSERT_TRUE(parses(lines[i])) << "line " << i + 1 << ": " << lines[i].toStdString();
}

// A record that cannot be written is reported once, naming the folder and the cause.
TEST(RunRecord, AFolderThatCannotBeMadeIsReportedOnce)
{
    QTemporaryDir dir;
    QFile(dir.path() + QStringLiteral("/file")).open(QIODevice::WriteOnly);
    const QString folder = dir.path() + QStringLiteral("/file/runs");
    QStringList reports;
    RunRecord record(folder, ProgramStart, [&reports](const QString& message) { reports << message; });
    record.startRun(ProgramStart, Trainer, P1);
    for (int second = 1; second <= 3; ++second)
        record.recordTick({ second, 15, true });
    record.endRun({});

    EXPECT_EQ(reports,
        QStringList { QStringLiteral("The runs cannot be recorded in %1: the folder cannot be made. Make that folder "
                                     "writable or free space on its disk; until Caltrix starts again, the runs are "
                                     "not recorded.")
                          .arg(folder) });
}

TEST(RunRecord, AFullDiskIsReportedOnceWithItsCause)
{
    QTemporaryDir dir;
    ASSERT_TRUE(QFile::link(QStringLiteral("/dev/full"), dir.path() + QStringLiteral("/2026-12-10T16-28-00.csv")));
    QStringList reports;
    RunRecord record(dir.path(), ProgramStart, [&reports](const QString& message) { reports << message; });
    record.startRun(ProgramStart, Trainer, P1);
    for (int second = 1; second <= 3; ++second)
        record.recordTick({ second, 15, true });

    ASSERT_EQ(reports.size(), 1);
    EXPECT_TRUE(reports.front().startsWith(QStringLiteral("The runs cannot be recorded in %1: ").arg(dir.path())));
    EXPECT_TRUE(reports.front().contains(QStringLiteral("No space left on device"))) << reports.front().toStdString();
}

} // namespace
