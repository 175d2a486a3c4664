// SPDX-License-Identifier: GPL-3.0-or-later
#include "run/process.h"

// ShellAndWait: starts a process without a shell and waits for it while the host keeps running.
// The process's end is watched through a pidfd (poll wakes when it exits); where the system
// offers none, its state is looked at after pauses that grow from 1 ms to the poll interval.

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <thread>
#include <utility>

#include "common/child_environment.h"
#include "common/child_output.h"

namespace pictrova::run {
namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

constexpr milliseconds kFirstPause{1};

// Through the system call: Debian 12's C library declares pidfd_open without C linkage.
int OpenExitWatch(pid_t pid) {
    return static_cast<int>(syscall(SYS_pidfd_open, pid, 0));
}

class FileDescriptor {
  public:
    FileDescriptor() = default;
    explicit FileDescriptor(int fd) : fd_(fd) {}
    FileDescriptor(FileDescriptor&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}
    FileDescriptor& operator=(FileDescriptor&&) = delete;
    ~FileDescriptor() { Close(); }

    int get() const { return fd_; }
    bool valid() const { return fd_ >= 0; }
    void Close() {
        if (fd_ >= 0)
            ::close(fd_);
        fd_ = -1;
    }

  private:
    int fd_ = -1;
};

class SpawnActions {
  public:
    SpawnActions() { posix_spawn_file_actions_init(&actions_); }
    ~SpawnActions() { posix_spawn_file_actions_destroy(&actions_); }
    SpawnActions(const SpawnActions&) = delete;
    SpawnActions& operator=(const SpawnActions&) = delete;
    posix_spawn_file_actions_t* get() { return &actions_; }

  private:
    posix_spawn_file_actions_t actions_;
};

std::int32_t ExitCodeOf(int status) {
    if (WIFEXITED(status))
        return WEXITSTATUS(status);
    if (WIFSIGNALED(status))
        return kSignalExitBase + WTERMSIG(status);
    return 0;
}

// A started process and the read end of its error output. A process left before its end (the
// host's yield threw) is killed and reaped, so no process outlives the call.
class Child {
  public:
    Child(pid_t pid, FileDescriptor errorOutput)
        : pid_(pid), errorOutput_(std::move(errorOutput)), exitWatch_(OpenExitWatch(pid)) {}
    Child(const Child&) = delete;
    Child& operator=(const Child&) = delete;
    ~Child() {
        if (!reaped_) {
            kill(pid_, SIGKILL);
            WaitToTheEnd();
        }
    }

    // True when the process has ended; its result is then in `code`.
    bool Ended(std::int32_t& code) {
        int status = 0;
        const pid_t done = waitpid(pid_, &status, WNOHANG);
        if (done == pid_ ||
            (done < 0 && errno != EINTR)) {  // an error: not ours to wait for any more
            reaped_ = true;
            code = done == pid_ ? ExitCodeOf(status) : 0;
            return true;
        }
        return false;
    }

    std::int32_t Kill() {
        kill(pid_, SIGKILL);
        return ExitCodeOf(WaitToTheEnd());
    }

    bool watchesExit() const { return exitWatch_.valid(); }

    // Waits up to `pause` for the process to end or to write to its error output.
    void Await(milliseconds pause) {
        pollfd watched[2];
        nfds_t count = 0;
        if (exitWatch_.valid())
            watched[count++] = {exitWatch_.get(), POLLIN, 0};
        if (errorOutput_.valid())
            watched[count++] = {errorOutput_.get(), POLLIN, 0};
        if (count == 0) {
            std::this_thread::sleep_for(pause);
            return;
        }
        if (poll(watched, count, static_cast<int>(pause.count())) > 0 && errorOutput_.valid() &&
            watched[count - 1].revents != 0) {
            TakeErrorOutput();
        }
    }

    // Reads what is there without waiting; only the end of a long output is kept.
    void TakeErrorOutput() {
        char buffer[4096];
        while (errorOutput_.valid()) {
            const ssize_t n = read(errorOutput_.get(), buffer, sizeof buffer);
            if (n > 0) {
                captured_.append(buffer, static_cast<std::size_t>(n));
                if (captured_.size() > 2 * kMaxChildOutputBytes) {
                    captured_.erase(0, captured_.size() - kMaxChildOutputBytes);
                }
            } else if (n < 0 && errno == EINTR) {
                continue;
            } else {
                if (n == 0 || errno != EAGAIN)
                    errorOutput_.Close();
                return;
            }
        }
    }

