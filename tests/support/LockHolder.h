#pragma once

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QString>

#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

// Another process that holds a write lock on the first byte of a file (creating the file and its
// folders), as a Wine server holds its "lock" file and as another of our programs holds a hive's
// lock file. The lock is held once the constructor returns, until the process is killed or the
// holder destroyed.
class LockHolder {
public:
    explicit LockHolder(const QString& path)
    {
        QDir().mkpath(QFileInfo(path).absolutePath());
        const QByteArray name = QFile::encodeName(path);
        int ready[2];
        int release[2];
        if (::pipe(ready) != 0 || ::pipe(release) != 0) {
            ADD_FAILURE() << "no pipe";
            return;
        }
        pid_ = ::fork();
        if (pid_ == 0) {
            // The child: only calls that are safe after fork.
            ::close(ready[0]);
            ::close(release[1]);
            const int fd = ::open(name.constData(), O_RDWR | O_CREAT, 0600);
            struct flock lock {};
            lock.l_type = F_WRLCK;
            lock.l_whence = SEEK_SET;
            lock.l_len = 1;
            const char ok = fd >= 0 && ::fcntl(fd, F_SETLK, &lock) == 0 ? 'y' : 'n';
            (void)!::write(ready[1], &ok, 1);
            char c;
            (void)!::read(release[0], &c, 1); // until the parent ends, however it ends
            ::_exit(0);
        }
        ::close(ready[1]);
        ::close(release[0]);
        release_ = release[1];
        char ok = 'n';
        if (::read(ready[0], &ok, 1) != 1 || ok != 'y')
            ADD_FAILURE() << "the lock holder could not lock " << name.constData();
        ::close(ready[0]);
    }

    // Killed rather than released: another child forked meanwhile may hold a copy of the pipe.
    ~LockHolder()
    {
        ::close(release_);
        if (pid_ > 0)
            kill();
    }

    LockHolder(const LockHolder&) = delete;
    LockHolder& operator=(const LockHolder&) = delete;

    long pid() const { return pid_; }

    // Ends the holder as a crash would, without any clean-up of its own.
    void kill()
    {
        ::kill(pid_, SIGKILL);
        ::waitpid(pid_, nullptr, 0);
        pid_ = -1;
    }

private:
    pid_t pid_ = -1;
    int release_ = -1;
};
