// SPDX-License-Identifier: GPL-3.0-or-later
#include "imaging/png_decoder.h"

#include <png.h>

#include <csetjmp>
#include <cstring>

#include "common/limits.h"
#include "imaging/codec_decode_outcome.h"
#include "imaging/picture_holder.h"

namespace pictrova::imaging {
namespace {

// libpng reads the file through this cursor: every read bounded by the bytes there are.
struct Input {
    const std::uint8_t* data;
    std::size_t size;
    std::size_t at;
    int warnings;
};

void ReadInput(png_structp png, png_bytep out, png_size_t length) {
    auto* input = static_cast<Input*>(png_get_io_ptr(png));
    if (length > input->size - input->at)
        png_error(png, "read past the end of the file");
    std::memcpy(out, input->data + input->at, length);
    input->at += length;
}

void OnError(png_structp png, png_const_charp) {
    png_longjmp(png, 1);
}

void OnWarning(png_structp png, png_const_charp) {
    ++static_cast<Input*>(png_get_error_ptr(png))->warnings;
}

using Outcome = CodecOutcome;
using Declared = DeclaredSize;

// Only plain data lives in this frame: a jump out of libpng skips no destructor.
Outcome Decode(std::span<const std::uint8_t> bytes, cDIBSection& dib, Declared& declared) {
    Input input{bytes.data(), bytes.size(), 0, 0};
    png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, &input, OnError, OnWarning);
    if (png == nullptr)
        return Outcome::LeftToEngine;
    png_infop info = png_create_info_struct(png);
    if (info == nullptr || setjmp(png_jmpbuf(png)) != 0) {
        png_destroy_read_struct(&png, &info, nullptr);
        return Outcome::LeftToEngine;
    }
    png_set_read_fn(png, &input, ReadInput);
    // Any size the format allows is read from the header: our own limits judge it below, before
    // anything the size of the picture is allocated, so that it is reported as too big.
    png_set_user_limits(png, PNG_UINT_31_MAX, PNG_UINT_31_MAX);
    png_read_info(png, info);
    declared = {png_get_image_width(png, info), png_get_image_height(png, info)};
    if (!PictureSizeAllowed(declared.width, declared.height)) {
        png_destroy_read_struct(&png, &info, nullptr);
        return Outcome::TooBig;
    }
    const int colourType = png_get_color_type(png, info);
    // The engine rounds 16-bit grey to 8 bits its own way; those files stay its own.
    const bool sixteenBitGrey =
        colourType == PNG_COLOR_TYPE_GRAY && png_get_bit_depth(png, info) == 16;
    if ((colourType & PNG_COLOR_MASK_ALPHA) != 0 || png_get_valid(png, info, PNG_INFO_tRNS) != 0 ||
        sixteenBitGrey) {
        png_destroy_read_struct(&png, &info, nullptr);
        return Outcome::LeftToEngine;
    }
    if (colourType == PNG_COLOR_TYPE_PALETTE)
        png_set_palette_to_rgb(png);
    if (colourType == PNG_COLOR_TYPE_GRAY) {
        png_set_expand_gray_1_2_4_to_8(png);
        png_set_gray_to_rgb(png);
    }
    png_set_scale_16(png);
    png_set_bgr(png);
    png_set_interlace_handling(png);
    png_read_update_info(png, info);
    if (png_get_channels(png, info) != 3 || png_get_bit_depth(png, info) != 8 ||
        !dib.Create(static_cast<std::int32_t>(declared.width),
                    static_cast<std::int32_t>(declared.height), 3)) {
        png_destroy_read_struct(&png, &info, nullptr);
        return Outcome::LeftToEngine;
    }
    const auto stride = static_cast<std::size_t>(dib.BytesPerScanLine());
    std::uint8_t* bits = dib.DIBSectionBitsPtr();
    const auto height = static_cast<std::size_t>(declared.height);
    const int passes = png_set_interlace_handling(png);
    for (int pass = 0; pass < passes; ++pass) {
        for (std::size_t y = 0; y < height; ++y)
            png_read_row(png, bits + (height - 1 - y) * stride, nullptr);
    }
    png_read_end(png, nullptr);
    png_destroy_read_struct(&png, &info, nullptr);
    return input.warnings == 0 ? Outcome::Decoded : Outcome::LeftToEngine;
}

}  // namespace

bool DecodePng(std::span<const std::uint8_t> png, cDIBSection& dib) {
    dib.CleanUp();
    if (png.size() < 8 || png_sig_cmp(png.data(), 0, 8) != 0)
        return false;
    Declared declared;
    return DecodedElseLeftToEngine(Decode(png, dib, declared), dib, declared);
}

}  // namespace pictrova::imaging
