// SPDX-License-Identifier: GPL-3.0-or-later
#include "imaging/gif_encoder.h"

#include <gif_lib.h>
#include <libimagequant.h>

#include <algorithm>
#include <array>
#include <memory>
#include <optional>
#include <string>

#include "common/checked_math.h"
#include "common/error.h"

namespace pictrova::imaging {
namespace {

// libimagequant chooses the palette from a grid of at most this many pixels spread over the
// picture: a photo's palette hardly changes with more, and the time stays flat for large pictures.
constexpr std::size_t kPaletteSamplePixels = std::size_t{1} << 15;
// Speed 8 keeps k-means refinement light; the error diffusion over the whole picture does the rest.
// (From 8 on the library also drops each sampled channel's lowest bit; pictures whose colours must
// stay exact never reach it.)
constexpr int kQuantizerSpeed = 8;
constexpr liq_color kWhite{255, 255, 255, 255};
constexpr liq_color kBlack{0, 0, 0, 255};

// libimagequant runs its loops on OpenMP threads. A conversion keeps to the calling thread: a
// caller that wants parallel work converts several pictures at once, and on a busy machine the
// library's waiting threads cost more than they give (2 to 3 times the time, measured). The setting
// is the calling thread's own and is put back afterwards. Declared weak: the OpenMP runtime comes
// in with libimagequant, and without one there is nothing to set.
extern "C" {
int omp_get_max_threads() __attribute__((weak));
void omp_set_num_threads(int) __attribute__((weak));
}

class OneQuantizerThread {
  public:
    OneQuantizerThread() {
        if (omp_get_max_threads != nullptr && omp_set_num_threads != nullptr) {
            previous_ = omp_get_max_threads();
            omp_set_num_threads(1);
        }
    }
    ~OneQuantizerThread() {
        if (previous_ > 0)
            omp_set_num_threads(previous_);
    }
    OneQuantizerThread(const OneQuantizerThread&) = delete;
    OneQuantizerThread& operator=(const OneQuantizerThread&) = delete;

  private:
    int previous_ = 0;
};

struct AttrDeleter {
    void operator()(liq_attr* p) const { liq_attr_destroy(p); }
};
struct ImageDeleter {
    void operator()(liq_image* p) const { liq_image_destroy(p); }
};
struct ResultDeleter {
    void operator()(liq_result* p) const { liq_result_destroy(p); }
};
struct MapDeleter {
    void operator()(ColorMapObject* p) const { GifFreeMapObject(p); }
};

using PaletteColour = std::array<std::uint8_t, 3>;

// The pixels the quantizer reads, where they already are: packed RGB rows, or the bitmap's own
// rows (bottom row first, blue-green-red, 3 or 4 bytes a pixel), so a large picture is never
// copied before it is reduced.
struct PixelRows {
    const std::uint8_t* top;       // the top row's first pixel
    std::ptrdiff_t stride;         // from one row to the one below it
    std::size_t pixelBytes;        // 3 or 4
    std::size_t red, green, blue;  // each channel's byte within a pixel
    std::size_t width, height;

