// SPDX-License-Identifier: GPL-3.0-or-later
#include "imaging/jpeg_decoder.h"

#include <gtest/gtest.h>

#include <cstring>
#include <functional>

#include "imaging/engine_io.h"
#include "imaging/image_engine.h"
#include "imaging/picture_holder.h"
#include "picture_fixtures.h"

namespace pictrova::imaging {
namespace {

using Bytes = std::vector<std::uint8_t>;

// A picture whose colours change in both directions and by pixel, written by the engine as a JPEG
// with `configure` applied.
Bytes EngineJpeg(int width, int height, const std::function<void(Magick::Image&)>& configure) {
    return testing::EngineGradientFile(width, height, "JPEG", [&](Magick::Image& image) {
        image.quality(85);
        configure(image);
    });
}

cDIBSection EngineDecoded(const Bytes& jpeg) {
    return testing::EngineDecoded(jpeg, "JPEG");
}

struct JpegCase {
    const char* name;
    Bytes jpeg;
};

TEST(JpegDecoder, GivesTheEnginesPixels) {
    const JpegCase cases[] = {
        {"4:2:0, partial blocks at the edges", EngineJpeg(37, 23, [](Magick::Image&) {})},
        {"4:4:4",
         EngineJpeg(40, 16,
                    [](Magick::Image& i) { i.defineValue("jpeg", "sampling-factor", "1x1"); })},
        {"4:2:2",
         EngineJpeg(33, 17,
                    [](Magick::Image& i) { i.defineValue("jpeg", "sampling-factor", "2x1"); })},
        {"grey", EngineJpeg(29, 31, [](Magick::Image& i) { i.type(Magick::GrayscaleType); })},
        {"progressive",
         EngineJpeg(64, 48, [](Magick::Image& i) { i.interlaceType(Magick::LineInterlace); })},
        {"quality 30", EngineJpeg(50, 20, [](Magick::Image& i) { i.quality(30); })},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        cDIBSection ours;
        ASSERT_TRUE(DecodeJpeg(c.jpeg, ours));
        const cDIBSection engine = EngineDecoded(c.jpeg);
        testing::ExpectSameBitmap(ours, engine);
    }
}

// The offset of the first frame header's height (SOF0 or SOF2: FF C0/C2, length, precision).
std::size_t FrameHeightAt(const Bytes& jpeg) {
    for (std::size_t i = 2; i + 8 < jpeg.size(); ++i) {
        if (jpeg[i] == 0xFF && (jpeg[i + 1] == 0xC0 || jpeg[i + 1] == 0xC2))
            return i + 5;
    }
    throw std::runtime_error("no frame header");
}

Bytes Declaring(Bytes jpeg, std::uint16_t width, std::uint16_t height) {
    const std::size_t at = FrameHeightAt(jpeg);
    jpeg[at] = static_cast<std::uint8_t>(height >> 8);
    jpeg[at + 1] = static_cast<std::uint8_t>(height);
    jpeg[at + 2] = static_cast<std::uint8_t>(width >> 8);
    jpeg[at + 3] = static_cast<std::uint8_t>(width);
    return jpeg;
}

TEST(JpegDecoder, LeavesOtherAndDamagedFilesToTheEngine) {
    const Bytes plain = EngineJpeg(37, 23, [](Magick::Image&) {});
    Bytes corruptData = plain;
    for (std::size_t i = corruptData.size() / 2; i < corruptData.size() / 2 + 40; ++i)
        corruptData[i] = 0xFF;
    const JpegCase cases[] = {
        {"not a JPEG", Bytes{'B', 'M', 0, 0, 0, 0}},
        {"header only", Bytes(plain.begin(), plain.begin() + 20)},
        {"scan data cut short",
         Bytes(plain.begin(), plain.begin() + static_cast<std::ptrdiff_t>(plain.size() * 2 / 3))},
        {"markers inside the scan data", corruptData},
        {"CMYK",
         EngineJpeg(16, 16, [](Magick::Image& i) { i.colorSpace(Magick::CMYKColorspace); })},
        {"zero width", Declaring(plain, 0, 23)},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        cDIBSection dib;
        EXPECT_FALSE(DecodeJpeg(c.jpeg, dib));
        EXPECT_EQ(dib.DIBSectionBitsPtr(), nullptr);
    }
}

TEST(JpegDecoder, RefusesAPictureOverTheLimitsBeforeAllocating) {
    const Bytes plain = EngineJpeg(37, 23, [](Magick::Image&) {});
    const Bytes progressive =
        EngineJpeg(37, 23, [](Magick::Image& i) { i.interlaceType(Magick::LineInterlace); });
    const struct {
        const char* name;
        Bytes jpeg;
    } cases[] = {
        {"wider than a side may be", Declaring(plain, 40'000, 8)},
        {"over the pixel count", Declaring(plain, 65'000, 65'000)},
        {"progressive over the pixel count", Declaring(progressive, 30'000, 30'000)},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        cDIBSection dib;
        EXPECT_THROW(DecodeJpeg(c.jpeg, dib), PictureTooBig);
        EXPECT_EQ(dib.DIBSectionBitsPtr(), nullptr);
    }
}

}  // namespace
}  // namespace pictrova::imaging
