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

// What drawing a metafile costs its renderer, counted from the records before anything is drawn
// (imaging/metafile_cost.h counts them).
struct MetafileWork {
    std::uint64_t framePixels = 0;   // the picture: cleared, drawn on, copied out
    std::uint64_t records = 0;       // records played
    std::uint64_t points = 0;        // corners of polygons and lines
    std::uint64_t characters = 0;    // characters of text
    std::uint64_t filledPixels = 0;  // inside filled shapes' boxes, blits and region fills
    std::uint64_t edgeRows = 0;      // polygons: pixel rows each edge spans, summed
    std::uint64_t edgePixels = 0;    // polygons: their edge rows x their width
    std::uint64_t edgePairs = 0;     // polygons and lines: pairs of edges that may cross
};

// Nanoseconds of drawing per unit of work, for one renderer.
struct MetafileCostRates {
    double perPicture;  // starting the renderer
    double perFramePixel;
    double perRecord;
    double perPoint;
    double perCharacter;
    double perFilledPixel;
    double perEdgeRow;
    double perEdgePixel;
    double perEdgePair;
};

// Fitted by bench_metafile_render (least squares, rounded up) on the two-core development
// machine while other builds ran, so a quiet machine draws faster than estimated: empty frames of
// 0.25 to 9 megapixels, up to 30,000 records that draw nothing, star and tangled polygons of up
// to 10,000 points, text of up to 20,000 characters (a twentieth of the frame high) and up to
// 150 full-frame fills.
//
// The engine's reader fills a polygon by testing, at every pixel of the polygon's box, each edge
// that crosses the pixel's row: a polygon costs its edge rows x its width (20 ns a pixel), which
// is what made a star of 10,000 points on 1000 x 1000 pixels run past the time limit. Text costs
// a quarter of a millisecond a character, fills 130 ns a pixel, the frame itself 190.
inline constexpr MetafileCostRates kWmfCostRates{
    .perPicture = 60e6,
    .perFramePixel = 190,
    .perRecord = 1'200,
    .perPoint = 1'000,
    .perCharacter = 250'000,
    .perFilledPixel = 130,
    .perEdgeRow = 0,
    .perEdgePixel = 22,
    .perEdgePair = 0,
};
// The enhanced-metafile program starts in 0.2 s and fills almost for free (1.5 ns a pixel), but
// turns every record into SVG text and parses it again: per point, per character and per edge
// row. Where polygon edges cross, its filling finds every crossing: a tangled polygon of 3,000
// points took 1.2 s, one of 10,000 over 40 s. The crossings are not known before drawing, so
// every pair of a record's edges is charged as if it crossed, at the rate that covers the
// tangled polygons measured (the fitted rate, tens of nanoseconds, covers only small ones): a
// polygon of more than about 7,000 points is refused whatever its shape.
inline constexpr MetafileCostRates kEmfCostRates{
    .perPicture = 200e6,
    .perFramePixel = 95,
    .perRecord = 1'000,
    .perPoint = 20'000,
    .perCharacter = 60'000,
    .perFilledPixel = 1.5,
    .perEdgeRow = 2'500,
    .perEdgePixel = 0,
    .perEdgePair = 200,
};

// A metafile whose estimate is over 5 s is refused without being drawn, as too costly: within
// it every picture is drawn in a few seconds here and well inside the time limits below on a
// slower or busier machine. Clip art and drawings (hundreds to thousands of shapes of a few per
// cent of a frame under a megapixel) estimate well under a second; an empty frame reaches the
// budget at about 25 megapixels for standard and 50 for enhanced metafiles.
inline constexpr double kMaxMetafileRenderNanoseconds = 5e9;

// The estimated drawing time of `work`, in nanoseconds.
constexpr double MetafileRenderNanoseconds(const MetafileWork& work,
                                           const MetafileCostRates& rates) noexcept {
    return rates.perPicture + rates.perFramePixel * static_cast<double>(work.framePixels) +
           rates.perRecord * static_cast<double>(work.records) +
           rates.perPoint * static_cast<double>(work.points) +
           rates.perCharacter * static_cast<double>(work.characters) +
           rates.perFilledPixel * static_cast<double>(work.filledPixels) +
           rates.perEdgeRow * static_cast<double>(work.edgeRows) +
           rates.perEdgePixel * static_cast<double>(work.edgePixels) +
           rates.perEdgePair * static_cast<double>(work.edgePairs);
}

// True when drawing `work` is estimated within the budget.
constexpr bool MetafileCostAllowed(const MetafileWork& work,
                                   const MetafileCostRates& rates) noexcept {
    return MetafileRenderNanoseconds(work, rates) <= kMaxMetafileRenderNanoseconds;
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

// How many of extract-all's manifest entries are written before they are flushed to disk
// together (and again when the batch ends). A crash loses at most this many databases' "complete"
// marks, and those databases are extracted again; one flush per database cost more than the
// rest of a small database's manifest work.
inline constexpr int kManifestEntriesPerFlush = 64;

// How much of what one started program writes to its standard output and error is kept (the
// end of it) as the messages of the record that started it: a program that writes without end
// costs no memory.
inline constexpr std::size_t kMaxChildOutputBytes = 4096;

// How long an external converter may run for one picture before it is killed.
inline constexpr std::chrono::seconds kDefaultConverterTimeout{120};

// Database pages are read ahead in blocks of this size while the pages read follow each other
// (long values and table scans read runs of neighbouring pages).
inline constexpr std::size_t kPageReadAheadBytes = 64 * 1024;

}  // namespace pictrova
