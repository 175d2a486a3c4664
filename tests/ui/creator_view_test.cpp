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

TEST(CreatorView, BottomUpBgrRowsBecomeATopDownImage) {
    imaging::cDIBSection dib;
    ASSERT_TRUE(dib.Create(3, 2, 3));
    ASSERT_EQ(dib.BytesPerScanLine(), 12);  // 9 bytes of pixels, padded to 12
    // The pixel memory is read-only from outside; a metafile-free bitmap is black.
    const QImage black = DibToImage(dib);
    ASSERT_FALSE(black.isNull());
    EXPECT_EQ(black.size(), QSize(3, 2));
    EXPECT_EQ(black.pixel(2, 1), qRgb(0, 0, 0));
}

}  // namespace
}  // namespace pictrova::ui
