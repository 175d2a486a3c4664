// SPDX-License-Identifier: GPL-3.0-or-later
#include "converter/converter.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>

#include "common/command_line.h"
#include "image_oracle.h"
#include "imaging/engine/engine_images.h"
#include "imaging/engine_io.h"
#include "imaging/metafile_frame.h"
#include "imaging/picture_holder.h"
#include "imaging/picture_kind.h"
#include "ole_builder/enhanced_metafiles.h"
#include "picture_fixtures.h"
#include "recording_host.h"
#include "run/external_converter.h"
#include "test_paths.h"
#include "wmf_builder.h"

namespace pictrova::converter {
namespace {

using imaging::cDIBSection;
using imaging::PictureHolder;
using run::OutputFormat;
using testing::DibPixel;
using testing::RecordingHost;
using testing::Rgb;
using testing::TempDir;

constexpr int kWidth = 64;
constexpr int kHeight = 48;

// A card with a different colour at almost every pixel, so that a palette or an upside-down
// row order cannot pass unnoticed.
Rgb GradientColour(int x, int y) {
    return {x * 255 / (kWidth - 1), y * 255 / (kHeight - 1), (x * 7 + y * 13) % 256};
}

using ColourAt = Rgb (*)(int x, int y);

void WriteBmp(const std::filesystem::path& path, ColourAt colour) {
    PictureHolder holder;
    cDIBSection& dib = holder.Image();
    dib.Create(kWidth, kHeight, 3);
    for (int y = 0; y < kHeight; ++y) {
        for (int x = 0; x < kWidth; ++x) {
            Rgb c = colour(x, y);
            std::uint8_t* p = dib.DIBSectionBitsPtr() +
                              static_cast<std::size_t>(kHeight - 1 - y) * dib.BytesPerScanLine() +
                              3 * x;
            p[0] = static_cast<std::uint8_t>(c.b);
            p[1] = static_cast<std::uint8_t>(c.g);
            p[2] = static_cast<std::uint8_t>(c.r);
        }
    }
    holder.SaveAsBmp(path);
}

void WriteGradientBmp(const std::filesystem::path& path) {
    WriteBmp(path, GradientColour);
}

// Runs the converter exactly as the run does: the command line text, split, no shell.
std::int32_t RunConverter(OutputFormat format, int quality, const std::filesystem::path& output,
                          const std::filesystem::path& input) {
    RecordingHost host;
    const std::string line = run::ConverterCommandLine(
        (testing::BinDir() / "pictrova-convert").string(),
        run::ConverterArguments(run::ConverterFormatWords(format, quality), output.string(),
                                input.string()));
    return run::ShellAndWait(host, line, 0, std::chrono::seconds(60));
}

std::size_t FileCount(const std::filesystem::path& dir) {
    return static_cast<std::size_t>(std::distance(std::filesystem::directory_iterator(dir), {}));
}

struct OutputCase {
    OutputFormat format;
    int quality;
    const char* coder;         // what the engine must find in the output
    int maxChannelDifference;  // 0: lossless
    // The file's layout as ImageMagick reads it: `identify -format` text and what it prints.
    const char* layoutQuery;
    const char* layout;
};

TEST(PictrovaConvert, EveryOutputFormatReadsBackAsTheInput) {
    const OutputCase cases[] = {
        {OutputFormat::BMP, 85, "BMP", 0, "%m %C %z %[type]", "BMP3 None 8 TrueColor"},
        {OutputFormat::PNG, 85, "PNG", 0, "%m %z", "PNG 8"},
        {OutputFormat::PNG, 0, "PNG", 0, "%m %z", "PNG 8"},
        {OutputFormat::PNG, 100, "PNG", 0, "%m %z", "PNG 8"},
        // Uncompressed little-endian RGB, 8 bits a sample.
        {OutputFormat::TIFF, 85, "TIFF", 0, "%m %C %[tiff:photometric] %[tiff:endian] %z %[type]",
         "TIFF None RGB lsb 8 TrueColor"},
        // Uncompressed, rows top first (the file says so; readers that ignore the flag would
        // turn a bottom-first file upside down).
        {OutputFormat::TGA, 85, "TGA", 0, "%m %C %[orientation] %z %[type]",
         "TGA None TopLeft 8 TrueColor"},
        {OutputFormat::PCX, 85, "PCX", 0, "%m %z %[type]", "PCX 8 TrueColor"},
        // 256 colours out of ~3000, dithered: single pixels stray, the mean stays close
        {OutputFormat::GIF, 85, "GIF", 128, "%m %[type]", "GIF Palette"},
    };
    TempDir dir;
    WriteGradientBmp(dir / "intermediate.bmp");
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.coder) + " q" + std::to_string(c.quality));
        const auto output = dir / ("Output1" + run::ConverterOutputExtension(c.format));
        ASSERT_EQ(RunConverter(c.format, c.quality, output, dir / "intermediate.bmp"), 0);
        const auto bytes = testing::ReadFile(output);
        Magick::Image image =
            imaging::ReadEngineImage(bytes, c.coder == std::string("TGA") ? "TGA" : "");
        EXPECT_EQ(image.magick(), c.coder);
        cDIBSection back;
        imaging::EngineImageToDib(image, back);
        ASSERT_EQ(back.dib_width(), kWidth);
        ASSERT_EQ(back.dib_height(), kHeight);
        int worst = 0;
        long total = 0;
        for (int y = 0; y < kHeight; ++y) {
            for (int x = 0; x < kWidth; ++x) {
                const Rgb got = DibPixel(back, x, y);
                const Rgb want = GradientColour(x, y);
                const int d = std::max(
                    {std::abs(got.r - want.r), std::abs(got.g - want.g), std::abs(got.b - want.b)});
                worst = std::max(worst, d);
                total += d;
            }
        }
        EXPECT_LE(worst, c.maxChannelDifference);
        // A second reader that is not the engine: the same pixels, the expected layout.
        EXPECT_EQ(testing::Identify(output, c.layoutQuery), c.layout);
        if (c.maxChannelDifference == 0) {
            const testing::DecodedPicture seen = testing::DecodeWithImageMagick(output);
            ASSERT_EQ(seen.width, kWidth);
            ASSERT_EQ(seen.height, kHeight);
            for (int y = 0; y < kHeight; ++y) {
                for (int x = 0; x < kWidth; ++x) {
                    const Rgb want = GradientColour(x, y);
                    const auto got = seen.at(x, y);
                    ASSERT_EQ((Rgb{got[0], got[1], got[2]}), want) << x << "," << y;
                }
            }
        }
        if (c.format == OutputFormat::GIF) {
            EXPECT_LE(total / (kWidth * kHeight), 12);  // mean error of the palette
            EXPECT_GT(worst, 0);                        // it really was reduced
        }
        std::filesystem::remove(output);
        EXPECT_EQ(FileCount(dir.path()), 1u);  // no temporary left beside
    }
}

