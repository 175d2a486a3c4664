// SPDX-License-Identifier: GPL-3.0-or-later
// Text in metafiles drawn small.
#include <gtest/gtest.h>

#include "imaging/dib_section.h"
#include "wmf_builder.h"

namespace pictrova::imaging {
namespace {

// Width in pixels of the dark ink of a line of black text on white, drawn `width` pixels wide
// (window 800 x 104 units, font height in units as a metafile gives it: negative for the
// character height, positive for the cell height).
int InkWidth(std::int32_t width, std::int16_t fontHeight = -40) {
    testing::WmfBuilder b;
    b.SetWindowOrg(0, 0).SetWindowExt(800, 104).SetBkMode(1).CreatePen(5, 0).SelectObject(0);
    b.CreateSolidBrush(0xFFFFFF).SelectObject(1).Rectangle(0, 0, 800, 104);
    b.CreateFont(fontHeight, "Arial")
        .SelectObject(2)
        .SetTextColor(0)
        .TextOut(20, 30, "Pictrova Pictrova Pictrova");
    auto bits = b.Build();
    std::int32_t mm = MM_TEXT, xExt = width, yExt = width * 104 / 800;
    cDIBSection dib;
    EXPECT_TRUE(dib.WMFtoBMP(bits, mm, xExt, yExt));
    int left = width, right = -1;
    for (int y = 0; y < dib.dib_height(); ++y) {
        for (int x = 0; x < dib.dib_width(); ++x) {
            if (bits[static_cast<std::size_t>(y) * dib.BytesPerScanLine() + 3 * x + 2] < 200) {
                left = std::min(left, x);
                right = std::max(right, x);
            }
        }
    }
    return right - left + 1;
}

// The reader rounds a text size down to whole points; with a point as large as a pixel, text
// a few pixels high lost up to a third of its size (and text under a pixel was dropped).
TEST(Regression, SmallTextSizeRoundedToWholePixels) {
    const int large = InkWidth(800);  // characters 40 pixels high: rounding is negligible
    ASSERT_GT(large, 300);
    for (int width : {60, 80, 120}) {  // characters 3, 4 and 6 pixels high
        SCOPED_TRACE(width);
        const double expected = large * width / 800.0;
        EXPECT_NEAR(InkWidth(width), expected, expected * 0.1 + 1);
    }
}

// The reader sized text so that the font's line spacing (1.37 em in its sans-serif face) filled
// the character height, where Windows makes the em that height: text came out three quarters of
// its size. "Pictrova Pictrova Pictrova" in Arial (and the reader's Helvetica) advances 11.39 em,
// its ink about 11.25 em.
TEST(Regression, TextSizedByLineSpacingInsteadOfEm) {
    const struct {
        std::int16_t fontHeight;
        double em;
    } cases[] = {
        {-40, 40},        // character height: the em
        {40, 40 * 0.89},  // cell height: the em and the internal leading
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.fontHeight);
        EXPECT_NEAR(InkWidth(800, c.fontHeight), 11.25 * c.em, 11.25 * c.em * 0.04);
    }
}

}  // namespace
}  // namespace pictrova::imaging
