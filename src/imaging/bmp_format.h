// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The two headers of a BMP file, written once for every BMP this program makes: the decoder's
// files, the picture holder's saved pictures and the drawing program's output.
//
// File header (14 bytes): "BM", u32 file size, u16 0, u16 0, u32 offset of the pixel bits.
// Info header (40 bytes): u32 40, i32 width, i32 height, u16 planes 1, u16 bit count,
//   u32 compression 0, u32 image size, i32 0, i32 0 (resolutions), u32 0 colours used,
//   u32 0 colours important.

#include <cstdint>
#include <span>

#include "common/byte_reader.h"
#include "common/checked_math.h"

namespace pictrova::imaging {

inline constexpr std::size_t kBmpFileHeaderSize = 14;
inline constexpr std::size_t kBmpInfoHeaderSize = 40;
inline constexpr std::size_t kBmpHeadersSize = kBmpFileHeaderSize + kBmpInfoHeaderSize;

inline void WriteBmpFileHeader(std::span<std::uint8_t> file, std::uint32_t fileSize,
                               std::uint32_t pixelOffset) {
    ByteWriter w(file);
    w.u8('B');
    w.u8('M');
    w.u32le(fileSize);
    w.u16le(0);
    w.u16le(0);
    w.u32le(pixelOffset);
}

inline void WriteBmpInfoHeader(std::span<std::uint8_t> file, std::int32_t width,
                               std::int32_t height, std::uint16_t bitCount,
                               std::uint32_t imageSize) {
    ByteWriter w(file);
    w.seek(kBmpFileHeaderSize);
    w.u32le(kBmpInfoHeaderSize);
    w.i32le(width);
    w.i32le(height);
    w.u16le(1);
    w.u16le(bitCount);
    w.u32le(0);
    w.u32le(imageSize);
    w.i32le(0);
    w.i32le(0);
    w.u32le(0);
    w.u32le(0);
}

// Both headers of a 24-bit file without a colour table: the pixels start right after them.
inline void WriteBmp24Headers(std::span<std::uint8_t> file, std::int32_t width, std::int32_t height,
                              std::uint32_t imageSize) {
    constexpr auto kHeaders = static_cast<std::uint32_t>(kBmpHeadersSize);
    WriteBmpFileHeader(file, CheckedAdd(kHeaders, imageSize), kHeaders);
    WriteBmpInfoHeader(file, width, height, 24, imageSize);
}

}  // namespace pictrova::imaging