TEST(PictrovaConvert, TargaIsWrittenTheRightWayUp) {
    TempDir dir;
    WriteGradientBmp(dir / "in.bmp");
    ASSERT_EQ(RunConverter(OutputFormat::TGA, 85, dir / "out.tga", dir / "in.bmp"), 0);
    const auto tga = testing::ReadFile(dir / "out.tga");
    ASSERT_GT(tga.size(), 18u);
    // Header: id length, colour-map type, image type 2 (true colour), ..., depth at 16,
    // descriptor at 17 (bit 5: first stored row is the top one).
    ASSERT_EQ(tga[1], 0);
    ASSERT_EQ(tga[2], 2);
    ASSERT_EQ(tga[16], 24);
    // Top-left origin, which every reader shows the right way up (ImageMagick 6 turns
    // bottom-left files over): descriptor bit 5 set, top row stored first.
    EXPECT_EQ(tga[17] & 0x30, 0x20);
    const std::size_t first = 18 + tga[0];
    const Rgb stored{tga[first + 2], tga[first + 1], tga[first]};
    EXPECT_EQ(stored, GradientColour(0, 0));
    const std::size_t lastRow = first + static_cast<std::size_t>(kHeight - 1) * kWidth * 3;
    const Rgb storedLast{tga[lastRow + 2], tga[lastRow + 1], tga[lastRow]};
    EXPECT_EQ(storedLast, GradientColour(0, kHeight - 1));
}

