// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// GraphicsMagick lives in a module of its own (pictrova-engine.so, see engine_module.h), loaded
// the first time a picture needs it: the programs start without its libraries. It is started
// once, on load, with resource limits set: without them a small file that declares
// 16000 x 16000 pixels makes the engine allocate gigabytes. A picture over these limits is
// refused by the engine.

#include <cstddef>
#include <cstdint>

#include "imaging/engine_module.h"
#include "imaging/engine_start.h"

namespace pictrova::imaging {

// Sets the limits the engine starts with on the first call; later calls do nothing. Points
// MAGICK_CONFIGURE_PATH at our data folder (its type.mgk maps the metafile fonts) unless the
// environment already sets it. $PICTROVA_ENGINE_MEMORY_MIB, a number above 0, lowers the memory
// and map limits (never raises them; see EngineStartFor). Cheap:
// the engine itself is loaded and started by the first LoadedImageEngine. Safe to call from any
// thread.
//
// The memory and map limits are the engine's process-wide accounting of every picture it holds,
// on whichever thread: with several workers, one picture can be refused because of the pictures
// the others hold. The run keeps the pictures in work within them (kRecordsInFlightBytes) and
// works a picture refused meanwhile again with no other record in work, so what a picture gives
// never depends on the number of workers.
void StartImageEngine(const ImageEngineLimits& limits = {});

// Bytes the engine takes for one pixel of a picture it holds.
std::size_t EngineBytesPerPixel();

// The engine module's calls, loaded and started on the first call (with the limits of
// StartImageEngine, or the defaults). Throws Error("the image engine could not be loaded: ...")
// when the module cannot be loaded, on this and every later call, and notes the same line among
// the thread's program messages (common/child_output.h: "pictrova: the image engine could not be
// loaded: ..."); the pictures that do not need the engine are unaffected. Safe to call from any
// thread.
const EngineCalls& LoadedImageEngine();

// Counts, per thread, the failures that a picture may not meet when it is worked on alone: the
// engine out of its memory limits, a child process stopped at its wall-clock time limit (other
// work shares the processors). Noted where they happen; the run compares the count before and
// after a record's work.
void NoteResourceShortfall();
std::uint64_t ResourceShortfallsOnThisThread();

// Held by a thread for as long as it works with the engine while other threads may fork (the
// metafile renderer forks a child per picture). A fork waits until no other thread holds it, so
// the child never inherits an engine lock (its registry, its resource accounting, a coder module
// being loaded) taken by a thread that does not exist in the child. A thread that forks while it
// holds one gives it up for the fork and takes it back after. Cheap when nobody forks.
//
// The run's threads hold one for everything they do between their waits, not only for engine
// calls: a fork then finds every other thread parked in a wait, never inside the allocator or a
// library's lock that the child would need (an allocator without fork handlers, as under the
// address sanitizer, would otherwise hang the child until its time limit). Nested uses on one
// thread are allowed; only the outermost takes the gate.
class EngineUse {
  public:
    EngineUse();
    ~EngineUse();
    EngineUse(const EngineUse&) = delete;
    EngineUse& operator=(const EngineUse&) = delete;
};

// Gives the thread's EngineUse up while it waits for other threads (which may fork), and takes
// it back after. The thread must not use the engine meanwhile.
class EngineUseSuspended {
  public:
    EngineUseSuspended();
    ~EngineUseSuspended();
    EngineUseSuspended(const EngineUseSuspended&) = delete;
    EngineUseSuspended& operator=(const EngineUseSuspended&) = delete;

  private:
    bool held_;
};

}  // namespace pictrova::imaging
