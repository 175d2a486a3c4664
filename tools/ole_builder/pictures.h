// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Small picture and document files with known content, drawn here (no third-party images), for
// the OLE object builders, the sample database and the tests.

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace pictrova::fixtures {

using Bytes = std::vector<std::uint8_t>;

struct Rgb {
    std::uint8_t red = 0, green = 0, blue = 0;
    bool operator==(const Rgb&) const = default;
};

// The test pattern every bitmap here shows: a colour that depends on (x, y) only, with (0, 0)
// the top-left pixel. Paletted bitmaps show PaletteIndex(x, y) of PaletteColour(k).
Rgb PatternColour(int x, int y);
std::uint8_t PaletteIndex(int x, int y, int paletteSize);
Rgb PaletteColour(int k);

// A packed device-independent bitmap: 40-byte info header (biSizeImage filled, colours used as
// given), the colour table for 1/4/8 bits (`coloursUsed` entries, or 2^bits when 0), bottom-up
// rows padded to 4 bytes. 16 bits is 5-5-5 RGB; 32 bits is blue, green, red, 0.
Bytes MakePackedDib(int width, int height, int bitCount, std::uint32_t coloursUsed = 0);

// A BMP file: the 14-byte file header in front of MakePackedDib.
Bytes MakeBmpFile(int width, int height, int bitCount = 24, std::uint32_t coloursUsed = 0);

// A run-length BMP file (`bitCount` 8: RLE8, 4: RLE4) with a full colour table of PaletteColour:
// index (x / 5 + y) % n on the left half of each row (encoded runs), (x + 2 y) % n on the right
// (absolute runs with their padding), rows ended by end-of-line, the file by end-of-bitmap. The
// bottom row starts with a delta over its first two pixels, which keep entry 0.
Bytes MakeRunLengthBmpFile(int width, int height, int bitCount);

// A 24-bit BMP file showing PatternColour (gradient) with a filled rectangle and a disc on it;
// for the sample database, where the pictures should look like pictures.
Bytes MakeDrawnBmpFile(int width, int height, int variant);

// A photo-editor picture stream (the "CONTENTS" stream of "MSPhoto..." objects):
//     0  i16 image type (1 grey, 2 paletted, 3 24-bit), 2 i16 width, 4 i16 height, 6..17 zero,
//    18  256 RGB triples (PaletteColour), 786..821 zero,
//   822  top-down rows without padding: index bytes (types 1, 2) or red, green, blue (type 3).
// Pixel values follow PaletteIndex / PatternColour.
Bytes MakePhotoEditorStream(std::int16_t imageType, std::int16_t width, std::int16_t height);

// A standard Windows metafile (no placeable header) with window origin 0,0 and extent
// width x height logical units: a background rectangle, a rectangle, an ellipse and a
// triangle, and, when `withText`, one line of text. Shapes are filled only, unless
// `outlineWidth` is 0 or more: then they are outlined by a black solid pen of that width in
// logical units (0: one device pixel).
Bytes MakeMetafile(int width, int height, bool withText = false, int outlineWidth = -1);

// What a costly metafile is made of, `count` times over (the renderers' costs are measured and
// bounded on them):
//   Polygon  one filled polygon of `count` points, a star over the whole window
//   Text     `count` characters of black text, in lines of 100 at a twentieth of the window high
//   Fills    `count` filled rectangles, each covering the whole window
//   Tangled  one filled polygon of `count` points strewn over the window, its edges crossing
//   Settings `count` records that set the background mode and draw nothing
enum class CostlyPrimitive { Polygon, Text, Fills, Tangled, Settings };

// The point `i` of `count` on a star of `count / 2` spikes over a width x height window.
std::pair<std::int16_t, std::int16_t> StarPoint(int i, int count, int width, int height);
// The point `i` of a fixed pseudo-random sequence over a width x height window.
std::pair<std::int16_t, std::int16_t> StrewnPoint(int i, int width, int height);

// A standard Windows metafile (no placeable header), window 0,0 - extent x extent.
Bytes MakeCostlyMetafile(CostlyPrimitive primitive, int count, int extent);

// A PNG file (8-bit RGB, stored deflate blocks) showing PatternColour: raw image bytes as a
// field holds them without any OLE wrapper.
Bytes MakePngFile(int width, int height);

// A baseline uncompressed 24-bit RGB TIFF file showing PatternColour.
Bytes MakeTiffFile(int width, int height);

// An icon file with one 32-bit image showing PatternColour (directory, then a DIB of doubled
// height with its AND mask).
Bytes MakeIcoFile(int width, int height);

// A device bitmap as OLE 1.0 "BITMAP" presentations hold it (Bitmap16): i16 type 0, i16 width,
// i16 height, i16 bytes per row (padded to 2), u8 planes 1, u8 bits per pixel, then, when
// `withBitsPointer`, 4 bytes of the in-memory bits pointer, then the rows top first. 24 and 32
// bits show PatternColour (blue, green, red[, 0]); 8 bits hold PaletteIndex (a device palette);
// 1 bit sets the pixels where x + y is odd. Other bit counts throw.
Bytes MakeBitmap16(int width, int height, int bitsPerPixel, bool withBitsPointer = false);

// An enhanced metafile of a header record (frame width x height hundredths of a millimetre) and
// the end record: enough for its signature, drawing nothing.
Bytes MakeEnhancedMetafile(int width, int height);

// A one-page PDF that draws a few filled rectangles and, when given, a line of text.
Bytes MakePdfFile(const std::string& text = "");

// An RTF document with one paragraph of text.
Bytes MakeRtfFile(const std::string& text);

}  // namespace pictrova::fixtures