constexpr Rgb kWhite{255, 255, 255};
constexpr Rgb kBlack{0, 0, 0};

// 256 colours, each used 12 times; with `ends` the first is black and the last white.
Rgb PaletteColour(int x, int y, bool ends) {
    const int i = (x + y * kWidth) % 256;
    if (ends && i == 0)
        return kBlack;
    if (ends && i == 255)
        return kWhite;
    return {i, (i * 37) % 256, (i * 101 + 7) % 256};
}

TEST(PictrovaConvert, GifKeepsExactColours) {
    const struct {
        const char* name;
        ColourAt colour;
        bool everyPixelExact;  // false: only white and black must be exact
    } cases[] = {
        {"256 colours", [](int x, int y) { return PaletteColour(x, y, false); }, true},
        {"256 colours, black and white among them",
         [](int x, int y) { return PaletteColour(x, y, true); }, true},
        {"black and white checks", [](int x, int y) { return (x + y) % 2 ? kWhite : kBlack; },
         true},
        {"one colour",
         [](int, int) {
             return Rgb{12, 34, 56};
         },
         true},
        {"3072 colours with a white frame and a black bar",
         [](int x, int y) {
             if (x < 2 || y < 2 || x >= kWidth - 2 || y >= kHeight - 2)
                 return kWhite;
             if (x >= 20 && x < 24)
                 return kBlack;
             return GradientColour(x, y);
         },
         false},
    };
    TempDir dir;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        WriteBmp(dir / "in.bmp", c.colour);
        ASSERT_EQ(RunConverter(OutputFormat::GIF, 85, dir / "out.gif", dir / "in.bmp"), 0);
        cDIBSection back;
        imaging::EngineImageToDib(
            imaging::ReadEngineImage(testing::ReadFile(dir / "out.gif"), "GIF"), back);
        ASSERT_EQ(back.dib_width(), kWidth);
        ASSERT_EQ(back.dib_height(), kHeight);
        int shifted = 0;
        long total = 0;
        for (int y = 0; y < kHeight; ++y) {
            for (int x = 0; x < kWidth; ++x) {
                const Rgb want = c.colour(x, y);
                const Rgb got = DibPixel(back, x, y);
                if ((c.everyPixelExact || want == kWhite || want == kBlack) && got != want)
                    ++shifted;
                total +=
                    std::abs(got.r - want.r) + std::abs(got.g - want.g) + std::abs(got.b - want.b);
            }
        }
        EXPECT_EQ(shifted, 0);
        EXPECT_LE(total / (kWidth * kHeight), 18);  // mean error over the three channels
    }
}

// 16-bit input through the converter: every channel's corners keep the full 0..255 range.
TEST(PictrovaConvert, HighColourBmpInputKeepsItsFullRange) {
    TempDir dir;
    testing::WriteFile(dir / "in.bmp", testing::HighColourCornersBmp({}));
    ASSERT_EQ(RunConverter(OutputFormat::PNG, 85, dir / "out.png", dir / "in.bmp"), 0);
    cDIBSection back;
    imaging::EngineImageToDib(imaging::ReadEngineImage(testing::ReadFile(dir / "out.png"), "PNG"),
                              back);
    constexpr int kLevels[4] = {0, 8, 247, 255};
    for (int x = 0; x < 4; ++x) {
        EXPECT_EQ(DibPixel(back, x, 0), (Rgb{kLevels[x], 0, 0}));
        EXPECT_EQ(DibPixel(back, x, 1), (Rgb{0, kLevels[x], 0}));
        EXPECT_EQ(DibPixel(back, x, 2), (Rgb{0, 0, kLevels[x]}));
    }
}