    const std::uint8_t* Row(std::size_t y) const {
        return top + stride * static_cast<std::ptrdiff_t>(y);
    }
    std::uint32_t KeyAt(const std::uint8_t* pixel) const {
        return (std::uint32_t{pixel[red]} << 16) | (std::uint32_t{pixel[green]} << 8) | pixel[blue];
    }
};

PixelRows RowsOf(const RgbPixels& pixels) {
    return {
        pixels.rgb.data(), static_cast<std::ptrdiff_t>(pixels.width) * 3, 3, 0, 1, 2, pixels.width,
        pixels.height};
}

PixelRows RowsOf(const cDIBSection& picture) {
    const auto height = static_cast<std::size_t>(picture.dib_height());
    const auto stride = static_cast<std::ptrdiff_t>(picture.BytesPerScanLine());
    return {picture.DIBSectionBitsPtr() + (static_cast<std::ptrdiff_t>(height) - 1) * stride,
            -stride,
            static_cast<std::size_t>(picture.dib_channels()),
            2,
            1,
            0,
            static_cast<std::size_t>(picture.dib_width()),
            height};
}

// The palette's index for every pixel, top row first, and the palette itself.
struct IndexedPicture {
    std::vector<std::uint8_t> indexes;
    std::vector<PaletteColour> palette;
};

[[noreturn]] void QuantizerFailed(liq_error error) {
    throw Error("the colour quantizer failed (libimagequant error " +
                std::to_string(static_cast<int>(error)) + ")");
}

// The picture with its own colours as the palette, or nothing when it has more than
// `maxColours`. Stops at the first colour too many, so a photo costs only a few hundred pixels.
std::optional<IndexedPicture> ExactColours(const PixelRows& pixels, std::size_t count,
                                           std::uint32_t maxColours) {
    // Open addressing over 1024 slots (at most 256 used); a slot holds key + 1, 0 when empty.
    constexpr std::uint32_t kSlots = 1024;
    std::array<std::uint32_t, kSlots> keys{};
    std::array<std::uint8_t, kSlots> slotIndex{};
    IndexedPicture out;
    out.indexes.resize(count);
    std::uint32_t lastKey = 0xFFFFFFFF;
    std::uint8_t lastIndex = 0;
    std::uint8_t* index = out.indexes.data();
    for (std::size_t y = 0; y < pixels.height; ++y) {
        const std::uint8_t* p = pixels.Row(y);
        for (std::size_t x = 0; x < pixels.width; ++x, p += pixels.pixelBytes) {
            const std::uint32_t key = pixels.KeyAt(p);
            if (key != lastKey) {
                std::uint32_t slot = (key * 2654435761u) >> 22;
                while (keys[slot] != 0 && keys[slot] != key + 1)
                    slot = (slot + 1) % kSlots;
                if (keys[slot] == 0) {
                    if (out.palette.size() == maxColours)
                        return std::nullopt;
                    keys[slot] = key + 1;
                    slotIndex[slot] = static_cast<std::uint8_t>(out.palette.size());
                    out.palette.push_back({p[pixels.red], p[pixels.green], p[pixels.blue]});
                }
                lastKey = key;
                lastIndex = slotIndex[slot];
            }
            *index++ = lastIndex;
        }
    }
    return out;
}

// A palette of at most `options.colours` entries chosen by libimagequant from a grid of pixels
// over the picture, white and black among them when `keep` names them.
std::vector<PaletteColour> ChoosePalette(const PixelRows& pixels, const GifOptions& options,
                                         std::span<const liq_color> keep) {
    // Every step-th pixel of every step-th row: a grid over the whole picture.
    std::size_t step = 1;
    while (CheckedMul<std::size_t>(pixels.width, pixels.height) / (step * step) >
           kPaletteSamplePixels)
        ++step;
    const std::size_t sampleWidth = (pixels.width + step - 1) / step;
    const std::size_t sampleHeight = (pixels.height + step - 1) / step;
    // libimagequant reads RGBA; the picture is opaque.
    std::vector<std::uint8_t> rgba(
        CheckedMul<std::size_t>(CheckedMul<std::size_t>(sampleWidth, sampleHeight), 4));
    std::uint8_t* dst = rgba.data();
    for (std::size_t y = 0; y < pixels.height; y += step) {
        const std::uint8_t* row = pixels.Row(y);
        for (std::size_t x = 0; x < pixels.width; x += step) {
            const std::uint8_t* p = row + x * pixels.pixelBytes;
            dst[0] = p[pixels.red];
            dst[1] = p[pixels.green];
            dst[2] = p[pixels.blue];
            dst[3] = 255;
            dst += 4;
        }
    }

    std::unique_ptr<liq_attr, AttrDeleter> attr(liq_attr_create());
    if (!attr)
        throw Error("the colour quantizer cannot start");
    if (liq_error e = liq_set_max_colors(attr.get(), static_cast<int>(options.colours));
        e != LIQ_OK)
        QuantizerFailed(e);
    if (liq_error e = liq_set_speed(attr.get(), kQuantizerSpeed); e != LIQ_OK)
        QuantizerFailed(e);
    std::unique_ptr<liq_image, ImageDeleter> image(liq_image_create_rgba(
        attr.get(), rgba.data(), static_cast<int>(sampleWidth), static_cast<int>(sampleHeight), 0));
    if (!image)
        throw Error("the colour quantizer refused the picture");
    for (const liq_color& colour : keep)
        liq_image_add_fixed_color(image.get(), colour);

    liq_result* rawResult = nullptr;
    const OneQuantizerThread oneThread;
    if (liq_error e = liq_image_quantize(image.get(), attr.get(), &rawResult); e != LIQ_OK)
        QuantizerFailed(e);
    std::unique_ptr<liq_result, ResultDeleter> result(rawResult);
    const liq_palette& palette = *liq_get_palette(result.get());
    std::vector<PaletteColour> colours;
    for (unsigned i = 0; i < palette.count; ++i) {
        colours.push_back({palette.entries[i].r, palette.entries[i].g, palette.entries[i].b});
    }
    return colours;
}

// The nearest palette entry of every colour, as a table over a 32 x 32 x 32 grid on the colour
// cube (each cell takes the entry nearest its centre). Filling it walks the palette in order of
// green outwards from the cell's green and stops when green alone is farther than the best entry.
class NearestEntry {
  public:
    explicit NearestEntry(std::span<const PaletteColour> palette) : cells_(kCells) {
        std::vector<Entry> byGreen;
        for (std::size_t i = 0; i < palette.size(); ++i) {
            byGreen.push_back(
                {palette[i][1], palette[i][0], palette[i][2], static_cast<std::uint8_t>(i)});
        }
        std::sort(byGreen.begin(), byGreen.end(),
                  [](const Entry& a, const Entry& b) { return a.g < b.g; });
        for (std::size_t cell = 0; cell < kCells; ++cell) {
            cells_[cell] = Search(byGreen, static_cast<int>(cell >> 10) * 8 + 4,
                                  static_cast<int>((cell >> 5) & 31) * 8 + 4,
                                  static_cast<int>(cell & 31) * 8 + 4);
        }
    }

