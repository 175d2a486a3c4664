// SPDX-License-Identifier: GPL-3.0-or-later
#include "imaging/png_encoder.h"

#include <gtest/gtest.h>

#include <fstream>
#include <functional>
#include <random>
#include <string>

#include "image_oracle.h"
#include "imaging/gif_encoder.h"
#include "imaging/picture_holder.h"
#include "test_paths.h"

namespace pictrova::imaging {
namespace {

using testing::TempDir;
using PixelRule = std::function<std::uint32_t(int x, int y)>;  // 0xRRGGBB

cDIBSection Picture(int width, int height, const PixelRule& rule) {
    cDIBSection dib;
    dib.Create(width, height, 3);
    for (int y = 0; y < height; ++y) {
        std::uint8_t* row = dib.DIBSectionBitsPtr() +
                            static_cast<std::size_t>(height - 1 - y) * dib.BytesPerScanLine();
        for (int x = 0; x < width; ++x) {
            const std::uint32_t c = rule(x, y);
            row[3 * x] = static_cast<std::uint8_t>(c);
            row[3 * x + 1] = static_cast<std::uint8_t>(c >> 8);
            row[3 * x + 2] = static_cast<std::uint8_t>(c >> 16);
        }
    }
    return dib;
}

std::uint32_t Grey(int level) {
    return static_cast<std::uint32_t>(level) * 0x010101u;
}

// Sensor-like noise on a slope: rows deflate to more than a quarter of their size, the case where
// the encoder may take zlib's run-length strategy.
PixelRule NoisyPhoto() {
    auto random = std::make_shared<std::mt19937>(7);
    return [random](int x, int y) {
        std::normal_distribution<double> noise(0, 3);
        auto channel = [&](double v) {
            return static_cast<std::uint32_t>(std::clamp(v + noise(*random), 0.0, 255.0));
        };
        return channel(100 + x / 4.0) << 16 | channel(80 + y / 5.0) << 8 | channel(140);
    };
}

void WriteFile(const std::filesystem::path& path, const std::vector<std::uint8_t>& bytes) {
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()),
               static_cast<std::streamsize>(bytes.size()));
}

// ImageMagick's count of pixels that differ between the two files (compare -metric AE).
std::string DifferingPixels(const std::filesystem::path& a, const std::filesystem::path& b) {
    return testing::RunForOutput(testing::ImageMagickTool("compare").string() + " -metric AE '" +
                                 a.string() + "' '" + b.string() + "' null: 2>&1");
}

std::string Identify(const std::filesystem::path& file, const std::string& format) {
    return testing::RunForOutput(testing::ImageMagickTool("identify").string() + " -format '" +
                                 format + "' '" + file.string() + "'");
}

struct LayoutCase {
    const char* name;
    int width, height;
    PixelRule pixel;
    const char* colourType;  // IHDR colour type: 0 grey, 2 RGB, 3 palette
    const char* bitDepth;
};

// Every picture is read back by ImageMagick with the colour type and depth the encoder must
// choose, and compared pixel for pixel with the same bitmap saved as BMP.
TEST(PngEncoder, PicksTheSmallestLosslessLayoutAndKeepsEveryPixel) {
    const LayoutCase cases[] = {
        {"black and white, odd width", 13, 5,
         [](int x, int y) { return (x + y) % 3 ? 0xFFFFFFu : 0u; }, "0", "1"},
        {"four grey levels of 2 bits", 9, 4, [](int x, int) { return Grey(85 * (x % 4)); }, "0",
         "2"},
        {"sixteen grey levels of 4 bits", 21, 3,
         [](int x, int y) { return Grey(17 * ((x + y) % 16)); }, "0", "4"},
        {"every grey level", 256, 2, [](int x, int) { return Grey(x); }, "0", "8"},
        {"three odd grey levels fit a 2-bit palette", 11, 7,
         [](int x, int) { return Grey(10 + 90 * (x % 3)); }, "3", "2"},
        {"two colours", 17, 3, [](int x, int) { return x % 2 ? 0xFF0000u : 0x0000FFu; }, "3", "1"},
        {"sixteen colours", 15, 9,
         [](int x, int y) { return 0x100000u * ((x + 2 * y) % 16) + 0x40; }, "3", "4"},
        {"256 colours", 64, 8,
         [](int x, int y) { return 0x010300u * static_cast<std::uint32_t>(x + 64 * (y % 4)) + 7; },
         "3", "8"},
        {"257 colours", 257, 3,
         [](int x, int y) {
             return x == 256 && y == 2 ? 0x123456u
                                       : 0x000100u * static_cast<std::uint32_t>(x) + 0x800000u;
         },
         "2", "8"},
        {"gradient, padded rows", 33, 17,
         [](int x, int y) {
             return static_cast<std::uint32_t>(x * 7) << 16 |
                    static_cast<std::uint32_t>(y * 15) << 8 |
                    static_cast<std::uint32_t>((x * y) % 256);
         },
         "2", "8"},
        {"noisy photo", 300, 200, NoisyPhoto(), "2", "8"},
        {"noisy photo no larger than the compressor's sample", 50, 40, NoisyPhoto(), "2", "8"},
        {"drawn picture larger than the compressor's sample", 320, 240,
         [](int x, int y) {
             return static_cast<std::uint32_t>(x / 40 * 30) << 16 |
                    static_cast<std::uint32_t>(y / 30 * 30) << 8 | static_cast<std::uint32_t>(x);
         },
         "2", "8"},
        {"one pixel", 1, 1, [](int, int) { return 0x336699u; }, "3", "1"},
    };
    TempDir dir;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        PictureHolder holder;
        holder.Image() = Picture(c.width, c.height, c.pixel);
        holder.SaveAsBmp(dir / "reference.bmp");
        WriteFile(dir / "out.png", EncodePng(holder.Image(), PngOptionsForQuality(85)));
        EXPECT_EQ(
            Identify(dir / "out.png", "%[png:IHDR.color-type-orig] %[png:IHDR.bit-depth-orig]"),
            std::string(c.colourType) + " " + c.bitDepth);
        EXPECT_EQ(DifferingPixels(dir / "reference.bmp", dir / "out.png"), "0");
    }
}