// One inch square at 1440 units per inch: 96 pixels on the reference screen.
std::vector<std::uint8_t> PlaceableTwoShapes() {
    auto file = imaging::PlaceableHeader(imaging::LogicalWindow{0, 0, 1440, 1440}, 1440);
    auto records = testing::WmfBuilder::TwoShapes().Build();
    file.insert(file.end(), records.begin(), records.end());
    return file;
}

TEST(PictrovaConvert, ReadsIconsCursorsAndTargaByContent) {
    TempDir dir;
    WriteGradientBmp(dir / "in.bmp");
    ASSERT_EQ(RunConverter(OutputFormat::TGA, 85, dir / "card.tga", dir / "in.bmp"), 0);
    const struct {
        const char* name;
        std::vector<std::uint8_t> bytes;
        int width;
    } cases[] = {
        {"icon", testing::IconFile(1), 16},
        {"cursor", testing::IconFile(2), 16},
        {"targa", testing::ReadFile(dir / "card.tga"), kWidth},
        {"gif", testing::EngineEncodedCard("GIF", 20, 10), 20},
        {"placeable metafile", PlaceableTwoShapes(), 96},
        {"enhanced metafile",
         fixtures::MakeEnhancedMetafile(50, 30, fixtures::EmfContent::Rectangles), 50},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        // The work file is called temp.bmp whatever it holds.
        testing::WriteFile(dir / "temp.bmp", c.bytes);
        ASSERT_EQ(RunConverter(OutputFormat::BMP, 0, dir / "temp.bmp", dir / "temp.bmp"), 0);
        const auto bmp = testing::ReadFile(dir / "temp.bmp");
        ASSERT_EQ(imaging::SniffPictureKind(bmp), imaging::PictureKind::Bmp);
        EXPECT_EQ(bmp[28], 24);  // 24 bits per pixel
        PictureHolder holder;
        holder.LoadFromFile(dir / "temp.bmp");
        EXPECT_EQ(holder.Image().dib_width(), c.width);
    }
}

std::uint32_t Crc32(const std::uint8_t* data, std::size_t size) {
    std::uint32_t crc = 0xFFFFFFFF;
    for (std::size_t i = 0; i < size; ++i) {
        crc ^= data[i];
        for (int k = 0; k < 8; ++k)
            crc = (crc >> 1) ^ (0xEDB88320 & (0 - (crc & 1)));
    }
    return ~crc;
}

void PngChunk(std::vector<std::uint8_t>& png, const char* type,
              const std::vector<std::uint8_t>& data) {
    for (int s = 24; s >= 0; s -= 8)
        png.push_back(static_cast<std::uint8_t>(data.size() >> s));
    const std::size_t start = png.size();
    png.insert(png.end(), type, type + 4);
    png.insert(png.end(), data.begin(), data.end());
    const std::uint32_t crc = Crc32(png.data() + start, png.size() - start);
    for (int s = 24; s >= 0; s -= 8)
        png.push_back(static_cast<std::uint8_t>(crc >> s));
}

// A 31 KB PNG that declares 16000 x 16000 grey pixels.
std::vector<std::uint8_t> PngDeclaringHugeSize() {
    std::vector<std::uint8_t> png = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};
    PngChunk(png, "IHDR", {0, 0, 0x3E, 0x80, 0, 0, 0x3E, 0x80, 8, 0, 0, 0, 0});
    std::vector<std::uint8_t> idat = {0x78, 0x01};
    idat.resize(31 * 1024, 0);
    PngChunk(png, "IDAT", idat);
    PngChunk(png, "IEND", {});
    return png;
}

