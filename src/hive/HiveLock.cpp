#include "hive/HiveLock.h"

#include "hive/HiveError.h"

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

// Between two attempts to take a busy lock: short enough to be quick, long enough to cost nothing.
constexpr std::chrono::milliseconds RetryPause { 50 };

struct flock wholeFile(short type)
{
    struct flock lock {};
    lock.l_type = type;
    lock.l_whence = SEEK_SET;
    lock.l_start = 0;
    lock.l_len = 0;
    return lock;
}

// The holder of a conflicting lock on `fd`, or 0.
long holderOf(int fd, struct flock probe)
{
    if (::fcntl(fd, F_GETLK, &probe) != 0 || probe.l_type == F_UNLCK)
        return 0;
    return static_cast<long>(probe.l_pid);
}

void pause(std::chrono::milliseconds length)
{
    const timespec ts { static_cast<time_t>(length.count() / 1000), static_cast<long>(length.count() % 1000) * 1'000'000L };
    ::nanosleep(&ts, nullptr);
}

// A lock file made by root in a user's folder belongs to the folder's owner, so that the user's
// own programs can lock it later.
void giveToFolderOwner(int fd, const QString& lockPath)
{
    if (::geteuid() != 0)
        return;
    struct stat folder {};
    if (::stat(QFile::encodeName(QFileInfo(lockPath).absolutePath()).constData(), &folder) == 0)
        (void)!::fchown(fd, folder.st_uid, folder.st_gid);
}

} // namespace

HiveLock::HiveLock(const QString& hivePath, std::chrono::milliseconds timeout, const WaitNotice& notice)
{
    const QString lockPath = hivePath + QStringLiteral(".lock");
    const QByteArray path = QFile::encodeName(lockPath);
    fd_ = ::open(path.constData(), O_RDWR | O_CLOEXEC);
    if (fd_ < 0 && errno == ENOENT) {
        fd_ = ::open(path.constData(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
        if (fd_ >= 0)
            giveToFolderOwner(fd_, lockPath);
        else if (errno == EEXIST)
            fd_ = ::open(path.constData(), O_RDWR | O_CLOEXEC);
    }
    if (fd_ < 0) {
        throw HiveError(QStringLiteral("Cannot open the lock file %1: %2. Check that you may write to its folder.")
                            .arg(lockPath, QString::fromLocal8Bit(std::strerror(errno))));
    }
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    bool noticed = false;
    for (;;) {
        struct flock lock = wholeFile(F_WRLCK);
        if (::fcntl(fd_, F_SETLK, &lock) == 0)
            return;
        const long holder = holderOf(fd_, wholeFile(F_WRLCK));
        if (!noticed && notice && timeout.count() > 0)
            notice(holder);
        noticed = true;
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) {
            ::close(fd_);
            throw HiveError(QStringLiteral("The settings file %1 is being changed by another program (process %2). "
                                           "Try again when it has finished.")
                                .arg(hivePath)
                                .arg(holder));
        }
        pause(std::min(left, RetryPause));
    }
}

HiveLock::~HiveLock()
{
    // Closing the file releases the lock.
    ::close(fd_);
}

long lockHolder(const QString& path)
{
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return 0;
    struct flock probe = wholeFile(F_WRLCK);
    probe.l_len = 1;
    const long holder = holderOf(fd, probe);
    ::close(fd);
    return holder;
}

} // namespace caltrix::hive
