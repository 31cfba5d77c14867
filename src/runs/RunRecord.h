#pragma once

#include "runs/RunVerdict.h"

#include <QByteArray>
#include <QDateTime>
#include <QFile>
#include <QString>

#include <functional>

namespace caltrix::runs {

// The trainer a run is measured on, as the settings give it.
struct RunTrainer {
    int deviceNumber = 0;
    int unitType = 0;
    double rollDiameter = 0;
    int eventsPerTurn = 0;
};

// The record of the runs of one program start: a CSV file named by the start time
// (2026-12-10T16-28-00.csv) in a folder, one header line, then for each run one line per statistics
// tick and one end line with the run's verdict. Every line has the same fields (see header()); a tick
// line leaves the verdict's fields empty and an end line the tick's. UTF-8, a point as the decimal
// separator whatever the locale, times in ISO 8601 with their offset from UTC.
// Each line goes to the file in one write as it is made, so a program that is killed loses at most
// the line it was making. When the record cannot be written (a folder that cannot be made or
// written, a full disk), `onFailure` is told once, with the folder and the cause, and the lines
// that follow are dropped. The file is made with its first line. Main thread only.
class RunRecord {
public:
    using FailureReport = std::function<void(const QString& message)>;

    RunRecord(const QString& folder, const QDateTime& programStart, FailureReport onFailure);

    // $XDG_DATA_HOME/caltrix/runs (~/.local/share/caltrix/runs).
    static QString defaultFolder();
    static QByteArray header();
    QString folder() const { return folder_; }
    QString filePath() const { return file_.fileName(); }

    void startRun(const QDateTime& started, const RunTrainer& trainer, const RunPreset& preset);
    void recordTick(const RunTick& tick);
    // The run's end line; nothing more is recorded until the next run starts.
    void endRun(const RunOutcome& outcome);

private:
    void writeLine(const QByteArray& line);
    bool openWithHeader();
    void fail(const QString& cause);

    QString folder_;
    QFile file_;
    FailureReport onFailure_;
    bool failed_ = false;
    int runs_ = 0;
    QByteArray runFields_; // the fields every line of the current run starts with; empty between runs
};

} // namespace caltrix::runs
