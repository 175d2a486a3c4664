// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The two headers of a BMP file, as the decoder writes them in front of pixel data.
//
// File header (14 bytes): "BM", u32 file size, u16 0, u16 0, u32 offset of the pixel bits.
// Info header (40 bytes): u32 40, i32 width, i32 height, u16 planes 1, u16 bit count,
//   u32 compression 0, u32 image size, i32 0, i32 0 (resolutions), u32 0 colours used,
//   u32 0 colours important.

#include <cstdint>
#include <span>

#include "common/byte_reader.h"

namespace pictrova::ole {

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

}  // namespace pictrova::ole
