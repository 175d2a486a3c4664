// SPDX-License-Identifier: GPL-3.0-or-later
#include "imaging/png_encoder.h"

#include <libdeflate.h>
#include <zlib.h>

#include <algorithm>
#include <array>
#include <memory>
#include <span>

#include "common/byte_reader.h"
#include "common/checked_math.h"
#include "common/error.h"
#include "imaging/png_row_filter.h"

namespace pictrova::imaging {
namespace {

constexpr std::array<std::uint8_t, 8> kSignature = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
constexpr std::size_t kChunkOverhead = 12;  // length, type, CRC
constexpr std::size_t kIhdrDataSize = 13;
constexpr std::uint32_t kMaxChunkData = 0x7FFF'FFFF;

// The libdeflate level for each zlib level (the quality's tens) that gives files no larger in
// total than zlib at that level on photos and paint pictures (bench_png_encoder), at a fraction
// of the time.
constexpr std::array<int, 10> kLevelForZlibLevel = {0, 1, 2, 3, 4, 5, 6, 6, 6, 9};

// libdeflate (1.14) takes short matches that cost more than the literals they replace, so on
// literal-heavy rows (fine noise in a photo) it writes up to 3 % more than zlib's filtered
// strategy. Zlib's run-length strategy, which only looks one pixel back, is fast on such rows and
// as small as zlib at level 8, but larger on drawn pictures. A sample of the rows (blocks spread
// over the picture, this share of it, at least kMinSampleBytes and at most kMaxSampleBytes: a large
// picture's sample is not a copy of an eighth of it) is compressed both ways; the
// run-length strategy is taken only for rows that deflate to more than a quarter of their size
// (literal-heavy ones) and only when it wins on the sample clearly: on a drawn picture it can
// lose a tenth, while libdeflate's loss on noise stays within a few percent.
constexpr std::size_t kSampleShare = 8;
constexpr std::size_t kSampleBlocks = 4;
constexpr std::size_t kMinSampleBytes = 64 * 1024;
constexpr std::size_t kMaxSampleBytes = 4 * 1024 * 1024;
constexpr double kRunLengthMargin = 0.98;

struct CompressorDeleter {
    void operator()(libdeflate_compressor* c) const { libdeflate_free_compressor(c); }
};

// A thread's compressor for `level`, made once and kept: making one takes fresh pages for its
// tables of several hundred kilobytes, as much work as compressing a small picture. Null when
// libdeflate cannot make one.
libdeflate_compressor* CompressorForLevel(int level) {
    thread_local std::array<std::unique_ptr<libdeflate_compressor, CompressorDeleter>, 13> kept;
    auto& compressor = kept[static_cast<std::size_t>(level)];
    if (!compressor)
        compressor.reset(libdeflate_alloc_compressor(level));
    return compressor.get();
}

// A thread's zlib stream for the run-length strategy, made once and reset for each use, for the
// same reason.
class RunLengthStream {
  public:
    RunLengthStream() {
        ready_ = deflateInit2(&z_, Z_BEST_SPEED, Z_DEFLATED, 15, 8, Z_RLE) == Z_OK;
    }
    ~RunLengthStream() {
        if (ready_)
            deflateEnd(&z_);
    }
    RunLengthStream(const RunLengthStream&) = delete;
    RunLengthStream& operator=(const RunLengthStream&) = delete;

    // The stream reset for a new input; null when zlib could not make one.
    z_stream* Reset() { return ready_ && deflateReset(&z_) == Z_OK ? &z_ : nullptr; }

  private:
    z_stream z_{};
    bool ready_ = false;
};

// The colours of a picture of at most 256 of them, each with its palette index. Open addressing
// on the 24-bit colour; 1024 slots keep probes short.
class SmallPalette {
  public:
    static constexpr std::size_t kMaxColours = 256;

    // False once a colour beyond the 256th is met (the table is then no use).
    bool Add(std::uint32_t colour) {
        std::size_t slot = Slot(colour);
        while (keys_[slot] != kEmpty) {
            if (keys_[slot] == colour)
                return true;
            slot = (slot + 1) % kSlots;
        }
        if (colours_.size() == kMaxColours)
            return false;
        keys_[slot] = colour;
        indexes_[slot] = static_cast<std::uint8_t>(colours_.size());
        colours_.push_back(colour);
        return true;
    }

    std::uint8_t IndexOf(std::uint32_t colour) const {
        std::size_t slot = Slot(colour);
        while (keys_[slot] != colour)
            slot = (slot + 1) % kSlots;
        return indexes_[slot];
    }

