// SPDX-License-Identifier: GPL-3.0-or-later
// The builders' picture files read back with the real readers (the picture holder, and the
// converter program for PNG and TIFF) and show the pattern they promise.
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>

#include "imaging/picture_holder.h"
#include "ole_builder/pictures.h"
#include "test_paths.h"

namespace pictrova::fixtures {
namespace {

using pictrova::testing::TempDir;

void WriteFile(const std::filesystem::path& path, const Bytes& bytes) {
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()),
               static_cast<std::streamsize>(bytes.size()));
}

Rgb PixelOf(const imaging::cDIBSection& dib, int x, int y) {
    std::vector<std::uint8_t> bits;
    dib.GetDIBBytes(bits);
    const std::size_t at = static_cast<std::size_t>(dib.dib_height() - 1 - y) *
                               static_cast<std::size_t>(dib.BytesPerScanLine()) +
                           3 * static_cast<std::size_t>(x);
    return {bits.at(at + 2), bits.at(at + 1), bits.at(at)};
}

// Compares every pixel with `expected`, allowing `tolerance` per channel.
template <typename Expected>
void ExpectPicture(const std::filesystem::path& path, int width, int height, Expected expected,
                   int tolerance = 0) {
    imaging::PictureHolder holder;
    ASSERT_NO_THROW(holder.LoadFromFile(path)) << path;
    const imaging::cDIBSection& dib = holder.Image();
    ASSERT_EQ(dib.dib_width(), width);
    ASSERT_EQ(dib.dib_height(), height);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            const Rgb got = PixelOf(dib, x, y), want = expected(x, y);
            ASSERT_LE(std::abs(got.red - want.red), tolerance) << x << "," << y;
            ASSERT_LE(std::abs(got.green - want.green), tolerance) << x << "," << y;
            ASSERT_LE(std::abs(got.blue - want.blue), tolerance) << x << "," << y;
        }
    }
}

struct BmpCase {
    int bits;
    std::uint32_t coloursUsed;
};

class BuilderBmp : public ::testing::TestWithParam<BmpCase> {};

TEST_P(BuilderBmp, ShowsItsPattern) {
    const BmpCase c = GetParam();
    TempDir dir;
    WriteFile(dir / "p.bmp", MakeBmpFile(9, 5, c.bits, c.coloursUsed));
    const int paletteSize =
        c.bits <= 8 ? static_cast<int>(c.coloursUsed ? c.coloursUsed : 1u << c.bits) : 0;
    ExpectPicture(
        dir / "p.bmp", 9, 5,
        [&](int x, int y) {
            return paletteSize ? PaletteColour(PaletteIndex(x, y, paletteSize))
                               : PatternColour(x, y);
        },
        c.bits == 16 ? 8 : 0);  // 5 bits per channel
}

INSTANTIATE_TEST_SUITE_P(BitCounts, BuilderBmp,
                         ::testing::Values(BmpCase{1, 0}, BmpCase{4, 0}, BmpCase{4, 5},
                                           BmpCase{8, 0}, BmpCase{8, 255}, BmpCase{8, 17},
                                           BmpCase{16, 0}, BmpCase{24, 0}, BmpCase{32, 0}));

// PNG and TIFF go through the converter program into BMP first.
class BuilderConverted : public ::testing::TestWithParam<const char*> {};

TEST_P(BuilderConverted, ShowsThePattern) {
    const std::string kind = GetParam();
    const auto converter = pictrova::testing::BinDir() / "pictrova-convert";
    if (!std::filesystem::exists(converter))
        GTEST_SKIP() << "pictrova-convert is not built";
    TempDir dir;
    WriteFile(dir / ("in." + kind), kind == "png" ? MakePngFile(7, 4) : MakeTiffFile(7, 4));
    const std::string command = "'" + converter.string() + "' -out bmp -o '" +
                                (dir / "out.bmp").string() + "' '" +
                                (dir / ("in." + kind)).string() + "'";
    ASSERT_EQ(std::system(command.c_str()), 0) << command;
    ExpectPicture(dir / "out.bmp", 7, 4, PatternColour);
}

INSTANTIATE_TEST_SUITE_P(Kinds, BuilderConverted, ::testing::Values("png", "tiff"));

TEST(BuilderPictures, DrawnBitmapIsAPlainBmp) {
    TempDir dir;
    WriteFile(dir / "d.bmp", MakeDrawnBmpFile(40, 30, 1));
    imaging::PictureHolder holder;
    ASSERT_NO_THROW(holder.LoadFromFile(dir / "d.bmp"));
    EXPECT_EQ(holder.Image().dib_width(), 40);
}

}  // namespace
}  // namespace pictrova::fixtures
