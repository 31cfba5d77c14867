#pragma once

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>
#include <vector>

extern char** environ;

namespace caltrix::test {

// A child program started with posix_spawn, its standard output read through a pipe.
// Tests that run under ThreadSanitizer use this instead of QProcess: QProcess starts its child with
// vfork semantics, so the child runs on the parent's memory before exec, and the checker's
// interceptors called there leave the parent's record of held locks wrong (false race reports).
class SpawnedProcess {
public:
    SpawnedProcess(const std::string& program, const std::vector<std::string>& arguments)
    {
        int pipeFds[2];
        if (::pipe2(pipeFds, O_CLOEXEC) != 0)
            return;
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, pipeFds[1], STDOUT_FILENO);
        std::vector<char*> argv;
        argv.push_back(const_cast<char*>(program.c_str()));
        for (const std::string& argument : arguments)
            argv.push_back(const_cast<char*>(argument.c_str()));
        argv.push_back(nullptr);
        if (::posix_spawn(&pid_, program.c_str(), &actions, nullptr, argv.data(), environ) != 0)
            pid_ = -1;
        posix_spawn_file_actions_destroy(&actions);
        ::close(pipeFds[1]);
        out_ = pipeFds[0];
        if (pid_ > 0)
            pidFd_ = static_cast<int>(::syscall(SYS_pidfd_open, pid_, 0));
    }

    ~SpawnedProcess()
    {
        if (pid_ > 0 && !reaped_) {
            ::kill(pid_, SIGKILL);
            ::waitpid(pid_, nullptr, 0);
        }
        if (out_ >= 0)
            ::close(out_);
        if (pidFd_ >= 0)
            ::close(pidFd_);
    }

    SpawnedProcess(const SpawnedProcess&) = delete;
    SpawnedProcess& operator=(const SpawnedProcess&) = delete;

    bool started() const { return pid_ > 0 && pidFd_ >= 0; }

    // The next line of standard output without its newline; empty when none came in `timeoutMs`.
    std::string readLine(int timeoutMs)
    {
        for (;;) {
            if (const auto end = buffered_.find('\n'); end != std::string::npos) {
                std::string line = buffered_.substr(0, end);
                buffered_.erase(0, end + 1);
                return line;
            }
            pollfd p { out_, POLLIN, 0 };
            if (::poll(&p, 1, timeoutMs) <= 0)
                return {};
            char chunk[256];
            const auto n = ::read(out_, chunk, sizeof chunk);
            if (n <= 0)
                return {};
            buffered_.append(chunk, static_cast<std::size_t>(n));
        }
    }

    void terminate()
    {
        if (started() && !reaped_)
            ::kill(pid_, SIGTERM);
    }

    // True once the program has ended within `timeoutMs`; its pidfd becomes readable when it ends.
    bool waitForFinished(int timeoutMs)
    {
        if (!started())
            return false;
        if (!reaped_) {
            pollfd p { pidFd_, POLLIN, 0 };
            if (::poll(&p, 1, timeoutMs) <= 0)
                return false;
            ::waitpid(pid_, nullptr, 0);
            reaped_ = true;
        }
        return true;
    }

private:
    pid_t pid_ = -1;
    int out_ = -1;
    int pidFd_ = -1;
    bool reaped_ = false;
    std::string buffered_;
};

} // namespace caltrix::test
