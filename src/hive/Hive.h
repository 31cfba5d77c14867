#pragma once

#include "hive/HiveDocument.h"
#include "hive/HiveLock.h"
#include "hive/WineServer.h"

#include <QString>

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>

namespace caltrix::hive {

// What tells one state of a file from another without reading it: which file the path names
// (device and inode, so a file replaced by a rename is noticed), its size and modification time.
struct FileStamp {
    bool exists = false;
    std::uint64_t device = 0;
    std::uint64_t inode = 0;
    std::int64_t size = 0;
    std::int64_t modifiedNs = 0;
    bool operator==(const FileStamp&) const = default;
};

// A settings hive file: the registry of the current user, kept in Wine's user.reg format.
//
// Reading is cheap when the file did not change: the parsed content is kept and the file looked at
// again only when its stamp differs from the one read, or when the file had changed so shortly
// before it was read that a later change could carry the same modification time (then its bytes
// are compared, and parsed only when they differ). So a change made by another program is seen at
// the next read, as with a registry that is read afresh every time.
//
// Writing replaces the whole file atomically (a new file renamed over the old one, flushed to
// disk first, with the old file's owner, group and mode), under a HiveLock that keeps two of our
// programs from losing each other's changes. A Wine server running for the prefix would write its
// own copy of the registry over the file, so no write is made while one runs.
//
// Main thread only (the cache is not shared between threads).
class Hive {
public:
    explicit Hive(QString filePath);

    const QString& filePath() const { return filePath_; }

    // The Wine prefix: the folder of the file.
    QString prefix() const;

    // How long a write waits for another program's lock before it fails (5 s unless set), and what
    // is told when it starts to wait.
    void setLockTimeout(std::chrono::milliseconds timeout) { lockTimeout_ = timeout; }
    void setLockWaitNotice(HiveLock::WaitNotice notice) { lockWaitNotice_ = std::move(notice); }
    // Where to look for the prefix's Wine server (the system's usual places unless set).
    void setWineServer(WineServer server) { wineServer_ = std::move(server); }

    // The process id of the Wine server running for the prefix, or 0.
    long runningWineServer() const { return wineServer_.runningFor(prefix()); }

    // The content as the file holds it now; a missing file is an empty hive. Throws HiveError when
    // the file cannot be read or is not a Wine registry file.
    std::shared_ptr<const HiveDocument> document();

    // The value, or nothing when the key or the value does not exist. Throws as `document`.
    std::optional<HiveValue> value(const QString& keyPath, const QString& name);

    // Runs `edit` on the current content under the lock and, when it changed anything, replaces the
    // file. Throws HiveError when Wine runs in the prefix, the lock is not obtained in time or the
    // file cannot be written (the file then stays as it was), and passes on what `edit` throws
    // (nothing is written).
    void edit(const std::function<void(HiveDocument&)>& edit);

    // Convenience edits, each one atomic write.
    void writeString(const QString& keyPath, const QString& name, const QString& text);
    bool deleteValue(const QString& keyPath, const QString& name);
    bool deleteKey(const QString& keyPath);

private:
    struct Snapshot {
        std::shared_ptr<const HiveDocument> document;
        QByteArray bytes; // the file as read: a re-read with the same bytes keeps the document
        FileStamp stamp;
        bool settled = false; // old enough that any later change gets a later modification time
    };
    // Reads the file; the document of `previous` is kept when the bytes did not change.
    Snapshot load(const Snapshot* previous) const;
    FileStamp stampOfPath() const;
    void replaceFile(const QByteArray& bytes) const;

    QString filePath_;
    std::chrono::milliseconds lockTimeout_ { 5000 };
    HiveLock::WaitNotice lockWaitNotice_;
    WineServer wineServer_;
    std::optional<Snapshot> cache_;
};

// The text of a string value (REG_SZ or REG_EXPAND_SZ, not expanded), as the registry reads it.
// Throws HiveError "Invalid data type for '<name>'" for any other type.
QString readText(const HiveValue& value);

} // namespace caltrix::hive
