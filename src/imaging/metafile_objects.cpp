// SPDX-License-Identifier: GPL-3.0-or-later
#include "imaging/metafile_objects.h"

namespace pictrova::imaging {
namespace {

constexpr std::uint16_t kSaveDc = 0x001E, kRestoreDc = 0x0127, kSelectObject = 0x012D,
                        kDeleteObject = 0x01F0, kCreatePen = 0x02FA, kCreateBrush = 0x02FC,
                        kCreateFont = 0x02FB, kCreatePalette = 0x00F7, kCreateRegion = 0x06FF,
                        kCreateDibPatternBrush = 0x0142, kFillRegion = 0x0228,
                        kFrameRegion = 0x0429, kInvertRegion = 0x012A, kPaintRegion = 0x012B,
                        kSelectClipRegion = 0x012C, kScaleWindowExt = 0x0410,
                        kScaleViewportExt = 0x0412;

// The renderer keeps at most this many saved states; deeper saves are refused.
constexpr std::uint32_t kMaxSavedStates = 1000;

}  // namespace

bool MetafileObjectTable::Create(Kind kind) {
    for (Kind& slot : kinds_) {
        if (slot == Kind::Free) {
            slot = kind;
            return true;
        }
    }
    return false;
}

// Region: eleven header words (index 5 counting the scan bands), then per band a point count,
// top, bottom, that many x coordinates and the count again.
bool MetafileObjectTable::RegionIsWellFormed(ByteReader params) {
    if (params.size() < 11 * 2)
        return false;
    params.skip(10);
    const std::uint16_t bands = params.u16le();
    params.seek(22);
    for (std::uint16_t band = 0; band < bands; ++band) {
        if (params.remaining() < 2)
            return false;
        const std::uint16_t count = params.u16le();
        if (count % 2 != 0 || params.remaining() < (static_cast<std::size_t>(count) + 3) * 2)
            return false;
        params.skip((static_cast<std::size_t>(count) + 2) * 2);
        if (params.u16le() != count)
            return false;
    }
    return true;
}

bool MetafileObjectTable::Accept(std::uint16_t function, ByteReader params) {
    // A parameter the record lacks reads as an index no table has.
    auto word = [&params](std::size_t index) -> std::uint32_t {
        if (params.size() < (index + 1) * 2)
            return 0x10000;
        ByteReader at = params;
        at.seek(index * 2);
        return at.u16le();
    };
    switch (function) {
        case kCreatePen:
            return Create(Kind::Pen);
        case kCreateBrush:
        case kCreateDibPatternBrush:
            return Create(Kind::Brush);
        case kCreateFont:
            return Create(Kind::Font);
        case kCreatePalette:
            return Create(Kind::Palette);
        case kCreateRegion:
            return RegionIsWellFormed(params) && Create(Kind::Region);
        case kSelectObject:
            return word(0) < kinds_.size();
        case kDeleteObject:
            if (word(0) >= kinds_.size())
                return false;
            kinds_[word(0)] = Kind::Free;
            return true;
        case kFillRegion:
        case kFrameRegion:
            return Is(word(0), Kind::Region) && Is(word(1), Kind::Brush);
        case kInvertRegion:
        case kPaintRegion:
            return Is(word(0), Kind::Region);
        case kSelectClipRegion:
            return word(0) < kinds_.size();
        case kScaleWindowExt:
        case kScaleViewportExt:
            return word(0) != 0 && word(2) != 0 && word(3) <= 0xFFFF;  // divisors
        case kSaveDc:
            if (savedStates_ >= kMaxSavedStates)
                return false;
            ++savedStates_;
            return true;
        case kRestoreDc:
            if (savedStates_ > 0)
                --savedStates_;
            return true;
        default:
            return true;
    }
}

}  // namespace pictrova::imaging
