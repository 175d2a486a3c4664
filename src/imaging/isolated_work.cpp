// SPDX-License-Identifier: GPL-3.0-or-later
#include "imaging/isolated_work.h"

#include <signal.h>
#include <sys/mman.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <thread>

#include "common/child_limits.h"
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

// Waits for the child, killing it once the time limit has passed. True when it exited with 0.
bool AwaitChild(pid_t child, std::chrono::milliseconds timeLimit) {
    const auto deadline = std::chrono::steady_clock::now() + timeLimit;
    auto pause = std::chrono::microseconds(200);
    while (true) {
        int status = 0;
        const pid_t done = waitpid(child, &status, WNOHANG);
        if (done == child)
            return WIFEXITED(status) && WEXITSTATUS(status) == 0;
        if (done < 0 && errno != EINTR)
            return false;
        if (std::chrono::steady_clock::now() >= deadline) {
            NoteResourceShortfall();
            kill(child, SIGKILL);
            while (waitpid(child, &status, 0) < 0 && errno == EINTR) {
            }
            return false;
        }
        std::this_thread::sleep_for(pause);
        pause = std::min(pause * 2, std::chrono::microseconds(20'000));
    }
}

}  // namespace

bool RunIsolated(std::span<std::uint8_t> result, std::chrono::milliseconds timeLimit,
                 const std::function<void(std::span<std::uint8_t>)>& work) {
    SharedBuffer shared(result.size());
    if (!shared.valid())
        return false;
    const pid_t parent = getpid();
    const pid_t child = fork();
    if (child < 0)
        return false;
    if (child == 0) {
        // The child dies with the program and on its own deadline, even when nobody is left to
        // wait for it. It leaves through _exit: no destructors, atexit handlers or buffered
        // output of the parent's run twice.
        LimitChildProcess(parent, timeLimit);
        try {
            work(shared.result());
            shared.finished() = 1;
            _exit(0);
        } catch (...) {
            _exit(1);
        }
    }
    if (!AwaitChild(child, timeLimit) || shared.finished() != 1)
        return false;
    std::memcpy(result.data(), shared.result().data(), result.size());
    return true;
}

}  // namespace pictrova::imaging
