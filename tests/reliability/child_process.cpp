// SPDX-License-Identifier: GPL-3.0-or-later
#include "child_process.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <map>
#include <stdexcept>
#include <thread>

extern char** environ;

namespace pictrova::reliability {
namespace {

using Clock = std::chrono::steady_clock;
constexpr std::size_t kKeptOutput = 64 * 1024;

// A temporary file that receives the child's output, read back when it ends.
class OutputFile {
  public:
    OutputFile() {
        std::string pattern =
            (std::filesystem::temp_directory_path() / "pictrova-child-XXXXXX").string();
        fd_ = mkstemp(pattern.data());
        if (fd_ < 0)
            throw std::runtime_error("mkstemp failed");
        path_ = pattern;
    }
    ~OutputFile() {
        close(fd_);
        std::filesystem::remove(path_);
    }
    int fd() const { return fd_; }
    std::string Read() const {
        std::ifstream in(path_, std::ios::binary);
        std::string text(kKeptOutput, '\0');
        in.read(text.data(), static_cast<std::streamsize>(text.size()));
        text.resize(static_cast<std::size_t>(in.gcount()));
        return text;
    }

  private:
    int fd_ = -1;
    std::filesystem::path path_;
};

// Waits for `pid` until `limit`, polling; kills its process group when the time is up.
ChildOutcome Wait(pid_t pid, std::chrono::milliseconds limit, Clock::time_point start) {
    ChildOutcome outcome;
    int status = 0;
    for (;;) {
        const pid_t done = waitpid(pid, &status, WNOHANG);
        if (done == pid)
            break;
        if (done < 0 && errno != EINTR)
            throw std::runtime_error("waitpid failed");
        if (Clock::now() - start > limit) {
            kill(-pid, SIGKILL);
            kill(pid, SIGKILL);
            waitpid(pid, &status, 0);
            outcome.end = ChildOutcome::End::TimedOut;
            break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    outcome.elapsed = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start);
    if (outcome.end == ChildOutcome::End::TimedOut)
        return outcome;
    if (WIFEXITED(status)) {
        outcome.code = WEXITSTATUS(status);
    } else {
        outcome.end = ChildOutcome::End::Signalled;
        outcome.code = WTERMSIG(status);
    }
    return outcome;
}

}  // namespace

bool ChildOutcome::SanitizerReported() const {
    for (const char* mark : {"ERROR: AddressSanitizer", "ERROR: LeakSanitizer",
                             "runtime error:", "ERROR: UndefinedBehaviorSanitizer"}) {
        if (output.find(mark) != std::string::npos)
            return true;
    }
    return false;
}

std::string ChildOutcome::Describe() const {
    std::string text;
    switch (end) {
        case End::Exited:
            text = "exited with " + std::to_string(code);
            break;
        case End::Signalled:
            text = std::string("killed by signal ") + strsignal(code);
            break;
        case End::TimedOut:
            text = "timed out";
            break;
    }
    text += " after " + std::to_string(elapsed.count()) + " ms";
    if (!output.empty())
        text += "; output:\n" + output.substr(0, 4000);
    return text;
}

ChildOutcome RunInChild(const std::function<int()>& body, std::chrono::milliseconds limit) {
    OutputFile output;
    const auto start = Clock::now();
    const pid_t pid = fork();
    if (pid < 0)
        throw std::runtime_error("fork failed");
    if (pid == 0) {
        setpgid(0, 0);
        dup2(output.fd(), STDOUT_FILENO);
        dup2(output.fd(), STDERR_FILENO);
        int status = 125;
        try {
            status = body();
        } catch (...) {
            status = 126;
        }
        std::fflush(nullptr);
        _exit(status);
    }
    ChildOutcome outcome = Wait(pid, limit, start);
    outcome.output = output.Read();
    return outcome;
}

ChildOutcome RunProgram(const ProgramRun& run) {
    OutputFile output;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, output.fd(), STDOUT_FILENO);
    posix_spawn_file_actions_adddup2(&actions, output.fd(), STDERR_FILENO);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    if (!run.workingDirectory.empty())
        posix_spawn_file_actions_addchdir_np(&actions, run.workingDirectory.c_str());
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETPGROUP);
    posix_spawnattr_setpgroup(&attributes, 0);

    std::vector<char*> argv;
    for (const std::string& a : run.arguments)
        argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    // This process's environment with the additions replacing variables of the same name.
    std::map<std::string, std::string> variables;
    for (char** e = environ; *e; ++e) {
        const std::string entry = *e;
        variables[entry.substr(0, entry.find('='))] = entry;
    }
    for (const std::string& entry : run.environment)
        variables[entry.substr(0, entry.find('='))] = entry;
    std::vector<char*> envp;
    for (auto& [name, entry] : variables)
        envp.push_back(entry.data());
    envp.push_back(nullptr);

    const auto start = Clock::now();
    pid_t pid = 0;
    const int failed = posix_spawn(&pid, argv[0], &actions, &attributes, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attributes);
    if (failed)
        throw std::runtime_error("cannot start " + run.arguments[0] + ": " + std::strerror(failed));
    ChildOutcome outcome = Wait(pid, run.limit, start);
    outcome.output = output.Read();
    return outcome;
}

}  // namespace pictrova::reliability