std::vector<std::uint8_t> CutEnhancedMetafile() {
    auto emf = fixtures::MakeEnhancedMetafile(50, 30, fixtures::EmfContent::Bitmap);
    emf.resize(emf.size() / 2);
    return emf;
}

TEST(PictrovaConvert, HostileInputsFailAndWriteNothing) {
    TempDir dir;
    auto bmp = testing::EngineEncodedCard("BMP", 40, 30);
    auto png = testing::EngineEncodedCard("PNG", 40, 30);
    auto gif = testing::EngineEncodedCard("GIF", 40, 30);
    auto wrongMagic = bmp;
    wrongMagic[0] = 'Q';
    auto zeroWidthBmp = bmp;
    std::fill(zeroWidthBmp.begin() + 18, zeroWidthBmp.begin() + 22, 0);
    const struct {
        const char* name;
        std::vector<std::uint8_t> bytes;
    } cases[] = {
        {"huge declared gif", testing::GifDeclaring(16000, 16000, 31 * 1024)},
        {"huge declared png", PngDeclaringHugeSize()},
        {"zero-size gif", testing::GifDeclaring(0, 0, 10)},
        {"zero-width bmp", zeroWidthBmp},
        {"wrong magic", wrongMagic},
        {"truncated bmp", std::vector<std::uint8_t>(bmp.begin(), bmp.begin() + bmp.size() / 2)},
        {"truncated png", std::vector<std::uint8_t>(png.begin(), png.begin() + png.size() / 2)},
        {"truncated gif", std::vector<std::uint8_t>(gif.begin(), gif.begin() + gif.size() / 2)},
        {"text", {'<', 's', 'v', 'g', '>', '\n'}},
        {"drawing script",
         {'v', 'i', 'e', 'w', 'b', 'o', 'x', ' ', '0', ' ', '0', ' ', '9', ' ', '9', '\n'}},
        {"empty", {}},
        {"metafile with a short record", testing::WmfBuilder::TwoShapes().Raw(0x041B, {5}).Build()},
        {"enhanced metafile cut inside a record", CutEnhancedMetafile()},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        testing::WriteFile(dir / "temp.bmp", c.bytes);
        for (OutputFormat format : {OutputFormat::PNG, OutputFormat::BMP}) {
            const auto output = dir / ("out" + run::ConverterOutputExtension(format));
            EXPECT_NE(RunConverter(format, 85, output, dir / "temp.bmp"), 0);
            EXPECT_FALSE(std::filesystem::exists(output));
            EXPECT_EQ(FileCount(dir.path()), 1u);
        }
    }
}

TEST(PictrovaConvert, MissingInputOrUnwritableOutputFails) {
    TempDir dir;
    WriteGradientBmp(dir / "in.bmp");
    EXPECT_EQ(RunConverter(OutputFormat::PNG, 85, dir / "out.png", dir / "missing.bmp"), 1);
    EXPECT_EQ(RunConverter(OutputFormat::PNG, 85, dir / "no-folder" / "out.png", dir / "in.bmp"),
              1);
    EXPECT_EQ(FileCount(dir.path()), 1u);

    // A picture only the image engine reads fails the same way when the engine's module cannot
    // be loaded, and converts when it is found beside the program.
    testing::WriteFile(dir / "in.pcx", testing::EngineEncodedCard("PCX", 40, 30));
    setenv("PICTROVA_ENGINE_MODULE", (dir / "missing" / "pictrova-engine.so").c_str(), 1);
    EXPECT_EQ(RunConverter(OutputFormat::PNG, 85, dir / "out.png", dir / "in.pcx"), 1);
    unsetenv("PICTROVA_ENGINE_MODULE");
    EXPECT_EQ(FileCount(dir.path()), 2u);
    EXPECT_EQ(RunConverter(OutputFormat::PNG, 85, dir / "out.png", dir / "in.pcx"), 0);
}

