// SPDX-License-Identifier: GPL-3.0-or-later
#include "imaging/picture_files.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <functional>
#include <optional>

#include "image_oracle.h"
#include "imaging/jpeg_encoder.h"
#include "imaging/picture_encoder.h"
#include "imaging/picture_kind.h"
#include "picture_fixtures.h"
#include "recording_host.h"
#include "test_paths.h"
#include "wmf_builder.h"

namespace pictrova::imaging {
namespace {

using testing::CardColour;
using testing::DibPixel;
using testing::RecordingHost;
using testing::Rgb;
using testing::TempDir;

int Distance(Rgb a, Rgb b) {
    return std::abs(a.r - b.r) + std::abs(a.g - b.g) + std::abs(a.b - b.b);
}

void ExpectCard(const PictureHolder& holder, int width, int height, int tolerance) {
    ASSERT_TRUE(holder.HasPicture());
    ASSERT_EQ(holder.Image().dib_width(), width);
    ASSERT_EQ(holder.Image().dib_height(), height);
    // Probe each quadrant away from its edges (lossy coders blur the borders).
    for (auto [fx, fy] : {std::pair{0.25, 0.25}, {0.75, 0.25}, {0.25, 0.75}, {0.75, 0.75}}) {
        const int x = static_cast<int>(fx * width);
        const int y = static_cast<int>(fy * height);
        EXPECT_LE(Distance(DibPixel(holder.Image(), x, y), CardColour(x, y, width, height)),
                  tolerance)
            << x << "," << y;
    }
}

std::vector<std::uint8_t> PlaceableMetafile() {
    // 1440 units per inch, box 0,0 - 1440,720: a picture of 1 x 0.5 inch.
    auto bits = testing::WmfBuilder::TwoShapes().Build();
    std::vector<std::uint8_t> file = PlaceableHeader(LogicalWindow{0, 0, 1440, 720}, 1440);
    file.insert(file.end(), bits.begin(), bits.end());
    return file;
}

struct LoadCase {
    const char* name;
    std::vector<std::uint8_t> bytes;
    int width, height, tolerance;
};

TEST(LoadPictureFile, LoadsEveryListedKindByContent) {
    TempDir dir;
    PictureHolder card;
    testing::FillCard(card.Image(), 40, 30);
    card.SaveAsBmp(dir / "card.bmp");
    SaveJPG(card, dir / "card.jpg", 95);

    const LoadCase cases[] = {
        {"bmp", testing::ReadFile(dir / "card.bmp"), 40, 30, 0},
        {"jpeg", testing::ReadFile(dir / "card.jpg"), 40, 30, 30},
        {"gif", testing::EngineEncodedCard("GIF", 40, 30), 40, 30, 0},
        {"ico", testing::IconFile(1), 16, 16, 0},
        {"cur", testing::IconFile(2), 16, 16, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        // Every work file is called temp.bmp: only the content tells the kind.
        testing::WriteFile(dir / "temp.bmp", c.bytes);
        RecordingHost host;
        PictureHolder holder;
        std::string message;
        bool tooBig = false;
        ASSERT_TRUE(LoadPictureFile(host, holder, dir / "temp.bmp", message, false, tooBig));
        EXPECT_EQ(message, "");
        EXPECT_FALSE(tooBig);
        ExpectCard(holder, c.width, c.height, c.tolerance);
    }
}

TEST(LoadPictureFile, MetafileIsDrawnAtItsPlaceableSize) {
    TempDir dir;
    testing::WriteFile(dir / "temp.bmp", PlaceableMetafile());
    RecordingHost host;
    PictureHolder holder;
    std::string message;
    bool tooBig = false;
    ASSERT_TRUE(LoadPictureFile(host, holder, dir / "temp.bmp", message, false, tooBig));
    EXPECT_EQ(holder.Image().dib_width(), 96);
    EXPECT_EQ(holder.Image().dib_height(), 48);
    EXPECT_EQ(DibPixel(holder.Image(), 10, 10), (Rgb{255, 0, 0}));
    EXPECT_EQ(DibPixel(holder.Image(), 90, 3), (Rgb{255, 255, 255}));  // unpainted: white
}

TEST(LoadPictureFile, NonPicturesLeaveTheHolderEmpty) {
    TempDir dir;
    auto bmp = testing::EngineEncodedCard("BMP", 40, 30);
    auto truncatedBmp = std::vector<std::uint8_t>(bmp.begin(), bmp.begin() + 60);
    auto wrongMagic = bmp;
    wrongMagic[0] = 'X';
    std::vector<std::uint8_t> emf(88, 0);
    emf[0] = 1;
    emf[40] = ' ', emf[41] = 'E', emf[42] = 'M', emf[43] = 'F';
    const struct {
        const char* name;
        std::optional<std::vector<std::uint8_t>> bytes;  // none: no file at all
    } cases[] = {
        {"missing file", std::nullopt},
        {"text", std::vector<std::uint8_t>{'h', 'e', 'l', 'l', 'o', '\n'}},
        {"empty", std::vector<std::uint8_t>{}},
        {"png is not a listed kind", testing::EngineEncodedCard("PNG", 40, 30)},
        {"tiff is not a listed kind", testing::EngineEncodedCard("TIFF", 40, 30)},
        {"truncated bmp", truncatedBmp},
        {"wrong magic", wrongMagic},
        {"enhanced metafile with a broken header", emf},
        {"zero-size gif", testing::GifDeclaring(0, 0, 10)},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        std::filesystem::remove(dir / "temp.bmp");
        if (c.bytes)
            testing::WriteFile(dir / "temp.bmp", *c.bytes);
        RecordingHost host;
        PictureHolder holder;
        testing::FillCard(holder.Image(), 4, 4);  // a previous picture must not survive
        std::string message = "before";
        bool tooBig = false;
        EXPECT_FALSE(LoadPictureFile(host, holder, dir / "temp.bmp", message, true, tooBig));
        EXPECT_FALSE(holder.HasPicture());
        EXPECT_EQ(message, "before\r\n" + (dir / "temp.bmp").string());
        EXPECT_FALSE(tooBig);
        EXPECT_TRUE(host.messages.empty());
    }
}

TEST(LoadPictureFile, HugeDeclaredSizeIsTooBigAndRefusedQuickly) {
    TempDir dir;
    const auto gif = testing::GifDeclaring(16000, 16000, 31 * 1024);
    testing::WriteFile(dir / "temp.bmp", gif);
    for (bool show : {false, true}) {
        RecordingHost host;
        PictureHolder holder;
        std::string message;
        bool tooBig = false;
        const auto started = std::chrono::steady_clock::now();
        EXPECT_FALSE(LoadPictureFile(host, holder, dir / "temp.bmp", message, show, tooBig));
        EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(5));
        EXPECT_TRUE(tooBig);
        EXPECT_FALSE(holder.HasPicture());
        if (show) {
            ASSERT_EQ(host.messages.size(), 1u);
            EXPECT_EQ(host.messages[0], "Picture " + (dir / "temp.bmp").string() + " is too big.");
        } else {
            EXPECT_TRUE(host.messages.empty());
        }
    }
}

std::vector<std::uint8_t> WrappedDib(std::vector<std::uint8_t> picture, const char* pictureText,
                                     const char* dibText) {
    std::vector<std::uint8_t> file(45, '.');
    std::copy(pictureText, pictureText + 7, file.begin() + 20);
    std::copy(dibText, dibText + 3, file.begin() + 41);
    file.insert(file.end(), picture.begin(), picture.end());
    return file;
}

TEST(RepairPictureFile, PutsTheBitmapMarkerBeforeTheWrappedPicture) {
    TempDir dir;
    // The bitmap file minus its "BM": what the wrapper carries from offset 45.
    auto bmp = testing::EngineEncodedCard("BMP", 40, 30);
    std::vector<std::uint8_t> rest(bmp.begin() + 2, bmp.end());
    const auto wrapped = WrappedDib(rest, "Picture", "DIB");
    testing::WriteFile(dir / "temp.bmp", wrapped);
    RepairPictureFile(dir / "temp.bmp");
    const auto repaired = testing::ReadFile(dir / "temp.bmp");
    EXPECT_EQ(repaired.size(), wrapped.size() - 43);
    EXPECT_EQ(repaired, bmp);

    RecordingHost host;
    PictureHolder holder;
    std::string message;
    bool tooBig = false;
    EXPECT_TRUE(LoadPictureFile(host, holder, dir / "temp.bmp", message, false, tooBig));
}

TEST(RepairPictureFile, OtherFilesAreLeftAlone) {
    TempDir dir;
    auto shortWrapped = WrappedDib({}, "Picture", "DIB");
    shortWrapped.resize(43);
    const struct {
        const char* name;
        std::vector<std::uint8_t> bytes;
    } cases[] = {
        {"lower-case picture", WrappedDib({1, 2, 3}, "picture", "DIB")},
        {"lower-case dib", WrappedDib({1, 2, 3}, "Picture", "dib")},
        {"a bitmap already", testing::EngineEncodedCard("BMP", 40, 30)},
        {"shorter than the texts", shortWrapped},
        {"empty", {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        testing::WriteFile(dir / "temp.bmp", c.bytes);
        RepairPictureFile(dir / "temp.bmp");
        EXPECT_EQ(testing::ReadFile(dir / "temp.bmp"), c.bytes);
    }
    EXPECT_THROW(RepairPictureFile(dir / "missing.bmp"), Error);
}

TEST(SaveJPG, WritesAJpegOfThePicture) {
    TempDir dir;
    PictureHolder card;
    testing::FillCard(card.Image(), 64, 48);
    for (std::uint8_t quality : {0, 50, 100, 255}) {
        SCOPED_TRACE(static_cast<int>(quality));
        SaveJPG(card, dir / "out.jpg", quality);
        const auto bytes = testing::ReadFile(dir / "out.jpg");
        EXPECT_EQ(SniffPictureKind(bytes), PictureKind::Jpeg);
        PictureHolder back;
        back.LoadFromFile(dir / "out.jpg");
        ExpectCard(back, 64, 48, quality >= 50 ? 30 : 120);
    }
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), {}), 1);
}

// A photograph-like picture: smooth shading with a fine deterministic grain, 161 x 97 so the
// blocks and the halved chroma do not fit the sides.
void FillPhoto(cDIBSection& dib, int width, int height) {
    dib.Create(width, height, 3);
    std::uint32_t grain = 12345;
    for (int y = 0; y < height; ++y) {
        std::uint8_t* row = dib.DIBSectionBitsPtr() +
                            static_cast<std::size_t>(height - 1 - y) * dib.BytesPerScanLine();
        for (int x = 0; x < width; ++x) {
            grain = grain * 1103515245u + 12345u;
            const int noise = static_cast<int>((grain >> 16) % 17) - 8;
            row[3 * x] = static_cast<std::uint8_t>(std::clamp(40 + x + noise, 0, 255));
            row[3 * x + 1] = static_cast<std::uint8_t>(std::clamp(200 - y + noise, 0, 255));
            row[3 * x + 2] = static_cast<std::uint8_t>(std::clamp((x * y) / 60 + noise, 0, 255));
        }
    }
}

// Peak signal-to-noise ratio of `file` as ImageMagick decodes it, against the bitmap.
double PsnrAgainst(const cDIBSection& dib, const std::filesystem::path& file) {
    const testing::DecodedPicture seen = testing::DecodeWithImageMagick(file);
    EXPECT_EQ(seen.width, dib.dib_width());
    EXPECT_EQ(seen.height, dib.dib_height());
    double squares = 0;
    for (int y = 0; y < seen.height; ++y) {
        for (int x = 0; x < seen.width; ++x) {
            const Rgb want = DibPixel(dib, x, y);
            const auto got = seen.at(x, y);
            for (const auto& [a, b] :
                 {std::pair{want.r, int(got[0])}, {want.g, int(got[1])}, {want.b, int(got[2])}})
                squares += double(a - b) * (a - b);
        }
    }
    const double mean = squares / (3.0 * seen.width * seen.height);
    return 10 * std::log10(255.0 * 255.0 / std::max(mean, 1e-9));
}

// The quality the file's tables carry (ImageMagick's estimate), its chroma sampling, and its
// picture against the image engine's JPEG of the same pixels at the same quality, the program's
// earlier writer: no worse than half a decibel below it and no more than 3 % larger.
TEST(SaveJPG, KeepsTheQualityAndSamplingAndMatchesTheEnginesFile) {
    const struct {
        std::uint8_t quality;
        const char* identifiedQuality;
        const char* sampling;  // luminance, then the two chroma components
    } cases[] = {
        {50, "50", "2x2,1x1,1x1"},
        {85, "85", "2x2,1x1,1x1"},
        // From 90 up the chroma keeps every pixel.
        {95, "95", "1x1,1x1,1x1"},
        {255, "100", "1x1,1x1,1x1"},
    };
    TempDir dir;
    PictureHolder photo;
    FillPhoto(photo.Image(), 161, 97);
    for (const auto& c : cases) {
        SCOPED_TRACE(static_cast<int>(c.quality));
        SaveJPG(photo, dir / "ours.jpg", c.quality);
        EXPECT_EQ(testing::Identify(dir / "ours.jpg", "%Q %[jpeg:sampling-factor]"),
                  std::string(c.identifiedQuality) + " " + c.sampling);

        Magick::Image engine = DibToEngineImage(photo.Image());
        engine.quality(std::min<unsigned>(c.quality, 100));
        engine.magick("JPEG");
        Magick::Blob blob;
        engine.write(&blob);
        const auto* data = static_cast<const std::uint8_t*>(blob.data());
        testing::WriteFile(dir / "engine.jpg", {data, data + blob.length()});

        EXPECT_GE(PsnrAgainst(photo.Image(), dir / "ours.jpg"),
                  PsnrAgainst(photo.Image(), dir / "engine.jpg") - 0.5);
        EXPECT_LE(std::filesystem::file_size(dir / "ours.jpg"),
                  static_cast<std::uintmax_t>(blob.length() * 1.03));
    }
}

// The lossless formats written from the bitmap, against the image engine's writers of the same
// pixels (the program's earlier output): ImageMagick sees the bitmap's pixels, and the formats
// whose layout did not change are the engine's bytes. The picture is 131
// pixels wide (odd rows, runs longer than a run-length code holds) with bright flat runs (bytes a
// run-length coder must escape) beside grain.
TEST(EncodePicture, LosslessFormatsShowTheBitmapAsTheEnginesFilesDid) {
    const struct {
        EncodedFormat format;
        const char* engineCoder;
        const char* extension;  // ImageMagick knows a TGA by its name only
        bool sameBytes;
    } cases[] = {
        {EncodedFormat::Pcx, "PCX", "pcx", true},
        // The engine stated its own resolution; ours states none, as the run's BMP always did.
        {EncodedFormat::Bmp, "BMP3", "bmp", false},
        // The engine wrote rows bottom first; ours say top first.
        {EncodedFormat::Tga, "TGA", "tga", false},
        // The engine's name and version tags are gone.
        {EncodedFormat::Tiff, "TIFF", "tif", false},
    };
    TempDir dir;
    cDIBSection picture;
    FillPhoto(picture, 131, 7);
    for (int y = 0; y < 3; ++y) {
        std::uint8_t* row =
            picture.DIBSectionBitsPtr() + static_cast<std::size_t>(y) * picture.BytesPerScanLine();
        for (int x = 0; x < 100; ++x) {
            row[3 * x] = 0xC4;
            row[3 * x + 1] = static_cast<std::uint8_t>(x < 70 ? 0xFF : 0x10);
            row[3 * x + 2] = static_cast<std::uint8_t>(0xC0 + y);
        }
    }
    for (const auto& c : cases) {
        SCOPED_TRACE(c.engineCoder);
        const std::vector<std::uint8_t> ours =
            EncodePicture(picture, EncodeSettings{c.format, {}, false, {}});
        Magick::Image engine = DibToEngineImage(picture);
        engine.magick(c.engineCoder);
        Magick::Blob blob;
        engine.write(&blob);
        const auto* data = static_cast<const std::uint8_t*>(blob.data());
        const std::vector<std::uint8_t> theirs(data, data + blob.length());
        if (c.sameBytes) {
            EXPECT_EQ(ours, theirs);
        }
        // The engine's files showed the bitmap exactly, so the same pixels are today's.
        const std::filesystem::path file = dir / (std::string("ours.") + c.extension);
        testing::WriteFile(file, ours);
        const testing::DecodedPicture seen = testing::DecodeWithImageMagick(file);
        ASSERT_EQ(seen.width, 131);
        ASSERT_EQ(seen.height, 7);
        for (int y = 0; y < seen.height; ++y) {
            for (int x = 0; x < seen.width; ++x) {
                const auto got = seen.at(x, y);
                ASSERT_EQ((Rgb{got[0], got[1], got[2]}), DibPixel(picture, x, y)) << x << "," << y;
            }
        }
    }
}

TEST(SaveJPG, FailuresRaiseErrorFiveWithTheStatus) {
    TempDir dir;
    PictureHolder empty;
    PictureHolder card;
    testing::FillCard(card.Image(), 8, 8);
    const struct {
        const char* name;
        const PictureHolder& picture;
        std::filesystem::path path;
        const char* description;
    } cases[] = {
        {"no picture", empty, dir / "a.jpg", "Cannot save the image. GDI+ Error:2"},
        {"missing folder", card, dir / "missing" / "a.jpg", "Cannot save the image. GDI+ Error:7"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        try {
            SaveJPG(c.picture, c.path, 80);
            ADD_FAILURE() << "no error";
        } catch (const Error& e) {
            EXPECT_EQ(e.number(), 5);
            EXPECT_EQ(e.description(), c.description);
            EXPECT_EQ(e.source(), "");
        }
    }
}

TEST(PictureHolder, SavesA24BitBmpThatReadsBackExactly) {
    TempDir dir;
    PictureHolder card;
    testing::FillCard(card.Image(), 5, 3);  // 15-byte rows padded to 16
    card.SaveAsBmp(dir / "c.bmp");
    const auto bytes = testing::ReadFile(dir / "c.bmp");
    ASSERT_EQ(bytes.size(), 54u + 3 * 16);
    EXPECT_EQ(bytes[0], 'B');
    EXPECT_EQ(bytes[28], 24);  // bits per pixel
    PictureHolder back;
    back.LoadFromFile(dir / "c.bmp");
    for (int y = 0; y < 3; ++y) {
        for (int x = 0; x < 5; ++x)
            EXPECT_EQ(DibPixel(back.Image(), x, y), CardColour(x, y, 5, 3));
    }
    PictureHolder empty;
    EXPECT_THROW(empty.SaveAsBmp(dir / "e.bmp"), Error);
}

// A plain 24-bit file is copied into the bitmap without the engine; every other form of it goes
// through the engine. Either way the bitmap holds the same pixels, its row padding stays zero, and
// saving it again gives the plain file back. Layout: 14-byte file header (pixel offset at 10),
// 40-byte info header (height at 22, colours used at 46), then 16-byte rows (5 pixels + 1 pad).
TEST(PictureHolder, Plain24BitBmpLoadsTheSameWithOrWithoutTheEngine) {
    TempDir dir;
    PictureHolder card;
    testing::FillCard(card.Image(), 5, 3);
    const std::vector<std::uint8_t> plain = card.BmpFileBytes();
    auto put32 = [](std::vector<std::uint8_t>& f, std::size_t at, std::uint32_t v) {
        for (int i = 0; i < 4; ++i)
            f[at + i] = static_cast<std::uint8_t>(v >> (8 * i));
    };
    const struct {
        const char* name;
        std::function<void(std::vector<std::uint8_t>&)> change;
    } cases[] = {
        {"plain", [](std::vector<std::uint8_t>&) {}},
        {"padding bytes set",
         [](std::vector<std::uint8_t>& f) {
             for (int y = 0; y < 3; ++y)
                 f[54 + 16 * y + 15] = 0xAB;
         }},
        {"colours used set (the engine's)", [&](std::vector<std::uint8_t>& f) { put32(f, 46, 2); }},
        {"a gap before the pixels (the engine's)",
         [&](std::vector<std::uint8_t>& f) {
             f.insert(f.begin() + 54, 4, 0);
             put32(f, 10, 58);
         }},
        {"top row first (the engine's)",
         [&](std::vector<std::uint8_t>& f) {
             put32(f, 22, static_cast<std::uint32_t>(-3));
             std::swap_ranges(f.begin() + 54, f.begin() + 70, f.begin() + 86);
         }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<std::uint8_t> file = plain;
        c.change(file);
        PictureHolder holder;
        ASSERT_NO_THROW(holder.LoadFromMemory(file));
        ASSERT_EQ(holder.Image().dib_width(), 5);
        ASSERT_EQ(holder.Image().dib_height(), 3);
        EXPECT_EQ(holder.BmpFileBytes(), plain);
    }
    // Rows cut short are the engine's to refuse or read; a size over the limits is too large.
    std::vector<std::uint8_t> cut = plain;
    cut.resize(cut.size() - 1);
    PictureHolder holder;
    try {
        holder.LoadFromMemory(cut);
    } catch (const Error&) {
    }
    std::vector<std::uint8_t> huge = plain;
    put32(huge, 18, 40000);
    EXPECT_THROW(holder.LoadFromMemory(huge), PictureTooBig);
}

TEST(PictureKind, SniffsByContent) {
    EXPECT_EQ(SniffPictureKind(testing::EngineEncodedCard("PNG", 4, 4)), PictureKind::Png);
    EXPECT_EQ(SniffPictureKind(testing::EngineEncodedCard("TGA", 4, 4)), PictureKind::Tga);
    EXPECT_EQ(SniffPictureKind(testing::EngineEncodedCard("PCX", 4, 4)), PictureKind::Pcx);
    EXPECT_EQ(SniffPictureKind(testing::EngineEncodedCard("TIFF", 4, 4)), PictureKind::Tiff);
    EXPECT_EQ(SniffPictureKind(testing::IconFile(1)), PictureKind::Ico);
    EXPECT_EQ(SniffPictureKind(testing::IconFile(2)), PictureKind::Cur);
    EXPECT_EQ(SniffPictureKind(testing::WmfBuilder().Build()), PictureKind::Wmf);
    EXPECT_EQ(SniffPictureKind(std::vector<std::uint8_t>(18, 0)), PictureKind::Unknown);
    EXPECT_EQ(SniffPictureKind(std::vector<std::uint8_t>{0, 0, 1, 0}), PictureKind::Unknown);
}

}  // namespace
}  // namespace pictrova::imaging
