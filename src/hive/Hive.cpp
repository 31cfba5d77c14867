#include "hive/Hive.h"

#include "hive/HiveError.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>

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

HiveReadError readError(const QString& path, const QString& reason)
{
    return HiveReadError(QStringLiteral("Cannot read the settings file %1: %2. "
                                    "Check that it is a file you may read.")
                             .arg(path, reason),
        path, reason);
}

HiveError writeError(const QString& path, const QString& reason)
{
    return HiveError(QStringLiteral("Cannot write the settings file %1: %2. Nothing was changed; "
                                    "check that its folder is writable and the disk is not full.")
                         .arg(path, reason));
}

QString errnoText() { return QString::fromLocal8Bit(std::strerror(errno)); }

bool writeAll(int fd, const QByteArray& bytes)
{
    const char* p = bytes.constData();
    qsizetype left = bytes.size();
    while (left > 0) {
        const ssize_t n = ::write(fd, p, static_cast<std::size_t>(left));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        p += n;
        left -= n;
    }
    return true;
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
    // Only a file that is not there reads as an empty hive; one we may not open is an error.
    const int fd = ::open(QFile::encodeName(filePath_).constData(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        if (errno == ENOENT)
            return Snapshot { std::make_shared<HiveDocument>(), QByteArray(), FileStamp {}, false };
        throw readError(filePath_, errnoText());
    }
    QFile file;
    file.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle);
    // The stamp of the open file, so that it belongs to the bytes read even if the path is
    // replaced meanwhile.
    struct stat st {};
    if (::fstat(fd, &st) != 0)
        throw readError(filePath_, errnoText());
    if (S_ISDIR(st.st_mode))
        throw readError(filePath_, QString::fromLocal8Bit(std::strerror(EISDIR)));
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

QString Hive::prefix() const { return QFileInfo(filePath_).absolutePath(); }

void Hive::edit(const std::function<void(HiveDocument&)>& edit)
{
    if (!QDir().mkpath(prefix()))
        throw writeError(filePath_, QStringLiteral("its folder cannot be created"));
    const HiveLock lock(filePath_, lockTimeout_, lockWaitNotice_);
    if (runningWineServer() != 0) {
        throw HiveError(
            QStringLiteral("Wine is running in %1; close its programs or run `wineserver -k`, then try again").arg(prefix()));
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
    replaceFile(changed.serialize(QDateTime::currentSecsSinceEpoch()));
}

// Writes a new file beside the old one and renames it over it. The new file gets the old one's
// owner, group and mode (a write by root keeps a user's file the user's); a first file gets the
// folder's owner and group and rw-r--r--, as under the usual umask.
void Hive::replaceFile(const QByteArray& bytes) const
{
    const QByteArray path = QFile::encodeName(filePath_);
    struct stat old {};
    if (::stat(path.constData(), &old) != 0) {
        old.st_uid = ::geteuid();
        old.st_gid = ::getegid();
        struct stat folder {};
        if (::stat(QFile::encodeName(prefix()).constData(), &folder) == 0) {
            old.st_uid = folder.st_uid;
            old.st_gid = folder.st_gid;
        }
        old.st_mode = 0644;
    }
    QByteArray temporary = path + ".XXXXXX";
    const int fd = ::mkstemp(temporary.data());
    if (fd < 0)
        throw writeError(filePath_, errnoText());
    const auto fail = [&](const QString& reason) {
        ::close(fd);
        ::unlink(temporary.constData());
        return writeError(filePath_, reason);
    };
    if (!writeAll(fd, bytes) || ::fsync(fd) != 0)
        throw fail(errnoText());
    // Only root may give a file away; another user's write makes the file theirs, as with any
    // editor.
    const bool otherOwner = old.st_uid != ::geteuid() || old.st_gid != ::getegid();
    if (otherOwner && ::fchown(fd, old.st_uid, old.st_gid) != 0 && ::geteuid() == 0)
        throw fail(errnoText());
    if (::fchmod(fd, old.st_mode & 07777) != 0)
        throw fail(errnoText());
    if (::close(fd) != 0) {
        ::unlink(temporary.constData());
        throw writeError(filePath_, errnoText());
    }
    if (::rename(temporary.constData(), path.constData()) != 0) {
        const QString reason = errnoText();
        ::unlink(temporary.constData());
        throw writeError(filePath_, reason);
    }
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
