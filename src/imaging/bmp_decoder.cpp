// SPDX-License-Identifier: GPL-3.0-or-later
#include "imaging/bmp_decoder.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <limits>
#include <optional>
#include <vector>

#include "common/byte_reader.h"
#include "common/checked_math.h"
#include "common/limits.h"
#include "imaging/bmp_format.h"
#include "imaging/high_colour_bmp.h"
#include "imaging/picture_holder.h"

namespace pictrova::imaging {
namespace {

constexpr std::uint32_t kRgb = 0, kRle8 = 1, kRle4 = 2, kBitFields = 3;
constexpr std::uint32_t kMaxInfoHeader = 124;  // the longest header Windows defines (V5)

struct BmpHeader {
    std::uint32_t pixelOffset = 0;
    std::uint32_t headerSize = 0;
    std::int32_t width = 0;
    std::int64_t height = 0;  // always positive; see topDown
    bool topDown = false;
    std::uint16_t bitCount = 0;
    std::uint32_t compression = 0;
    std::uint32_t coloursUsed = 0;
};

std::optional<BmpHeader> ReadHeader(ByteReader& r) {
    if (r.size() < kBmpHeadersSize || r.u8() != 'B' || r.u8() != 'M')
        return std::nullopt;
    BmpHeader h;
    r.skip(8);  // file size, reserved
    h.pixelOffset = r.u32le();
    h.headerSize = r.u32le();
    h.width = r.i32le();
    const std::int32_t height = r.i32le();
    const std::uint16_t planes = r.u16le();
    h.bitCount = r.u16le();
    h.compression = r.u32le();
    r.skip(12);  // image size, resolutions
    h.coloursUsed = r.u32le();
    if (h.headerSize < kBmpInfoHeaderSize || h.headerSize > kMaxInfoHeader || planes != 1 ||
        h.width <= 0 || height == 0 || height == std::numeric_limits<std::int32_t>::min())
        return std::nullopt;
    h.topDown = height < 0;
    h.height = h.topDown ? -std::int64_t{height} : height;
    return h;
}

// Writes the bitmap's row that shows the file's row `fileRow` (in the file's order).
std::uint8_t* BitmapRow(cDIBSection& dib, const BmpHeader& h, std::int64_t fileRow) {
    const std::int64_t bottomUp = h.topDown ? h.height - 1 - fileRow : fileRow;
    return dib.DIBSectionBitsPtr() +
           static_cast<std::size_t>(bottomUp) * static_cast<std::size_t>(dib.BytesPerScanLine());
}

using Palette = std::vector<std::array<std::uint8_t, 3>>;  // blue, green, red

std::optional<Palette> ReadPalette(ByteReader& r, const BmpHeader& h) {
    const std::uint32_t most = 1u << h.bitCount;
    const std::uint32_t count = h.coloursUsed == 0 ? most : h.coloursUsed;
    if (count > most)
        return std::nullopt;
    const std::size_t at = kBmpFileHeaderSize + h.headerSize;
    if (at > r.size() || (r.size() - at) / 4 < count)
        return std::nullopt;
    r.seek(at);
    Palette palette(count);
    for (auto& entry : palette) {
        const std::span<const std::uint8_t> bgrx = r.bytes(4);
        entry = {bgrx[0], bgrx[1], bgrx[2]};
    }
    return palette;
}

void Put(std::uint8_t* row, std::size_t x, const std::array<std::uint8_t, 3>& bgr) {
    std::memcpy(row + 3 * x, bgr.data(), 3);
}

// Rows of 1, 4 or 8 bits a pixel, each padded to 4 bytes. False on an index outside the palette.
bool ReadIndexedRows(ByteReader& r, const BmpHeader& h, const Palette& palette, cDIBSection& dib) {
    const unsigned bits = h.bitCount;
    const std::size_t stride = ((static_cast<std::size_t>(h.width) * bits + 31) / 32) * 4;
    const unsigned mask = (1u << bits) - 1;
    for (std::int64_t y = 0; y < h.height; ++y) {
        const std::span<const std::uint8_t> line = r.bytes(stride);
        std::uint8_t* row = BitmapRow(dib, h, y);
        for (std::size_t x = 0; x < static_cast<std::size_t>(h.width); ++x) {
            const std::size_t bit = x * bits;
            const unsigned index = (line[bit / 8] >> (8 - bits - bit % 8)) & mask;
            if (index >= palette.size())
                return false;
            Put(row, x, palette[index]);
        }
    }
    return true;
}

// Run-length rows (RLE8, RLE4), bottom row first. Pixels no run reaches keep entry 0. False for
// anything past the picture's edges, an index outside the palette, or data that ends before the
// last row.
bool ReadRunLengthRows(ByteReader& r, const BmpHeader& h, const Palette& palette,
                       cDIBSection& dib) {
    const bool four = h.compression == kRle4;
    const auto width = static_cast<std::size_t>(h.width);
    for (std::int64_t y = 0; y < h.height; ++y) {
        std::uint8_t* row = BitmapRow(dib, h, y);
        for (std::size_t x = 0; x < width; ++x)
            Put(row, x, palette[0]);
    }
    auto put = [&](std::int64_t y, std::size_t x, unsigned index) {
        if (index >= palette.size())
            return false;
        Put(BitmapRow(dib, h, y), x, palette[index]);
        return true;
    };
    std::size_t x = 0;
    std::int64_t y = 0;
    while (y < h.height) {
        if (r.remaining() < 2)
            return false;
        const unsigned count = r.u8();
        const unsigned value = r.u8();
        if (count != 0) {
            if (count > width - x)
                return false;
            for (unsigned i = 0; i < count; ++i) {
                const unsigned index = four ? (i % 2 == 0 ? value >> 4 : value & 0x0F) : value;
                if (!put(y, x++, index))
                    return false;
            }
        } else if (value == 0) {  // end of line
            x = 0;
            ++y;
        } else if (value == 1) {  // end of bitmap
            return true;
        } else if (value == 2) {  // delta
            if (r.remaining() < 2)
                return false;
            const unsigned dx = r.u8(), dy = r.u8();
            if (dx > width - x || dy >= h.height - y)
                return false;
            x += dx;
            y += dy;
        } else {  // absolute: `value` pixels, then padding to a 2-byte boundary
            const std::size_t dataBytes = four ? (value + 1) / 2 : value;
            if (value > width - x || r.remaining() < dataBytes)
                return false;
            const std::span<const std::uint8_t> data = r.bytes(dataBytes);
            for (unsigned i = 0; i < value; ++i) {
                const unsigned index =
                    four ? (i % 2 == 0 ? data[i / 2] >> 4 : data[i / 2] & 0x0F) : data[i];
                if (!put(y, x++, index))
                    return false;
            }
            if (dataBytes % 2 != 0 && r.remaining() > 0)
                r.skip(1);
        }
    }
    return true;
}

// Rows of 3 or 4 bytes a pixel (blue, green, red[, ignored]), each padded to 4 bytes.
void ReadDirectRows(ByteReader& r, const BmpHeader& h, cDIBSection& dib) {
    const std::size_t pixelBytes = h.bitCount / 8;
    const auto width = static_cast<std::size_t>(h.width);
    const std::size_t stride = (width * pixelBytes + 3) & ~std::size_t{3};
    for (std::int64_t y = 0; y < h.height; ++y) {
        const std::span<const std::uint8_t> line = r.bytes(stride);
        std::uint8_t* row = BitmapRow(dib, h, y);
        if (pixelBytes == 3) {
            std::memcpy(row, line.data(), width * 3);
        } else {
            for (std::size_t x = 0; x < width; ++x)
                std::memcpy(row + 3 * x, line.data() + 4 * x, 3);
        }
    }
}

// Whether a 32-bit file's masks are blue, green, red in bytes 0, 1, 2 without alpha.
bool PlainMasks(ByteReader& r, const BmpHeader& h) {
    if (h.compression == kRgb)
        return true;
    constexpr std::size_t kMasksAt = kBmpHeadersSize;
    const std::size_t alphaEnd = kMasksAt + 16;
    if (r.size() < kMasksAt + 12)
        return false;
    r.seek(kMasksAt);
    const std::uint32_t red = r.u32le(), green = r.u32le(), blue = r.u32le();
    const std::uint32_t alpha = h.headerSize >= 56 && r.size() >= alphaEnd ? r.u32le() : 0;
    return red == 0x00FF'0000 && green == 0x0000'FF00 && blue == 0x0000'00FF && alpha == 0;
}

bool Decode(std::span<const std::uint8_t> bmp, cDIBSection& dib) {
    ByteReader r(bmp);
    const std::optional<BmpHeader> header = ReadHeader(r);
    if (!header)
        return false;
    const BmpHeader& h = *header;
    const bool indexed = h.bitCount == 1 || h.bitCount == 4 || h.bitCount == 8;
    const bool runLength =
        (h.compression == kRle8 && h.bitCount == 8) || (h.compression == kRle4 && h.bitCount == 4);
    if (h.bitCount == 16) {
        const std::optional<std::vector<std::uint8_t>> widened = WidenHighColourBmp(bmp);
        return widened && Decode(*widened, dib);
    }
    const bool supported =
        (indexed && h.compression == kRgb) || (runLength && !h.topDown) ||
        (h.bitCount == 24 && h.compression == kRgb) ||
        (h.bitCount == 32 && (h.compression == kRgb || h.compression == kBitFields));
    if (!supported)
        return false;
    if (!PictureSizeAllowed(h.width, h.height))
        throw PictureTooBig("picture larger than the bitmap class makes", h.width, h.height);
    if (h.bitCount == 32 && !PlainMasks(r, h))
        return false;
    std::optional<Palette> palette;
    if (indexed) {
        palette = ReadPalette(r, h);
        if (!palette || palette->empty())
            return false;
    }
    if (h.pixelOffset > bmp.size())
        return false;
    r.seek(h.pixelOffset);
    if (!runLength) {
        // Every row must be there before the bitmap is made: a cut-short file is the engine's.
        const std::size_t stride = ((static_cast<std::size_t>(h.width) * h.bitCount + 31) / 32) * 4;
        if (r.remaining() / stride < static_cast<std::size_t>(h.height))
            return false;
    }
    if (!dib.Create(h.width, static_cast<std::int32_t>(h.height), 3))
        throw PictureTooBig("picture larger than the bitmap class makes", h.width, h.height);
    if (runLength)
        return ReadRunLengthRows(r, h, *palette, dib);
    if (indexed)
        return ReadIndexedRows(r, h, *palette, dib);
    ReadDirectRows(r, h, dib);
    return true;
}

}  // namespace

bool DecodeBmp(std::span<const std::uint8_t> bmp, cDIBSection& dib) {
    dib.CleanUp();
    if (Decode(bmp, dib))
        return true;
    dib.CleanUp();
    return false;
}

}  // namespace pictrova::imaging
