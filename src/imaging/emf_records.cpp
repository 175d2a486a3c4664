// SPDX-License-Identifier: GPL-3.0-or-later
#include "imaging/emf_records.h"

#include <algorithm>
#include <limits>

#include "common/byte_reader.h"
#include "common/checked_math.h"
#include "common/error.h"
#include "common/limits.h"

namespace pictrova::imaging {
namespace {

constexpr std::uint32_t kEmrHeader = 1, kEmrEof = 14, kEmrSaveDc = 33, kEmrRestoreDc = 34;
constexpr std::uint32_t kLastKnownType = 122;
constexpr std::uint32_t kStockObject = 0x80000000;
constexpr std::uint32_t kLastStockObject = 0x80000013;
constexpr std::uint32_t kMaxSavedStates = 1000;
constexpr std::size_t kRecordHeader = 8;

// Smallest size in bytes of each record type, header included (0: a type no player knows).
constexpr std::uint16_t kMinimumSize[kLastKnownType + 1] = {
    0,  88,  28,  28,  28,
    28, 28,  32,  32,  16,  // 0..9: header, polys, window extent
    16, 16,  16,  16,  20,
    20, 12,  12,  12,  12,  // 10..19: origins, EOF, pixel, modes
    12, 12,  12,  32,  12,
    12, 16,  16,  8,   24,  // 20..29: modes, colours, clip, move
    24, 24,  24,  8,   12,
    32, 36,  12,  28,  24,  // 30..39: clip, scale, DC, transform, objects
    12, 28,  24,  24,  32,
    40, 40,  40,  12,  16,  // 40..49: delete, arcs, shapes, palettes
    20, 16,  8,   24,  16,
    40, 28,  12,  12,  8,  // 50..59: palettes, flood, lines, path
    8,  8,   24,  24,  24,
    8,  8,   12,  8,   0,  // 60..69: path
    12, 36,  44,  28,  28,
    16, 100, 108, 128, 140,  // 70..79: comment, regions, blits
    76, 80,  104, 76,  76,
    28, 28,  28,  28,  28,  // 80..89: DIBs, font, text, 16-bit polys
    32, 32,  28,  32,  32,
    52, 40,  40,  12,  340,  // 90..99: polys, brushes, pen, text, colour space
    12, 12,  12,  28,  48,
    16, 16,  0,   36,  24,  // 100..109: colour space, GL, escapes, text
    20, 24,  20,  20,  108,
    12, 108, 0,   36,  20,  // 110..119: escapes, profiles, blends, gradient
    16, 24,  604,           // 120..122
};

enum class HandleUse : std::uint8_t { Create, Use, SelectOrStock, Delete };
struct HandleRecord {
    std::uint32_t type;
    std::uint16_t offset;
    HandleUse use;
};
// Records that name a slot of the object table, and where.
constexpr HandleRecord kHandleRecords[] = {
    {38, 8, HandleUse::Create},        {39, 8, HandleUse::Create},
    {49, 8, HandleUse::Create},        {82, 8, HandleUse::Create},
    {93, 8, HandleUse::Create},        {94, 8, HandleUse::Create},
    {95, 8, HandleUse::Create},        {99, 8, HandleUse::Create},
    {122, 8, HandleUse::Create},       {37, 8, HandleUse::SelectOrStock},
    {48, 8, HandleUse::SelectOrStock}, {40, 8, HandleUse::Delete},
    {50, 8, HandleUse::Use},           {51, 8, HandleUse::Use},
    {71, 28, HandleUse::Use},          {72, 28, HandleUse::Use},
    {100, 8, HandleUse::Use},          {101, 8, HandleUse::Use},
};

// Where a record keeps the offset and size pairs of its bitmaps (bitmap header, then bits).
struct BitmapPairs {
    std::uint32_t type;
    std::uint16_t first;   // offset of the first pair's bitmap-header offset
    std::uint16_t second;  // the mask's pair, 0 when none
};
constexpr BitmapPairs kBitmapRecords[] = {
    {76, 84, 0}, {77, 84, 0}, {78, 84, 112}, {79, 96, 124}, {80, 48, 0},  {81, 48, 0},
    {93, 16, 0}, {94, 16, 0}, {95, 12, 0},   {114, 84, 0},  {116, 84, 0},
};

std::uint32_t U32At(ByteReader r, std::size_t at) {
    r.seek(at);
    return r.u32le();
}

// `count` items of `itemBytes` starting at `at` must lie inside the record.
void NeedInside(const ByteReader& record, std::uint64_t at, std::uint64_t count,
                std::uint64_t itemBytes, std::size_t recordAt) {
    const std::uint64_t end = at + count * itemBytes;  // count < 2^32, item < 2^8: no overflow
    Enforce(at <= record.size() && end <= record.size(), "metafile record shorter than its count",
            recordAt);
}

// A packed bitmap inside a record: header and colours within the header part, rows within the
// bits part.
void CheckBitmap(const ByteReader& record, std::size_t pairAt, std::size_t recordAt) {
    const std::uint32_t infoAt = U32At(record, pairAt), infoSize = U32At(record, pairAt + 4);
    const std::uint32_t bitsAt = U32At(record, pairAt + 8), bitsSize = U32At(record, pairAt + 12);
    if (infoSize == 0)
        return;  // no bitmap (a pattern-only transfer)
    NeedInside(record, infoAt, infoSize, 1, recordAt);
    NeedInside(record, bitsAt, bitsSize, 1, recordAt);
    ByteReader info = record;
    info.seek(infoAt);
    info = info.sub(infoSize);
    const std::uint32_t headerSize = info.u32le();
    std::int64_t width = 0, height = 0;
    std::uint16_t bitCount = 0;
    std::uint32_t compression = 0, coloursUsed = 0;
    if (headerSize == 12) {  // BITMAPCOREHEADER
        width = info.u16le();
        height = info.u16le();
        info.skip(2);
        bitCount = info.u16le();
    } else {
        Enforce(headerSize >= 40 && headerSize <= infoSize, "metafile bitmap header too short",
                recordAt);
        width = info.i32le();
        height = info.i32le();
        info.skip(2);
        bitCount = info.u16le();
        compression = info.u32le();
        info.skip(12);
        coloursUsed = info.u32le();
    }
    Enforce(width > 0 && width <= kMaxPictureSide && height != 0 && height >= -kMaxPictureSide &&
                height <= kMaxPictureSide,
            "metafile bitmap size out of range", recordAt);
    Enforce(bitCount == 1 || bitCount == 4 || bitCount == 8 || bitCount == 16 || bitCount == 24 ||
                bitCount == 32,
            "metafile bitmap depth unknown", recordAt);
    if (bitCount <= 8) {
        const std::uint64_t colours = coloursUsed != 0 ? coloursUsed : (1u << bitCount);
        Enforce(colours <= 256, "metafile bitmap palette too large", recordAt);
        // Colour entries are read as four bytes (three after a core header) whatever the usage.
        const std::uint64_t entry = headerSize == 12 ? 3 : 4;
        Enforce(headerSize + colours * entry <= infoSize,
                "metafile bitmap palette outside its record", recordAt);
    }
    constexpr std::uint32_t kRgb = 0, kBitFields = 3, kAlphaBitFields = 6;
    if (compression == kBitFields || compression == kAlphaBitFields) {
        Enforce(headerSize + 16ull <= infoSize || headerSize >= 56,
                "metafile bitmap masks outside its record", recordAt);
    }
    if (compression == kRgb || compression == kBitFields || compression == kAlphaBitFields) {
        const std::uint64_t stride = (static_cast<std::uint64_t>(width) * bitCount + 31) / 32 * 4;
        const std::uint64_t rows = static_cast<std::uint64_t>(height < 0 ? -height : height);
        Enforce(stride * rows <= bitsSize, "metafile bitmap rows outside its record", recordAt);
    } else {
        Enforce(compression <= 5, "metafile bitmap compression unknown", recordAt);
    }
}

// EMRTEXT at `at`: reference point, character count, string offset, options, rectangle,
// spacing offset; offsets count from the record's start.
void CheckText(const ByteReader& record, std::size_t at, std::uint64_t charBytes,
               std::size_t recordAt) {
    NeedInside(record, at, 1, 40, recordAt);
    const std::uint32_t chars = U32At(record, at + 8);
    NeedInside(record, U32At(record, at + 12), chars, charBytes, recordAt);
    const std::uint32_t options = U32At(record, at + 16);
    const std::uint32_t spacingAt = U32At(record, at + 36);
    constexpr std::uint32_t kPdy = 0x2000;
    if (spacingAt != 0)
        NeedInside(record, spacingAt, chars, (options & kPdy) != 0 ? 8 : 4, recordAt);
}

// The record's counts and offsets against its size. Throws on damage.
void CheckRecordContents(std::uint32_t type, const ByteReader& record, std::size_t at) {
    switch (type) {
        case 2:
        case 3:
        case 4:
        case 5:
        case 6:  // 32-bit polys: bounds, count, points
            NeedInside(record, 28, U32At(record, 24), 8, at);
            break;
        case 85:
        case 86:
        case 87:
        case 88:
        case 89:  // 16-bit polys
            NeedInside(record, 28, U32At(record, 24), 4, at);
            break;
        case 7:
        case 8:
        case 90:
        case 91: {  // poly-polys: bounds, polygons, points, counts, points
            const std::uint32_t polys = U32At(record, 24), points = U32At(record, 28);
            NeedInside(record, 32, polys, 4, at);
            std::uint64_t sum = 0;
            ByteReader counts = record;
            counts.seek(32);
            for (std::uint32_t i = 0; i < polys; ++i)
                sum += counts.u32le();
            Enforce(sum <= points, "metafile polygon counts exceed the points", at);
            NeedInside(record, 32 + 4ull * polys, points, type <= 8 ? 8 : 4, at);
            break;
        }
        case 56:
        case 92: {  // poly-draw: bounds, count, points, one type byte a point
            const std::uint32_t points = U32At(record, 24);
            NeedInside(record, 28, points, type == 56 ? 9 : 5, at);
            break;
        }
        case 49:  // CREATEPALETTE: slot, version (u16), count (u16), entries
            NeedInside(record, 16, U32At(record, 12) >> 16, 4, at);
            break;
        case 50:  // SETPALETTEENTRIES: slot, start, count, entries
            NeedInside(record, 20, U32At(record, 16), 4, at);
            break;
        case 70:  // GDICOMMENT
            NeedInside(record, 12, U32At(record, 8), 1, at);
            break;
        case 71:
        case 72:
        case 73:
        case 74:
        case 75: {  // regions: size at 24 (8 for clip), data after
            const std::size_t sizeAt = type == 75 ? 8 : 24;
            const std::size_t dataAt = type == 71 ? 32 : type == 72 ? 40 : type == 75 ? 16 : 28;
            const std::uint32_t size = U32At(record, sizeAt);
            NeedInside(record, dataAt, size, 1, at);
            if (size == 0)
                break;
            Enforce(size >= 32, "metafile region shorter than its header", at);
            NeedInside(record, dataAt + 32, U32At(record, dataAt + 8), 16, at);  // rectangles
            Enforce(32 + 16ull * U32At(record, dataAt + 8) <= size,
                    "metafile region rectangles outside it", at);
            break;
        }
        case 83:
        case 84:  // EXTTEXTOUTA/W: bounds, mode, scales, EMRTEXT
            CheckText(record, 36, type == 84 ? 2 : 1, at);
            break;
        case 96:
        case 97: {  // POLYTEXTOUTA/W: bounds, mode, scales, count, EMRTEXTs
            const std::uint32_t strings = U32At(record, 36);
            NeedInside(record, 40, strings, 40, at);
            for (std::uint32_t i = 0; i < strings; ++i)
                CheckText(record, 40 + 40ull * i, type == 97 ? 2 : 1, at);
            break;
        }
        case 108: {  // SMALLTEXTOUT: x, y, count, options, mode, scales, [bounds], text
            const std::uint32_t chars = U32At(record, 16), options = U32At(record, 20);
            constexpr std::uint32_t kNoRect = 0x100, kSmallChars = 0x200;
            NeedInside(record, (options & kNoRect) != 0 ? 36 : 52, chars,
                       (options & kSmallChars) != 0 ? 1 : 2, at);
            break;
        }
        case 95:  // EXTCREATEPEN: after the bitmap pairs, a pen of style entries
            NeedInside(record, 52, U32At(record, 48), 4, at);
            break;
        case 105:
        case 106:  // DRAWESCAPE, EXTESCAPE
            NeedInside(record, 16, U32At(record, 12), 1, at);
            break;
        case 110:  // NAMEDESCAPE
            NeedInside(record, 20,
                       static_cast<std::uint64_t>(U32At(record, 12)) + U32At(record, 16), 1, at);
            break;
        case 112:
        case 113:  // SETICMPROFILEA/W
            NeedInside(record, 20,
                       static_cast<std::uint64_t>(U32At(record, 12)) + U32At(record, 16), 1, at);
            break;
        case 118: {  // GRADIENTFILL: bounds, vertices, shapes, mode, vertices, shapes
            const std::uint32_t vertices = U32At(record, 24), shapes = U32At(record, 28);
            const std::uint32_t mode = U32At(record, 32);
            NeedInside(record, 36, vertices, 16, at);
            NeedInside(record, 36 + 16ull * vertices, shapes, mode == 2 ? 12 : 8, at);
            break;
        }
        default:
            break;
    }
    for (const auto& row : kBitmapRecords) {
        if (row.type != type)
            continue;
        CheckBitmap(record, row.first, at);
        if (row.second != 0)
            CheckBitmap(record, row.second, at);
    }
}

// Whether a player can use the record: handles within the table, no zero divisor or extent.
class PlaybackState {
  public:
    explicit PlaybackState(std::uint16_t handles) : handles_(handles) {}

