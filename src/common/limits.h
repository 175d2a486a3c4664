// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Every size, pixel, cost and time limit the program puts on pictures, in one place. A picture
// or file over one of them is refused (or, for the time limits, stopped) as too big, never
// allocated or drawn.

#include <chrono>
#include <cstddef>
#include <cstdint>

namespace pictrova {

// A picture held as a bitmap, read through the image engine or drawn from a metafile: at most
// 32,767 pixels a side (the largest coordinate a metafile can hold) and 64 megapixels (192 MB
// of 24-bit rows). Beyond them a metafile's size is taken as damage.
inline constexpr std::int64_t kMaxPictureSide = 32'767;
inline constexpr std::int64_t kMaxPicturePixels = 64'000'000;

// True when both sides are positive and the picture stays within the side and pixel limits.
constexpr bool PictureSizeAllowed(std::int64_t width, std::int64_t height) noexcept {
    return width > 0 && height > 0 && width <= kMaxPictureSide && height <= kMaxPictureSide &&
           width * height <= kMaxPicturePixels;
}

// The image engine's own side limit sits one pixel outside ours: a picture just over our limit is
// still read far enough for PictureSizeAllowed to refuse it with its size (the skip reason names
// it); anything wider the engine refuses before it allocates.
inline constexpr std::int64_t kEngineMaxSide = kMaxPictureSide + 1;

// The image engine's own resource limits besides the picture size: memory and memory-mapped
// pixel caches, and no pixel cache spilled to disk.
inline constexpr std::int64_t kEngineMemoryMiB = 1024;
inline constexpr std::int64_t kEngineMapMiB = 1024;
inline constexpr std::int64_t kEngineDiskGiB = 0;

// A progressive JPEG names its scans itself, and each one costs a pass over the whole picture:
// encoders write about ten, a hostile file can declare thousands in a few kilobytes. Beyond this
// many the loader's JPEG reader stops and leaves the file to the engine.
inline constexpr int kMaxJpegScans = 100;

// The bytes the records handed out to the workers may hold at once: their field values, the
// pictures decoded from them (24-bit rows, and the engine's copy at 8 bytes a pixel while one is
// read or written) and the encoded outputs waiting for their turn to be written. The reader hands
// out no record while they hold more, whatever the number of workers; a record that alone needs
// more runs with no other in work. Half the engine's memory limit, so the pictures in work stay
// within the engine's process-wide accounting with room for one record that costs more than the
// run's estimate said; a table of ordinary pictures (under a few MB each) still keeps every
// worker busy, while a table of 2000 x 2000 paint pictures (about 60 MB a record in work) keeps
// eight.
inline constexpr std::uint64_t kRecordsInFlightBytes = kEngineMemoryMiB * 1024 * 1024 / 2;

// Files larger than this are not pictures we read (the limit guards the memory the bytes take
// before the engine looks at them).
inline constexpr std::uintmax_t kMaxPictureFileBytes = 512ull * 1024 * 1024;
// The most of a metafile the enhanced-metafile drawing program reads from its input.
inline constexpr std::size_t kMaxMetafileBytes = 256u << 20;

// Playing a metafile costs at most each record painting the whole frame once, so records x frame
// pixels estimates the work. Above 10,000 records on a megapixel frame a metafile is refused
// without being drawn: clip art has hundreds to a few thousand records on frames well under a
// megapixel, and a full-page drawing of 5,000 records at 1,000 x 1,400 pixels costs 7e9. The
// 5,000 full-frame rectangles on an 8000 x 8000 frame that took a minute and 700 MB are 32 times
// over it. The same budget holds for Windows and enhanced metafiles.
inline constexpr std::uint64_t kMaxMetafileCost = 10'000ull * 1'000'000;

// True when a metafile of `records` records on a width x height pixel frame is within the budget.
constexpr bool MetafileCostAllowed(std::uint64_t records, std::int64_t width,
                                   std::int64_t height) noexcept {
    if (width <= 0 || height <= 0)
        return false;
    const auto pixels = static_cast<std::uint64_t>(width) * static_cast<std::uint64_t>(height);
    std::uint64_t cost = 0;
    return !__builtin_mul_overflow(records, pixels, &cost) && cost <= kMaxMetafileCost;
}

// Rendering a Windows metafile, measured with bench_metafile_render on a loaded two-core
// machine: a picture of a few shapes and a line of text takes 0.7 s at 1000 x 1000 pixels and
// 14 s at 4000 x 4000; full-frame shapes cost about 0.18 s per record and megapixel. 20 s covers
// every picture of a plausible size with room for a slower machine; one that runs longer is
// stuck or hostile.
inline constexpr std::chrono::milliseconds kWmfRenderTimeLimit{20'000};
// The enhanced-metafile drawing program stops itself after kEmfDrawCpuSeconds of processor time
// and within kEmfDrawAddressSpaceBytes; kEmfDrawTimeLimit is the wall-clock bound on the whole
// drawing, start-up and fonts included.
inline constexpr std::chrono::milliseconds kEmfDrawTimeLimit{40'000};
inline constexpr unsigned kEmfDrawCpuSeconds = 30;
inline constexpr std::uint64_t kEmfDrawAddressSpaceBytes = 4ull << 30;

// The longest line of a --password-file (a path and a password): a longer one is refused with
// its line number, so a file that is no password file (one without line breaks) is never held
// whole.
inline constexpr std::size_t kMaxPasswordFileLineBytes = 64 * 1024;

// How long an external converter may run for one picture before it is killed.
inline constexpr std::chrono::seconds kDefaultConverterTimeout{120};

}  // namespace pictrova
