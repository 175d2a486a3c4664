// SPDX-License-Identifier: GPL-3.0-or-later
// The pixels of every extracted picture, end to end: the real pictrova-cli extracts a database
// holding one picture of each decoder family, in every output format and by both methods, and
// each written file is decoded by ImageMagick (never by our image engine) and compared with the
// picture the builder stored: exactly for the lossless formats, within a bound for JPEG and GIF,
// and against a raster drawn here from the metafile's shapes for the metafile.

#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <functional>

#include "image_oracle.h"
#include "ole_builder/ole_fields.h"
#include "ole_builder/pictures.h"
#include "picture_database.h"
#include "program_run.h"
#include "test_paths.h"

namespace pictrova::cli {
namespace {

namespace fs = std::filesystem;
using fixtures::Bytes;
using testing::DecodedPicture;
using testing::RgbPixel;

RgbPixel Pixel(const fixtures::Rgb& c) {
    return {c.red, c.green, c.blue};
}

void WriteFile(const fs::path& path, const Bytes& bytes) {
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()),
               static_cast<std::streamsize>(bytes.size()));
}

// The metafile of the static-metafile row, 200 x 100 logical units shown at 2540 x 1270
// HIMETRIC, is 96 x 48 pixels on the 96-dpi reference device. Its shapes (MakeMetafile), tested
// at each pixel's centre in logical units, in drawing order.
constexpr int kMetafileWidth = 96, kMetafileHeight = 48;

RgbPixel MetafilePixel(int px, int py) {
    const double x = (px + 0.5) * 200 / kMetafileWidth, y = (py + 0.5) * 100 / kMetafileHeight;
    RgbPixel c{255, 255, 255};
    if (x >= 20 && x < 100 && y >= 25 && y < 75)
        c = {220, 30, 30};
    const double ex = (x - 150) / 30, ey = (y - 50) / 40;
    if (ex * ex + ey * ey <= 1)
        c = {30, 60, 220};
    // Triangle (100, 10), (140, 90), (60, 90): below the apex, between its two slanted sides.
    if (y >= 10 && y <= 90 && std::abs(x - 100) <= (y - 10) / 2)
        c = {30, 180, 60};
    return c;
}

struct StoredPicture {
    const char* what;
    Bytes field;
    // Writes the reference: the stored picture file itself, or a raster drawn from the rules
    // its builder follows.
    std::function<void(const fs::path&)> reference;
    // Method 1 decodes the objects; method 2 hands the field to the converter as it is, so only
    // a picture file stored without a wrapper comes out that way. (Method 1 does not take such
    // files yet: that row gains it with the work on unwrapped pictures.)
    bool decodeMethod = true;
    bool rawMethod = false;
    // Pixels off by more than `tolerance` in a channel may make up `differingShare` of the
    // picture, and the root mean square error may be `rootMeanSquare` more than the format's.
    int tolerance = 0;
    double differingShare = 0;
    double rootMeanSquare = 0;
};

std::function<void(const fs::path&)> FileReference(const Bytes& file) {
    return [file](const fs::path& path) { WriteFile(path, file); };
}

std::function<void(const fs::path&)> PhotoEditorReference(int type, int width, int height) {
    return [=](const fs::path& path) {
        testing::WritePpm(path, width, height, [type](int x, int y) {
            const std::uint8_t k = fixtures::PaletteIndex(x, y, 256);
            if (type == 1)
                return RgbPixel{k, k, k};
            return Pixel(type == 2 ? fixtures::PaletteColour(k) : fixtures::PatternColour(x, y));
        });
    };
}

std::vector<StoredPicture> StoredPictures() {
    std::vector<StoredPicture> rows;
    // Odd sizes, so every row of every depth carries padding.
    const auto paint = fixtures::MakeBmpFile(23, 13);
    rows.push_back(
        {"paint picture, 24-bit", fixtures::BuildPaintPicture(paint), FileReference(paint)});
    const auto paint8 = fixtures::MakeBmpFile(19, 7, 8, 37);
    rows.push_back({"paint picture, 8-bit of 37 colours", fixtures::BuildPaintPicture(paint8),
                    FileReference(paint8)});
    for (int bits : {1, 4, 8, 16, 24, 32}) {
        StoredPicture row{"static DIB",
                          fixtures::BuildStaticDib(fixtures::MakePackedDib(21, 11, bits)),
                          FileReference(fixtures::MakeBmpFile(21, 11, bits))};
        // Five bits a channel widen to eight as v << 3 in our engine and as v * 255 / 31 in
        // ImageMagick: the same stored value, up to 8 apart.
        if (bits == 16)
            row.tolerance = 8;
        row.rootMeanSquare = bits == 16 ? 6 : 0;
        rows.push_back(std::move(row));
    }
    fixtures::PackageContents package;
    package.label = "holiday.bmp";
    package.file = fixtures::MakeBmpFile(17, 9);
    rows.push_back(
        {"package of a BMP file", fixtures::BuildPackage(package), FileReference(package.file)});
    for (std::int16_t type : {1, 2, 3}) {
        rows.push_back(
            {"photo-editor picture",
             fixtures::BuildPhotoEditorObject(fixtures::MakePhotoEditorStream(type, 15, 10)),
             PhotoEditorReference(type, 15, 10)});
    }
    // Shape edges fall a pixel apart between the engine's renderer and the reference.
    rows.push_back({"static metafile",
                    fixtures::BuildStaticMetafile(fixtures::MakeMetafile(200, 100), 8, 2540, 1270),
                    [](const fs::path& path) {
                        testing::WritePpm(path, kMetafileWidth, kMetafileHeight, MetafilePixel);
                    },
                    true, false, 40, 0.08, 40});
    const auto png = fixtures::MakePngFile(20, 12);
    rows.push_back({"PNG file without a wrapper", png, FileReference(png), false, true});
    const auto bmp = fixtures::MakeBmpFile(18, 10, 4);
    rows.push_back({"BMP file without a wrapper", bmp, FileReference(bmp), false, true});
    return rows;
}

