// SPDX-License-Identifier: GPL-3.0-or-later
#include "imaging/image_engine.h"

#include <Magick++.h>

#include <pthread.h>

#include <cstdlib>
#include <mutex>
#include <shared_mutex>

#include "common/program_paths.h"

namespace pictrova::imaging {

namespace {

std::shared_mutex& ForkLock() {
    static std::shared_mutex lock;
    return lock;
}

// Whether this thread holds an EngineUse, and whether it gave it up for a fork.
thread_local bool tHoldsEngine = false;
thread_local bool tGaveUpForFork = false;

void BeforeFork() {
    tGaveUpForFork = tHoldsEngine;
    if (tGaveUpForFork) ForkLock().unlock_shared();
    ForkLock().lock();
}

void AfterFork() {
    ForkLock().unlock();
    if (tGaveUpForFork) ForkLock().lock_shared();
    tGaveUpForFork = false;
}

void RegisterForkHandlers() {
    static std::once_flag once;
    std::call_once(once, [] { pthread_atfork(BeforeFork, AfterFork, AfterFork); });
}

}  // namespace

EngineUse::EngineUse() {
    RegisterForkHandlers();
    ForkLock().lock_shared();
    tHoldsEngine = true;
}

EngineUse::~EngineUse() {
    tHoldsEngine = false;
    ForkLock().unlock_shared();
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
        SetMagickResourceLimit(MemoryResource, limits.maxMemoryMiB * 1024 * 1024);
        SetMagickResourceLimit(MapResource, limits.maxMapMiB * 1024 * 1024);
        SetMagickResourceLimit(DiskResource, limits.maxDiskGiB * 1024 * 1024 * 1024);
        // Metafiles render in a forked child (see isolated_work.h); an OpenMP thread pool does
        // not survive a fork, so the engine works on the calling thread only.
        SetMagickResourceLimit(ThreadsResource, 1);
    });
}

}  // namespace pictrova::imaging
