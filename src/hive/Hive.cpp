#include "hive/Hive.h"

#include "hive/HiveError.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLockFile>
#include <QSaveFile>

#include <cerrno>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace caltrix::hive {

namespace {

// File systems stamp modification times from a coarse clock (and some to two seconds); a file
// changed less than this before it was read may change again without a new stamp.
constexpr std::int64_t SettleNs = 2'000'000'000LL;

FileStamp stampOf(const struct stat& st)
{
    return FileStamp { true, static_cast<std::uint64_t>(st.st_dev), static_cast<std::uint64_t>(st.st_ino),
        static_cast<std::int64_t>(st.st_size),
        static_cast<std::int64_t>(st.st_mtim.tv_sec) * 1'000'000'000LL + st.st_mtim.tv_nsec };
}

std::int64_t nowNs()
{
    timespec ts {};
    clock_gettime(CLOCK_REALTIME, &ts);
    return static_cast<std::int64_t>(ts.tv_sec) * 1'000'000'000LL + ts.tv_nsec;
}

HiveError readError(const QString& path, const QString& reason)
{
    return HiveError(QStringLiteral("Cannot read the settings file %1: %2. "
                                    "Check that it is a file you may read.")
                         .arg(path, reason));
}

HiveError writeError(const QString& path, const QString& reason)
{
    return HiveError(QStringLiteral("Cannot write the settings file %1: %2. Nothing was changed; "
                                    "check that its folder is writable and the disk is not full.")
                         .arg(path, reason));
}

// Flushes the folder so that the rename that replaced the file survives a power cut.
void syncFolder(const QString& filePath)
{
    const QByteArray folder = QFile::encodeName(QFileInfo(filePath).absolutePath());
    const int fd = ::open(folder.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        ::fsync(fd);
        ::close(fd);
    }
}

} // namespace

Hive::Hive(QString filePath)
    : filePath_(std::move(filePath))
{
}

FileStamp Hive::stampOfPath() const
{
    struct stat st {};
    if (::stat(QFile::encodeName(filePath_).constData(), &st) != 0)
        return FileStamp {};
    return stampOf(st);
}

Hive::Snapshot Hive::load(const Snapshot* previous) const
{
    const std::int64_t readAt = nowNs();
    QFile file(filePath_);
    if (!file.open(QIODevice::ReadOnly)) {
        if (!file.exists())
            return Snapshot { std::make_shared<HiveDocument>(), QByteArray(), FileStamp {}, false };
        throw readError(filePath_, file.errorString());
    }
    // The stamp of the open file, so that it belongs to the bytes read even if the path is
    // replaced meanwhile.
    struct stat st {};
    if (::fstat(file.handle(), &st) != 0)
        throw readError(filePath_, QString::fromLocal8Bit(std::strerror(errno)));
    if (!S_ISREG(st.st_mode))
        throw readError(filePath_, QStringLiteral("it is not a regular file"));
    const QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError)
        throw readError(filePath_, file.errorString());
    const FileStamp stamp = stampOf(st);
    std::shared_ptr<const HiveDocument> document;
    if (previous && previous->stamp.exists && previous->bytes == bytes)
        document = previous->document;
    else
        document = std::make_shared<HiveDocument>(HiveDocument::parse(bytes, filePath_));
    return Snapshot { std::move(document), bytes, stamp, readAt - stamp.modifiedNs > SettleNs };
}

std::shared_ptr<const HiveDocument> Hive::document()
{
    const FileStamp stamp = stampOfPath();
    if (!cache_ || !cache_->settled || cache_->stamp != stamp)
        cache_ = load(cache_ ? &*cache_ : nullptr);
    return cache_->document;
}

std::optional<HiveValue> Hive::value(const QString& keyPath, const QString& name)
{
    const auto doc = document();
    const HiveKey* key = doc->findKey(keyPath);
    if (!key)
        return std::nullopt;
    const HiveValue* found = key->findValue(name);
    return found ? std::optional<HiveValue>(*found) : std::nullopt;
}

void Hive::edit(const std::function<void(HiveDocument&)>& edit)
{
    const QFileInfo info(filePath_);
    if (!QDir().mkpath(info.absolutePath()))
        throw writeError(filePath_, QStringLiteral("its folder cannot be created"));
    QLockFile lock(filePath_ + QStringLiteral(".lock"));
    if (!lock.tryLock(static_cast<int>(lockTimeout_.count()))) {
        if (lock.error() == QLockFile::LockFailedError) {
            throw HiveError(QStringLiteral("The settings file %1 is being changed by another program (it holds %2). "
                                           "Try again when that program has finished.")
                                .arg(filePath_, lock.fileName()));
        }
        throw writeError(filePath_, QStringLiteral("its lock file %1 cannot be created").arg(lock.fileName()));
    }
    // Read afresh under the lock: the cached content may predate another program's change.
    Snapshot current = load(cache_ ? &*cache_ : nullptr);
    cache_.reset();
    HiveDocument changed = *current.document;
    edit(changed);
    if (!changed.changed()) {
        cache_ = std::move(current);
        return;
    }
    const QByteArray bytes = changed.serialize(QDateTime::currentSecsSinceEpoch());
    QSaveFile out(filePath_);
    if (!out.open(QIODevice::WriteOnly))
        throw writeError(filePath_, out.errorString());
    if (out.write(bytes) != bytes.size() || !out.flush() || ::fsync(out.handle()) != 0) {
        const QString reason = out.errorString();
        out.cancelWriting();
        throw writeError(filePath_, reason);
    }
    if (!out.commit())
        throw writeError(filePath_, out.errorString());
    syncFolder(filePath_);
}

void Hive::writeString(const QString& keyPath, const QString& name, const QString& text)
{
    edit([&](HiveDocument& doc) { doc.setValue(keyPath, HiveValue::string(name, text)); });
}

bool Hive::deleteValue(const QString& keyPath, const QString& name)
{
    bool deleted = false;
    edit([&](HiveDocument& doc) { deleted = doc.deleteValue(keyPath, name); });
    return deleted;
}

bool Hive::deleteKey(const QString& keyPath)
{
    bool deleted = false;
    edit([&](HiveDocument& doc) { deleted = doc.deleteKey(keyPath); });
    return deleted;
}

QString readText(const HiveValue& value)
{
    if (!value.isText())
        throw HiveError(QStringLiteral("Invalid data type for '%1'").arg(value.name));
    return value.text();
}

} // namespace caltrix::hive
