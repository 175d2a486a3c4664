// SPDX-License-Identifier: GPL-3.0-or-later
#include "imaging/bmp_decoder.h"

#include <gtest/gtest.h>

#include <cstring>

#include "imaging/engine_io.h"
#include "imaging/picture_holder.h"
#include "ole_builder/pictures.h"
#include "picture_fixtures.h"

namespace pictrova::imaging {
namespace {

using Bytes = std::vector<std::uint8_t>;

void Poke32(Bytes& bytes, std::size_t at, std::uint32_t v) {
    for (int i = 0; i < 4; ++i)
        bytes[at + static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(v >> (8 * i));
}

// The same file with its rows stored top row first (negative height).
Bytes TopDown(Bytes bmp, int height, std::size_t stride) {
    const std::size_t offset = bmp[10] | bmp[11] << 8;
    Bytes flipped = bmp;
    for (int row = 0; row < height; ++row) {
        std::memcpy(flipped.data() + offset + static_cast<std::size_t>(row) * stride,
                    bmp.data() + offset + static_cast<std::size_t>(height - 1 - row) * stride,
                    stride);
    }
    Poke32(flipped, 22, static_cast<std::uint32_t>(-height));
    return flipped;
}

// A 32-bit file with BI_BITFIELDS and the given masks after its 40-byte header.
Bytes ThirtyTwoBitWithMasks(std::uint32_t red, std::uint32_t green, std::uint32_t blue) {
    Bytes plain = fixtures::MakeBmpFile(7, 5, 32);
    Bytes bmp(plain.begin(), plain.begin() + 54);
    for (const std::uint32_t mask : {red, green, blue})
        testing::Put32(bmp, mask);
    bmp.insert(bmp.end(), plain.begin() + 54, plain.end());
    Poke32(bmp, 10, 66);
    Poke32(bmp, 30, 3);
    return bmp;
}

cDIBSection EngineDecoded(const Bytes& bmp) {
    return testing::EngineDecoded(bmp, "BMP", true);
}

struct DecodeCase {
    const char* name;
    Bytes bmp;
};

TEST(BmpDecoder, GivesTheEnginesPixelsForEveryLayoutItReads) {
    const DecodeCase cases[] = {
        {"1 bit, odd width", fixtures::MakeBmpFile(13, 5, 1)},
        {"4 bits", fixtures::MakeBmpFile(9, 6, 4)},
        {"4 bits, 5 colours used", fixtures::MakeBmpFile(9, 6, 4, 5)},
        {"8 bits", fixtures::MakeBmpFile(31, 7, 8)},
        {"8 bits, 100 colours used", fixtures::MakeBmpFile(31, 7, 8, 100)},
        {"8 bits, top row first", TopDown(fixtures::MakeBmpFile(31, 7, 8), 7, 32)},
        {"RLE8", fixtures::MakeRunLengthBmpFile(37, 9, 8)},
        {"RLE4", fixtures::MakeRunLengthBmpFile(37, 9, 4)},
        {"RLE4, even width", fixtures::MakeRunLengthBmpFile(40, 3, 4)},
        {"16 bits 5-5-5", fixtures::MakeBmpFile(11, 4, 16)},
        {"16 bits, top row first", TopDown(fixtures::MakeBmpFile(11, 4, 16), 4, 24)},
        {"16 bits 5-6-5",
         testing::HighColourCornersBmp({.compression = 3, .masks = {0xF800, 0x07E0, 0x001F}})},
        {"24 bits, padded rows", fixtures::MakeBmpFile(17, 6, 24)},
        {"24 bits, top row first", TopDown(fixtures::MakeBmpFile(17, 6, 24), 6, 52)},
        {"32 bits", fixtures::MakeBmpFile(7, 5, 32)},
        {"32 bits with byte masks", ThirtyTwoBitWithMasks(0xFF0000, 0x00FF00, 0x0000FF)},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        cDIBSection ours;
        ASSERT_TRUE(DecodeBmp(c.bmp, ours));
        const cDIBSection engine = EngineDecoded(c.bmp);
        testing::ExpectSameBitmap(ours, engine);
    }
}

// Files the decoder must leave to the engine, untouched and without a bitmap made.
TEST(BmpDecoder, LeavesOtherAndDamagedFilesToTheEngine) {
    Bytes rle = fixtures::MakeRunLengthBmpFile(37, 9, 8);
    const std::size_t rleBits = 54 + 1024;
    Bytes runPastTheRow = rle;
    runPastTheRow[rleBits + 4] = 200;  // the bottom row's first run, after the delta
    Bytes deltaPastTheTop = rle;
    deltaPastTheTop[rleBits + 3] = 9;
    Bytes indexOutsideTheTable = fixtures::MakeBmpFile(9, 6, 4, 5);
    indexOutsideTheTable[indexOutsideTheTable.size() - 8] = 0xFF;  // the top row's first pixels
    Bytes rleTopDown = rle;
    Poke32(rleTopDown, 22, static_cast<std::uint32_t>(-9));
    const Bytes eightBits = fixtures::MakeBmpFile(31, 7, 8);
    const DecodeCase cases[] = {
        {"not a BMP", fixtures::MakePngFile(4, 4)},
        {"headers only", Bytes(eightBits.begin(), eightBits.begin() + 54)},
        {"rows cut short", Bytes(eightBits.begin(), eightBits.end() - 1)},
        {"palette cut short", Bytes(eightBits.begin(), eightBits.begin() + 600)},
        {"run-length data cut short",
         Bytes(rle.begin(), rle.begin() + static_cast<std::ptrdiff_t>(rle.size() / 2))},
        {"run past the row's end", runPastTheRow},
        {"delta past the top row", deltaPastTheTop},
        {"run-length rows top first", rleTopDown},
        {"index outside the colour table", indexOutsideTheTable},
        {"32 bits with alpha mask", ThirtyTwoBitWithMasks(0xFF00, 0xFF0000, 0xFF000000)},
        {"32 bits, 10-bit masks", ThirtyTwoBitWithMasks(0x3FF00000, 0x000FFC00, 0x000003FF)},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        cDIBSection dib;
        EXPECT_FALSE(DecodeBmp(c.bmp, dib));
        EXPECT_EQ(dib.DIBSectionBitsPtr(), nullptr);
    }
}

// A header declaring a picture over the limits is refused before the bitmap takes any memory,
// whatever the file holds after it.
TEST(BmpDecoder, RefusesAPictureOverTheLimitsBeforeAllocating) {
    const struct {
        const char* name;
        std::int32_t width, height;
        int bitCount;
    } cases[] = {
        {"wider than a side may be", 40'000, 2, 24},
        {"over the pixel count", 30'000, 30'000, 8},
        {"tall, top row first", 2, -40'000, 1},
        {"run-length over the pixel count", 20'000, 20'000, 8},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Bytes bmp = c.bitCount == 8 && std::string(c.name).starts_with("run")
                        ? fixtures::MakeRunLengthBmpFile(8, 2, 8)
                        : fixtures::MakeBmpFile(2, 2, c.bitCount);
        Poke32(bmp, 18, static_cast<std::uint32_t>(c.width));
        Poke32(bmp, 22, static_cast<std::uint32_t>(c.height));
        cDIBSection dib;
        EXPECT_THROW(DecodeBmp(bmp, dib), PictureTooBig);
        EXPECT_EQ(dib.DIBSectionBitsPtr(), nullptr);
    }
}

}  // namespace
}  // namespace pictrova::imaging
