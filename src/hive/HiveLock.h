#pragma once

#include <QString>

#include <chrono>
#include <functional>

namespace caltrix::hive {

// The lock that keeps two of our programs from changing one hive file at the same time: a kernel
// record lock (fcntl) on a lock file beside the hive ("user.reg.lock"). The kernel drops it when
// its holder ends, however it ends, so a crash never leaves a lock behind; the lock file itself
// stays and is never deleted (deleting it would let two programs lock two different files). A
// record lock also tells who holds it, so a write that must wait can name that process.
//
// Record locks belong to the process, and closing any descriptor of the file drops them: one
// process holds one HiveLock per file at a time. Main thread only.
class HiveLock {
public:
    // Called once when the lock is held by process `holder` and the caller starts to wait.
    using WaitNotice = std::function<void(long holder)>;

    // Locks the lock file of the hive file `hivePath` (creating it, owned like its folder), waiting
    // up to `timeout`. Throws HiveError naming the holder's process id when it is still held then,
    // or when the lock file cannot be opened.
    HiveLock(const QString& hivePath, std::chrono::milliseconds timeout, const WaitNotice& notice = {});
    ~HiveLock();
    HiveLock(const HiveLock&) = delete;
    HiveLock& operator=(const HiveLock&) = delete;

private:
    int fd_ = -1;
};

// The process that holds a write lock on the first byte of the file at `path`, or 0 when nobody
// does (also when the file does not exist or cannot be opened). Our own locks do not count.
long lockHolder(const QString& path);

} // namespace caltrix::hive
