// SPDX-License-Identifier: GPL-3.0-or-later
#include "imaging/metafile_frame.h"

#include <algorithm>
#include <array>
#include <cfenv>
#include <cmath>
#include <cstdlib>
#include <limits>

#include "common/byte_reader.h"
#include "common/checked_math.h"
#include "common/error.h"
#include "imaging/metafile_objects.h"

namespace pictrova::imaging {
namespace {

constexpr std::uint16_t kMetaEof = 0x0000;
constexpr std::uint16_t kMetaSetWindowOrg = 0x020B;
constexpr std::uint16_t kMetaSetWindowExt = 0x020C;
constexpr std::uint16_t kMetaSetMapMode = 0x0103;
constexpr std::uint16_t kMetaCreatePen = 0x02FA;
constexpr std::uint16_t kPenStyleNull = 5;
constexpr std::uint32_t kMinRecordWords = 3;

// Parameter words that the drawing records need at the least. The renderer reads parameters by
// index within the record; a record shorter than its function needs is damage, and refusing it
// here keeps such reads inside the record.
struct RecordMinimum {
    std::uint16_t function;
    std::uint16_t words;
};
constexpr RecordMinimum kRecordMinimums[] = {
    {0x0102, 1}, {0x0104, 1}, {0x0106, 1},  {0x0107, 1},  {0x0108, 1},
    {0x0127, 1},                                                        // modes, RestoreDC
    {0x012D, 1}, {0x01F0, 1}, {0x012E, 1},  {0x0201, 2},  {0x0209, 2},  // objects, colours
    {0x020B, 2}, {0x020C, 2}, {0x020D, 2},  {0x020E, 2},  {0x0211, 2},
    {0x0412, 4},  // window, viewport
    {0x0213, 2}, {0x0214, 2}, {0x0415, 4},  {0x0416, 4},  {0x0418, 4},
    {0x041B, 4},  // lines, shapes
    {0x061C, 6}, {0x061D, 6}, {0x0817, 8},  {0x081A, 8},  {0x0830, 8},
    {0x041F, 4},  // arcs, pie, flood
    {0x02FA, 5}, {0x02FC, 4}, {0x02FB, 9},  {0x0521, 3},  {0x0A32, 4},
    {0x0324, 1},  // pens, fonts, text
    {0x0325, 1}, {0x0538, 1}, {0x0F43, 11}, {0x0B41, 10}, {0x0940, 8},
    {0x0922, 8},  // polys, bitmaps
};

// Polygon, polyline and text records carry counts; the data they count must be in the record.
void CheckCountedRecord(std::uint16_t function, ByteReader params, std::size_t at) {
    auto need = [&](std::uint64_t words) {
        Enforce(words * 2 <= params.size(), "metafile record shorter than its count", at);
    };
    switch (function) {
        case 0x0324:  // Polygon
        case 0x0325:  // Polyline
            need(1 + 2 * static_cast<std::uint64_t>(params.u16le()));
            break;
        case 0x0538: {  // PolyPolygon: count, point counts, points
            const std::uint16_t polygons = params.u16le();
            need(1 + static_cast<std::uint64_t>(polygons));
            std::uint64_t points = 0;
            for (std::uint16_t i = 0; i < polygons; ++i)
                points += params.u16le();
            need(1 + polygons + 2 * points);
            break;
        }
        case 0x0521:  // TextOut: length, text padded to words, y, x
            need(1 + (static_cast<std::uint64_t>(params.u16le()) + 1) / 2 + 2);
            break;
        case 0x0A32: {  // ExtTextOut: y, x, length, options, [rectangle], text
            params.skip(4);
            const std::uint16_t length = params.u16le();
            const std::uint16_t options = params.u16le();
            const bool clipped = (options & 0x0006) != 0;
            need(4 + (clipped ? 4 : 0) + (static_cast<std::uint64_t>(length) + 1) / 2);
            break;
        }
        default:
            break;
    }
}

// CreatePenIndirect: style, width x, width y (unused), colour. True for a pen of width 0 (one
// device pixel) and for a null pen (no line at all).
bool IsHairlineOrNullPen(ByteReader params) {
    const std::uint16_t style = params.u16le();
    return (style & 0x0F) == kPenStyleNull || params.u16le() == 0;
}

std::array<std::uint8_t, 8> ModeRecord(std::uint16_t mode) {
    return {4,
            0,
            0,
            0,
            kMetaSetMapMode & 0xFF,
            kMetaSetMapMode >> 8,
            static_cast<std::uint8_t>(mode & 0xFF),
            static_cast<std::uint8_t>(mode >> 8)};
}

// Hundredths of a millimetre per unit of each fixed mapping mode (MM_TEXT is device-dependent).
double HimetricPerUnit(std::int32_t mm, const ReferenceDevice& device, bool vertical) {
    switch (mm) {
        case MM_LOMETRIC:
            return 10.0;
        case MM_HIMETRIC:
            return 1.0;
        case MM_LOENGLISH:
            return 25.4;
        case MM_HIENGLISH:
            return 2.54;
        case MM_TWIPS:
            return 2540.0 / 1440.0;
        default:  // device pixels
            return vertical ? device.heightMillimetres * 100.0 / device.heightPixels
                            : device.widthMillimetres * 100.0 / device.widthPixels;
    }
}

std::int32_t ToHimetric(double units, double perUnit) {
    double v = std::round(std::fabs(units) * perUnit);
    if (!(v <= std::numeric_limits<std::int32_t>::max()))
        throw Error("metafile frame too large");
    return static_cast<std::int32_t>(v);
}

}  // namespace

CheckedMetafile CheckMetafile(std::span<const std::uint8_t> bits) {
    ByteReader in(bits);
    std::optional<LogicalWindow> placeableWindow;
    if (bits.size() >= 4 && ByteReader(bits).u32le() == kPlaceableKey) {
        in.skip(6);
        LogicalWindow w;
        w.left = in.i16le();
        w.top = in.i16le();
        std::int32_t right = in.i16le();
        std::int32_t bottom = in.i16le();
        w.width = static_cast<std::int16_t>(std::clamp(right - w.left, -32768, 32767));
        w.height = static_cast<std::int16_t>(std::clamp(bottom - w.top, -32768, 32767));
        placeableWindow = w;
        in.skip(8);
    }

    const std::size_t start = in.position();
    const std::uint16_t type = in.u16le();
    const std::uint16_t headerWords = in.u16le();
    const std::uint16_t version = in.u16le();
    Enforce(type == 1 || type == 2, "metafile type is not memory or disk", start);
    Enforce(headerWords == 9, "metafile header size is not 9 words", start + 2);
    Enforce(version == 0x0100 || version == 0x0300, "unknown metafile version", start + 4);
    in.skip(12);

    CheckedMetafile result;
    std::optional<std::int16_t> orgX, orgY, extX, extY;
    std::uint32_t largestRecord = kMinRecordWords;
    bool ended = false;
    std::size_t recordCount = 0;
    ByteReader header(bits.subspan(start, kMetaHeaderSize));
    header.skip(10);
    MetafileObjectTable objects(header.u16le());
    std::vector<std::uint8_t> body;
    auto keep = [&](std::span<const std::uint8_t> record, std::uint32_t words) {
        body.insert(body.end(), record.begin(), record.end());
        largestRecord = std::max(largestRecord, words);
    };
    while (!in.atEnd()) {
        const std::size_t at = in.position();
        const std::uint32_t words = in.u32le();
        const std::uint16_t function = in.u16le();
        Enforce(words >= kMinRecordWords, "metafile record shorter than its header", at);
        const std::uint64_t paramBytes = (static_cast<std::uint64_t>(words) - kMinRecordWords) * 2;
        ByteReader params =
            in.sub(EnforcePlausibleSize(paramBytes, in.remaining(), "metafile record"));
        const std::span<const std::uint8_t> record = bits.subspan(at, in.position() - at);
        ++recordCount;
        for (const auto& minimum : kRecordMinimums) {
            if (minimum.function == function) {
                Enforce(params.size() >= minimum.words * 2u,
                        "metafile record shorter than its function needs", at);
            }
        }
        CheckCountedRecord(function, params, at);
        // The picture is drawn into its frame the way a metafile picture is played: window
        // mapped onto the frame. A mapping-mode record would make the renderer map the window
        // onto its own idea of a viewport instead, so it is left out.
        if (function == kMetaSetMapMode || !objects.Accept(function, params))
            continue;
        if (function == kMetaCreatePen && IsHairlineOrNullPen(params)) {
            // A pen of width 0 is one device pixel wide whatever the scale. The renderer takes
            // it as one logical unit, which is several pixels when a unit is, and widens the
            // bounds of every shape by half a pen, null pens too, which shrinks and moves the
            // picture. Created while the finest fixed mapping mode is in force the pen is a
            // thousandth of an inch instead: drawn at the renderer's thinnest line, widening
            // nothing. The mode back to the default (any value the renderer does not know)
            // restores the picture's own unit.
            keep(ModeRecord(MM_HIENGLISH), 4);
            keep(record, words);
            keep(ModeRecord(0), 4);
            continue;
        }
        keep(record, words);
        if (function == kMetaEof) {
            ended = true;
            break;
        }
        if (function == kMetaSetWindowOrg) {
            orgY = params.i16le();
            orgX = params.i16le();
        } else if (function == kMetaSetWindowExt) {
            extY = params.i16le();
            extX = params.i16le();
        }
    }
    Enforce(recordCount > 0, "metafile has no records", in.position());

    // Re-emit header and records; the header's size fields are recomputed from what is there.
    const std::size_t totalBytes = kMetaHeaderSize + body.size() + (ended ? 0 : 6);
    const std::uint64_t totalWords = totalBytes / 2;
    Enforce(totalWords <= std::numeric_limits<std::uint32_t>::max(), "metafile too large", start);
    result.bits.resize(totalBytes);
    ByteWriter out(result.bits);
    header.seek(0);
    out.bytes(header.bytes(6));
    out.u32le(static_cast<std::uint32_t>(totalWords));
    header.skip(4);
    out.bytes(header.bytes(2));  // object count
    out.u32le(largestRecord);
    out.u16le(0);
    out.bytes(body);
    if (!ended) {
        out.u32le(kMinRecordWords);
        out.u16le(kMetaEof);
    }

    if (extX && extY) {
        LogicalWindow w;
        w.left = orgX.value_or(0);
        w.top = orgY.value_or(0);
        w.width = *extX;
        w.height = *extY;
        result.window = w;
    } else {
        result.window = placeableWindow;
    }
    return result;
}

std::optional<Frame> PictureFrame(std::int32_t mm, std::int32_t xExt, std::int32_t yExt,
                                  const std::optional<LogicalWindow>& window,
                                  const ReferenceDevice& device) {
    const bool scalable = !(mm >= MM_TEXT && mm <= MM_TWIPS);
    double width = 0;
    double height = 0;
    double perUnitX = 1.0;
    double perUnitY = 1.0;
    if (xExt > 0 && yExt > 0) {
        width = xExt;
        height = yExt;
        if (!scalable) {
            perUnitX = HimetricPerUnit(mm, device, false);
            perUnitY = HimetricPerUnit(mm, device, true);
        }
    } else if (window && window->width != 0 && window->height != 0) {
        width = window->width;
        height = window->height;
        const std::int32_t unitMode = scalable ? MM_TEXT : mm;
        perUnitX = HimetricPerUnit(unitMode, device, false);
        perUnitY = HimetricPerUnit(unitMode, device, true);
    } else {
        return std::nullopt;
    }
    Frame f;
    f.right = ToHimetric(width, perUnitX);
    f.bottom = ToHimetric(height, perUnitY);
    return f;
}

PixelSize FramePixelSize(const Frame& frame, const ReferenceDevice& device) {
    if (device.widthMillimetres == 0 || device.heightMillimetres == 0) {
        throw Error("reference device has no size in millimetres");
    }
    // Each step is stored in single precision, as the sizes of a metafile header are.
    auto inches = [](std::int32_t extent) {
        float hundredths = static_cast<float>(static_cast<double>(extent) * 0.01);
        float centimetres = static_cast<float>(static_cast<double>(hundredths) * 0.1);
        return static_cast<float>(static_cast<double>(centimetres) / 2.54);
    };
    auto resolution = [](std::int32_t pixels, std::int32_t millimetres) {
        return static_cast<float>(pixels / (static_cast<double>(millimetres) * 0.1 / 2.54));
    };
    const float widthInches = inches(CheckedSub(frame.right, frame.left));
    const float heightInches = inches(CheckedSub(frame.bottom, frame.top));
    const float xDpi = resolution(device.widthPixels, device.widthMillimetres);
    const float yDpi = resolution(device.heightPixels, device.heightMillimetres);

    // nearbyint rounds halves to even in the default rounding mode.
    const int savedMode = std::fegetround();
    std::fesetround(FE_TONEAREST);
    PixelSize size;
    size.width = static_cast<std::int64_t>(std::nearbyint(static_cast<double>(widthInches) * xDpi));
    size.height =
        static_cast<std::int64_t>(std::nearbyint(static_cast<double>(heightInches) * yDpi));
    std::fesetround(savedMode);
    return size;
}

std::vector<std::uint8_t> WithWindowBounds(const CheckedMetafile& metafile,
                                           const LogicalWindow& window) {
    constexpr std::uint16_t kSaveDc = 0x001E, kRestoreDc = 0x0127, kCreateBrush = 0x02FC,
                            kSelectObject = 0x012D, kDeleteObject = 0x01F0, kPatBlt = 0x061D;
    constexpr std::uint16_t kNullBrush = 1;
    constexpr std::uint32_t kDestinationUnchanged = 0x00AA0029;  // raster operation D
    std::vector<std::uint8_t> records(256);
    ByteWriter out(records);
    auto record = [&](std::uint16_t function, std::initializer_list<std::uint16_t> params) {
        out.u32le(static_cast<std::uint32_t>(kMinRecordWords + params.size()));
        out.u16le(function);
        for (std::uint16_t p : params)
            out.u16le(p);
    };
    record(kSaveDc, {});
    record(kCreateBrush, {kNullBrush, 0, 0, 0});
    record(kSelectObject, {0});
    // The transfer's corner is its top left in logical units, whichever way the window runs.
    const std::int32_t left = std::min<std::int32_t>(window.left, window.left + window.width);
    const std::int32_t top = std::min<std::int32_t>(window.top, window.top + window.height);
    record(kPatBlt, {kDestinationUnchanged & 0xFFFF, kDestinationUnchanged >> 16,
                     static_cast<std::uint16_t>(std::abs(window.height)),
                     static_cast<std::uint16_t>(std::abs(window.width)),
                     static_cast<std::uint16_t>(top), static_cast<std::uint16_t>(left)});
    record(kRestoreDc, {0xFFFF});
    record(kDeleteObject, {0});
    records.resize(out.position());

    Enforce(metafile.bits.size() >= kMetaHeaderSize, "metafile shorter than its header");
    std::vector<std::uint8_t> result(metafile.bits.size() + records.size());
    ByteWriter put(result);
    const std::span<const std::uint8_t> original(metafile.bits);
    put.bytes(original.first(kMetaHeaderSize));
    put.bytes(records);
    put.bytes(original.subspan(kMetaHeaderSize));
    ByteReader header(metafile.bits);
    header.skip(6);
    const std::uint32_t words = header.u32le();
    const std::uint16_t objects = header.u16le();
    const std::uint32_t largest = header.u32le();
    ByteWriter fix(result);
    fix.seek(6);
    fix.u32le(CheckedAdd(words, static_cast<std::uint32_t>(records.size() / 2)));
    fix.u16le(std::max<std::uint16_t>(objects, 1));
    fix.u32le(std::max<std::uint32_t>(largest, 9));
    return result;
}

void ScaleFontHeights(CheckedMetafile& metafile, double characterFactor, double cellFactor) {
    constexpr std::uint16_t kCreateFont = 0x02FB;
    ByteReader in(metafile.bits);
    in.skip(kMetaHeaderSize);
    while (!in.atEnd()) {
        const std::size_t at = in.position();
        const std::uint32_t words = in.u32le();
        const std::uint16_t function = in.u16le();
        in.skip((static_cast<std::size_t>(words) - kMinRecordWords) * 2);
        if (function == kCreateFont) {
            ByteReader height(metafile.bits);
            height.seek(at + 6);
            const std::int16_t h = height.i16le();
            const double scaled = std::round(h * (h < 0 ? characterFactor : cellFactor));
            ByteWriter out(metafile.bits);
            out.seek(at + 6);
            out.u16le(static_cast<std::uint16_t>(
                static_cast<std::int16_t>(std::clamp(scaled, -32768.0, 32767.0))));
        }
        if (function == kMetaEof)
            break;
    }
}

std::vector<std::uint8_t> PlaceableHeader(const LogicalWindow& window, std::uint16_t unitsPerInch) {
    const std::int32_t right = window.left + window.width;
    const std::int32_t bottom = window.top + window.height;
    if (right < -32768 || right > 32767 || bottom < -32768 || bottom > 32767) {
        throw Error("metafile window does not fit a placeable header");
    }
    std::vector<std::uint8_t> header(kPlaceableHeaderSize);
    ByteWriter out(header);
    out.u32le(kPlaceableKey);
    out.u16le(0);
    out.u16le(static_cast<std::uint16_t>(window.left));
    out.u16le(static_cast<std::uint16_t>(window.top));
    out.u16le(static_cast<std::uint16_t>(right));
    out.u16le(static_cast<std::uint16_t>(bottom));
    out.u16le(unitsPerInch);
    out.u32le(0);
    std::uint16_t checksum = 0;
    ByteReader words(std::span<const std::uint8_t>(header).first(20));
    while (!words.atEnd())
        checksum ^= words.u16le();
    out.u16le(checksum);
    return header;
}

}  // namespace pictrova::imaging