TEST(ConverterArguments, EveryRowOfTheRunParses) {
    const struct {
        OutputFormat format;
        OutputKind kind;
        std::optional<std::uint32_t> quality;
        bool dither;
        std::optional<std::uint32_t> colours;
    } cases[] = {
        {OutputFormat::BMP, OutputKind::Bmp, std::nullopt, false, std::nullopt},
        {OutputFormat::PNG, OutputKind::Png, 77u, false, std::nullopt},
        {OutputFormat::GIF, OutputKind::Gif, std::nullopt, true, 256u},
        {OutputFormat::TIFF, OutputKind::Tiff, std::nullopt, false, std::nullopt},
        {OutputFormat::TGA, OutputKind::Tga, std::nullopt, false, std::nullopt},
        {OutputFormat::PCX, OutputKind::Pcx, std::nullopt, false, std::nullopt},
    };
    for (const auto& c : cases) {
        const std::string args = run::ConverterArguments(run::ConverterFormatWords(c.format, 77),
                                                         "/o/a b.x", "/i/c d.bmp");
        const std::string line = run::ConverterCommandLine("/bin/pictrova-convert", args);
        auto split = SplitCommandLine(line);
        split.erase(split.begin());
        // Split as the run starts it, the arguments alone as one string, and the whole line.
        for (const auto& given :
             {split, std::vector<std::string>{args}, std::vector<std::string>{line}}) {
            SCOPED_TRACE(args);
            ConversionRequest r = ParseConverterArguments(given);
            EXPECT_EQ(r.output, c.kind);
            EXPECT_EQ(r.quality, c.quality);
            EXPECT_EQ(r.dither, c.dither);
            EXPECT_EQ(r.colours, c.colours);
            EXPECT_EQ(r.outputPath, "/o/a b.x");
            EXPECT_EQ(r.inputPath, "/i/c d.bmp");
        }
    }
}

TEST(ConverterArguments, MalformedArgumentsAreUsageErrors) {
    const std::vector<std::vector<std::string>> cases = {
        {},
        {"-out"},
        {"-out", "jpg", "-o", "a", "b"},
        {"-o", "a", "b"},
        {"-out", "png", "-q", "-5", "-o", "a", "b"},
        {"-out", "png", "-q", "x", "-o", "a", "b"},
        {"-out", "gif", "-colors", "100000", "-o", "a", "b"},
        {"-out", "png", "-resize", "9", "-o", "a", "b"},
        {"-out", "png", "-o", "a"},
        {"-out", "png", "-o", "a", "b", "c"},
        {"-out", "png", "-o", "", "b"},
    };
    for (const auto& args : cases)
        EXPECT_THROW(ParseConverterArguments(args), UsageError);
}

TEST(ConverterMain, ReportsOneLineAndAStatus) {
    ::testing::internal::CaptureStderr();
    EXPECT_EQ(ConverterMain({"-out", "png"}), 2);
    std::string usage = ::testing::internal::GetCapturedStderr();
    ::testing::internal::CaptureStderr();
    EXPECT_EQ(ConverterMain({"-out", "png", "-o", "/nonexistent/a.png", "/nonexistent/b.bmp"}), 1);
    std::string failure = ::testing::internal::GetCapturedStderr();
    for (const std::string& text : {usage, failure}) {
        EXPECT_EQ(text.rfind("pictrova-convert: ", 0), 0u) << text;
        EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 1) << text;
    }
    EXPECT_NE(usage.find("--help"), std::string::npos) << usage;
    ::testing::internal::CaptureStdout();
    EXPECT_EQ(ConverterMain({"--help"}), 0);
    const std::string help = ::testing::internal::GetCapturedStdout();
    EXPECT_EQ(help.rfind("Usage: pictrova-convert -out FORMAT", 0), 0u) << help;
    EXPECT_NE(help.find("Exit status: 0"), std::string::npos) << help;
}

}  // namespace
}  // namespace pictrova::converter
