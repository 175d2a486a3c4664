// SPDX-License-Identifier: GPL-3.0-or-later
// Outlines in metafiles whose logical unit spans several pixels.
#include <gtest/gtest.h>

#include "imaging/dib_section.h"
#include "ole_builder/pictures.h"
#include "wmf_builder.h"

namespace pictrova::imaging {
namespace {

// The builder's picture (window 40 x 30 units) drawn at 160 x 120 pixels, 4 pixels a unit; the
// pixels darkened by the outline across the red rectangle's left edge (x = 16, white to its
// left, red fill to its right), on a row through its middle.
int OutlinePixels(int outlineWidth) {
    auto bits = fixtures::MakeMetafile(40, 30, false, outlineWidth);
    std::int32_t mm = MM_ANISOTROPIC, xExt = 4233, yExt = 3175;
    cDIBSection dib;
    EXPECT_TRUE(dib.WMFtoBMP(bits, mm, xExt, yExt));
    EXPECT_EQ(dib.dib_width(), 160);
    EXPECT_EQ(dib.dib_height(), 120);
    int dark = 0;
    for (int x = 8; x < 30; ++x)
        dark +=
            bits.at(static_cast<std::size_t>(119 - 60) * dib.BytesPerScanLine() + 3 * x + 2) < 160;
    return dark;
}

// The renderer takes a pen of width 0 as one logical unit; on the reference platform it is one
// device pixel whatever the scale. Wider pens are logical units and scale with the picture.
TEST(Regression, ZeroWidthPenTakenAsOneLogicalUnit) {
    const struct {
        int outlineWidth;
        int minPixels, maxPixels;
    } cases[] = {
        {0, 1, 2},  // one pixel, antialiased over at most two
        {1, 3, 5},  // one unit: four pixels
        {2, 7, 9},  // two units: eight pixels
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.outlineWidth);
        const int pixels = OutlinePixels(c.outlineWidth);
        EXPECT_GE(pixels, c.minPixels);
        EXPECT_LE(pixels, c.maxPixels);
    }
    EXPECT_EQ(OutlinePixels(-1), 0);  // the null pen draws nothing
}

// The renderer widens the bounds of a shape by half its pen, a null pen of one unit included:
// the rectangle that marks the window as the drawing's extent and every filled-only shape at
// the window's edge made the picture come out shrunk and moved by half a unit (2.4 pixels
// here), leaving black bands at its top and left.
TEST(Regression, NullPenWidenedTheBounds) {
    testing::WmfBuilder b;
    b.SetWindowOrg(0, 0).SetWindowExt(20, 10).CreatePen(5, 0).SelectObject(0);
    b.CreateSolidBrush(0x0000FF).SelectObject(1).Rectangle(0, 0, 20, 10);
    auto bits = b.Build();
    std::int32_t mm = MM_ANISOTROPIC, xExt = 2540, yExt = 1270;
    cDIBSection dib;
    ASSERT_TRUE(dib.WMFtoBMP(bits, mm, xExt, yExt));
    ASSERT_EQ(dib.dib_width(), 96);
    ASSERT_EQ(dib.dib_height(), 48);
    for (auto [x, y] : {std::pair{1, 1}, {94, 1}, {1, 46}, {94, 46}, {48, 24}}) {
        const std::size_t at = static_cast<std::size_t>(47 - y) * dib.BytesPerScanLine() + 3 * x;
        EXPECT_EQ(bits.at(at + 2), 255) << x << "," << y;
    }
}

}  // namespace
}  // namespace pictrova::imaging
