// SPDX-License-Identifier: GPL-3.0-or-later
#include "imaging/image_engine.h"

#include <Magick++.h>

#include <pthread.h>

#include <atomic>
#include <condition_variable>
#include <cstdlib>
#include <mutex>

#include "common/program_paths.h"

namespace pictrova::imaging {

namespace {

// A reader-writer lock that lets a waiting fork in before new engine users, so a fork is not
// held up for as long as the workers keep overlapping.
class ForkGate {
  public:
    void LockShared() {
        std::unique_lock lock(mutex_);
        changed_.wait(lock, [&] { return !forking_ && forksWaiting_ == 0; });
        ++users_;
    }
    void UnlockShared() {
        std::lock_guard lock(mutex_);
        if (--users_ == 0)
            changed_.notify_all();
    }
    void Lock() {
        std::unique_lock lock(mutex_);
        ++forksWaiting_;
        changed_.wait(lock, [&] { return !forking_ && users_ == 0; });
        --forksWaiting_;
        forking_ = true;
    }
    void Unlock() {
        std::lock_guard lock(mutex_);
        forking_ = false;
        changed_.notify_all();
    }

  private:
    std::mutex mutex_;
    std::condition_variable changed_;
    int users_ = 0;
    int forksWaiting_ = 0;
    bool forking_ = false;
};

ForkGate& Gate() {
    static ForkGate gate;
    return gate;
}

// How many EngineUse objects this thread holds (only the outermost takes the gate), and whether
// it gave its share up for a fork.
thread_local int tEngineDepth = 0;
thread_local bool tGaveUpForFork = false;

// Set in a forked child: its gate is a copy that counts the parent's other threads, which the
// child does not have, so a fork from the child (to start a helper program) must not wait on it.
bool gInForkedChild = false;

void BeforeFork() {
    if (gInForkedChild)
        return;
    tGaveUpForFork = tEngineDepth > 0;
    if (tGaveUpForFork)
        Gate().UnlockShared();
    Gate().Lock();
}

void InParentAfterFork() {
    if (gInForkedChild)
        return;
    Gate().Unlock();
    if (tGaveUpForFork)
        Gate().LockShared();
    tGaveUpForFork = false;
}

// The engine's memory and map limits as started; zero before the start.
std::atomic<std::int64_t> gEngineMemoryBytes{0};
std::atomic<std::int64_t> gEngineMapBytes{0};

// The child inherits the engine's accounting of the pictures the parent's other threads held at
// the fork, pictures it never uses: its limits are raised by them, so what the child can do does
// not depend on the work beside it. No other thread was inside the engine at the fork (the gate).
void GiveChildTheWholeEngineLimits() {
    using namespace MagickLib;
    if (const std::int64_t memory = gEngineMemoryBytes.load(); memory > 0)
        SetMagickResourceLimit(
            MemoryResource, memory + static_cast<std::int64_t>(GetMagickResource(MemoryResource)));
    if (const std::int64_t map = gEngineMapBytes.load(); map > 0)
        SetMagickResourceLimit(MapResource,
                               map + static_cast<std::int64_t>(GetMagickResource(MapResource)));
}

// The child has one thread and leaves through _exit: it never touches the gate, whose mutex
// another thread of the parent may have held at the fork.
void InChildAfterFork() {
    if (!gInForkedChild)
        GiveChildTheWholeEngineLimits();
    gInForkedChild = true;
}

void RegisterForkHandlers() {
    static std::once_flag once;
    std::call_once(once, [] { pthread_atfork(BeforeFork, InParentAfterFork, InChildAfterFork); });
}

}  // namespace

EngineUse::EngineUse() {
    RegisterForkHandlers();
    if (tEngineDepth++ == 0)
        Gate().LockShared();
}

EngineUse::~EngineUse() {
    if (--tEngineDepth == 0)
        Gate().UnlockShared();
}

EngineUseSuspended::EngineUseSuspended() : held_(tEngineDepth > 0) {
    if (held_)
        Gate().UnlockShared();
}

EngineUseSuspended::~EngineUseSuspended() {
    if (held_)
        Gate().LockShared();
}

namespace {

thread_local std::uint64_t tResourceShortfalls = 0;

// The limit in MiB, lowered to $PICTROVA_ENGINE_MEMORY_MIB when that is a smaller number above 0.
std::int64_t LoweredFromEnvironment(std::int64_t mib) {
    if (const char* text = std::getenv("PICTROVA_ENGINE_MEMORY_MIB")) {
        const long long lowered = std::strtoll(text, nullptr, 10);
        if (lowered > 0 && lowered < mib)
            return lowered;
    }
    return mib;
}

}  // namespace

void NoteResourceShortfall() {
    ++tResourceShortfalls;
}

std::uint64_t ResourceShortfallsOnThisThread() {
    return tResourceShortfalls;
}

std::size_t EngineBytesPerPixel() {
    return sizeof(MagickLib::PixelPacket);
}

void StartImageEngine(const ImageEngineLimits& limits) {
    static std::once_flag once;
    std::call_once(once, [&] {
        if (std::getenv("MAGICK_CONFIGURE_PATH") == nullptr) {
            setenv("MAGICK_CONFIGURE_PATH", DataDirectory().c_str(), 1);
        }
        Magick::InitializeMagick(ProgramDirectory().c_str());
        using namespace MagickLib;
        SetMagickResourceLimit(WidthResource, limits.maxWidth);
        SetMagickResourceLimit(HeightResource, limits.maxHeight);
        SetMagickResourceLimit(PixelsResource, limits.maxPixels);
        gEngineMemoryBytes = LoweredFromEnvironment(limits.maxMemoryMiB) * 1024 * 1024;
        gEngineMapBytes = LoweredFromEnvironment(limits.maxMapMiB) * 1024 * 1024;
        SetMagickResourceLimit(MemoryResource, gEngineMemoryBytes.load());
        SetMagickResourceLimit(MapResource, gEngineMapBytes.load());
        SetMagickResourceLimit(DiskResource, limits.maxDiskGiB * 1024 * 1024 * 1024);
        // Metafiles render in a forked child (see isolated_work.h); an OpenMP thread pool does
        // not survive a fork, so the engine works on the calling thread only.
        SetMagickResourceLimit(ThreadsResource, 1);
    });
}

}  // namespace pictrova::imaging
