// SPDX-License-Identifier: GPL-3.0-or-later
#include "imaging/high_colour_bmp.h"

#include <array>
#include <bit>

#include "common/byte_reader.h"
#include "common/checked_math.h"
#include "common/limits.h"
#include "imaging/bmp_format.h"
#include "imaging/dib_section.h"

namespace pictrova::imaging {
namespace {

constexpr std::size_t kPixelOffsetAt = 10;
constexpr std::size_t kInfoHeaderAt = 14;
constexpr std::size_t kMasksAt = 54;
constexpr std::uint32_t kMinInfoHeaderSize = 40;
constexpr std::uint16_t kHighColourBits = 16;
constexpr std::uint32_t kBiRgb = 0;
constexpr std::uint32_t kBiBitFields = 3;
constexpr std::array<std::uint32_t, 3> kFiveFiveFiveMasks = {0x7C00, 0x03E0, 0x001F};

// One channel's place in the 16-bit pixel.
struct Channel {
    unsigned shift = 0;
    unsigned bits = 0;
};

std::optional<Channel> ChannelOf(std::uint32_t mask) {
    if (mask == 0 || mask > 0xFFFF)
        return std::nullopt;
    const auto shift = static_cast<unsigned>(std::countr_zero(mask));
    const auto bits = static_cast<unsigned>(std::popcount(mask));
    if ((mask >> shift) != (1u << bits) - 1 || bits > 8)
        return std::nullopt;  // holes in the mask
    return Channel{shift, bits};
}

// Every value of a channel widened to 8 bits by repeating its bits.
std::array<std::uint8_t, 256> WideningTable(unsigned bits) {
    std::array<std::uint8_t, 256> table{};
    for (unsigned v = 0; v < (1u << bits); ++v) {
        unsigned wide = 0;
        unsigned filled = 0;
        while (filled < 8) {
            wide = (wide << bits) | v;
            filled += bits;
        }
        table[v] = static_cast<std::uint8_t>(wide >> (filled - 8));
    }
    return table;
}

}  // namespace

std::optional<std::vector<std::uint8_t>> WidenHighColourBmp(std::span<const std::uint8_t> bmp) {
    try {
        ByteReader r(bmp);
        if (r.u8() != 'B' || r.u8() != 'M')
            return std::nullopt;
        r.seek(kPixelOffsetAt);
        const std::uint32_t pixelOffset = r.u32le();
        r.seek(kInfoHeaderAt);
        const std::uint32_t headerSize = r.u32le();
        const std::int32_t width = r.i32le();
        const std::int32_t height = r.i32le();
        r.skip(2);  // planes
        const std::uint16_t bitCount = r.u16le();
        const std::uint32_t compression = r.u32le();
        if (headerSize < kMinInfoHeaderSize || bitCount != kHighColourBits)
            return std::nullopt;
        if (compression != kBiRgb && compression != kBiBitFields)
            return std::nullopt;

        std::array<std::uint32_t, 3> masks = kFiveFiveFiveMasks;
        if (compression == kBiBitFields) {
            r.seek(kMasksAt);
            for (auto& mask : masks)
                mask = r.u32le();
        }
        std::array<Channel, 3> channels;
        for (std::size_t c = 0; c < 3; ++c) {
            const auto channel = ChannelOf(masks[c]);
            if (!channel)
                return std::nullopt;
            channels[c] = *channel;
        }

        const std::int64_t rows = height < 0 ? -static_cast<std::int64_t>(height) : height;
        if (!PictureSizeAllowed(width, rows))
            return std::nullopt;
        const auto columns = static_cast<std::size_t>(width);
        const std::size_t inStride = (columns * 2 + 3) & ~std::size_t{3};
        const std::size_t outStride = (columns * 3 + 3) & ~std::size_t{3};
        const std::size_t inBytes =
            CheckedMul<std::size_t>(inStride, static_cast<std::size_t>(rows));
        if (pixelOffset > bmp.size() || bmp.size() - pixelOffset < inBytes)
            return std::nullopt;
        const std::size_t outBytes =
            CheckedMul<std::size_t>(outStride, static_cast<std::size_t>(rows));

        std::vector<std::uint8_t> out(CheckedAdd(kBmpHeadersSize, outBytes));
        WriteBmp24Headers(out, width, height, CheckedCast<std::uint32_t>(outBytes));

        const std::array<std::array<std::uint8_t, 256>, 3> tables = {
            WideningTable(channels[0].bits), WideningTable(channels[1].bits),
            WideningTable(channels[2].bits)};
        r.seek(pixelOffset);
        for (std::size_t y = 0; y < static_cast<std::size_t>(rows); ++y) {
            ByteReader row(r.bytes(inStride));
            std::uint8_t* dst = out.data() + kBmpHeadersSize + y * outStride;
            for (std::size_t x = 0; x < columns; ++x) {
                const std::uint16_t pixel = row.u16le();
                // BMP stores blue, green, red.
                for (std::size_t c = 0; c < 3; ++c) {
                    const unsigned value =
                        (pixel >> channels[c].shift) & ((1u << channels[c].bits) - 1);
                    dst[3 * x + 2 - c] = tables[c][value];
                }
            }
        }
        return out;
    } catch (const std::exception&) {
        return std::nullopt;
    }
}

}  // namespace pictrova::imaging
