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
// as small as zlib at level 8, but larger on drawn pictures. A sample of the rows (bands spread
// over the picture, this share of it, at least kMinSampleBytes and at most kMaxSampleBytes: a large
// picture's sample is not a copy of an eighth of it) is compressed both ways; the run-length
// strategy is taken only for rows that deflate to more than a quarter of their size
// (literal-heavy ones) and only when it wins on the sample clearly: on a drawn picture it can
// lose a tenth, while libdeflate's loss on noise stays within a few percent. Run-length goes
// first, as it is the cheaper: rows it already writes in under a quarter are not literal-heavy,
// and libdeflate is taken without trying it. A picture no larger than its sample is compressed
// whole in the trial, and the winner's stream is the file's.
constexpr std::size_t kSampleShare = 8;
constexpr std::size_t kSampleBlocks = 4;
constexpr std::size_t kMinSampleBytes = 32 * 1024;
constexpr std::size_t kMaxSampleBytes = 4 * 1024 * 1024;
constexpr double kRunLengthMargin = 0.98;

// Rows filtered at a time for zlib's run-length strategy: the filtered picture is never held whole
// on that path.
constexpr std::size_t kBandBytes = 64 * 1024;

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

std::size_t RowBytes(std::size_t width, const Layout& layout) {
    const std::size_t samplesPerPixel = layout.colourType == PngColourType::Rgb ? 3 : 1;
    return CheckedAdd<std::size_t>(
               CheckedMul<std::size_t>(CheckedMul(width, samplesPerPixel), layout.bitDepth), 7) /
           8;
}

// The picture's rows as the zlib stream carries them, each after its filter byte, filtered a band
// at a time. A band that starts where the last one ended takes that band's last row as the row
// above; any other band packs the row above again.
class RowFilter {
  public:
    RowFilter(const PixelRows& pixels, const Layout& layout, const SmallPalette& palette,
              const PngOptions& options)
        : pixels_(pixels),
          layout_(layout),
          palette_(palette),
          rowBytes_(RowBytes(pixels.width(), layout)),
          pixelBytes_(layout.colourType == PngColourType::Rgb ? 3 : 1),
          adaptive_(!options.filter && layout.colourType != PngColourType::Palette &&
                    layout.bitDepth == 8),
          fixed_(static_cast<PngFilter>(options.filter.value_or(0))),
          rows_(2 * rowBytes_),
          scratch_(rowBytes_),
          previous_(rows_.data(), rowBytes_),
          current_(rows_.data() + rowBytes_, rowBytes_) {}

    std::size_t height() const { return pixels_.height(); }
    std::size_t lineBytes() const { return rowBytes_ + 1; }
    std::size_t totalBytes() const { return CheckedMul(height(), lineBytes()); }

    // Rows `first` to `first + count` into `out`, which has room for `count` lines.
    void Filter(std::size_t first, std::size_t count, std::uint8_t* out) {
        if (first != next_) {
            if (first == 0)
                std::fill(previous_.begin(), previous_.end(), 0);
            else
                PackRow(pixels_, first - 1, layout_, palette_, previous_);
        }
        for (std::size_t y = first; y < first + count; ++y, out += lineBytes()) {
            PackRow(pixels_, y, layout_, palette_, current_);
            const std::span<std::uint8_t> filtered(out + 1, rowBytes_);
            PngFilter used = fixed_;
            if (adaptive_)
                used = FilterPngRowAdaptively(current_, previous_, pixelBytes_, filtered, scratch_);
            else
                FilterPngRow(fixed_, current_, previous_, pixelBytes_, filtered);
            out[0] = static_cast<std::uint8_t>(used);
            std::swap(previous_, current_);
        }
        next_ = first + count;
    }

  private:
    const PixelRows& pixels_;
    const Layout layout_;
    const SmallPalette& palette_;
    const std::size_t rowBytes_;
    const std::size_t pixelBytes_;
    const bool adaptive_;
    const PngFilter fixed_;
    std::vector<std::uint8_t> rows_, scratch_;
    std::span<std::uint8_t> previous_, current_;
    std::size_t next_ = 0;
};

// Zlib's run-length strategy into `out` (at most `capacity` bytes) over input that `feed` gives
// band by band (it points the stream at the next band and says whether it is the last); 0 when the
// stream does not fit. The rows of a picture within the pixel limits fit zlib's 32-bit counts.
template <typename Feed>
std::size_t RunLengthZlib(std::uint8_t* out, std::size_t capacity, Feed feed) {
    thread_local RunLengthStream stream;
    z_stream* const z = stream.Reset();
    if (z == nullptr)
        return 0;
    z->next_out = out;
    z->avail_out = CheckedCast<uInt>(capacity);
    bool last = false;
    while (!last) {
        last = feed(*z);
        const int status = deflate(z, last ? Z_FINISH : Z_NO_FLUSH);
        if (last ? status != Z_STREAM_END : status != Z_OK || z->avail_in != 0)
            return 0;
    }
    return capacity - z->avail_out;
}

