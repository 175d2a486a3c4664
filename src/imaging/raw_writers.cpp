// SPDX-License-Identifier: GPL-3.0-or-later
#include "imaging/raw_writers.h"

#include <algorithm>
#include <limits>

#include "common/byte_reader.h"
#include "common/checked_math.h"
#include "imaging/bitmap_rows.h"

namespace pictrova::imaging {
namespace {

constexpr std::size_t kTgaHeaderSize = 18;
constexpr std::uint8_t kTgaTrueColour = 2;
constexpr std::uint8_t kTgaTopLeftOrigin = 0x20;

constexpr std::size_t kPcxHeaderSize = 128;
constexpr std::uint8_t kPcxManufacturer = 0x0A;
constexpr std::uint8_t kPcxVersion = 5;
constexpr std::uint8_t kPcxRunLength = 1;
constexpr std::uint8_t kPcxPlanes = 3;
constexpr std::uint16_t kPcxColourPalette = 1;
constexpr std::uint8_t kPcxPaletteMarker = 0x0C;
constexpr std::size_t kPcxPaletteSize = 768;
constexpr std::uint8_t kRunFlag = 0xC0;
constexpr std::size_t kLongestRun = 63;

void RefuseWideSides(const BitmapRows& rows, const char* format) {
    constexpr std::size_t kMaxSide = std::numeric_limits<std::uint16_t>::max();
    if (rows.width() > kMaxSide || rows.height() > kMaxSide)
        throw Error(std::string(format) +
                    " cannot hold a picture of more than 65535 pixels a side");
}

// One plane of a row (every `step`th byte from `from`), run-length coded onto `out`.
void AppendRunLengthPlane(const std::uint8_t* from, std::size_t count, std::size_t step,
                          std::vector<std::uint8_t>& out) {
    std::size_t i = 0;
    while (i < count) {
        const std::uint8_t value = from[i * step];
        std::size_t run = 1;
        while (i + run < count && run < kLongestRun && from[(i + run) * step] == value)
            ++run;
        if (run > 1 || value >= kRunFlag)
            out.push_back(static_cast<std::uint8_t>(kRunFlag | run));
        out.push_back(value);
        i += run;
    }
}

}  // namespace

std::vector<std::uint8_t> EncodeTga(const cDIBSection& picture) {
    const BitmapRows rows(picture);
    RefuseWideSides(rows, "TGA");
    const std::size_t rowBytes = CheckedMul<std::size_t>(rows.width(), 3);
    std::vector<std::uint8_t> tga(
        CheckedAdd<std::size_t>(kTgaHeaderSize, CheckedMul<std::size_t>(rowBytes, rows.height())));
    ByteWriter header(tga);
    header.seek(2);
    header.u8(kTgaTrueColour);
    header.seek(12);
    header.u16le(static_cast<std::uint16_t>(rows.width()));
    header.u16le(static_cast<std::uint16_t>(rows.height()));
    header.u8(24);
    header.u8(kTgaTopLeftOrigin);
    std::uint8_t* out = tga.data() + kTgaHeaderSize;
    for (std::size_t y = 0; y < rows.height(); ++y, out += rowBytes) {
        const std::uint8_t* row = rows.Row(y);
        if (rows.channels() == 3) {
            std::copy_n(row, rowBytes, out);
            continue;
        }
        for (std::size_t x = 0; x < rows.width(); ++x)
            std::copy_n(row + x * rows.channels(), 3, out + x * 3);
    }
    return tga;
}

std::vector<std::uint8_t> EncodePcx(const cDIBSection& picture) {
    const BitmapRows rows(picture);
    RefuseWideSides(rows, "PCX");
    std::vector<std::uint8_t> pcx;
    // Photographs code to about their own size; the buffer grows by a quarter when a picture
    // codes larger, so it never doubles beside the bitmap.
    const std::size_t pixelBytes =
        CheckedMul<std::size_t>(CheckedMul<std::size_t>(rows.width(), rows.height()), 3);
    pcx.reserve(CheckedAdd<std::size_t>(pixelBytes, kPcxHeaderSize + 1 + kPcxPaletteSize));
    pcx.resize(kPcxHeaderSize);
    ByteWriter header(pcx);
    header.u8(kPcxManufacturer);
    header.u8(kPcxVersion);
    header.u8(kPcxRunLength);
    header.u8(8);
    header.u16le(0);
    header.u16le(0);
    header.u16le(static_cast<std::uint16_t>(rows.width() - 1));
    header.u16le(static_cast<std::uint16_t>(rows.height() - 1));
    header.seek(65);
    header.u8(kPcxPlanes);
    header.u16le(static_cast<std::uint16_t>(rows.width()));
    header.u16le(kPcxColourPalette);
    // A row codes to at most twice its bytes.
    const std::size_t rowWorst = rows.width() * 3 * 2;
    for (std::size_t y = 0; y < rows.height(); ++y) {
        if (pcx.capacity() - pcx.size() < rowWorst)
            pcx.reserve(std::max(pcx.capacity() + pcx.capacity() / 4, pcx.size() + rowWorst));
        const std::uint8_t* row = rows.Row(y);
        for (std::size_t plane = 0; plane < kPcxPlanes; ++plane)
            AppendRunLengthPlane(row + 2 - plane, rows.width(), rows.channels(), pcx);
    }
    pcx.reserve(pcx.size() + 1 + kPcxPaletteSize);
    pcx.push_back(kPcxPaletteMarker);
    pcx.resize(pcx.size() + kPcxPaletteSize, 0);
    return pcx;
}

}  // namespace pictrova::imaging