    std::uint8_t operator()(int r, int g, int b) const {
        return cells_[(static_cast<std::size_t>(r >> 3) << 10) |
                      (static_cast<std::size_t>(g >> 3) << 5) | static_cast<std::size_t>(b >> 3)];
    }

  private:
    static constexpr std::size_t kCells = 32 * 32 * 32;

    struct Entry {
        int g, r, b;
        std::uint8_t index;
    };

    static std::uint8_t Search(const std::vector<Entry>& byGreen, int r, int g, int b) {
        const auto start = std::lower_bound(byGreen.begin(), byGreen.end(), g,
                                            [](const Entry& e, int green) { return e.g < green; });
        std::uint8_t best = 0;
        int bestDistance = 1 << 30;
        auto consider = [&](const Entry& e) {
            const int dg = e.g - g;
            if (dg * dg >= bestDistance)
                return false;
            const int dr = e.r - r, db = e.b - b;
            const int distance = dr * dr + dg * dg + db * db;
            if (distance < bestDistance) {
                bestDistance = distance;
                best = e.index;
            }
            return true;
        };
        auto up = start;
        auto down = start;
        bool goingUp = true, goingDown = true;
        while (goingUp || goingDown) {
            if (goingUp)
                goingUp = up != byGreen.end() && consider(*up++);
            if (goingDown)
                goingDown = down != byGreen.begin() && consider(*--down);
        }
        return best;
    }

