// SPDX-License-Identifier: GPL-3.0-or-later
#include "ole_builder/enhanced_metafiles.h"

#include <algorithm>
#include <stdexcept>
#include <string>
#include <string_view>

#include "ole_builder/byte_appender.h"

namespace pictrova::fixtures {
namespace {

constexpr std::uint32_t kEmrHeader = 1, kEmrEof = 14, kEmrSetBkMode = 18, kEmrSetTextAlign = 22,
                        kEmrSetTextColor = 24, kEmrSelectObject = 37, kEmrCreateBrush = 39,
                        kEmrDeleteObject = 40, kEmrRectangle = 43, kEmrStretchDiBits = 81,
                        kEmrCreateFont = 82, kEmrExtTextOutW = 84, kEmrPolygon16 = 86;
constexpr std::uint32_t kStockNullPen = 0x80000008;
constexpr std::uint32_t kSrcCopy = 0x00CC0020;
constexpr std::uint32_t kHeaderSize = 88;

std::uint32_t ColourRef(Rgb c) {
    return c.red | c.green << 8 | c.blue << 16;
}

class EmfWriter {
  public:
    EmfWriter(int width, int height) : out_(bytes_) {
        out_.u32(kEmrHeader);
        out_.u32(kHeaderSize);
        for (int v : {0, 0, width - 1, height - 1})
            out_.i32(v);  // bounds, device pixels
        // Frame in hundredths of a millimetre: 2540 / 96 per pixel.
        for (int v : {0, 0, width * 2540 / 96, height * 2540 / 96})
            out_.i32(v);
        out_.u32(0x464D4520);  // " EMF"
        out_.u32(0x10000);
        out_.u32(0);  // file size, patched in Finish
        out_.u32(0);  // record count, patched in Finish
        out_.u16(4);  // handles: the stock slot 0 and three of ours
        out_.u16(0);
        out_.u32(0);  // description: none
        out_.u32(0);
        out_.u32(0);  // palette entries
        for (int v : {1920, 1440, 508, 381})
            out_.i32(v);  // reference device, pixels and mm
        records_ = 1;
    }

    void Record(std::uint32_t type, std::initializer_list<std::uint32_t> params) {
        out_.u32(type);
        out_.u32(static_cast<std::uint32_t>(8 + 4 * params.size()));
        for (std::uint32_t p : params)
            out_.u32(p);
        ++records_;
    }
    // A record whose body is laid out by the caller after this call; closed by EndRecord.
    std::size_t BeginRecord(std::uint32_t type) {
        const std::size_t at = bytes_.size();
        out_.u32(type);
        out_.u32(0);
        ++records_;
        return at;
    }
    void EndRecord(std::size_t at) {
        while (bytes_.size() % 4 != 0)
            out_.u8(0);
        out_.patch32(at + 4, static_cast<std::uint32_t>(bytes_.size() - at));
    }
    ByteAppender& out() { return out_; }

    void SolidBrush(Rgb colour) {
        Record(kEmrCreateBrush, {1, 0, ColourRef(colour), 0});  // slot 1: BS_SOLID
        Record(kEmrSelectObject, {1});
    }
    void DropBrush() { Record(kEmrDeleteObject, {1}); }

    Bytes Finish() {
        Record(kEmrEof, {0, 16, 20});
        out_.patch32(48, static_cast<std::uint32_t>(bytes_.size()));
        out_.patch32(52, records_);
        return bytes_;
    }

