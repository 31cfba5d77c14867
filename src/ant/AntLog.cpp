#include "ant/AntLog.h"

#include <QByteArray>
#include <QFile>

#include <cerrno>
#include <cstdlib>
#include <cstring>

namespace caltrix::ant {

void MemoryLog::appendLine(const QString& line)
{
    std::lock_guard lock(mutex_);
    lines_.append(line);
}

QStringList MemoryLog::lines() const
{
    std::lock_guard lock(mutex_);
    return lines_;
}

QStringList MemoryLog::take()
{
    std::lock_guard lock(mutex_);
    QStringList out;
    out.swap(lines_);
    return out;
}

void MemoryLog::clear()
{
    std::lock_guard lock(mutex_);
    lines_.clear();
}

FileLog::FileLog(const QString& path)
{
    file_ = std::fopen(QFile::encodeName(path).constData(), "a");
    if (file_ == nullptr)
        error_ = QStringLiteral("Cannot write the ANT log file %1 (%2). Choose a file in a folder you can write to.")
                     .arg(path, QString::fromLocal8Bit(std::strerror(errno)));
}

FileLog::~FileLog()
{
    if (file_ != nullptr)
        std::fclose(file_);
}

void FileLog::appendLine(const QString& line)
{
    if (file_ == nullptr)
        return;
    const QByteArray bytes = line.toUtf8();
    std::lock_guard lock(mutex_);
    std::fwrite(bytes.constData(), 1, static_cast<std::size_t>(bytes.size()), file_);
    std::fputc('\n', file_);
    std::fflush(file_);
}

namespace {
std::unique_ptr<FileLog> openFromVariable(const char* name)
{
    const char* path = std::getenv(name);
    if (path == nullptr || *path == '\0')
        return nullptr;
    auto log = std::make_unique<FileLog>(QFile::decodeName(path));
    if (!log->isOpen()) {
        std::fprintf(stderr, "%s: %s\n", name, log->error().toLocal8Bit().constData());
        return nullptr;
    }
    return log;
}
} // namespace

EnvironmentLogs logFilesFromEnvironment()
{
    return { openFromVariable("CALTRIX_LOG"), openFromVariable("CALTRIX_RAW_LOG") };
}

} // namespace caltrix::ant
