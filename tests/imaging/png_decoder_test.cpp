// SPDX-License-Identifier: GPL-3.0-or-later
#include "imaging/png_decoder.h"

#include <gtest/gtest.h>

#include <cstring>
#include <functional>

#include "imaging/engine_io.h"
#include "imaging/image_engine.h"
#include "imaging/picture_holder.h"
#include "ole_builder/pictures.h"
#include "picture_fixtures.h"

namespace pictrova::imaging {
namespace {

using Bytes = std::vector<std::uint8_t>;

// A picture whose colours change in both directions, written by the engine as a PNG with
// `configure` applied.
Bytes EnginePng(int width, int height, const std::function<void(Magick::Image&)>& configure) {
    return testing::EngineGradientFile(width, height, "PNG", configure);
}

cDIBSection EngineDecoded(const Bytes& png) {
    return testing::EngineDecoded(png, "PNG");
}

struct PngCase {
    const char* name;
    Bytes png;
};

TEST(PngDecoder, GivesTheEnginesPixels) {
    const PngCase cases[] = {
        {"RGB, stored blocks", fixtures::MakePngFile(21, 13)},
        {"RGB 8 bits", EnginePng(37, 23, [](Magick::Image& i) { i.depth(8); })},
        {"RGB 16 bits", EnginePng(19, 7, [](Magick::Image& i) { i.depth(16); })},
        {"grey 8 bits", EnginePng(29, 31,
                                  [](Magick::Image& i) {
                                      i.type(Magick::GrayscaleType);
                                      i.depth(8);
                                  })},
        {"two-level grey", EnginePng(33, 9, [](Magick::Image& i) { i.type(Magick::BilevelType); })},
        {"palette", EnginePng(30, 20,
                              [](Magick::Image& i) {
                                  i.quantizeColors(40);
                                  i.quantize();
                                  i.magick("PNG8");
                              })},
        {"interlaced", EnginePng(41, 27,
                                 [](Magick::Image& i) {
                                     i.interlaceType(Magick::LineInterlace);
                                     i.depth(8);
                                 })},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        cDIBSection ours;
        ASSERT_TRUE(DecodePng(c.png, ours));
        const cDIBSection engine = EngineDecoded(c.png);
        testing::ExpectSameBitmap(ours, engine);
    }
}

void PutBigEndian(Bytes& bytes, std::size_t at, std::uint32_t v) {
    for (int i = 0; i < 4; ++i)
        bytes[at + static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(v >> (24 - 8 * i));
}

// The same file declaring another size (IHDR's CRC left stale: libpng checks it, so the CRC is
// made right again).
Bytes Declaring(Bytes png, std::uint32_t width, std::uint32_t height);

TEST(PngDecoder, LeavesOtherAndDamagedFilesToTheEngine) {
    const Bytes plain = EnginePng(37, 23, [](Magick::Image& i) { i.depth(8); });
    Bytes badCrc = plain;
    badCrc[29] ^= 0xFF;  // IHDR's CRC
    const PngCase cases[] = {
        {"not a PNG", Bytes{'B', 'M', 0, 0, 0, 0, 0, 0, 0, 0}},
        {"signature only", Bytes(plain.begin(), plain.begin() + 8)},
        {"image data cut short",
         Bytes(plain.begin(), plain.begin() + static_cast<std::ptrdiff_t>(plain.size() * 2 / 3))},
        {"header CRC wrong", badCrc},
        {"grey 16 bits", EnginePng(29, 5,
                                   [](Magick::Image& i) {
                                       i.type(Magick::GrayscaleType);
                                       i.depth(16);
                                   })},
        {"alpha channel", EnginePng(16, 16,
                                    [](Magick::Image& i) {
                                        i.matte(true);
                                        i.opacity(MaxRGB / 2);
                                    })},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        cDIBSection dib;
        EXPECT_FALSE(DecodePng(c.png, dib));
        EXPECT_EQ(dib.DIBSectionBitsPtr(), nullptr);
    }
}

Bytes Declaring(Bytes png, std::uint32_t width, std::uint32_t height) {
    PutBigEndian(png, 16, width);
    PutBigEndian(png, 20, height);
    std::uint32_t crc = 0xFFFF'FFFF;  // over "IHDR" and its 13 bytes
    for (std::size_t i = 12; i < 29; ++i) {
        crc ^= png[i];
        for (int k = 0; k < 8; ++k)
            crc = (crc >> 1) ^ (0xEDB8'8320u & (0u - (crc & 1u)));
    }
    PutBigEndian(png, 29, ~crc);
    return png;
}

TEST(PngDecoder, RefusesAPictureOverTheLimitsBeforeAllocating) {
    const Bytes plain = EnginePng(37, 23, [](Magick::Image& i) { i.depth(8); });
    const struct {
        const char* name;
        std::uint32_t width, height;
    } cases[] = {
        {"wider than a side may be", 40'000, 8},
        {"over the pixel count", 30'000, 30'000},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        cDIBSection dib;
        EXPECT_THROW(DecodePng(Declaring(plain, c.width, c.height), dib), PictureTooBig);
        EXPECT_EQ(dib.DIBSectionBitsPtr(), nullptr);
    }
}

}  // namespace
}  // namespace pictrova::imaging
