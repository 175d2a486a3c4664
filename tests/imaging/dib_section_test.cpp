// SPDX-License-Identifier: GPL-3.0-or-later
#include "imaging/dib_section.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "common/error.h"
#include "imaging/metafile_frame.h"
#include "wmf_builder.h"

namespace pictrova::imaging {
namespace {

using testing::WmfBuilder;

struct Bgr {
    int b, g, r;
};

// Pixel (x, y) counted from the top left of the picture, read from the bottom-up rows.
Bgr PixelAt(const std::vector<std::uint8_t>& bits, const cDIBSection& dib, int x, int y) {
    const std::size_t at =
        static_cast<std::size_t>(dib.dib_height() - 1 - y) * dib.BytesPerScanLine() + 3 * x;
    return {bits.at(at), bits.at(at + 1), bits.at(at + 2)};
}

constexpr ReferenceDevice kScreen1024{1024, 768, 320, 240};

struct SizeCase {
    const char* name;
    std::int32_t mm, xExt, yExt;
    std::optional<LogicalWindow> window;
    ReferenceDevice device;
    std::int64_t width, height;
};

TEST(MetafileFrame, PixelSizeFollowsMappingModeExtentsAndDevice) {
    const SizeCase cases[] = {
        // one inch square on a 1024 x 768 px, 320 x 240 mm screen: 81.28 dpi
        {"inch on 81 dpi", MM_ANISOTROPIC, 2540, 2540, std::nullopt, kScreen1024, 81, 81},
        {"inch on 96 dpi", MM_ISOTROPIC, 2540, 2540, std::nullopt, {}, 96, 96},
        {"2 x 1 inch", MM_ANISOTROPIC, 5080, 2540, std::nullopt, {}, 192, 96},
        {"text mode pixels", MM_TEXT, 200, 100, std::nullopt, {}, 200, 100},
        {"twips", MM_TWIPS, 1440, 720, std::nullopt, {}, 96, 48},
        {"low english", MM_LOENGLISH, 100, 50, std::nullopt, {}, 96, 48},
        {"high metric", MM_HIMETRIC, 2540, 1270, std::nullopt, {}, 96, 48},
        {"low metric", MM_LOMETRIC, 254, 127, std::nullopt, {}, 96, 48},
        // no extents: the window records give the size in device pixels
        {"window as pixels", MM_ANISOTROPIC, 0, 0, LogicalWindow{0, 0, 300, 150}, {}, 300, 150},
        {"negative extents", MM_ANISOTROPIC, -3, -2, LogicalWindow{10, 10, 300, 150}, {}, 300, 150},
        {"twips from window", MM_TWIPS, 0, 0, LogicalWindow{0, 0, 2880, 1440}, {}, 192, 96},
        // 0.01 mm is far below half a pixel
        {"narrower than half a pixel", MM_ANISOTROPIC, 1, 2540, std::nullopt, {}, 0, 96},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        auto frame = PictureFrame(c.mm, c.xExt, c.yExt, c.window, c.device);
        ASSERT_TRUE(frame.has_value());
        PixelSize size = FramePixelSize(*frame, c.device);
        EXPECT_EQ(size.width, c.width);
        EXPECT_EQ(size.height, c.height);
    }
}

TEST(MetafileFrame, NoExtentsAndNoWindowGivesNoFrame) {
    EXPECT_FALSE(PictureFrame(MM_ANISOTROPIC, 0, 0, std::nullopt, {}).has_value());
}

TEST(MetafileFrame, DeviceWithoutMillimetresIsAnError) {
    EXPECT_THROW(FramePixelSize(Frame{0, 0, 2540, 2540}, ReferenceDevice{1024, 768, 0, 240}),
                 Error);
}

TEST(MetafileFrame, PlaceableHeaderCarriesBoxAndChecksum) {
    auto h = PlaceableHeader(LogicalWindow{-10, 20, 1000, 500}, 1440);
    const std::vector<std::uint8_t> expected = {
        0xD7, 0xCD, 0xC6, 0x9A,  // key
        0x00, 0x00,              // handle
        0xF6, 0xFF, 0x14, 0x00,  // left -10, top 20
        0xDE, 0x03, 0x08, 0x02,  // right 990, bottom 520
        0xA0, 0x05,              // 1440 units per inch
        0x00, 0x00, 0x00, 0x00,  // reserved
    };
    ASSERT_EQ(h.size(), 22u);
    EXPECT_TRUE(std::equal(expected.begin(), expected.end(), h.begin()));
    std::uint16_t sum = 0;
    for (std::size_t i = 0; i < 20; i += 2)
        sum ^= static_cast<std::uint16_t>(h[i] | h[i + 1] << 8);
    EXPECT_EQ(h[20] | h[21] << 8, sum);
}

TEST(MetafileFrame, CheckFindsWindowAndAddsMissingEnd) {
    auto bits = WmfBuilder().SetWindowOrg(5, 6).SetWindowExt(700, 800).Build(false);
    CheckedMetafile m = CheckMetafile(bits);
    ASSERT_TRUE(m.window.has_value());
    EXPECT_EQ(m.window->left, 5);
    EXPECT_EQ(m.window->top, 6);
    EXPECT_EQ(m.window->width, 700);
    EXPECT_EQ(m.window->height, 800);
    EXPECT_EQ(m.bits.size(), bits.size() + 6);
    EXPECT_EQ(m.bits[6] | m.bits[7] << 8, static_cast<int>(m.bits.size() / 2));  // size in words
}

TEST(DibSection, RendersOneInchPictureAtTheDeviceResolution) {
    const struct {
        const char* name;
        ReferenceDevice device;
        int side, stride;
    } cases[] = {
        {"96 dpi", {}, 96, 288},
        {"1024 screen, 81 dpi", kScreen1024, 81, 244},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        auto bits = WmfBuilder::TwoShapes().Build();
        std::int32_t mm = MM_ANISOTROPIC, xExt = 2540, yExt = 2540;
        cDIBSection dib;
        dib.SetReferenceDevice(c.device);
        ASSERT_TRUE(dib.WMFtoBMP(bits, mm, xExt, yExt));
        EXPECT_EQ(dib.dib_width(), c.side);
        EXPECT_EQ(dib.dib_height(), c.side);
        EXPECT_EQ(dib.dib_channels(), 3);
        EXPECT_EQ(dib.BytesPerScanLine(), c.stride);
        ASSERT_EQ(bits.size(), static_cast<std::size_t>(c.side * c.stride));

        // Probes in 96ths of the picture.
        const struct {
            int x, y;
            Bgr expected;
        } probes[] = {
            {10, 10, {0, 0, 255}},     // red rectangle, top left
            {40, 90, {0, 0, 255}},     // red rectangle, bottom left
            {72, 72, {255, 0, 0}},     // blue ellipse centre
            {90, 5, {255, 255, 255}},  // unpainted: white
            {60, 30, {255, 255, 255}},
        };
        for (const auto& p : probes) {
            const int x = p.x * c.side / 96, y = p.y * c.side / 96;
            Bgr got = PixelAt(bits, dib, x, y);
            EXPECT_EQ(got.b, p.expected.b) << x << "," << y;
            EXPECT_EQ(got.g, p.expected.g) << x << "," << y;
            EXPECT_EQ(got.r, p.expected.r) << x << "," << y;
        }
    }
}

TEST(DibSection, UnpaintedMetafileIsWhite) {
    auto bits = WmfBuilder().SetWindowOrg(0, 0).SetWindowExt(100, 100).Build();
    std::int32_t mm = MM_ANISOTROPIC, xExt = 1000, yExt = 500;
    cDIBSection dib;
    ASSERT_TRUE(dib.WMFtoBMP(bits, mm, xExt, yExt));
    EXPECT_EQ(dib.dib_width(), 38);
    EXPECT_EQ(dib.dib_height(), 19);
    for (int y = 0; y < dib.dib_height(); ++y) {
        for (int x = 0; x < dib.dib_width(); ++x) {
            Bgr p = PixelAt(bits, dib, x, y);
            ASSERT_EQ(p.b + p.g + p.r, 3 * 255) << x << "," << y;
        }
    }
}

// Text needs the shipped font map to render at all. The reader measures text at 72 dpi; with the
// density far from that (a small logical window drawn large) every glyph was placed as if
// narrow and the word collapsed onto itself. Black text on nothing else stays readable: the
// ground it is drawn on is white, not the black it would vanish into.
TEST(DibSection, TextRendersInProportion) {
    const struct {
        const char* name;
        bool mapMode;
        std::int32_t xExt, yExt;
    } cases[] = {
        {"window as drawn", true, 400, 100},
        {"window drawn four times larger", false, 1600, 400},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        WmfBuilder b;
        if (c.mapMode)
            b.SetMapMode(8);
        b.SetWindowOrg(0, 0).SetWindowExt(400, 100).SetBkMode(1);
        b.CreateFont(-80, "Arial").SelectObject(0).SetTextColor(0x000000).TextOut(10, 10, "Hello");
        auto bits = b.Build();
        std::int32_t mm = MM_TEXT, xExt = c.xExt, yExt = c.yExt;
        cDIBSection dib;
        ASSERT_TRUE(dib.WMFtoBMP(bits, mm, xExt, yExt));
        int lit = 0, left = dib.dib_width(), right = -1, top = dib.dib_height(), bottom = -1;
        for (int y = 0; y < dib.dib_height(); ++y) {
            for (int x = 0; x < dib.dib_width(); ++x) {
                if (PixelAt(bits, dib, x, y).r < 128) {
                    ++lit;
                    left = std::min(left, x), right = std::max(right, x);
                    top = std::min(top, y), bottom = std::max(bottom, y);
                }
            }
        }
        EXPECT_GT(lit, 500);
        for (auto [x, y] : {std::pair{0, 0}, {dib.dib_width() - 1, dib.dib_height() - 1}}) {
            const Bgr ground = PixelAt(bits, dib, x, y);
            EXPECT_EQ(ground.b + ground.g + ground.r, 3 * 255) << x << "," << y;
        }
        // "Hello" in a sans-serif face is well over twice as wide as its capitals are tall.
        EXPECT_GT(right - left, 2 * (bottom - top));
    }
}

TEST(DibSection, SecondMetafileReplacesTheFirst) {
    cDIBSection dib;
    auto first = WmfBuilder::TwoShapes().Build();
    std::int32_t mm = MM_ANISOTROPIC, xExt = 2540, yExt = 2540;
    ASSERT_TRUE(dib.WMFtoBMP(first, mm, xExt, yExt));
    auto second = WmfBuilder::TwoShapes().Build();
    xExt = 5080;
    ASSERT_TRUE(dib.WMFtoBMP(second, mm, xExt, yExt));
    EXPECT_EQ(dib.dib_width(), 192);
    EXPECT_EQ(second.size(), 96u * 576u);
}

TEST(DibSection, RefusedMetafilesLeaveBytesUnchanged) {
    auto good = WmfBuilder::TwoShapes().Build();
    auto badRecord = good;
    badRecord[18] = 0xFF, badRecord[19] = 0xFF, badRecord[20] = 0xFF, badRecord[21] = 0x7F;
    auto shortRecord = good;
    shortRecord[18] = 2, shortRecord[19] = 0;
    const struct {
        const char* name;
        std::vector<std::uint8_t> bits;
        std::int32_t mm, xExt, yExt;
    } cases[] = {
        {"empty", {}, MM_ANISOTROPIC, 2540, 2540},
        {"garbage", std::vector<std::uint8_t>(300, 0xA5), MM_ANISOTROPIC, 2540, 2540},
        {"header only", std::vector<std::uint8_t>(good.begin(), good.begin() + 18), MM_ANISOTROPIC,
         2540, 2540},
        {"truncated record", std::vector<std::uint8_t>(good.begin(), good.begin() + 30),
         MM_ANISOTROPIC, 2540, 2540},
        {"record size past end", badRecord, MM_ANISOTROPIC, 2540, 2540},
        {"record shorter than header", shortRecord, MM_ANISOTROPIC, 2540, 2540},
        {"zero width", good, MM_ANISOTROPIC, 1, 2540},
        {"no size anywhere", WmfBuilder().Rectangle(0, 0, 5, 5).Build(), MM_ANISOTROPIC, 0, 0},
        {"oversized", good, MM_ANISOTROPIC, 2540 * 400, 2540},
        {"too many pixels", good, MM_HIMETRIC, 2540 * 300, 2540 * 300},
        {"rectangle with two parameters", WmfBuilder::TwoShapes().Raw(0x041B, {5, 5}).Build(),
         MM_ANISOTROPIC, 2540, 2540},
        {"polygon counting more points than it has",
         WmfBuilder::TwoShapes().Raw(0x0324, {1000, 1, 2}).Build(), MM_ANISOTROPIC, 2540, 2540},
        {"text longer than its record",
         WmfBuilder::TwoShapes().Raw(0x0521, {200, 0x4141, 1, 1}).Build(), MM_ANISOTROPIC, 2540,
         2540},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        auto bits = c.bits;
        std::int32_t mm = c.mm, xExt = c.xExt, yExt = c.yExt;
        cDIBSection dib;
        EXPECT_FALSE(dib.WMFtoBMP(bits, mm, xExt, yExt));
        EXPECT_EQ(bits, c.bits);
        EXPECT_EQ(dib.dib_width(), 0);
    }
}

// One size rule for every bitmap (common/limits.h): 32,767 a side, 64 megapixels. The cases
// at the pixel limit only ask the rule, so the test allocates nothing large.
TEST(DibSection, CreateKeepsToThePictureLimits) {
    const struct {
        std::int32_t width, height;
        bool allowed;
        bool tryCreate;
    } cases[] = {
        {32767, 1, true, true},    {1, 32767, true, true},      {32768, 1, false, true},
        {0, 10, false, true},      {10, -1, false, true},       {8000, 8000, true, false},
        {8001, 8000, false, true}, {32767, 32767, false, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.width) + " x " + std::to_string(c.height));
        EXPECT_EQ(PictureSizeAllowed(c.width, c.height), c.allowed);
        if (!c.tryCreate)
            continue;
        cDIBSection dib;
        EXPECT_EQ(dib.Create(c.width, c.height, 3), c.allowed);
    }
    // The render budget: a clip-art picture of a thousand small shapes is drawn; a count past
    // what 64 bits hold is refused by both renderers' rates.
    const MetafileWork clipArt{.framePixels = 1'000'000,
                               .records = 3'000,
                               .points = 10'000,
                               .characters = 200,
                               .filledPixels = 1'000 * 5'000,
                               .edgePixels = 1'000 * 10 * 50,
                               .edgePairs = 1'000 * 50};
    const MetafileWork countless{.framePixels = 1'000'000, .filledPixels = ~std::uint64_t{0}};
    for (const MetafileCostRates& rates : {kWmfCostRates, kEmfCostRates}) {
        EXPECT_TRUE(MetafileCostAllowed(clipArt, rates));
        EXPECT_FALSE(MetafileCostAllowed(countless, rates));
    }
}

}  // namespace
}  // namespace pictrova::imaging
