// SPDX-License-Identifier: GPL-3.0-or-later
#include "imaging/isolated_work.h"

#include <signal.h>
#include <sys/mman.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstring>
#include <thread>

#include "common/child_limits.h"
#include "common/child_output.h"
#include "imaging/image_engine.h"

namespace pictrova::imaging {
namespace {

// The shared page(s): one byte that the child sets when it finished, then the result.
class SharedBuffer {
  public:
    explicit SharedBuffer(std::size_t size) : size_(size + 1) {
        void* p = mmap(nullptr, size_, PROT_READ | PROT_WRITE, MAP_SHARED | MAP_ANONYMOUS, -1, 0);
        data_ = p == MAP_FAILED ? nullptr : static_cast<std::uint8_t*>(p);
    }
    ~SharedBuffer() {
        if (data_)
            munmap(data_, size_);
    }
    SharedBuffer(const SharedBuffer&) = delete;
    SharedBuffer& operator=(const SharedBuffer&) = delete;

    bool valid() const { return data_ != nullptr; }
    std::uint8_t& finished() { return data_[0]; }
    std::span<std::uint8_t> result() { return {data_ + 1, size_ - 1}; }

  private:
    std::size_t size_;
    std::uint8_t* data_ = nullptr;
};

std::atomic<bool> gStopped{false};
static_assert(std::atomic<bool>::is_always_lock_free, "the stop is set from signal handlers");

// The exit status of a child whose work ran out of time in a helper.
constexpr int kTimeLimitStatus = 3;

void KillAndReap(pid_t child) {
    kill(child, SIGKILL);
    int status = 0;
    while (waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }
}

// Waits for the child, killing it once the time limit has passed or a stop is asked for.
IsolatedOutcome AwaitChild(pid_t child, std::chrono::milliseconds timeLimit) {
    const auto deadline = std::chrono::steady_clock::now() + timeLimit;
    auto pause = std::chrono::microseconds(200);
    while (true) {
        int status = 0;
        const pid_t done = waitpid(child, &status, WNOHANG);
        if (done == child) {
            if (WIFEXITED(status))
                return WEXITSTATUS(status) == 0                  ? IsolatedOutcome::Done
                       : WEXITSTATUS(status) == kTimeLimitStatus ? IsolatedOutcome::TimeLimit
                                                                 : IsolatedOutcome::Failed;
            // The kernel ends a child at its processor-time limit: SIGXCPU, then SIGKILL.
            const int signal = WIFSIGNALED(status) ? WTERMSIG(status) : 0;
            return signal == SIGXCPU || signal == SIGKILL ? IsolatedOutcome::TimeLimit
                                                          : IsolatedOutcome::Failed;
        }
        if (done < 0 && errno != EINTR)
            return IsolatedOutcome::Failed;
        if (gStopped.load()) {
            KillAndReap(child);
            return IsolatedOutcome::Stopped;
        }
        if (std::chrono::steady_clock::now() >= deadline) {
            // Past the wall-clock deadline: other workers may have held the processor, so the
            // run may work the picture again alone.
            NoteResourceShortfall();
            KillAndReap(child);
            return IsolatedOutcome::TimeLimit;
        }
        std::this_thread::sleep_for(pause);
        pause = std::min(pause * 2, std::chrono::microseconds(20'000));
    }
}

}  // namespace

IsolatedOutcome RunIsolated(std::span<std::uint8_t> result, std::chrono::milliseconds timeLimit,
                            const std::function<void(std::span<std::uint8_t>)>& work) {
    if (gStopped.load())
        return IsolatedOutcome::Stopped;
    SharedBuffer shared(result.size());
    if (!shared.valid())
        return IsolatedOutcome::Failed;
    // What the child and the programs it starts write (a renderer's complaints) is the work's
    // messages, never our output.
    const ChildOutputFile output;
    const pid_t parent = getpid();
    const pid_t child = fork();
    if (child < 0)
        return IsolatedOutcome::Failed;
    if (child == 0) {
        // The child dies with the program and on its own deadline, even when nobody is left to
        // wait for it. It leaves through _exit: no destructors, atexit handlers or buffered
        // output of the parent's run twice.
        LimitChildProcess(parent, timeLimit);
        if (output.fd() >= 0) {
            dup2(output.fd(), STDOUT_FILENO);
            dup2(output.fd(), STDERR_FILENO);
        }
        try {
            work(shared.result());
            shared.finished() = 1;
            _exit(0);
        } catch (const IsolatedTimeLimit&) {
            _exit(kTimeLimitStatus);
        } catch (...) {
            _exit(1);
        }
    }
    const IsolatedOutcome outcome = AwaitChild(child, timeLimit);
    NoteChildOutput("renderer", output.End());
    if (outcome != IsolatedOutcome::Done)
        return outcome;
    if (shared.finished() != 1)
        return IsolatedOutcome::Failed;
    std::memcpy(result.data(), shared.result().data(), result.size());
    return IsolatedOutcome::Done;
}

void StopIsolatedWork() noexcept {
    gStopped.store(true);
}

void ResumeIsolatedWork() noexcept {
    gStopped.store(false);
}

bool IsolatedWorkStopped() noexcept {
    return gStopped.load();
}

}  // namespace pictrova::imaging
