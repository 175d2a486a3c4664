// SPDX-License-Identifier: GPL-3.0-or-later
#include "imaging/image_engine.h"

#include <pthread.h>

#include <atomic>
#include <condition_variable>
#include <cstdlib>
#include <filesystem>
#include <mutex>
#include <string>
#include <vector>

#include "common/child_output.h"
#include "common/error.h"
#include "common/library_on_use.h"
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

// The engine module once loaded; null before.
std::atomic<const EngineCalls*> gLoadedEngine{nullptr};

// The child has one thread and leaves through _exit: it never touches the gate, whose mutex
// another thread of the parent may have held at the fork.
void InChildAfterFork() {
    // The child inherits the engine's accounting of the pictures the parent's other threads
    // held at the fork, pictures it never uses: its limits are raised by them, so what the child
    // can do does not depend on the work beside it. No other thread was inside the engine at
    // the fork (the gate).
    if (!gInForkedChild) {
        if (const EngineCalls* engine = gLoadedEngine.load())
            engine->widenLimitsInChild();
    }
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

// The limits the engine starts with: the first StartImageEngine's.
std::once_flag gLimitsSet;
ImageEngineLimits gLimits;

constexpr const char* kModuleName = "pictrova-engine.so";

// Where the module is looked for: beside the program (the build tree), else in the installed
// module folder from bin/ or from libexec/pictrova/. $PICTROVA_ENGINE_MODULE, for the tests,
// names the file instead.
std::vector<std::filesystem::path> ModuleCandidates() {
    if (const char* named = std::getenv("PICTROVA_ENGINE_MODULE"))
        return {named};
    const std::filesystem::path program = ProgramDirectory();
    return {program / kModuleName, program / ".." / PICTROVA_INSTALL_MODULE_SUBDIR / kModuleName,
            program / "../.." / PICTROVA_INSTALL_MODULE_SUBDIR / kModuleName};
}

struct LoadedModule {
    const EngineCalls* calls = nullptr;
    std::string failure;
};

LoadedModule LoadModule() {
    const std::vector<std::filesystem::path> candidates = ModuleCandidates();
    std::filesystem::path file = candidates.front();
    std::error_code ec;
    for (const std::filesystem::path& candidate : candidates) {
        if (std::filesystem::exists(candidate, ec)) {
            file = candidate.lexically_normal();
            break;
        }
    }
    // Never closed: the engine keeps its state (and its coders) for the whole run.
    LibraryOnUse library(file.string());
    if (!library.opened())
        return {.failure = library.failure()};
    decltype(&pictrova_engine_calls) function = nullptr;
    library.Take(function, kEngineCallsSymbol);
    const EngineCalls* calls = function ? function() : nullptr;
    if (calls == nullptr)
        return {.failure = file.string() + ": not an image engine module"};
    if (calls->version != kEngineModuleVersion) {
        return {.failure = file.string() + ": interface version " + std::to_string(calls->version) +
                           ", expected " + std::to_string(kEngineModuleVersion)};
    }
    StartImageEngine();
    const std::string programDirectory = ProgramDirectory().string();
    const EngineStart start = EngineStartFor(gLimits, programDirectory.c_str());
    calls->start(&start);
    return {.calls = calls, .failure = {}};
}

}  // namespace

void NoteResourceShortfall() {
    ++tResourceShortfalls;
}

std::uint64_t ResourceShortfallsOnThisThread() {
    return tResourceShortfalls;
}

std::size_t EngineBytesPerPixel() {
    return kEngineBytesPerPixel;
}

void StartImageEngine(const ImageEngineLimits& limits) {
    std::call_once(gLimitsSet, [&] {
        gLimits = limits;
        if (std::getenv("MAGICK_CONFIGURE_PATH") == nullptr) {
            setenv("MAGICK_CONFIGURE_PATH", DataDirectory().c_str(), 1);
        }
    });
}

const EngineCalls& LoadedImageEngine() {
    static const LoadedModule module = [] {
        LoadedModule loaded = LoadModule();
        gLoadedEngine = loaded.calls;
        return loaded;
    }();
    if (module.calls == nullptr) {
        const std::string message = "the image engine could not be loaded: " + module.failure;
        // The callers of some paths (metafile renderers, probing loaders) keep only whether a
        // picture came out: the reason goes with the record's messages as well.
        NoteChildOutputOnce("pictrova", message);
        throw Error(message);
    }
    return *module.calls;
}

}  // namespace pictrova::imaging