    const std::vector<std::uint32_t>& colours() const { return colours_; }

  private:
    static constexpr std::size_t kSlots = 1024;
    static constexpr std::uint32_t kEmpty = 0xFFFF'FFFF;
    static std::size_t Slot(std::uint32_t colour) { return (colour * 0x9E37'79B1u) >> 22; }

    std::array<std::uint32_t, kSlots> keys_ = [] {
        std::array<std::uint32_t, kSlots> k{};
        k.fill(kEmpty);
        return k;
    }();
    std::array<std::uint8_t, kSlots> indexes_{};
    std::vector<std::uint32_t> colours_;
};

// Walks the picture's pixels top row first as 0xRRGGBB.
class PixelRows {
  public:
    explicit PixelRows(const cDIBSection& picture)
        : bits_(picture.DIBSectionBitsPtr()),
          width_(static_cast<std::size_t>(picture.dib_width())),
          height_(static_cast<std::size_t>(picture.dib_height())),
          stride_(static_cast<std::size_t>(picture.BytesPerScanLine())),
          channels_(static_cast<std::size_t>(picture.dib_channels())) {}

    std::size_t width() const { return width_; }
    std::size_t height() const { return height_; }
    // The bitmap's BGR(x) bytes of row `y` counted from the top.
    const std::uint8_t* Row(std::size_t y) const { return bits_ + (height_ - 1 - y) * stride_; }
    std::size_t channels() const { return channels_; }

    static std::uint32_t Colour(const std::uint8_t* bgr) {
        return std::uint32_t{bgr[2]} << 16 | std::uint32_t{bgr[1]} << 8 | bgr[0];
    }

  private:
    const std::uint8_t* bits_;
    std::size_t width_, height_, stride_, channels_;
};

struct Layout {
    PngColourType colourType = PngColourType::Rgb;
    std::uint8_t bitDepth = 8;
};

std::uint8_t IndexDepth(std::size_t colours) {
    return colours <= 2 ? 1 : colours <= 4 ? 2 : colours <= 16 ? 4 : 8;
}

// The smallest grey depth at which each present level is exact (level = sample * 255 / max).
std::uint8_t GreyDepth(const std::array<bool, 256>& levels) {
    std::uint8_t depth = 1;
    for (int v = 0; v < 256; ++v) {
        if (!levels[v])
            continue;
        if (v % 17 != 0)
            return 8;
        if (v % 85 != 0)
            depth = 4;
        else if (v % 255 != 0)
            depth = std::max<std::uint8_t>(depth, 2);
    }
    return depth;
}

Layout ChooseLayout(const PixelRows& pixels, SmallPalette& palette) {
    bool grey = true;
    bool fewColours = true;
    std::array<bool, 256> greyLevels{};
    std::uint32_t last = 0xFFFF'FFFF;
    for (std::size_t y = 0; y < pixels.height() && (grey || fewColours); ++y) {
        const std::uint8_t* p = pixels.Row(y);
        for (std::size_t x = 0; x < pixels.width(); ++x, p += pixels.channels()) {
            const std::uint32_t colour = PixelRows::Colour(p);
            if (colour == last)
                continue;
            last = colour;
            if (grey) {
                if (p[0] == p[1] && p[1] == p[2])
                    greyLevels[p[0]] = true;
                else
                    grey = false;
            }
            if (fewColours)
                fewColours = palette.Add(colour);
            if (!grey && !fewColours)
                break;
        }
    }
    const std::uint8_t paletteDepth = IndexDepth(palette.colours().size());
    if (grey) {
        const std::uint8_t greyDepth = GreyDepth(greyLevels);
        if (!fewColours || greyDepth <= paletteDepth)
            return {PngColourType::Grey, greyDepth};
    }
    if (fewColours)
        return {PngColourType::Palette, paletteDepth};
    return {PngColourType::Rgb, 8};
}

// One row of samples in the file's layout (packed most significant bits first below 8 bits).
void PackRow(const PixelRows& pixels, std::size_t y, const Layout& layout,
             const SmallPalette& palette, std::span<std::uint8_t> out) {
    const std::uint8_t* p = pixels.Row(y);
    const std::size_t channels = pixels.channels();
    const std::size_t width = pixels.width();
    if (layout.colourType == PngColourType::Rgb) {
        for (std::size_t x = 0; x < width; ++x, p += channels) {
            out[3 * x] = p[2];
            out[3 * x + 1] = p[1];
            out[3 * x + 2] = p[0];
        }
        return;
    }
    const unsigned depth = layout.bitDepth;
    const unsigned greyStep = 255u / ((1u << depth) - 1u);
    std::fill(out.begin(), out.end(), 0);
    for (std::size_t x = 0; x < width; ++x, p += channels) {
        const unsigned sample = layout.colourType == PngColourType::Grey
                                    ? p[0] / greyStep
                                    : palette.IndexOf(PixelRows::Colour(p));
        const std::size_t bit = x * depth;
        out[bit / 8] |= static_cast<std::uint8_t>(sample << (8 - depth - bit % 8));
    }
}

// The rows as a zlib stream by zlib's run-length strategy into `out` (at most `capacity` bytes);
// 0 when it does not fit. The rows of a picture within the pixel limits fit zlib's 32-bit counts.
std::size_t RunLengthZlib(std::span<const std::uint8_t> data, std::uint8_t* out,
                          std::size_t capacity) {
    thread_local RunLengthStream stream;
    z_stream* const reset = stream.Reset();
    if (reset == nullptr)
        return 0;
    z_stream& z = *reset;
    z.next_in = const_cast<Bytef*>(data.data());
    z.avail_in = CheckedCast<uInt>(data.size());
    z.next_out = out;
    z.avail_out = CheckedCast<uInt>(capacity);
    const int status = deflate(&z, Z_FINISH);
    const std::size_t written = capacity - z.avail_out;
    return status == Z_STREAM_END ? written : 0;
}

// Whether zlib's run-length strategy writes the sample clearly smaller than libdeflate.
bool UseRunLength(libdeflate_compressor* compressor, std::span<const std::uint8_t> rows) {
    const std::size_t sampleSize = std::min(
        {rows.size(), kMaxSampleBytes, std::max(kMinSampleBytes, rows.size() / kSampleShare)});
    std::vector<std::uint8_t> sample;
    sample.reserve(sampleSize);
    const std::size_t block = sampleSize / kSampleBlocks;
    for (std::size_t i = 0; i < kSampleBlocks; ++i) {
        const std::size_t at = (rows.size() - block) * (2 * i + 1) / (2 * kSampleBlocks);
        sample.insert(sample.end(), rows.begin() + static_cast<std::ptrdiff_t>(at),
                      rows.begin() + static_cast<std::ptrdiff_t>(at + block));
    }
    std::vector<std::uint8_t> out(libdeflate_zlib_compress_bound(compressor, sample.size()));
    const std::size_t byLibdeflate =
        libdeflate_zlib_compress(compressor, sample.data(), sample.size(), out.data(), out.size());
    if (byLibdeflate == 0 || byLibdeflate < sample.size() / 4)
        return false;
    const std::size_t byRunLength = RunLengthZlib(sample, out.data(), out.size());
    return byRunLength != 0 &&
           static_cast<double>(byRunLength) < kRunLengthMargin * static_cast<double>(byLibdeflate);
}

void PutU32be(ByteWriter& w, std::uint32_t v) {
    w.u8(static_cast<std::uint8_t>(v >> 24));
    w.u8(static_cast<std::uint8_t>(v >> 16));
    w.u8(static_cast<std::uint8_t>(v >> 8));
    w.u8(static_cast<std::uint8_t>(v));
}

// Writes the length, type and CRC of the chunk at `start` around its data, already in place after
// the 8-byte head. The CRC covers type and data.
void CloseChunk(std::span<std::uint8_t> file, std::size_t start, const char (&type)[5],
                std::size_t dataSize) {
    ByteWriter w(file);
    w.seek(start);
    PutU32be(w, static_cast<std::uint32_t>(dataSize));
    for (int i = 0; i < 4; ++i)
        w.u8(static_cast<std::uint8_t>(type[i]));
    w.seek(start + 8 + dataSize);
    PutU32be(w, libdeflate_crc32(0, file.data() + start + 4, 4 + dataSize));
}

}  // namespace

PngOptions PngOptionsForQuality(std::optional<std::uint32_t> quality) {
    const std::uint32_t q = std::min<std::uint32_t>(quality.value_or(75), 99);
    PngOptions options;
    options.level = kLevelForZlibLevel[q / 10];
    if (q % 10 < 5)
        options.filter = static_cast<std::uint8_t>(q % 10);
    return options;
}

std::vector<std::uint8_t> EncodePng(const cDIBSection& picture, const PngOptions& options) {
    if (picture.dib_width() <= 0 || picture.dib_height() <= 0 || !picture.DIBSectionBitsPtr())
        throw Error("no picture");
    if (options.level < 0 || options.level > 12 || (options.filter && *options.filter > 4))
        throw Error("PNG options out of range");
    const PixelRows pixels(picture);
    SmallPalette palette;
    const Layout layout = ChooseLayout(pixels, palette);

    const std::size_t samplesPerPixel = layout.colourType == PngColourType::Rgb ? 3 : 1;
    const std::size_t rowBytes =
        CheckedAdd<std::size_t>(
            CheckedMul<std::size_t>(CheckedMul(pixels.width(), samplesPerPixel), layout.bitDepth),
            7) /
        8;
    const std::size_t pixelBytes = samplesPerPixel;
    const bool adaptive =
        !options.filter && layout.colourType != PngColourType::Palette && layout.bitDepth == 8;
    const auto fixed = static_cast<PngFilter>(options.filter.value_or(0));

    // Every row with its filter byte, as the zlib stream carries them.
    std::vector<std::uint8_t> filtered(
        CheckedMul(pixels.height(), CheckedAdd<std::size_t>(rowBytes, 1)));
    std::vector<std::uint8_t> rows(2 * rowBytes), scratch(rowBytes);
    std::span<std::uint8_t> previous(rows.data(), rowBytes),
        current(rows.data() + rowBytes, rowBytes);
    for (std::size_t y = 0; y < pixels.height(); ++y) {
        PackRow(pixels, y, layout, palette, current);
        std::uint8_t* line = filtered.data() + y * (rowBytes + 1);
        const std::span<std::uint8_t> out(line + 1, rowBytes);
        PngFilter used = fixed;
        if (adaptive)
            used = FilterPngRowAdaptively(current, previous, pixelBytes, out, scratch);
        else
            FilterPngRow(fixed, current, previous, pixelBytes, out);
        line[0] = static_cast<std::uint8_t>(used);
        std::swap(previous, current);
    }

    libdeflate_compressor* const compressor = CompressorForLevel(options.level);
    if (!compressor)
        throw Error("cannot start the PNG compressor");
    const std::size_t bound = libdeflate_zlib_compress_bound(compressor, filtered.size());
    // The compressor writes into room for the worst case, left uninitialised: only the pages it
    // writes are taken, so a picture that compresses well never holds a second picture's worth.
    const std::unique_ptr<std::uint8_t[]> stream(new std::uint8_t[bound]);
    const std::size_t compressed =
        UseRunLength(compressor, filtered)
            ? RunLengthZlib(filtered, stream.get(), bound)
            : libdeflate_zlib_compress(compressor, filtered.data(), filtered.size(), stream.get(),
                                       bound);
    if (compressed == 0)
        throw Error("the PNG compressor failed");
    if (compressed > kMaxChunkData)
        throw Error("the PNG compressor failed");
    filtered = {};

    const std::size_t paletteBytes = layout.colourType == PngColourType::Palette
                                         ? kChunkOverhead + 3 * palette.colours().size()
                                         : 0;
    const std::size_t ihdrAt = kSignature.size();
    const std::size_t plteAt = ihdrAt + kChunkOverhead + kIhdrDataSize;
    const std::size_t idatAt = plteAt + paletteBytes;
    const std::size_t iendAt = idatAt + kChunkOverhead + compressed;
    std::vector<std::uint8_t> file(iendAt + kChunkOverhead);
    ByteWriter w(file);
    w.bytes(kSignature);

    w.seek(ihdrAt + 8);
    PutU32be(w, static_cast<std::uint32_t>(pixels.width()));
    PutU32be(w, static_cast<std::uint32_t>(pixels.height()));
    w.u8(layout.bitDepth);
    w.u8(static_cast<std::uint8_t>(layout.colourType));
    w.u8(0);  // deflate
    w.u8(0);  // adaptive filtering, five filters
    w.u8(0);  // not interlaced
    CloseChunk(file, ihdrAt, "IHDR", kIhdrDataSize);

    if (paletteBytes != 0) {
        w.seek(plteAt + 8);
        for (const std::uint32_t colour : palette.colours()) {
            w.u8(static_cast<std::uint8_t>(colour >> 16));
            w.u8(static_cast<std::uint8_t>(colour >> 8));
            w.u8(static_cast<std::uint8_t>(colour));
        }
        CloseChunk(file, plteAt, "PLTE", 3 * palette.colours().size());
    }

    w.seek(idatAt + 8);
    w.bytes(std::span<const std::uint8_t>(stream.get(), compressed));
    CloseChunk(file, idatAt, "IDAT", compressed);
    CloseChunk(file, iendAt, "IEND", 0);
    return file;
}

}  // namespace pictrova::imaging
