// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/creator_view.h"

#include <gtest/gtest.h>

#include "imaging/dib_section.h"

namespace pictrova::ui {
namespace {

TEST(CreatorView, EmptyBitmapGivesNoImage) {
    imaging::cDIBSection dib;
    EXPECT_TRUE(DibToImage(dib).isNull());
}

TEST(CreatorView, BottomUpRowsBecomeATopDownImage) {
    struct Case {
        int channels;
        int rowBytes;  // padded to 4
    };
    for (const Case c : {Case{3, 12}, Case{4, 12}}) {
        imaging::cDIBSection dib;
        ASSERT_TRUE(dib.Create(3, 2, c.channels));
        ASSERT_EQ(dib.BytesPerScanLine(), c.rowBytes);
        std::uint8_t* bits = dib.DIBSectionBitsPtr();
        // Bottom row first, blue-green-red: the bottom-left pixel red, the top-right one blue.
        bits[2] = 255;
        bits[c.rowBytes + 2 * c.channels] = 255;
        const QImage image = DibToImage(dib);
        ASSERT_EQ(image.size(), QSize(3, 2));
        EXPECT_EQ(image.pixel(0, 1), qRgb(255, 0, 0)) << c.channels;
        EXPECT_EQ(image.pixel(2, 0), qRgb(0, 0, 255)) << c.channels;
        EXPECT_EQ(image.pixel(1, 0), qRgb(0, 0, 0)) << c.channels;
    }
}

}  // namespace
}  // namespace pictrova::ui
