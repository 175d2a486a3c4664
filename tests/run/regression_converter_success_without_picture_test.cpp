// SPDX-License-Identifier: GPL-3.0-or-later
// Regression: a converter that exited with 0 was trusted, so whatever it had written (text,
// an empty file) became the output picture. Its output must now start the way files of the
// format do; otherwise the record is reported and nothing is written for it.

#include <gtest/gtest.h>

#include "regression_run_support.h"
#include "run/external_converter.h"

namespace pictrova::run::regression {
namespace {

TEST(RegressionConverterSuccessWithoutPicture,
     GarbageFromASucceedingConverterIsReportedNotWritten) {
    SmallRun run;
    run.UseConverterScript("echo garbage > \"$out\"; exit 0");
    const RunResult result = run.Run();
    EXPECT_EQ(run.OutputNames(), (std::vector<std::string>{"Output1.png", "Output3.png"}));
    ASSERT_EQ(result.records.size(), 3u);
    ASSERT_EQ(result.records[1].errors.size(), 1u);
    EXPECT_EQ(result.records[1].errors[0].description, "The converter wrote " +
                                                           (run.out / "Output2.png").string() +
                                                           ", but it is not a PNG file.");
}

TEST(RegressionConverterSuccessWithoutPicture, EachFormatsSignatureIsRecognised) {
    pictrova::testing::TempDir dir;
    struct Case {
        OutputFormat format;
        std::string head;
        bool right;
    };
    // TGA: 18-byte header, byte 2 the image type (2 true colour), byte 16 the bits per pixel.
    std::string tga(18, '\0');
    tga[2] = 2;
    tga[16] = 24;
    const Case cases[] = {
        {OutputFormat::PNG, "\x89PNG\r\n\x1a\n....", true},
        {OutputFormat::PNG, "PNG", false},
        {OutputFormat::GIF, "GIF89a..", true},
        {OutputFormat::GIF, "GIF88a..", false},
        {OutputFormat::TIFF, std::string("II*\0", 4), true},
        {OutputFormat::TIFF, std::string("MM\0*", 4), true},
        {OutputFormat::TIFF, "garbage", false},
        {OutputFormat::PCX, "\x0a\x05\x01", true},
        {OutputFormat::PCX, "", false},
        {OutputFormat::TGA, tga, true},
        {OutputFormat::TGA, std::string(18, '\0'), false},
        {OutputFormat::BMP, "BM", false},
    };
    for (const Case& c : cases) {
        const fs::path file = dir / "file";
        std::ofstream(file, std::ios::binary | std::ios::trunc) << c.head;
        EXPECT_EQ(ConverterOutputLooksRight(c.format, file), c.right)
            << ConverterFormatName(c.format) << " " << c.head;
    }
}

}  // namespace
}  // namespace pictrova::run::regression
