// SPDX-License-Identifier: GPL-3.0-or-later
#include "imaging/gif_decoder.h"

#include <gtest/gtest.h>

#include <cstring>
#include <functional>

#include "imaging/engine_io.h"
#include "imaging/gif_encoder.h"
#include "imaging/image_engine.h"
#include "imaging/picture_holder.h"
#include "picture_fixtures.h"

namespace pictrova::imaging {
namespace {

using Bytes = std::vector<std::uint8_t>;

// A picture whose colours change in both directions, written by the engine as a GIF with
// `configure` applied (the engine reduces it to 256 colours).
Bytes EngineGif(int width, int height, const std::function<void(Magick::Image&)>& configure) {
    return testing::EngineGradientFile(width, height, "GIF", configure, /*holes=*/true);
}

// Our own encoder's file of the same kind of picture, in at most `colours` colours.
Bytes OurGif(int width, int height, std::uint32_t colours) {
    cDIBSection dib;
    testing::FillCard(dib, width, height);
    return EncodeGif(dib, {.colours = colours, .dither = true});
}

cDIBSection EngineDecoded(const Bytes& gif) {
    return testing::EngineDecoded(gif, "GIF");
}

// The offset of the first image descriptor: the 13 bytes of header and screen, then the global
// colour table (flag 0x80 of byte 10, 3 x 2^(n+1) bytes with n its low 3 bits).
std::size_t FirstImageAt(const Bytes& gif) {
    const std::size_t table = (gif[10] & 0x80) != 0 ? 3u << ((gif[10] & 7) + 1) : 0;
    return 13 + table;
}

// The file with `block` put before its first image descriptor (and its signature made GIF89a,
// which extension blocks need).
Bytes WithBlockBeforeImage(Bytes gif, const Bytes& block) {
    gif.insert(gif.begin() + static_cast<std::ptrdiff_t>(FirstImageAt(gif)), block.begin(),
               block.end());
    gif[4] = '9';
    return gif;
}

// A graphic control block making `index` transparent.
Bytes TransparentIndex(std::uint8_t index) {
    return {0x21, 0xF9, 4, 0x01, 0, 0, index, 0};
}

struct GifCase {
    const char* name;
    Bytes gif;
};

TEST(GifDecoder, GivesTheEnginesPixels) {
    const GifCase cases[] = {
        {"engine's 256 colours", EngineGif(37, 23, [](Magick::Image&) {})},
        {"engine's interlaced",
         EngineGif(41, 27, [](Magick::Image& i) { i.interlaceType(Magick::LineInterlace); })},
        {"engine's transparent pixels", EngineGif(29, 17, [](Magick::Image& i) { i.matte(true); })},
        {"ours, 16 colours", OurGif(33, 9, 16)},
        {"ours, 2 colours", OurGif(8, 8, 2)},
        {"graphic control block, index 0 transparent",
         WithBlockBeforeImage(OurGif(21, 13, 16), TransparentIndex(0))},
        {"comment and graphic control blocks, index outside the table",
         WithBlockBeforeImage(OurGif(21, 13, 16), Bytes{0x21, 0xFE, 3, 'a', 'b', 'c', 0, 0x21, 0xF9,
                                                        4, 0x01, 0, 0, 250, 0})},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        cDIBSection ours;
        ASSERT_TRUE(DecodeGif(c.gif, ours));
        const cDIBSection engine = EngineDecoded(c.gif);
        testing::ExpectSameBitmap(ours, engine);
    }
}

TEST(GifDecoder, LeavesOtherAndDamagedFilesToTheEngine) {
    const Bytes plain = OurGif(37, 23, 16);
    Bytes largerScreen = plain;
    largerScreen[6] = 40;  // the screen 40 wide, the frame 37
    Bytes noColourTable = plain;
    noColourTable[10] &= 0x7F;
    noColourTable.erase(noColourTable.begin() + 13,
                        noColourTable.begin() + static_cast<std::ptrdiff_t>(FirstImageAt(plain)));
    const GifCase cases[] = {
        {"not a GIF", Bytes{'B', 'M', 0, 0, 0, 0, 0, 0, 0, 0}},
        {"header only", Bytes(plain.begin(), plain.begin() + 13)},
        {"image data cut short",
         Bytes(plain.begin(), plain.begin() + static_cast<std::ptrdiff_t>(plain.size() * 2 / 3))},
        {"no image before the trailer",
         Bytes{'G', 'I', 'F', '8', '9', 'a', 1, 0, 1, 0, 0, 0, 0, 0x3B}},
        {"frame inside a larger screen", largerScreen},
        {"no colour table", noColourTable},
        {"frame of no pixels", testing::GifDeclaring(0, 0, 10)},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        cDIBSection dib;
        EXPECT_FALSE(DecodeGif(c.gif, dib));
        EXPECT_EQ(dib.DIBSectionBitsPtr(), nullptr);
    }
}

TEST(GifDecoder, RefusesAPictureOverTheLimitsBeforeAllocating) {
    const struct {
        const char* name;
        std::uint16_t width, height;
    } cases[] = {
        {"wider than a side may be", 40'000, 8},
        {"over the pixel count", 16'000, 16'000},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        cDIBSection dib;
        EXPECT_THROW(DecodeGif(testing::GifDeclaring(c.width, c.height, 300), dib), PictureTooBig);
        EXPECT_EQ(dib.DIBSectionBitsPtr(), nullptr);
    }
}

}  // namespace
}  // namespace pictrova::imaging