    bool Accept(std::uint32_t type, const ByteReader& record) {
        for (const auto& row : kHandleRecords) {
            if (row.type != type)
                continue;
            const std::uint32_t slot = U32At(record, row.offset);
            switch (row.use) {
                case HandleUse::Create:
                case HandleUse::Delete:
                case HandleUse::Use:
                    return slot != 0 && slot < handles_;  // slot 0 is the picture's own
                case HandleUse::SelectOrStock:
                    return (slot >= kStockObject && slot <= kLastStockObject) ||
                           (slot != 0 && slot < handles_);
            }
        }
        switch (type) {
            case 9:
            case 11:  // SETWINDOWEXTEX, SETVIEWPORTEXTEX
                return U32At(record, 8) != 0 && U32At(record, 12) != 0;
            case 31:
            case 32:  // SCALEVIEWPORTEXTEX, SCALEWINDOWEXTEX: divisors at 12 and 20
                return U32At(record, 12) != 0 && U32At(record, 20) != 0;
            case kEmrSaveDc:
                if (saved_ >= kMaxSavedStates)
                    return false;
                ++saved_;
                return true;
            case kEmrRestoreDc: {
                const auto relative = static_cast<std::int32_t>(U32At(record, 8));
                if (relative >= 0 ||
                    static_cast<std::int64_t>(-static_cast<std::int64_t>(relative)) > saved_)
                    return false;
                saved_ -= static_cast<std::uint32_t>(-static_cast<std::int64_t>(relative));
                return true;
            }
            default:
                return true;
        }
    }