    std::string_view errorOutput() const {
        std::string_view all = captured_;
        return all.size() > kMaxChildOutputBytes ? all.substr(all.size() - kMaxChildOutputBytes)
                                                 : all;
    }

  private:
    int WaitToTheEnd() {
        int status = 0;
        while (waitpid(pid_, &status, 0) < 0 && errno == EINTR) {
        }
        reaped_ = true;
        return status;
    }

    pid_t pid_;
    bool reaped_ = false;
    FileDescriptor errorOutput_;
    FileDescriptor exitWatch_;
    std::string captured_;
};

}  // namespace

std::string LastErrorLine(std::string_view errorOutput, std::string_view programPath) {
    const std::vector<std::string> lines = PrintableLines(errorOutput);
    std::string last = lines.empty() ? std::string() : lines.back();
    const std::size_t slash = programPath.rfind('/');
    std::string prefix(slash == std::string_view::npos ? programPath
                                                       : programPath.substr(slash + 1));
    prefix += ": ";
    if (last.size() > prefix.size() && last.starts_with(prefix))
        last.erase(0, prefix.size());
    return last;
}

std::int32_t ShellAndWait(Host& host, const std::string& commandLine,
                          std::optional<std::int32_t> windowStyle,
                          std::chrono::milliseconds timeout, std::string* errorLine) {
    return ShellAndWait(host, SplitCommandLine(commandLine), windowStyle, timeout, errorLine);
}

std::int32_t ShellAndWait(Host& host, const std::vector<std::string>& argv,
                          std::optional<std::int32_t>, std::chrono::milliseconds timeout,
                          std::string* errorLine) {
    if (errorLine != nullptr)
        errorLine->clear();
    if (argv.empty() || argv.front().empty())
        return EINVAL + kStartErrorBase;

    std::vector<char*> args;
    args.reserve(argv.size() + 1);
    for (const std::string& a : argv)
        args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);

    // Only the read end is non-blocking: the process writes as it would to a terminal.
    int ends[2];
    if (pipe2(ends, O_CLOEXEC) != 0)
        return errno + kStartErrorBase;
    FileDescriptor readEnd(ends[0]);
    FileDescriptor writeEnd(ends[1]);
    if (fcntl(readEnd.get(), F_SETFL, O_NONBLOCK) != 0)
        return errno + kStartErrorBase;

    SpawnActions actions;
    posix_spawn_file_actions_adddup2(actions.get(), writeEnd.get(), STDOUT_FILENO);
    posix_spawn_file_actions_adddup2(actions.get(), writeEnd.get(), STDERR_FILENO);
    posix_spawn_file_actions_addopen(actions.get(), STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    pid_t pid = 0;
    std::vector<char*> environment = ChildEnvironment();
    const int spawnError =
        posix_spawn(&pid, args[0], actions.get(), nullptr, args.data(), environment.data());
    if (spawnError != 0)
        return spawnError + kStartErrorBase;
    writeEnd.Close();  // so the read end sees the end of the output once the process is gone

    Child child(pid, std::move(readEnd));
    const auto deadline = Clock::now() + timeout;
    milliseconds pause = kFirstPause;
    std::int32_t code = 0;
    while (!child.Ended(code)) {
        host.Yield();
        const auto now = Clock::now();
        if (now >= deadline) {
            code = child.Kill();
            break;
        }
        const milliseconds wait = child.watchesExit() ? kConverterPollInterval : pause;
        child.Await(std::min(wait, std::chrono::ceil<milliseconds>(deadline - now)));
        pause = std::min(pause * 2, kConverterPollInterval);
    }
    child.TakeErrorOutput();
    const std::string_view program = argv.front();
    NoteChildOutput(program.substr(program.rfind('/') + 1), child.errorOutput());
    if (errorLine != nullptr)
        *errorLine = LastErrorLine(child.errorOutput(), argv.front());
    return code;
}

}  // namespace pictrova::run