struct OutputFormatCase {
    const char* word;        // --format
    const char* extension;   // of the written file
    const char* identified;  // what identify finds in its bytes
    double rootMeanSquare;   // allowed over all channels, 0..255; 0: exact
};

const OutputFormatCase kFormats[] = {
    {"bmp", "bmp", "BMP3", 0},
    {"png", "png", "PNG", 0},
    {"tiff", "tif", "TIFF", 0},
    {"tga", "tga", "TGA", 0},
    {"pcx", "pcx", "PCX", 0},
    // Quality 85 with chroma subsampling on pictures whose colours change every pixel.
    {"jpg", "jpg", "JPEG", 16},
    // 256 colours, dithered.
    {"gif", "gif", "GIF", 8},
};

void ExpectSamePicture(const StoredPicture& stored, const fs::path& referenceFile,
                       const OutputFormatCase& format, const fs::path& written) {
    ASSERT_TRUE(fs::exists(written)) << written;
    EXPECT_EQ(testing::IdentifiedFormat(written), format.identified);
    const DecodedPicture reference = testing::DecodeWithImageMagick(referenceFile);
    const DecodedPicture picture = testing::DecodeWithImageMagick(written);
    const testing::PictureDifference d = testing::Difference(reference, picture, stored.tolerance);
    ASSERT_TRUE(d.sameSize) << picture.width << "x" << picture.height << ", stored "
                            << reference.width << "x" << reference.height;
    const double share =
        static_cast<double>(d.differingPixels) / static_cast<double>(reference.pixels.size());
    if (format.rootMeanSquare == 0) {
        EXPECT_LE(share, stored.differingShare)
            << d.differingPixels << " pixels differ, by up to " << d.largestChannelError;
    }
    EXPECT_LE(d.rootMeanSquare, format.rootMeanSquare + stored.rootMeanSquare)
        << "largest channel error " << d.largestChannelError;
}

TEST(PicturePixels, EveryFamilyInEveryFormatByBothMethodsShowsTheStoredPicture) {
    testing::TempDir dir;
    const std::vector<StoredPicture> stored = StoredPictures();
    std::vector<testing::PictureRow> rows;
    for (std::size_t k = 0; k < stored.size(); ++k) {
        rows.push_back({stored[k].field, std::to_string(k + 1)});
        stored[k].reference(dir / ("reference" + std::to_string(k + 1)));
    }
    const fs::path db = dir / "pictures.mdb";
    testing::WritePictureDatabase(db, rows);

    for (const char* method : {"decode", "raw"}) {
        for (const OutputFormatCase& format : kFormats) {
            const fs::path out = dir / (std::string(method) + "-" + format.word);
            fs::create_directory(out);
            const testing::ProgramOutcome run = testing::RunProgram(
                testing::BinDir() / "pictrova-cli",
                {"extract", db.string(), "--table", "Pictures", "--field", "Picture", "--out",
                 out.string(), "--method", method, "--format", format.word, "--json"},
                dir.path());
            EXPECT_EQ(run.status, 0) << method << " " << format.word << "\n" << run.err;
            for (std::size_t k = 0; k < stored.size(); ++k) {
                if (!(std::string(method) == "raw" ? stored[k].rawMethod : stored[k].decodeMethod))
                    continue;
                SCOPED_TRACE(std::string(method) + ", " + format.word + ": record " +
                             std::to_string(k + 1) + ", " + stored[k].what);
                ExpectSamePicture(
                    stored[k], dir / ("reference" + std::to_string(k + 1)), format,
                    out / ("Output" + std::to_string(k + 1) + "." + format.extension));
            }
        }
    }
}

}  // namespace
}  // namespace pictrova::cli
