// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The limits the image engine starts with, and the one place that turns them into the engine
// module's start. Header-only: the program gives the result to the module it loads, and the
// tests and benchmarks that link the engine's code directly start it with the same.

#include <cstdint>
#include <cstdlib>

#include "common/limits.h"
#include "imaging/engine_module.h"

namespace pictrova::imaging {

struct ImageEngineLimits {
    std::int64_t maxWidth = kEngineMaxSide;
    std::int64_t maxHeight = kEngineMaxSide;
    std::int64_t maxPixels = kMaxPicturePixels;
    std::int64_t maxMemoryMiB = kEngineMemoryMiB;
    std::int64_t maxMapMiB = kEngineMapMiB;
    std::int64_t maxDiskGiB = kEngineDiskGiB;
};

// `mib`, lowered to $PICTROVA_ENGINE_MEMORY_MIB when that is a smaller number above 0 (the tests
// run short of the engine's memory with small pictures; the variable never raises a limit).
inline std::int64_t LoweredByEnvironment(std::int64_t mib) {
    if (const char* text = std::getenv("PICTROVA_ENGINE_MEMORY_MIB")) {
        const long long lowered = std::strtoll(text, nullptr, 10);
        if (lowered > 0 && lowered < mib)
            return lowered;
    }
    return mib;
}

// The engine's start for `limits`, its memory and map limits lowered by the environment.
// `programDirectory` must outlive the start.
inline EngineStart EngineStartFor(const ImageEngineLimits& limits, const char* programDirectory) {
    constexpr std::int64_t kMiB = 1024 * 1024;
    return {
        .maxWidth = limits.maxWidth,
        .maxHeight = limits.maxHeight,
        .maxPixels = limits.maxPixels,
        .memoryBytes = LoweredByEnvironment(limits.maxMemoryMiB) * kMiB,
        .mapBytes = LoweredByEnvironment(limits.maxMapMiB) * kMiB,
        .diskBytes = limits.maxDiskGiB * 1024 * kMiB,
        .programDirectory = programDirectory,
    };
}

}  // namespace pictrova::imaging
