// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <chrono>

#include "image_oracle.h"
#include "imaging/emf_records.h"
#include "imaging/engine_io.h"
#include "imaging/picture_files.h"
#include "ole_builder/enhanced_metafiles.h"
#include "picture_fixtures.h"
#include "recording_host.h"
#include "test_paths.h"

namespace pictrova::imaging {
namespace {

using fixtures::EmfContent;
using fixtures::MakeEnhancedMetafile;
using testing::TempDir;

std::uint32_t Hex(fixtures::Rgb c) {
    return static_cast<std::uint32_t>(c.red) << 16 | c.green << 8 | c.blue;
}

void Put32(std::vector<std::uint8_t>& bytes, std::size_t at, std::uint32_t value) {
    for (int i = 0; i < 4; ++i)
        bytes.at(at + i) = static_cast<std::uint8_t>(value >> (8 * i));
}

// Offsets in the builder's pictures: the header is 88 bytes, the first record selects the null
// pen (12 bytes). Rectangles then create a brush at 100 and draw at 136; the polygon's record
// starts at 136 (its point count at 160); the bitmap's STRETCHDIBITS starts at 100 (bitmap
// header offset at 148, the header itself at 180). Every picture ends in a 20-byte EMR_EOF.
constexpr std::size_t kFrameRight = 32, kFrameBottom = 36, kDeviceMillimetres = 80,
                      kFirstRecord = 88;

std::vector<std::uint8_t> BeforeEnd(std::vector<std::uint8_t> emf,
                                    std::initializer_list<std::uint32_t> record, int copies = 1) {
    std::vector<std::uint8_t> words;
    for (std::uint32_t w : record) {
        for (int i = 0; i < 4; ++i)
            words.push_back(static_cast<std::uint8_t>(w >> (8 * i)));
    }
    for (int i = 0; i < copies; ++i)
        emf.insert(emf.end() - 20, words.begin(), words.end());
    return emf;
}

// The frame (hundredths of a millimetre) for a picture of `pixels` at 96 dpi.
std::uint32_t FrameFor(int pixels) {
    return static_cast<std::uint32_t>(pixels * 2540 / 96);
}

struct Probe {
    int x, y;
    std::uint32_t rgb;
};

TEST(EnhancedMetafile, KnownShapesComeOutAtTheirFrameSizeAndColours) {
    const std::uint32_t red = Hex(fixtures::kEmfRed), green = Hex(fixtures::kEmfGreen),
                        blue = Hex(fixtures::kEmfBlue);
    constexpr std::uint32_t white = 0xFFFFFF;  // where nothing is painted
    auto bitmapProbe = [](int x, int y) {
        const fixtures::Rgb c = fixtures::PatternColour(x, y);
        return Probe{x, y, Hex(c)};
    };
    // Drawn over 240 x 160 pixels of a 192-dpi device (1920 pixels over 254 mm): its frame is
    // 120 x 80 pixels at 96 dpi, and the drawing is scaled into that.
    auto dense = MakeEnhancedMetafile(240, 160, EmfContent::Rectangles);
    Put32(dense, kFrameRight, FrameFor(120));
    Put32(dense, kFrameBottom, FrameFor(80));
    Put32(dense, kDeviceMillimetres, 254);
    Put32(dense, kDeviceMillimetres + 4, 190);
    // Framed larger than the drawing: the frame gives the size, the drawing keeps its place.
    auto framed = MakeEnhancedMetafile(120, 80, EmfContent::Rectangles);
    Put32(framed, kFrameRight, FrameFor(240));
    Put32(framed, kFrameBottom, FrameFor(160));
    const struct {
        const char* name;
        std::vector<std::uint8_t> emf;
        int width, height;
        std::vector<Probe> probes;
        int minInk = 0;  // text: at least this many dark pixels, none below its line
    } cases[] = {
        {"rectangles",
         MakeEnhancedMetafile(120, 80, EmfContent::Rectangles),
         120,
         80,
         {{0, 0, red},
          {30, 40, red},
          {100, 60, green},
          {119, 79, green},
          {100, 10, white},
          {119, 0, white}}},
        {"rectangles of odd size",
         MakeEnhancedMetafile(33, 17, EmfContent::Rectangles),
         33,
         17,
         {{5, 8, red}, {30, 14, green}, {30, 2, white}}},
        {"recorded on a denser device",
         dense,
         120,
         80,
         {{15, 20, red}, {100, 60, green}, {100, 10, white}}},
        {"framed larger than the drawing",
         framed,
         240,
         160,
         {{30, 40, red}, {100, 60, green}, {100, 10, white}, {200, 120, white}, {60, 150, white}}},
        {"polygon",
         MakeEnhancedMetafile(100, 100, EmfContent::Polygon),
         100,
         100,
         {{50, 60, blue}, {50, 95, blue}, {5, 5, white}, {95, 5, white}, {10, 50, white}}},
        {"bitmap",
         MakeEnhancedMetafile(40, 24, EmfContent::Bitmap),
         40,
         24,
         {bitmapProbe(0, 0), bitmapProbe(39, 23), bitmapProbe(17, 9), bitmapProbe(39, 0)}},
        {"black text on nothing else",
         MakeEnhancedMetafile(200, 60, EmfContent::BlackText),
         200,
         60,
         {{2, 2, white}, {150, 55, white}, {199, 0, white}},
         100},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TempDir dir;
        testing::WriteFile(dir / "temp.bmp",
                           c.emf);  // the work file's name says nothing of its kind
        testing::RecordingHost host;
        PictureHolder holder;
        std::string message;
        bool tooBig = false;
        ASSERT_TRUE(LoadPictureFile(host, holder, dir / "temp.bmp", message, false, tooBig));
        holder.SaveAsBmp(dir / "out.bmp");
        const testing::DecodedPicture pixels = testing::DecodeWithImageMagick(dir / "out.bmp");
        ASSERT_EQ(pixels.width, c.width);
        ASSERT_EQ(pixels.height, c.height);
        for (const Probe& p : c.probes) {
            EXPECT_EQ(pixels.Rgb(p.x, p.y), p.rgb)
                << std::hex << " at " << std::dec << p.x << "," << p.y;
        }
        if (c.minInk > 0) {
            int ink = 0, belowLine = 0;
            for (int y = 0; y < pixels.height; ++y) {
                for (int x = 0; x < pixels.width; ++x) {
                    if ((pixels.Rgb(x, y) & 0x808080) != 0)
                        continue;
                    ++ink;
                    if (y >= pixels.height * 3 / 4)
                        ++belowLine;
                }
            }
            EXPECT_GE(ink, c.minInk);
            EXPECT_EQ(belowLine, 0);
        }
    }
}

TEST(EnhancedMetafile, DamagedOrHostileFilesFailCleanlyAndQuickly) {
    const auto rectangles = MakeEnhancedMetafile(120, 80, EmfContent::Rectangles);
    const auto polygon = MakeEnhancedMetafile(100, 100, EmfContent::Polygon);
    const auto bitmap = MakeEnhancedMetafile(40, 24, EmfContent::Bitmap);
    auto patched = [](std::vector<std::uint8_t> emf, std::size_t at, std::uint32_t value) {
        Put32(emf, at, value);
        return emf;
    };
    // 8000 x 8000 pixels and 500 rectangles over all of its 64 megapixels.
    auto complex = BeforeEnd(rectangles, {43, 24, 0, 0, 8000, 8000}, 500);  // RECTANGLE
    Put32(complex, kFrameRight, FrameFor(8000));
    Put32(complex, kFrameBottom, FrameFor(8000));
    auto badDepth = bitmap;
    badDepth.at(180 + 14) = 7;
    std::vector<std::uint8_t> headerOnly(88, 0);
    headerOnly[0] = 1;
    headerOnly[4] = 88;
    Put32(headerOnly, 40, kEmfSignature);

    const struct {
        const char* name;
        std::vector<std::uint8_t> emf;
    } cases[] = {
        {"cut inside the header",
         std::vector<std::uint8_t>(rectangles.begin(), rectangles.begin() + 60)},
        {"cut inside a record",
         std::vector<std::uint8_t>(rectangles.begin(), rectangles.begin() + 150)},
        {"record of size zero", patched(rectangles, kFirstRecord + 4, 0)},
        {"record size not whole words", patched(rectangles, kFirstRecord + 4, 13)},
        {"record running past the end", patched(rectangles, kFirstRecord + 4, 0x7FFFFFF0)},
        {"rectangle shorter than its type", patched(rectangles, 136 + 4, 16)},
        {"a second header", patched(rectangles, kFirstRecord, 1)},
        {"polygon counting past its record", patched(polygon, 160, 0x40000000)},
        {"bitmap rows past their record", patched(bitmap, 180 + 8, 30000)},
        {"bitmap header outside its record", patched(bitmap, 148, 0xFFFFFFF0)},
        {"bitmap of an unknown depth", badDepth},
        {"header without an object table", headerOnly},
        {"empty frame", patched(rectangles, kFrameRight, 0)},
        {"frame larger than a bitmap", patched(rectangles, kFrameRight, 0x7FFFFFFF)},
        {"too complex to draw", complex},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TempDir dir;
        testing::WriteFile(dir / "temp.bmp", c.emf);
        testing::RecordingHost host;
        PictureHolder holder;
        std::string message;
        bool tooBig = false;
        const auto started = std::chrono::steady_clock::now();
        EXPECT_FALSE(LoadPictureFile(host, holder, dir / "temp.bmp", message, false, tooBig));
        EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(5));
        EXPECT_FALSE(holder.HasPicture());
        EXPECT_FALSE(tooBig);
        EXPECT_TRUE(host.messages.empty());
    }
}

std::vector<std::uint8_t> Described(std::vector<std::uint8_t> emf, std::uint32_t chars,
                                    std::uint32_t at) {
    Put32(emf, 60, chars);
    Put32(emf, 64, at);
    return emf;
}

TEST(EnhancedMetafile, RecordsAPlayerSkipsAreLeftOutAndThePictureStillDraws) {
    const auto rectangles = MakeEnhancedMetafile(120, 80, EmfContent::Rectangles);
    constexpr std::uint32_t kRecords = 11;  // header, ten drawing records and the end
    const struct {
        const char* name;
        std::vector<std::uint8_t> emf;
    } cases[] = {
        {"unknown record type", BeforeEnd(rectangles, {200, 12, 0})},
        {"object selected from beyond the table", BeforeEnd(rectangles, {37, 12, 9})},
        {"brush created into the picture's own slot",
         BeforeEnd(rectangles, {39, 24, 0, 0, 0xFF, 0})},
        {"window scaled by a zero divisor", BeforeEnd(rectangles, {32, 24, 1, 0, 1, 1})},
        {"state restored that was never saved", BeforeEnd(rectangles, {34, 12, 0xFFFFFFFF})},
        {"end record missing",
         std::vector<std::uint8_t>(rectangles.begin(), rectangles.end() - 20)},
        {"description outside the header", Described(rectangles, 5000, 0x7FFFFFF0)},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const CheckedEnhancedMetafile checked = CheckEnhancedMetafile(c.emf);
        EXPECT_EQ(checked.records, kRecords);
        EXPECT_EQ(checked.bits.size(), rectangles.size());
        EXPECT_EQ(checked.bits[checked.bits.size() - 20], 14);  // EMR_EOF last

        TempDir dir;
        testing::WriteFile(dir / "temp.emf", c.emf);
        PictureHolder holder;
        holder.LoadFromFile(dir / "temp.emf");
        holder.SaveAsBmp(dir / "out.bmp");
        EXPECT_EQ(testing::DecodeWithImageMagick(dir / "out.bmp").Rgb(30, 40),
                  Hex(fixtures::kEmfRed));
    }
}

// libemf2svg's libuemf and the engine's libwmf both export wmf_free: with both in one process
// every standard metafile crashed. EMF is drawn in its own program, so a standard metafile
// still draws after an enhanced one in the same process.
TEST(EnhancedMetafile, RegressionStandardMetafileDrawsAfterAnEnhancedOne) {
    TempDir dir;
    testing::WriteFile(dir / "a.emf", MakeEnhancedMetafile(30, 20, EmfContent::Rectangles));
    auto wmf = PlaceableHeader(LogicalWindow{0, 0, 200, 100}, 200);
    const auto records = fixtures::MakeMetafile(200, 100);
    wmf.insert(wmf.end(), records.begin(), records.end());
    testing::WriteFile(dir / "b.wmf", wmf);
    PictureHolder holder;
    holder.LoadFromFile(dir / "a.emf");
    EXPECT_EQ(holder.Image().dib_width(), 30);
    holder.LoadFromFile(dir / "b.wmf");
    EXPECT_EQ(holder.Image().dib_width(), 96);
}

// The drawing program on its own, as a user or the loader runs it: metafile on standard input,
// BMP file on standard output, the status telling a drawing from a refusal from a usage error.
TEST(EnhancedMetafile, DrawingProgramStatusAndOutput) {
    TempDir dir;
    testing::WriteFile(dir / "good.emf", MakeEnhancedMetafile(30, 20, EmfContent::Rectangles));
    const auto cut = MakeEnhancedMetafile(30, 20, EmfContent::Bitmap);
    testing::WriteFile(dir / "cut.emf", std::vector<std::uint8_t>(cut.begin(), cut.begin() + 120));
    const struct {
        const char* name;
        std::string arguments;
        const char* input;
        int status;
        int width, height;              // of the BMP written when the status is 0
        const char* printed = nullptr;  // what stdout starts with instead of a BMP
    } cases[] = {
        {"the frame's own size", "", "good.emf", 0, 30, 20},
        {"the size asked for", "7 300", "good.emf", 0, 7, 300},
        {"damaged metafile", "", "cut.emf", 1, 0, 0},
        {"empty input", "", "/dev/null", 1, 0, 0},
        {"one side only", "7", "good.emf", 2, 0, 0},
        {"a side of zero", "0 5", "good.emf", 2, 0, 0},
        {"a side that is not a number", "7 x", "good.emf", 2, 0, 0},
        {"a picture larger than a bitmap", "40000 40000", "good.emf", 1, 0, 0},
        // Answered without reading the input, on stdout, like the other programs.
        {"the usage", "--help", "good.emf", 0, 0, 0, "Usage: pictrova-emf [WIDTH HEIGHT]"},
        {"the version", "--version", "good.emf", 0, 0, 0, "pictrova-emf " PICTROVA_VERSION "\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const std::filesystem::path input =
            c.input[0] == '/' ? std::filesystem::path(c.input) : dir / c.input;
        const std::string status = testing::RunForOutput(
            "'" + (testing::BinDir() / "pictrova-emf").string() + "' " + c.arguments + " < '" +
            input.string() + "' > '" + (dir / "out.bmp").string() + "' 2>/dev/null; echo $?");
        EXPECT_EQ(std::stoi(status), c.status);
        if (c.printed != nullptr) {
            const auto bytes = ReadWholeFile(dir / "out.bmp");
            EXPECT_EQ(std::string(bytes.begin(), bytes.end()).rfind(c.printed, 0), 0u);
            continue;
        }
        if (c.status != 0)
            continue;
        const testing::DecodedPicture pixels = testing::DecodeWithImageMagick(dir / "out.bmp");
        EXPECT_EQ(pixels.width, c.width);
        EXPECT_EQ(pixels.height, c.height);
        EXPECT_EQ(pixels.Rgb(1, c.height - 1), Hex(fixtures::kEmfRed));
    }
}

}  // namespace
}  // namespace pictrova::imaging