std::size_t RunLengthZlib(std::span<const std::uint8_t> data, std::uint8_t* out,
                          std::size_t capacity) {
    return RunLengthZlib(out, capacity, [&](z_stream& z) {
        z.next_in = const_cast<Bytef*>(data.data());
        z.avail_in = CheckedCast<uInt>(data.size());
        return true;
    });
}

// All rows by zlib's run-length strategy, filtered a band at a time.
std::size_t RunLengthRows(RowFilter& rows, std::uint8_t* out, std::size_t capacity) {
    const std::size_t bandRows = std::max<std::size_t>(1, kBandBytes / rows.lineBytes());
    std::vector<std::uint8_t> band(CheckedMul(bandRows, rows.lineBytes()));
    std::size_t first = 0;
    return RunLengthZlib(out, capacity, [&](z_stream& z) {
        const std::size_t count = std::min(bandRows, rows.height() - first);
        rows.Filter(first, count, band.data());
        first += count;
        z.next_in = band.data();
        z.avail_in = CheckedCast<uInt>(count * rows.lineBytes());
        return first == rows.height();
    });
}

std::size_t Libdeflate(libdeflate_compressor* compressor, std::span<const std::uint8_t> data,
                       std::uint8_t* out, std::size_t capacity) {
    return libdeflate_zlib_compress(compressor, data.data(), data.size(), out, capacity);
}

// The rows the compressor trial looks at: bands spread over the picture, or every row when the
// picture is no larger than its sample.
std::vector<std::uint8_t> TrialSample(RowFilter& rows) {
    const std::size_t total = rows.totalBytes();
    const std::size_t size =
        std::min({total, kMaxSampleBytes, std::max(kMinSampleBytes, total / kSampleShare)});
    const std::size_t bandRows = std::max<std::size_t>(1, size / kSampleBlocks / rows.lineBytes());
    const bool whole = size == total || bandRows * kSampleBlocks >= rows.height();
    std::vector<std::uint8_t> sample(
        whole ? total : CheckedMul(bandRows * kSampleBlocks, rows.lineBytes()));
    if (whole) {
        rows.Filter(0, rows.height(), sample.data());
        return sample;
    }
    for (std::size_t i = 0; i < kSampleBlocks; ++i) {
        const std::size_t first = (rows.height() - bandRows) * (2 * i + 1) / (2 * kSampleBlocks);
        rows.Filter(first, bandRows, sample.data() + i * bandRows * rows.lineBytes());
    }
    return sample;
}

// Compresses the picture's rows into `out` (room for libdeflate's bound of all rows) by the
// deflater the trial picks; the stream's size, 0 when a compressor failed.
std::size_t CompressRows(RowFilter& rows, libdeflate_compressor* compressor, std::uint8_t* out,
                         std::size_t capacity) {
    const std::vector<std::uint8_t> sample = TrialSample(rows);
    const bool whole = sample.size() == rows.totalBytes();
    std::vector<std::uint8_t> trial(libdeflate_zlib_compress_bound(compressor, sample.size()));
    // A whole picture's run-length trial goes into `out`: when it wins, it is the file's stream.
    const std::size_t byRunLength = whole ? RunLengthZlib(sample, out, capacity)
                                          : RunLengthZlib(sample, trial.data(), trial.size());
    bool runLength = false;
    if (byRunLength == 0 || byRunLength >= sample.size() / 4) {
        const std::size_t byLibdeflate = Libdeflate(compressor, sample, trial.data(), trial.size());
        runLength =
            byRunLength != 0 && byLibdeflate != 0 && byLibdeflate >= sample.size() / 4 &&
            static_cast<double>(byRunLength) < kRunLengthMargin * static_cast<double>(byLibdeflate);
        if (whole && !runLength) {
            if (byLibdeflate == 0 || byLibdeflate > capacity)
                return 0;
            std::copy_n(trial.data(), byLibdeflate, out);
            return byLibdeflate;
        }
    }
    if (whole)
        return runLength ? byRunLength : Libdeflate(compressor, sample, out, capacity);
    if (runLength)
        return RunLengthRows(rows, out, capacity);
    std::vector<std::uint8_t> filtered(rows.totalBytes());
    rows.Filter(0, rows.height(), filtered.data());
    return Libdeflate(compressor, filtered, out, capacity);
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

    RowFilter rows(pixels, layout, palette, options);
    libdeflate_compressor* const compressor = CompressorForLevel(options.level);
    if (!compressor)
        throw Error("cannot start the PNG compressor");
    const std::size_t bound = libdeflate_zlib_compress_bound(compressor, rows.totalBytes());
    // The compressor writes into room for the worst case, left uninitialised: only the pages it
    // writes are taken, so a picture that compresses well never holds a second picture's worth.
    const std::unique_ptr<std::uint8_t[]> stream(new std::uint8_t[bound]);
    const std::size_t compressed = CompressRows(rows, compressor, stream.get(), bound);
    if (compressed == 0)
        throw Error("the PNG compressor failed");
    if (compressed > kMaxChunkData)
        throw Error("the PNG compressor failed");

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
