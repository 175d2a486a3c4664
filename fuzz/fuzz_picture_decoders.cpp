// SPDX-License-Identifier: GPL-3.0-or-later
// The loader's own BMP, JPEG, PNG and GIF readers on the same bytes, each alone (no engine behind
// them): whatever they get, they decode, leave the file to the engine or refuse it as too big.

#include <cstddef>
#include <cstdint>
#include <span>

#include "common/error.h"
#include "imaging/bmp_decoder.h"
#include "imaging/gif_decoder.h"
#include "imaging/jpeg_decoder.h"
#include "imaging/picture_holder.h"
#include "imaging/png_decoder.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::span<const std::uint8_t> bytes(data, size);
    using Decoder = bool (*)(std::span<const std::uint8_t>, pictrova::imaging::cDIBSection&);
    for (const Decoder decode :
         {Decoder{pictrova::imaging::DecodeBmp}, Decoder{pictrova::imaging::DecodeJpeg},
          Decoder{pictrova::imaging::DecodePng}, Decoder{pictrova::imaging::DecodeGif}}) {
        pictrova::imaging::cDIBSection dib;
        try {
            if (decode(bytes, dib) && dib.DIBSectionBitsPtr() == nullptr)
                __builtin_trap();  // "decoded" without a bitmap
        } catch (const pictrova::imaging::PictureTooBig&) {
            if (dib.DIBSectionBitsPtr() != nullptr)
                __builtin_trap();  // refused after taking the memory
        }
    }
    return 0;
}