// Each quality's zlib level and row filter, on a picture every filter predicts differently.
TEST(PngEncoder, EveryQualityWritesTheSamePixels) {
    TempDir dir;
    PictureHolder holder;
    holder.Image() = Picture(47, 23, [](int x, int y) {
        return static_cast<std::uint32_t>((x * x + y) % 256) << 16 |
               static_cast<std::uint32_t>(x * 5 + y * 3) << 8 | static_cast<std::uint32_t>(y * 11);
    });
    holder.SaveAsBmp(dir / "reference.bmp");
    for (const std::uint32_t quality :
         {0u, 10u, 11u, 12u, 13u, 14u, 55u, 75u, 85u, 96u, 100u, 1000u}) {
        SCOPED_TRACE(quality);
        WriteFile(dir / "out.png", EncodePng(holder.Image(), PngOptionsForQuality(quality)));
        EXPECT_EQ(DifferingPixels(dir / "reference.bmp", dir / "out.png"), "0");
    }
}

TEST(PngEncoder, RefusesAnEmptyPictureAndOptionsOutOfRange) {
    cDIBSection empty;
    EXPECT_THROW(EncodePng(empty), Error);
    const cDIBSection one = Picture(2, 2, [](int, int) { return 0u; });
    EXPECT_THROW(EncodePng(one, {.level = 13, .filter = {}}), Error);
    EXPECT_THROW(EncodePng(one, {.level = 6, .filter = 5}), Error);
}

// The GIF encoder fed from the bitmap writes the bytes it wrote when fed the same pixels as
// red, green, blue rows (the way the engine handed them over).
TEST(GifEncoder, BitmapInputGivesTheSameFileAsRgbRows) {
    const PixelRule rules[] = {
        [](int x, int y) {
            return static_cast<std::uint32_t>(x * 3) << 16 |
                   static_cast<std::uint32_t>(y * 5) << 8 | 0x40u;
        },
        NoisyPhoto(),
        // Few colours: the exact palette, pixel by pixel.
        [](int x, int y) {
            return (x + y) % 3 == 0 ? 0xFFFFFFu : static_cast<std::uint32_t>(x) * 0x030201u;
        },
        // Many colours with pure white and black among them, which keep their entries.
        [](int x, int y) {
            return (x + y) % 4 == 0   ? 0xFFFFFFu
                   : (x * y) % 5 == 0 ? 0u
                                      : static_cast<std::uint32_t>(x * 4) << 16 |
                                            static_cast<std::uint32_t>(y * 6) << 8 |
                                            static_cast<std::uint32_t>(x * y % 256);
        },
    };
    for (const auto& rule : rules) {
        const cDIBSection dib = Picture(61, 37, rule);
        std::vector<std::uint8_t> rgb;
        for (int y = 0; y < 37; ++y) {
            const std::uint8_t* row =
                dib.DIBSectionBitsPtr() + static_cast<std::size_t>(36 - y) * dib.BytesPerScanLine();
            for (int x = 0; x < 61; ++x)
                rgb.insert(rgb.end(), {row[3 * x + 2], row[3 * x + 1], row[3 * x]});
        }
        for (const bool dither : {false, true}) {
            EXPECT_EQ(EncodeGif(dib, {.colours = 256, .dither = dither}),
                      EncodeGif(RgbPixels{rgb, 61, 37}, {.colours = 256, .dither = dither}));
        }
    }
}

}  // namespace
}  // namespace pictrova::imaging
