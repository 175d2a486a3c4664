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

// Speed 4 is the library's default balance of palette quality and time; from 8 on it drops the
// lowest bit of every channel, which would lose exact colours.
constexpr int kQuantizerSpeed = 4;
constexpr liq_color kWhite{255, 255, 255, 255};
constexpr liq_color kBlack{0, 0, 0, 255};

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

[[noreturn]] void QuantizerFailed(liq_error error) {
    throw Error("the colour quantizer failed (libimagequant error " + std::to_string(static_cast<int>(error)) + ")");
}

bool IsColour(const std::uint8_t* rgb, const liq_color& c) {
    return rgb[0] == c.r && rgb[1] == c.g && rgb[2] == c.b;
}

std::optional<std::uint8_t> PaletteIndexOf(const liq_palette& palette, const liq_color& c) {
    for (unsigned i = 0; i < palette.count; ++i) {
        const liq_color& e = palette.entries[i];
        if (e.r == c.r && e.g == c.g && e.b == c.b) return static_cast<std::uint8_t>(i);
    }
    return std::nullopt;
}

// The palette's indexes for every pixel, top row first, and the palette itself.
struct IndexedPicture {
    std::vector<std::uint8_t> indexes;
    std::vector<GifColorType> palette;
};

IndexedPicture Quantize(const RgbPixels& pixels, const GifOptions& options, std::size_t count) {
    // libimagequant reads RGBA; the picture is opaque.
    std::vector<std::uint8_t> rgba(CheckedMul<std::size_t>(count, 4));
    bool hasWhite = false;
    bool hasBlack = false;
    for (std::size_t i = 0; i < count; ++i) {
        const std::uint8_t* p = pixels.rgb.data() + 3 * i;
        rgba[4 * i] = p[0];
        rgba[4 * i + 1] = p[1];
        rgba[4 * i + 2] = p[2];
        rgba[4 * i + 3] = 255;
        hasWhite = hasWhite || IsColour(p, kWhite);
        hasBlack = hasBlack || IsColour(p, kBlack);
    }

    std::unique_ptr<liq_attr, AttrDeleter> attr(liq_attr_create());
    if (!attr) throw Error("the colour quantizer cannot start");
    if (liq_error e = liq_set_max_colors(attr.get(), static_cast<int>(options.colours)); e != LIQ_OK) QuantizerFailed(e);
    if (liq_error e = liq_set_speed(attr.get(), kQuantizerSpeed); e != LIQ_OK) QuantizerFailed(e);

    std::unique_ptr<liq_image, ImageDeleter> image(liq_image_create_rgba(
        attr.get(), rgba.data(), static_cast<int>(pixels.width), static_cast<int>(pixels.height), 0));
    if (!image) throw Error("the colour quantizer refused the picture");
    // Pure white and black are the colours a reader notices first when they shift.
    if (hasWhite) liq_image_add_fixed_color(image.get(), kWhite);
    if (hasBlack) liq_image_add_fixed_color(image.get(), kBlack);

    liq_result* rawResult = nullptr;
    if (liq_error e = liq_image_quantize(image.get(), attr.get(), &rawResult); e != LIQ_OK) QuantizerFailed(e);
    std::unique_ptr<liq_result, ResultDeleter> result(rawResult);
    liq_set_dithering_level(result.get(), options.dither ? 1.0f : 0.0f);

    IndexedPicture out;
    out.indexes.resize(count);
    if (liq_error e = liq_write_remapped_image(result.get(), image.get(), out.indexes.data(), out.indexes.size());
        e != LIQ_OK) {
        QuantizerFailed(e);
    }
    const liq_palette& palette = *liq_get_palette(result.get());

    // Error diffusion may push a white or black pixel onto a neighbouring entry; put it back.
    const std::optional<std::uint8_t> white = hasWhite ? PaletteIndexOf(palette, kWhite) : std::nullopt;
    const std::optional<std::uint8_t> black = hasBlack ? PaletteIndexOf(palette, kBlack) : std::nullopt;
    if (white || black) {
        for (std::size_t i = 0; i < count; ++i) {
            const std::uint8_t* p = pixels.rgb.data() + 3 * i;
            if (white && IsColour(p, kWhite)) out.indexes[i] = *white;
            if (black && IsColour(p, kBlack)) out.indexes[i] = *black;
        }
    }
    for (unsigned i = 0; i < palette.count; ++i) {
        out.palette.push_back(GifColorType{palette.entries[i].r, palette.entries[i].g, palette.entries[i].b});
    }
    return out;
}

int AppendToVector(GifFileType* gif, const GifByteType* data, int length) {
    auto* bytes = static_cast<std::vector<std::uint8_t>*>(gif->UserData);
    bytes->insert(bytes->end(), data, data + length);
    return length;
}

std::vector<std::uint8_t> WriteGif(const IndexedPicture& picture, const RgbPixels& pixels) {
    // A GIF colour table holds a power of two entries, at least 2.
    int tableSize = 2;
    while (tableSize < static_cast<int>(picture.palette.size())) tableSize *= 2;
    std::vector<GifColorType> table(static_cast<std::size_t>(tableSize), GifColorType{0, 0, 0});
    std::copy(picture.palette.begin(), picture.palette.end(), table.begin());
    std::unique_ptr<ColorMapObject, MapDeleter> map(GifMakeMapObject(tableSize, table.data()));
    if (!map) throw Error("cannot make the GIF colour table");

    std::vector<std::uint8_t> bytes;
    int error = 0;
    GifFileType* gif = EGifOpen(&bytes, AppendToVector, &error);
    if (gif == nullptr) throw Error(std::string("cannot start the GIF writer: ") + GifErrorString(error));
    const int width = static_cast<int>(pixels.width);
    const int height = static_cast<int>(pixels.height);
    bool written = EGifPutScreenDesc(gif, width, height, 8, 0, map.get()) == GIF_OK &&
                   EGifPutImageDesc(gif, 0, 0, width, height, false, nullptr) == GIF_OK;
    for (int y = 0; written && y < height; ++y) {
        // giflib takes the row as non-const but only reads it.
        auto* row = const_cast<GifPixelType*>(picture.indexes.data() + static_cast<std::size_t>(y) * pixels.width);
        written = EGifPutLine(gif, row, width) == GIF_OK;
    }
    const int failure = written ? 0 : gif->Error;
    if (EGifCloseFile(gif, &error) != GIF_OK && written) {
        throw Error(std::string("the GIF writer failed: ") + GifErrorString(error));
    }
    if (!written) throw Error(std::string("the GIF writer failed: ") + GifErrorString(failure));
    return bytes;
}

}  // namespace

std::vector<std::uint8_t> EncodeGif(const RgbPixels& pixels, const GifOptions& options) {
    if (pixels.width == 0 || pixels.height == 0) throw Error("a GIF needs at least one pixel");
    if (pixels.width > kMaxGifSide || pixels.height > kMaxGifSide) throw Error("picture too large for a GIF");
    if (options.colours < 2 || options.colours > 256) throw Error("a GIF palette holds 2 to 256 colours");
    const std::size_t count = CheckedMul<std::size_t>(pixels.width, pixels.height);
    if (pixels.rgb.size() != CheckedMul<std::size_t>(count, 3)) throw Error("pixels do not match the picture size");
    return WriteGif(Quantize(pixels, options, count), pixels);
}

}  // namespace pictrova::imaging