  private:
    std::uint32_t handles_;
    std::uint32_t saved_ = 0;
};

Frame ReadRectangle(ByteReader& r) {
    Frame f;
    f.left = r.i32le();
    f.top = r.i32le();
    f.right = r.i32le();
    f.bottom = r.i32le();
    return f;
}

}  // namespace

CheckedEnhancedMetafile CheckEnhancedMetafile(std::span<const std::uint8_t> bytes) {
    ByteReader in(bytes);
    Enforce(bytes.size() >= kEmfHeaderMinimum, "enhanced metafile shorter than its header");
    Enforce(in.u32le() == kEmrHeader, "enhanced metafile does not start with its header", 0);
    const std::uint32_t headerSize = in.u32le();
    Enforce(headerSize >= kEmfHeaderMinimum && headerSize % 4 == 0 && headerSize <= bytes.size(),
            "enhanced metafile header size out of range", 4);
    CheckedEnhancedMetafile result;
    result.bounds = ReadRectangle(in);
    result.frame = ReadRectangle(in);
    Enforce(in.u32le() == kEmfSignature, "enhanced metafile signature missing", 40);
    in.seek(56);
    const std::uint16_t handles = in.u16le();
    Enforce(handles >= 1, "enhanced metafile without its object table", 56);
    in.seek(60);
    const std::uint32_t descriptionChars = in.u32le(), descriptionAt = in.u32le();
    // The description is text inside the header record; one that points elsewhere is dropped
    // (nothing draws it) rather than the picture.
    const bool descriptionInside =
        descriptionChars == 0 ||
        (descriptionAt <= headerSize && descriptionChars <= (headerSize - descriptionAt) / 2);
    in.seek(72);
    result.device.widthPixels = in.i32le();
    result.device.heightPixels = in.i32le();
    result.device.widthMillimetres = in.i32le();
    result.device.heightMillimetres = in.i32le();

    std::vector<std::uint8_t>& out = result.bits;
    out.assign(bytes.begin(), bytes.begin() + headerSize);
    result.records = 1;
    PlaybackState playback(handles);
    in.seek(headerSize);
    bool ended = false;
    while (!in.atEnd() && !ended) {
        const std::size_t at = in.position();
        Enforce(in.remaining() >= kRecordHeader, "enhanced metafile record header cut off", at);
        const std::uint32_t type = in.u32le();
        const std::uint32_t size = in.u32le();
        Enforce(size >= kRecordHeader && size % 4 == 0, "enhanced metafile record size invalid",
                at + 4);
        in.seek(at);
        const ByteReader record =
            in.sub(EnforcePlausibleSize(size, in.remaining(), "enhanced metafile record"));
        Enforce(type != kEmrHeader, "enhanced metafile with a second header", at);
        const std::uint16_t minimum = type <= kLastKnownType ? kMinimumSize[type] : 0;
        if (minimum == 0)
            continue;  // unknown to every player: left out
        Enforce(size >= minimum, "enhanced metafile record shorter than its type needs", at);
        CheckRecordContents(type, record, at);
        if (!playback.Accept(type, record))
            continue;
        const auto kept = bytes.subspan(at, size);
        out.insert(out.end(), kept.begin(), kept.end());
        ++result.records;
        ended = type == kEmrEof;
    }
    if (!ended) {
        constexpr std::uint8_t kEof[20] = {14, 0, 0,  0, 20, 0, 0,  0, 0, 0,
                                           0,  0, 16, 0, 0,  0, 20, 0, 0, 0};
        out.insert(out.end(), std::begin(kEof), std::end(kEof));
        ++result.records;
    }
    Enforce(out.size() <= std::numeric_limits<std::uint32_t>::max(), "enhanced metafile too large");
    ByteWriter fix(out);
    fix.seek(48);
    fix.u32le(static_cast<std::uint32_t>(out.size()));
    fix.u32le(result.records);
    if (!descriptionInside) {
        fix.seek(60);
        fix.u32le(0);
        fix.u32le(0);
    }
    return result;
}

PixelSize EnhancedMetafilePixelSize(const CheckedEnhancedMetafile& metafile,
                                    const ReferenceDevice& device) {
    const Frame& f = metafile.frame;
    if (!(f.right > f.left && f.bottom > f.top))
        throw Error("enhanced metafile frame is empty");
    return FramePixelSize(f, device);
}

}  // namespace pictrova::imaging
