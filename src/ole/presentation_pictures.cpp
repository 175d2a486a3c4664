// SPDX-License-Identifier: GPL-3.0-or-later
#include "ole/presentation_pictures.h"

#include <algorithm>

#include "common/byte_reader.h"
#include "common/checked_math.h"
#include "common/error.h"
#include "imaging/bmp_format.h"
#include "imaging/dib_section.h"

namespace pictrova::ole {

namespace {

// Info header fields read to place the pixels. A core header (12 bytes) keeps its bit count at
// offset 10 and three-byte colour table entries; the others at 14, with four-byte entries.
constexpr std::uint32_t kCoreHeaderSize = 12;
constexpr std::size_t kCoreBitCountOffset = 10;
constexpr std::size_t kInfoHeaderBitCountOffset = 14;
constexpr std::size_t kInfoHeaderColoursUsedOffset = 32;
constexpr std::uint32_t kBitFields = 3;
constexpr std::uint32_t kColourMasksSize = 12;

// Bytes between the info header and the pixel bits that the BMP file header must account for:
// the colour table of a 1-, 4- or 8-bit DIB (the colours-used count of entries, or all 2^bits
// when it is 0 or too large), and the three colour masks that follow a 40-byte header of a
// bit-field DIB (larger headers hold them). Counting fewer entries than the DIB holds would make
// the pixels start inside the colour table.
std::uint32_t ColourTableAllowance(std::span<const std::uint8_t> dib) {
    ByteReader info(dib);
    const std::uint32_t headerSize = info.u32le();
    if (headerSize == kCoreHeaderSize) {
        info.seek(kCoreBitCountOffset);
        const std::uint16_t bitCount = info.u16le();
        return bitCount == 1 || bitCount == 4 || bitCount == 8 ? (1u << bitCount) * 3 : 0;
    }
    info.seek(kInfoHeaderBitCountOffset);
    const std::uint16_t bitCount = info.u16le();
    const std::uint32_t compression = info.u32le();
    info.seek(kInfoHeaderColoursUsedOffset);
    const std::uint32_t coloursUsed = info.u32le();
    if (bitCount == 1 || bitCount == 4 || bitCount == 8) {
        const std::uint32_t fullTable = 1u << bitCount;
        const std::uint32_t entries =
            coloursUsed == 0 || coloursUsed > fullTable ? fullTable : coloursUsed;
        return entries * 4;
    }
    if ((bitCount == 16 || bitCount == 32) && compression == kBitFields &&
        headerSize == imaging::kBmpInfoHeaderSize)
        return kColourMasksSize;
    return 0;
}

// The module's one bitmap object for metafiles; it clears itself at every WMFtoBMP call.
imaging::cDIBSection& MetafileRenderer() {
    thread_local imaging::cDIBSection dibSection;
    return dibSection;
}

// Bitmap16 layout.
constexpr std::size_t kBitmap16HeaderSize = 10;
// Some writers may keep the 4-byte bits pointer of the in-memory structure before the rows: the
// data is then exactly that much longer than header and rows.
constexpr std::size_t kBitmap16PointerSize = 4;

}  // namespace

void PackedDibToBmpFile(std::vector<std::uint8_t>& bytes, std::size_t dibOffset,
                        std::size_t dibSize) {
    Enforce(dibOffset >= imaging::kBmpFileHeaderSize && dibOffset <= bytes.size() &&
                dibSize <= bytes.size() - dibOffset,
            "bitmap lies outside the data");
    const auto dib = std::span<const std::uint8_t>(bytes).subspan(dibOffset, dibSize);
    ByteReader info(dib);
    const std::uint32_t headerSize = info.u32le();
    const std::uint32_t pixelOffset =
        CheckedAdd(CheckedAdd(static_cast<std::uint32_t>(imaging::kBmpFileHeaderSize), headerSize),
                   ColourTableAllowance(dib));

    const std::size_t fileSize = CheckedAdd(dibSize, imaging::kBmpFileHeaderSize);
    const auto fileSize32 = CheckedCast<std::uint32_t>(fileSize);
    std::copy(bytes.begin() + static_cast<std::ptrdiff_t>(dibOffset),
              bytes.begin() + static_cast<std::ptrdiff_t>(dibOffset + dibSize),
              bytes.begin() + static_cast<std::ptrdiff_t>(imaging::kBmpFileHeaderSize));
    bytes.resize(fileSize);
    imaging::WriteBmpFileHeader(bytes, fileSize32, pixelOffset);
}

bool MetafileToBmpFile(std::span<const std::uint8_t> metafile, std::int32_t mappingMode,
                       std::int32_t xExtent, std::int32_t yExtent,
                       std::vector<std::uint8_t>& file) {
    std::vector<std::uint8_t> pixels(metafile.begin(), metafile.end());
    imaging::cDIBSection& dib = MetafileRenderer();
    if (!dib.WMFtoBMP(pixels, mappingMode, xExtent, yExtent))
        return false;

    std::vector<std::uint8_t> out(CheckedAdd(pixels.size(), imaging::kBmpHeadersSize));
    std::copy(pixels.begin(), pixels.end(), out.begin() + imaging::kBmpHeadersSize);
    imaging::WriteBmp24Headers(out, dib.dib_width(), dib.dib_height(),
                               CheckedCast<std::uint32_t>(pixels.size()));
    file = std::move(out);
    return true;
}

bool Bitmap16ToBmpFile(std::span<const std::uint8_t> bitmap, std::vector<std::uint8_t>& file) {
    ByteReader r(bitmap);
    r.skip(2);  // type
    const std::int16_t width = r.i16le();
    const std::int16_t height = r.i16le();
    const std::int16_t rowBytes = r.i16le();
    const std::uint8_t planes = r.u8();
    const std::uint8_t bitsPerPixel = r.u8();
    if (planes != 1 || !(bitsPerPixel == 1 || bitsPerPixel == 24 || bitsPerPixel == 32))
        return false;
    Enforce(width > 0 && height > 0, "bitmap has no pixels");
    const std::size_t usedRowBytes = (static_cast<std::size_t>(width) * bitsPerPixel + 7) / 8;
    Enforce(rowBytes >= 0 && static_cast<std::size_t>(rowBytes) >= usedRowBytes,
            "bitmap rows are too short");
    const std::size_t rowsSize =
        static_cast<std::size_t>(rowBytes) * static_cast<std::size_t>(height);
    const std::size_t afterHeader = bitmap.size() - kBitmap16HeaderSize;
    if (afterHeader == rowsSize + kBitmap16PointerSize)
        r.skip(kBitmap16PointerSize);
    ByteReader rows = r.sub(rowsSize);

    const std::uint32_t paletteSize = bitsPerPixel == 1 ? 2 * 4 : 0;
    const std::size_t stride = (usedRowBytes + 3) & ~std::size_t{3};
    const std::size_t imageSize = CheckedMul(stride, static_cast<std::size_t>(height));
    const std::size_t pixelOffset = imaging::kBmpHeadersSize + paletteSize;
    const std::size_t fileSize = CheckedAdd(pixelOffset, imageSize);
    std::vector<std::uint8_t> out(fileSize, 0);
    imaging::WriteBmpInfoHeader(out, width, height, bitsPerPixel,
                                CheckedCast<std::uint32_t>(imageSize));
    imaging::WriteBmpFileHeader(out, CheckedCast<std::uint32_t>(fileSize),
                                static_cast<std::uint32_t>(pixelOffset));
    if (paletteSize != 0) {
        // Monochrome bitmaps: a clear bit is black, a set bit white.
        constexpr std::uint8_t kWhite[] = {0xFF, 0xFF, 0xFF, 0};
        std::copy(std::begin(kWhite), std::end(kWhite), out.begin() + imaging::kBmpHeadersSize + 4);
    }
    for (std::int32_t y = 0; y < height; ++y) {
        auto row = rows.bytes(static_cast<std::size_t>(rowBytes)).first(usedRowBytes);
        const std::size_t at = pixelOffset + static_cast<std::size_t>(height - 1 - y) * stride;
        std::copy(row.begin(), row.end(), out.begin() + static_cast<std::ptrdiff_t>(at));
    }
    file = std::move(out);
    return true;
}

}  // namespace pictrova::ole
