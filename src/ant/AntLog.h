#pragma once

#include <QString>
#include <QStringList>

#include <cstdio>
#include <memory>
#include <mutex>

namespace caltrix::ant {

// Where the link's log lines go: the device component's text views, a file, or memory. The link
// only appends; it never owns a target it was handed.
class LogTarget {
public:
    virtual ~LogTarget() = default;
    // Appends `line` as a new last line. Called on the main thread by the link; implementations
    // here also accept other threads. Must not call back into the link.
    virtual void appendLine(const QString& line) = 0;
};

// Collects the lines in memory, in the order written (tests, benchmarks). Thread-safe.
class MemoryLog final : public LogTarget {
public:
    void appendLine(const QString& line) override;
    QStringList lines() const;
    // Returns the lines and forgets them.
    QStringList take();
    void clear();

private:
    mutable std::mutex mutex_; // guards lines_
    QStringList lines_;
};

// Appends each line to a text file (UTF-8, '\n' after every line), flushed line by line so that a
// trace survives a crash. The file is opened for appending on construction. Thread-safe.
class FileLog final : public LogTarget {
public:
    explicit FileLog(const QString& path);
    ~FileLog() override;
    FileLog(const FileLog&) = delete;
    FileLog& operator=(const FileLog&) = delete;

    // False when the file could not be opened; `error()` then says why. Lines are then dropped.
    bool isOpen() const { return file_ != nullptr; }
    const QString& error() const { return error_; }
    void appendLine(const QString& line) override;

private:
    std::mutex mutex_; // guards writes to file_
    std::FILE* file_ = nullptr;
    QString error_;
};

// The two trace files a user can ask for without rebuilding: CALTRIX_LOG names the file for the
// command and event log, CALTRIX_RAW_LOG the one for raw traffic. Unset or empty: no file. A file
// that cannot be opened is reported once on standard error and left out.
struct EnvironmentLogs {
    std::unique_ptr<FileLog> log;
    std::unique_ptr<FileLog> raw;
};
EnvironmentLogs logFilesFromEnvironment();

} // namespace caltrix::ant
