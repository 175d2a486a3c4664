// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The geometry of a Windows metafile picture: checking the metafile's record structure, finding
// its window origin and extent, the picture frame that its mapping mode and extents give (the
// METAFILEPICT rules), the pixel size of that frame on a reference device, and the placeable
// header that tells the renderer the logical bounding box.
//
// Standard metafile header (18 bytes, little-endian):
//   0  u16 type (1 memory, 2 disk)      2  u16 header size in words (9)
//   4  u16 version (0x0100 or 0x0300)  6  u32 file size in words
//  10  u16 object count                12  u32 largest record in words
//  16  u16 unused (0)
// Each record: u32 size in words (at least 3), u16 function, parameters. META_EOF (0x0000) ends it.
//
// Placeable header (22 bytes) put in front of the standard header:
//   0  u32 key 0x9AC6CDD7   4 u16 handle (0)   6 i16 left  8 i16 top  10 i16 right  12 i16 bottom
//  14  u16 logical units per inch   16 u32 reserved (0)   20 u16 XOR of the ten words before it

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace pictrova::imaging {

// Mapping modes of the picture header (METAFILEPICT.mm).
enum MappingMode : std::int32_t {
    MM_TEXT = 1,
    MM_LOMETRIC = 2,
    MM_HIMETRIC = 3,
    MM_LOENGLISH = 4,
    MM_HIENGLISH = 5,
    MM_TWIPS = 6,
    MM_ISOTROPIC = 7,
    MM_ANISOTROPIC = 8,
};

inline constexpr std::uint32_t kPlaceableKey = 0x9AC6CDD7;
inline constexpr std::size_t kPlaceableHeaderSize = 22;
inline constexpr std::size_t kMetaHeaderSize = 18;

// The reference device a picture is sized against, in the integer fields of a metafile header:
// its size in pixels and in millimetres. The default is a 96-dpi screen.
struct ReferenceDevice {
    std::int32_t widthPixels = 1920;
    std::int32_t heightPixels = 1440;
    std::int32_t widthMillimetres = 508;
    std::int32_t heightMillimetres = 381;
};

// A logical rectangle given by a window origin and extent.
struct LogicalWindow {
    std::int16_t left = 0;
    std::int16_t top = 0;
    std::int16_t width = 0;
    std::int16_t height = 0;
};

// A metafile whose record chain was walked and found sound, re-emitted with a consistent
// header (size and largest record recomputed, an end record added when it was missing).
struct CheckedMetafile {
    std::vector<std::uint8_t> bits;
    std::optional<LogicalWindow> window;  // the last SetWindowOrg/SetWindowExt pair seen
};

// Throws FormatError when the bytes are not a standard metafile whose records fit the data.
// A leading placeable header is dropped (its bounding box is taken as the window when the
// records set none).
CheckedMetafile CheckMetafile(std::span<const std::uint8_t> bits);

// The picture frame in hundredths of a millimetre, as the metafile-to-enhanced-metafile
// conversion derives it from the picture header: isotropic and anisotropic pictures carry their
// size in hundredths of a millimetre; the fixed modes carry it in their own units. Extents that
// are zero or negative (no size given) are taken from the metafile's window, read as units of the
// mapping mode (device pixels for the scalable modes). Nullopt when no size can be found.
struct Frame {
    std::int32_t left = 0;
    std::int32_t top = 0;
    std::int32_t right = 0;
    std::int32_t bottom = 0;
};
std::optional<Frame> PictureFrame(std::int32_t mm, std::int32_t xExt, std::int32_t yExt,
                                  const std::optional<LogicalWindow>& window,
                                  const ReferenceDevice& device);

// Pixel size of a frame on the reference device: inches through three single-precision steps,
// resolution in single precision, the product rounded half to even. Throws Error on a zero
// millimetre size or a frame whose subtraction overflows.
struct PixelSize {
    std::int64_t width = 0;
    std::int64_t height = 0;
};
PixelSize FramePixelSize(const Frame& frame, const ReferenceDevice& device);

// The metafile with records put in front that mark the window as drawn without changing a
// pixel: a block transfer that keeps the destination, with a null brush, inside SaveDC/RestoreDC,
// its brush deleted again so the object table the original records see is unchanged. The
// renderer fits the drawing's bounding box to the picture; this makes that box the window
// whenever the records draw inside it, and gives an empty picture a box at all. (A shape would
// not do: the renderer widens a shape's box by half its pen, even a null pen of one unit.)
std::vector<std::uint8_t> WithWindowBounds(const CheckedMetafile& metafile,
                                           const LogicalWindow& window);

// Scales the height of every font the metafile creates (CreateFontIndirect's first word):
// character heights (negative) by `characterFactor`, cell heights (positive) by `cellFactor`,
// rounded and kept within 16 bits. The metafile must have passed CheckMetafile.
void ScaleFontHeights(CheckedMetafile& metafile, double characterFactor, double cellFactor);

// The placeable header for `window` at `unitsPerInch`, checksum included.
std::vector<std::uint8_t> PlaceableHeader(const LogicalWindow& window, std::uint16_t unitsPerInch);

}  // namespace pictrova::imaging
