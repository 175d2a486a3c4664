// SPDX-License-Identifier: GPL-3.0-or-later
#include "imaging/codec_decoders.h"

#include "imaging/bmp_decoder.h"
#include "imaging/gif_decoder.h"
#include "imaging/jpeg_decoder.h"
#include "imaging/png_decoder.h"

namespace pictrova::imaging {
namespace {

using Decoder = bool (*)(std::span<const std::uint8_t>, cDIBSection&);

struct DecoderRow {
    PictureKind kind;
    Decoder decode;
};

constexpr DecoderRow kDecoders[] = {
    {PictureKind::Bmp, DecodeBmp},
    {PictureKind::Jpeg, DecodeJpeg},
    {PictureKind::Png, DecodePng},
    {PictureKind::Gif, DecodeGif},
};

}  // namespace

bool DecodeWithCodecLibrary(PictureKind kind, std::span<const std::uint8_t> bytes,
                            cDIBSection& dib) {
    for (const DecoderRow& row : kDecoders) {
        if (row.kind == kind)
            return row.decode(bytes, dib);
    }
    dib.CleanUp();
    return false;
}

}  // namespace pictrova::imaging
