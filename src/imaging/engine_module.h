// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The boundary between the program and the image engine module (pictrova-engine.so), which the
// program loads the first time a picture needs the engine: plain C types only, so that neither
// side's headers, exceptions or allocators cross it. The module exports one function,
// pictrova_engine_calls, that gives the table of its calls; every call reports its outcome in an
// EngineOutcome and never throws.

#include <cstddef>
#include <cstdint>

extern "C" {

// Raised whenever a call changes: a module of another version is refused at load.
inline constexpr std::uint32_t kEngineModuleVersion = 1;

// Bytes the engine takes for one pixel of a picture it holds (16-bit samples, four channels);
// the module checks it against the engine it is built with.
inline constexpr std::size_t kEngineBytesPerPixel = 8;

enum EngineStatus : std::int32_t {
    kEngineDone = 0,
    kEngineFailed = 1,      // the engine's reason in `message`
    kEngineTooBig = 2,      // larger than the bitmap class makes; its size in width, height
    kEngineOverLimits = 3,  // refused for the engine's resource limits (memory, map, pixels)
};

struct EngineOutcome {
    std::int32_t status;
    std::int64_t width;
    std::int64_t height;
    char message[512];
};

// Set once, before any picture: the resource limits (bytes for memory, map and disk) and the
// program's folder, which the engine's start-up takes.
struct EngineStart {
    std::int64_t maxWidth;
    std::int64_t maxHeight;
    std::int64_t maxPixels;
    std::int64_t memoryBytes;
    std::int64_t mapBytes;
    std::int64_t diskBytes;
    const char* programDirectory;
};

// Gives the pixels of a 24-bit bitmap of `width` x `height` (bottom row first, rows `*stride`
// bytes apart), or null when the bitmap class does not make one that large.
typedef std::uint8_t* (*EngineBitmapAllocator)(void* context, std::int32_t width,
                                               std::int32_t height, std::int32_t* stride);

enum EngineDecodeFlags : std::uint32_t {
    kEngineDecodeStrict = 1,     // refuse a picture decoded only in part (damaged)
    kEngineDecodeDropAlpha = 2,  // the alpha the reader found is not the picture's
};

struct EngineCalls {
    std::uint32_t version;
    // Starts the engine with these limits; later calls do nothing.
    void (*start)(const EngineStart* start);
    // In a forked child: raises the memory and map limits by what the parent's other threads
    // held at the fork.
    void (*widenLimitsInChild)();
    // The format the engine finds in the first bytes of `bytes` (its coder's name, in `name`);
    // kEngineFailed when it finds none.
    void (*detectFormat)(const std::uint8_t* bytes, std::size_t size, char* name,
                         std::size_t nameSize, EngineOutcome* outcome);
    // Decodes the first frame with the named coder (empty: the engine's own detection) into a
    // bitmap from `allocate`, flattened onto white where transparent.
    void (*decode)(const std::uint8_t* bytes, std::size_t size, const char* coder,
                   std::uint32_t flags, EngineBitmapAllocator allocate, void* context,
                   EngineOutcome* outcome);
    // The line spacing per em of the metafile reader's sans-serif face (1 when unknown).
    double (*lineSpacingPerEm)();
    // Draws a placeable metafile at `xDpi` x `yDpi` onto a white `width` x `height` canvas into
    // `out` (24-bit, bottom row first, rows `stride` bytes apart, `outSize` bytes in all).
    void (*drawMetafile)(const std::uint8_t* placeable, std::size_t size, double xDpi, double yDpi,
                         std::int32_t width, std::int32_t height, std::uint8_t* out,
                         std::size_t outSize, std::int32_t stride, EngineOutcome* outcome);
};

// The module's one exported function.
const EngineCalls* pictrova_engine_calls();
inline constexpr const char* kEngineCallsSymbol = "pictrova_engine_calls";

}  // extern "C"