    std::vector<std::uint8_t> cells_;
};

std::optional<std::uint8_t> PaletteIndexOf(std::span<const PaletteColour> palette,
                                           const liq_color& c) {
    for (std::size_t i = 0; i < palette.size(); ++i) {
        if (palette[i] == PaletteColour{c.r, c.g, c.b})
            return static_cast<std::uint8_t>(i);
    }
    return std::nullopt;
}

// Every pixel mapped onto the palette. With `dither`, Floyd-Steinberg error diffusion in
// alternating directions (the error kept in sixteenths); without, the nearest entry. Pixels of
// exactly white or black take that entry and pass no error on.
std::vector<std::uint8_t> MapOntoPalette(const PixelRows& pixels,
                                         std::span<const PaletteColour> palette, bool dither) {
    const std::size_t width = pixels.width;
    const std::optional<std::uint8_t> white = PaletteIndexOf(palette, kWhite);
    const std::optional<std::uint8_t> black = PaletteIndexOf(palette, kBlack);
    const bool keepsExtremes = white || black;
    const NearestEntry nearest(palette);
    std::vector<std::uint8_t> indexes(width * pixels.height);
    const std::size_t pixelBytes = pixels.pixelBytes;
    const std::size_t red = pixels.red, green = pixels.green, blue = pixels.blue;
    if (!dither) {
        std::uint8_t* index = indexes.data();
        for (std::size_t y = 0; y < pixels.height; ++y) {
            const std::uint8_t* p = pixels.Row(y);
            for (std::size_t x = 0; x < width; ++x, p += pixelBytes)
                *index++ = nearest(p[red], p[green], p[blue]);
        }
    }
    // The error each pixel receives from the row above, in sixteenths, with one spare pixel each
    // side; making a row fills the next row's. Within a row the error passed ahead and the shares
    // of the two pixels below that are still collecting stay in locals: the chain from one pixel
    // to the next is the critical path.
    std::vector<int> errorHere(dither ? (width + 2) * 3 : 0, 0);
    std::vector<int> errorNext(errorHere.size(), 0);
    for (std::size_t y = 0; dither && y < pixels.height; ++y) {
        const bool forward = y % 2 == 0;
        const std::ptrdiff_t dir = forward ? 1 : -1;
        int aheadR = 0, aheadG = 0, aheadB = 0;     // 7/16 of the previous pixel's error
        int behindR = 0, behindG = 0, behindB = 0;  // collected so far below the previous pixel
        int belowR = 0, belowG = 0, belowB = 0;     // collected so far below this pixel
        std::ptrdiff_t x = forward ? 0 : static_cast<std::ptrdiff_t>(width) - 1;
        const std::uint8_t* rowPixels = pixels.Row(y);
        std::uint8_t* rowIndexes = indexes.data() + y * width;
        const int* above = errorHere.data() + 3;
        int* next = errorNext.data() + 3;
        for (std::size_t step = 0; step < width; ++step, x += dir) {
            const std::uint8_t* p = rowPixels + static_cast<std::ptrdiff_t>(pixelBytes) * x;
            int er = 0, eg = 0, eb = 0;
            bool kept = false;
            if (keepsExtremes) {
                const std::uint32_t key = pixels.KeyAt(p);
                if ((white && key == 0xFFFFFF) || (black && key == 0)) {
                    rowIndexes[x] = key == 0 ? *black : *white;
                    kept = true;
                }
            }
            if (!kept) {
                const int* a = above + 3 * x;
                const int r = std::clamp(p[red] + ((a[0] + aheadR + 8) >> 4), 0, 255);
                const int g = std::clamp(p[green] + ((a[1] + aheadG + 8) >> 4), 0, 255);
                const int b = std::clamp(p[blue] + ((a[2] + aheadB + 8) >> 4), 0, 255);
                const std::uint8_t index = nearest(r, g, b);
                rowIndexes[x] = index;
                er = r - palette[index][0];
                eg = g - palette[index][1];
                eb = b - palette[index][2];
            }
            // The pixel below the previous one has all its shares now.
            int* done = next + 3 * (x - dir);
            done[0] = behindR + er * 3;
            done[1] = behindG + eg * 3;
            done[2] = behindB + eb * 3;
            behindR = belowR + er * 5;
            behindG = belowG + eg * 5;
            behindB = belowB + eb * 5;
            belowR = er;
            belowG = eg;
            belowB = eb;
            aheadR = er * 7;
            aheadG = eg * 7;
            aheadB = eb * 7;
        }
        int* last = next + 3 * (x - dir);
        last[0] = behindR;
        last[1] = behindG;
        last[2] = behindB;
        std::swap(errorHere, errorNext);
    }
    return indexes;
}

IndexedPicture Quantize(const PixelRows& pixels, const GifOptions& options, std::size_t count) {
    if (std::optional<IndexedPicture> exact = ExactColours(pixels, count, options.colours))
        return std::move(*exact);

    // Pure white and black are the colours a reader notices first when they shift.
    bool hasWhite = false;
    bool hasBlack = false;
    for (std::size_t y = 0; y < pixels.height && !(hasWhite && hasBlack); ++y) {
        const std::uint8_t* p = pixels.Row(y);
        for (std::size_t x = 0; x < pixels.width; ++x, p += pixels.pixelBytes) {
            const std::uint32_t key = pixels.KeyAt(p);
            hasWhite = hasWhite || key == 0xFFFFFF;
            hasBlack = hasBlack || key == 0;
        }
    }
    std::vector<liq_color> keep;
    if (hasWhite)
        keep.push_back(kWhite);
    if (hasBlack)
        keep.push_back(kBlack);

    IndexedPicture out;
    out.palette = ChoosePalette(pixels, options, keep);
    out.indexes = MapOntoPalette(pixels, out.palette, options.dither);
    return out;
}

int AppendToVector(GifFileType* gif, const GifByteType* data, int length) {
    auto* bytes = static_cast<std::vector<std::uint8_t>*>(gif->UserData);
    bytes->insert(bytes->end(), data, data + length);
    return length;
}

void CheckSize(std::uint32_t width, std::uint32_t height) {
    if (width == 0 || height == 0)
        throw Error("a GIF needs at least one pixel");
    if (width > kMaxGifSide || height > kMaxGifSide)
        throw Error("picture too large for a GIF");
}

void CheckRequest(std::uint32_t width, std::uint32_t height, const GifOptions& options) {
    CheckSize(width, height);
    if (options.colours < 2 || options.colours > 256)
        throw Error("a GIF palette holds 2 to 256 colours");
}

std::vector<std::uint8_t> WriteGif(const IndexedPixels& pixels) {
    // A GIF colour table holds a power of two entries, at least 2.
    int tableSize = 2;
    while (tableSize < static_cast<int>(pixels.palette.size()))
        tableSize *= 2;
    std::vector<GifColorType> table(static_cast<std::size_t>(tableSize), GifColorType{0, 0, 0});
    for (std::size_t i = 0; i < pixels.palette.size(); ++i) {
        table[i] = GifColorType{pixels.palette[i][0], pixels.palette[i][1], pixels.palette[i][2]};
    }
    std::unique_ptr<ColorMapObject, MapDeleter> map(GifMakeMapObject(tableSize, table.data()));
    if (!map)
        throw Error("cannot make the GIF colour table");

    std::vector<std::uint8_t> bytes;
    int error = 0;
    GifFileType* gif = EGifOpen(&bytes, AppendToVector, &error);
    if (gif == nullptr)
        throw Error(std::string("cannot start the GIF writer: ") + GifErrorString(error));
    const int width = static_cast<int>(pixels.width);
    const int height = static_cast<int>(pixels.height);
    bool written = EGifPutScreenDesc(gif, width, height, 8, 0, map.get()) == GIF_OK &&
                   EGifPutImageDesc(gif, 0, 0, width, height, false, nullptr) == GIF_OK;
    for (int y = 0; written && y < height; ++y) {
        // giflib takes the row as non-const but only reads it.
        auto* row = const_cast<GifPixelType*>(pixels.indexes.data() +
                                              static_cast<std::size_t>(y) * pixels.width);
        written = EGifPutLine(gif, row, width) == GIF_OK;
    }
    const int failure = written ? 0 : gif->Error;
    if (EGifCloseFile(gif, &error) != GIF_OK && written) {
        throw Error(std::string("the GIF writer failed: ") + GifErrorString(error));
    }
    if (!written)
        throw Error(std::string("the GIF writer failed: ") + GifErrorString(failure));
    return bytes;
}

}  // namespace

std::vector<std::uint8_t> EncodeGif(const RgbPixels& pixels, const GifOptions& options) {
    CheckRequest(pixels.width, pixels.height, options);
    const std::size_t count = CheckedMul<std::size_t>(pixels.width, pixels.height);
    if (pixels.rgb.size() != CheckedMul<std::size_t>(count, 3))
        throw Error("pixels do not match the picture size");
    const IndexedPicture picture = Quantize(RowsOf(pixels), options, count);
    return WriteGif({picture.indexes, picture.palette, pixels.width, pixels.height});
}

std::vector<std::uint8_t> EncodeGif(const cDIBSection& picture, const GifOptions& options) {
    if (picture.dib_width() <= 0 || picture.dib_height() <= 0 || !picture.DIBSectionBitsPtr())
        throw Error("no picture");
    const auto width = static_cast<std::uint32_t>(picture.dib_width());
    const auto height = static_cast<std::uint32_t>(picture.dib_height());
    CheckRequest(width, height, options);
    const IndexedPicture indexed =
        Quantize(RowsOf(picture), options, CheckedMul<std::size_t>(width, height));
    return WriteGif({indexed.indexes, indexed.palette, width, height});
}

std::vector<std::uint8_t> EncodeIndexedGif(const IndexedPixels& pixels) {
    CheckSize(pixels.width, pixels.height);
    if (pixels.palette.empty() || pixels.palette.size() > 256)
        throw Error("a GIF palette holds 1 to 256 colours");
    if (pixels.indexes.size() != CheckedMul<std::size_t>(pixels.width, pixels.height)) {
        throw Error("pixels do not match the picture size");
    }
    const auto largest = *std::max_element(pixels.indexes.begin(), pixels.indexes.end());
    if (largest >= pixels.palette.size())
        throw Error("a pixel's index is outside the palette");
    return WriteGif(pixels);
}

}  // namespace pictrova::imaging