  private:
    Bytes bytes_;
    ByteAppender out_;
    std::uint32_t records_ = 0;
};

// Transparent text of `colour`, top-left aligned, in Arial `fontHeight` high (selected into slot 2
// until DropFont).
void SelectFont(EmfWriter& emf, int fontHeight, Rgb colour) {
    emf.Record(kEmrSetBkMode, {1});  // transparent
    emf.Record(kEmrSetTextColor, {ColourRef(colour)});
    emf.Record(kEmrSetTextAlign, {0});  // top left
    // EXTCREATEFONTINDIRECTW: slot, then LOGFONTW (92 bytes).
    std::size_t at = emf.BeginRecord(kEmrCreateFont);
    ByteAppender& out = emf.out();
    out.u32(2);
    out.i32(-fontHeight);  // character height
    out.i32(0);            // width: the face's own
    out.i32(0);            // escapement
    out.i32(0);            // orientation
    out.i32(400);          // weight
    out.u8(0);             // italic, underline, strike-out
    out.u8(0);
    out.u8(0);
    out.u8(0);  // charset ANSI
    out.u8(0);  // precision
    out.u8(0);
    out.u8(0);  // quality
    out.u8(0);  // pitch and family
    constexpr std::u16string_view kFace = u"Arial";
    for (int i = 0; i < 32; ++i)
        out.u16(i < static_cast<int>(kFace.size()) ? kFace[static_cast<std::size_t>(i)] : 0);
    emf.EndRecord(at);
    emf.Record(kEmrSelectObject, {2});
}

// EXTTEXTOUTW: bounds, graphics mode, x and y scale, then EMRTEXT: reference point, count, offset
// of the string (from the record's start), options, rectangle, offset of the spacing.
void TextAt(EmfWriter& emf, std::u16string_view text, int x, int y) {
    const std::size_t at = emf.BeginRecord(kEmrExtTextOutW);
    ByteAppender& out = emf.out();
    for (int v : {0, 0, -1, -1})
        out.i32(v);
    out.u32(1);  // GM_COMPATIBLE
    out.u32(0);  // scales (floats 0.0)
    out.u32(0);
    out.i32(x);
    out.i32(y);
    out.u32(static_cast<std::uint32_t>(text.size()));
    constexpr std::uint32_t kStringOffset = 76;  // 8 + 16 + 4 + 8 + 8 + 4 + 4 + 4 + 16 + 4
    out.u32(kStringOffset);
    out.u32(0);  // options
    for (int v : {0, 0, -1, -1})
        out.i32(v);
    out.u32(0);  // no spacing array
    for (char16_t c : text)
        out.u16(c);
    emf.EndRecord(at);
}

void DropFont(EmfWriter& emf) {
    emf.Record(kEmrDeleteObject, {2});
}

void Text(EmfWriter& emf, int width, int height, Rgb colour) {
    SelectFont(emf, height / 3, colour);
    TextAt(emf, u"Pictrova", width / 10, height / 4);
    DropFont(emf);
}

void Bitmap(EmfWriter& emf, int width, int height) {
    const Bytes dib = MakePackedDib(width, height, 24);
    constexpr std::uint32_t kInfoSize = 40;
    constexpr std::uint32_t kFixedSize = 80;  // the record up to its bitmap header
    const std::size_t at = emf.BeginRecord(kEmrStretchDiBits);
    ByteAppender& out = emf.out();
    for (int v : {0, 0, width - 1, height - 1})
        out.i32(v);  // bounds
    out.i32(0);      // destination x, y
    out.i32(0);
    out.i32(0);  // source x, y
    out.i32(0);
    out.i32(width);  // source width, height
    out.i32(height);
    out.u32(kFixedSize);  // bitmap header offset and size
    out.u32(kInfoSize);
    out.u32(kFixedSize + kInfoSize);  // bits offset and size
    out.u32(static_cast<std::uint32_t>(dib.size() - kInfoSize));
    out.u32(0);  // DIB_RGB_COLORS
    out.u32(kSrcCopy);
    out.i32(width);  // destination width, height
    out.i32(height);
    out.bytes(dib);
    emf.EndRecord(at);
}

}  // namespace

Bytes MakeEnhancedMetafile(int width, int height, EmfContent content) {
    if (width <= 0 || height <= 0)
        throw std::invalid_argument("metafile needs a positive size");
    const auto w = static_cast<std::uint32_t>(width), h = static_cast<std::uint32_t>(height);
    EmfWriter emf(width, height);
    emf.Record(kEmrSelectObject, {kStockNullPen});
    switch (content) {
        case EmfContent::Rectangles:
            // A rectangle covers its right and bottom edges less one pixel (the pen is null).
            emf.SolidBrush(kEmfRed);
            emf.Record(kEmrRectangle, {0, 0, w / 2 + 1, h + 1});
            emf.DropBrush();
            emf.SolidBrush(kEmfGreen);
            emf.Record(kEmrRectangle, {w / 2, h / 2, w + 1, h + 1});
            emf.DropBrush();
            break;
        case EmfContent::Polygon: {
            emf.SolidBrush(kEmfBlue);
            // POLYGON16: bounds, point count, 16-bit points.
            const std::size_t at = emf.BeginRecord(kEmrPolygon16);
            for (std::uint32_t v : {0u, 0u, w, h})
                emf.out().u32(v);
            emf.out().u32(3);
            for (std::uint32_t v : {w / 2, 0u, w, h, 0u, h})
                emf.out().u16(static_cast<std::uint16_t>(v));
            emf.EndRecord(at);
            emf.DropBrush();
            break;
        }
        case EmfContent::Text:
            Text(emf, width, height, {255, 255, 255});
            break;
        case EmfContent::BlackText:
            Text(emf, width, height, {0, 0, 0});
            break;
        case EmfContent::Bitmap:
            Bitmap(emf, width, height);
            break;
    }
    return emf.Finish();
}

Bytes MakeCostlyEnhancedMetafile(CostlyPrimitive primitive, int count, int width, int height) {
    if (width <= 0 || height <= 0 || count < 0)
        throw std::invalid_argument("metafile needs a positive size");
    const auto w = static_cast<std::uint32_t>(width), h = static_cast<std::uint32_t>(height);
    EmfWriter emf(width, height);
    emf.Record(kEmrSelectObject, {kStockNullPen});
    emf.SolidBrush(kEmfBlue);
    switch (primitive) {
        case CostlyPrimitive::Polygon: {
            const std::size_t at = emf.BeginRecord(kEmrPolygon16);
            for (std::uint32_t v : {0u, 0u, w, h})
                emf.out().u32(v);
            emf.out().u32(static_cast<std::uint32_t>(count));
            for (int i = 0; i < count; ++i) {
                const auto [x, y] = StarPoint(i, count, width, height);
                emf.out().i16(x);
                emf.out().i16(y);
            }
            emf.EndRecord(at);
            break;
        }
        case CostlyPrimitive::Tangled: {
            const std::size_t at = emf.BeginRecord(kEmrPolygon16);
            for (std::uint32_t v : {0u, 0u, w, h})
                emf.out().u32(v);
            emf.out().u32(static_cast<std::uint32_t>(count));
            for (int i = 0; i < count; ++i) {
                const auto [x, y] = StrewnPoint(i, width, height);
                emf.out().i16(x);
                emf.out().i16(y);
            }
            emf.EndRecord(at);
            break;
        }
        case CostlyPrimitive::Settings:
            for (int i = 0; i < count; ++i)
                emf.Record(kEmrSetBkMode, {static_cast<std::uint32_t>(1 + i % 2)});
            break;
        case CostlyPrimitive::Text: {
            const int fontHeight = std::max(1, height / 20);
            SelectFont(emf, fontHeight, {0, 0, 0});
            for (int done = 0, line = 0; done < count; done += 100, ++line) {
                const std::u16string text(static_cast<std::size_t>(std::min(100, count - done)),
                                          u'W');
                TextAt(emf, text, 0, line * fontHeight % height);
            }
            DropFont(emf);
            break;
        }
        case CostlyPrimitive::Fills:
            for (int i = 0; i < count; ++i)
                emf.Record(kEmrRectangle, {0, 0, w + 1, h + 1});
            break;
    }
    emf.DropBrush();
    return emf.Finish();
}

}  // namespace pictrova::fixtures
