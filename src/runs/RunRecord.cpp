#include "runs/RunRecord.h"

#include <QDir>
#include <QStandardPaths>

namespace caltrix::runs {

namespace {

// QByteArray::number ignores the locale: a point as the decimal separator.
QByteArray twoDecimals(double value) { return QByteArray::number(value, 'f', 2); }
QByteArray shortest(double value) { return QByteArray::number(value, 'g', 15); }

QByteArray isoTime(const QDateTime& time)
{
    return time.toOffsetFromUtc(time.offsetFromUtc()).toString(Qt::ISODate).toUtf8();
}

// Texts of ours hold no comma, quote or line break; a preset's name comes from the program, but a
// field is quoted when it has one all the same so that the line keeps its fields.
QByteArray textField(const QString& text)
{
    QByteArray field = text.toUtf8();
    if (!field.contains(',') && !field.contains('"') && !field.contains('\n') && !field.contains('\r'))
        return field;
    return '"' + field.replace("\"", "\"\"") + '"';
}

} // namespace

RunRecord::RunRecord(const QString& folder, const QDateTime& programStart, FailureReport onFailure)
    : folder_(folder)
    , file_(folder + QLatin1Char('/') + programStart.toString(QStringLiteral("yyyy-MM-dd'T'HH-mm-ss")) + QStringLiteral(".csv"))
    , onFailure_(std::move(onFailure))
{
}

QString RunRecord::defaultFolder()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) + QStringLiteral("/caltrix/runs");
}

QByteArray RunRecord::header()
{
    return "run,started,device,unit_type,roll_diameter,events_per_turn,preset,target_kmh,level,"
           "second,speed_kmh,in_band,verdict,mean_kmh,spread_kmh,held_s";
}

void RunRecord::startRun(const QDateTime& started, const RunTrainer& trainer, const RunPreset& preset)
{
    ++runs_;
    runFields_ = QByteArray::number(runs_) + ',' + isoTime(started) + ',' + QByteArray::number(trainer.deviceNumber)
        + ',' + QByteArray::number(trainer.unitType) + ',' + shortest(trainer.rollDiameter) + ','
        + QByteArray::number(trainer.eventsPerTurn) + ',' + textField(preset.name) + ',' + shortest(preset.targetKmh)
        + ',' + QByteArray::number(preset.level);
}

void RunRecord::recordTick(const RunTick& tick)
{
    if (runFields_.isEmpty())
        return;
    writeLine(runFields_ + ',' + QByteArray::number(tick.second) + ',' + twoDecimals(tick.speedKmh) + ','
        + (tick.inBand ? '1' : '0') + ",,,,");
}

void RunRecord::endRun(const RunOutcome& outcome)
{
    if (runFields_.isEmpty())
        return;
    QByteArray verdict = textField(outcome.text());
    if (outcome.lastSteady) {
        verdict += ',' + twoDecimals(outcome.lastSteady->meanKmh) + ',' + twoDecimals(outcome.lastSteady->spreadKmh)
            + ',' + QByteArray::number(outcome.lastSteady->heldSeconds);
    } else {
        verdict += ",,,";
    }
    writeLine(runFields_ + ",,,," + verdict);
    runFields_.clear();
}

// One write per line, unbuffered: what the program has written is in the system's hands even if
// the program is killed right after.
void RunRecord::writeLine(const QByteArray& line)
{
    if (failed_ || (!file_.isOpen() && !openWithHeader()))
        return;
    const QByteArray bytes = line + '\n';
    if (file_.write(bytes) != bytes.size())
        fail(file_.errorString());
}

bool RunRecord::openWithHeader()
{
    if (!QDir().mkpath(folder_)) {
        fail(QStringLiteral("the folder cannot be made"));
        return false;
    }
    if (!file_.open(QIODevice::WriteOnly | QIODevice::Append | QIODevice::Unbuffered)) {
        fail(file_.errorString());
        return false;
    }
    // A file of the same name (a start within the same second) goes on under its own header.
    if (file_.size() == 0) {
        const QByteArray bytes = header() + '\n';
        if (file_.write(bytes) != bytes.size()) {
            fail(file_.errorString());
            return false;
        }
    }
    return true;
}

void RunRecord::fail(const QString& cause)
{
    failed_ = true;
    file_.close();
    if (onFailure_) {
        onFailure_(QStringLiteral("The runs cannot be recorded in %1: %2. Make that folder writable or free space "
                                  "on its disk; until Caltrix starts again, the runs are not recorded.")
                       .arg(QDir::toNativeSeparators(folder_), cause));
    }
}

} // namespace caltrix::runs
