// SPDX-License-Identifier: GPL-3.0-or-later
#include "imaging/metafile_cost.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <vector>

#include "common/byte_reader.h"

namespace pictrova::imaging {
namespace {

// Adds without wrapping: a count past 2^64 is as refused as one at it.
void Add(std::uint64_t& total, double amount) {
    constexpr auto kMax = static_cast<double>(std::numeric_limits<std::uint64_t>::max());
    const double sum = static_cast<double>(total) + std::max(0.0, amount);
    total =
        sum >= kMax ? std::numeric_limits<std::uint64_t>::max() : static_cast<std::uint64_t>(sum);
}

// Pixel extents of boxes given in some other unit, clipped to the picture: a shape larger than
// the picture costs the picture.
class PixelScale {
  public:
    PixelScale(const PixelSize& size, double unitsWide, double unitsHigh)
        : width_(static_cast<double>(size.width)),
          height_(static_cast<double>(size.height)),
          x_(width_ / std::max(1.0, std::abs(unitsWide))),
          y_(height_ / std::max(1.0, std::abs(unitsHigh))) {}

    double Width(double units) const { return std::min(width_, std::abs(units) * x_ + 1); }
    double Height(double units) const { return std::min(height_, std::abs(units) * y_ + 1); }
    double Area(double unitsWide, double unitsHigh) const {
        return Width(unitsWide) * Height(unitsHigh);
    }
    double FrameArea() const { return width_ * height_; }

  private:
    double width_, height_, x_, y_;
};

// A polygon's points as they are read: its box, and the pixel rows its edges span (each edge
// clipped to the picture's height).
class PolygonExtent {
  public:
    explicit PolygonExtent(const PixelScale& scale) : scale_(scale) {}

    void Point(double x, double y) {
        if (count_ > 0)
            edgeRows_ += scale_.Height(y - lastY_);
        else
            firstY_ = y;
        left_ = std::min(left_, x), right_ = std::max(right_, x);
        top_ = std::min(top_, y), bottom_ = std::max(bottom_, y);
        lastY_ = y;
        ++count_;
    }
    // Closes the outline into `work`: the rows its edges span, each tested across its width.
    void Close(MetafileWork& work) {
        if (count_ == 0)
            return;
        edgeRows_ += scale_.Height(firstY_ - lastY_);
        Add(work.edgeRows, edgeRows_);
        Add(work.edgePixels, edgeRows_ * scale_.Width(right_ - left_));
    }
    // Closes the outline and fills its box.
    void Fill(MetafileWork& work) {
        Close(work);
        if (count_ > 0)
            Add(work.filledPixels, scale_.Area(right_ - left_, bottom_ - top_));
    }

  private:
    const PixelScale& scale_;
    std::uint64_t count_ = 0;
    double left_ = std::numeric_limits<double>::max(),
           right_ = std::numeric_limits<double>::lowest();
    double top_ = std::numeric_limits<double>::max(),
           bottom_ = std::numeric_limits<double>::lowest();
    double firstY_ = 0, lastY_ = 0, edgeRows_ = 0;
};

// Standard metafile functions that cost more than a record (parameters in the order stored).
enum : std::uint16_t {
    kMetaLineTo = 0x0213,
    kMetaTextOut = 0x0521,
    kMetaExtTextOut = 0x0A32,
    kMetaPolygon = 0x0324,
    kMetaPolyline = 0x0325,
    kMetaPolyPolygon = 0x0538,
    kMetaRectangle = 0x041B,  // bottom, right, top, left
    kMetaEllipse = 0x0418,
    kMetaRoundRect = 0x061C,  // corner height and width, then the box
    kMetaArc = 0x0817,        // end and start points, then the box
    kMetaPie = 0x081A,
    kMetaChord = 0x0830,
    kMetaPatBlt = 0x061D,  // raster operation (2 words), height, width, y, x
};

// Blits, flood fills and region paints: charged the whole picture.
constexpr std::uint16_t kMetaWholePicture[] = {
    0x0922, 0x0940, 0x0B23, 0x0B41, 0x0F43, 0x0D33,  // BitBlt, StretchBlt, DIB forms
    0x0419, 0x0548,                                  // FloodFill, ExtFloodFill
    0x0228, 0x012B, 0x012A, 0x0429,                  // Fill, Paint, Invert, FrameRegion
};

// The box of the four words at `first` (bottom, right, top, left), filled.
void FillBox(ByteReader params, std::size_t first, const PixelScale& scale, MetafileWork& work) {
    params.seek(first * 2);
    const double bottom = params.i16le(), right = params.i16le(), top = params.i16le(),
                 left = params.i16le();
    Add(work.filledPixels, scale.Area(right - left, bottom - top));
}

void PolygonPoints(ByteReader& params, std::uint64_t count, bool filled, const PixelScale& scale,
                   MetafileWork& work) {
    PolygonExtent extent(scale);
    for (std::uint64_t i = 0; i < count && params.remaining() >= 4; ++i) {
        const double x = static_cast<std::int16_t>(params.u16le());
        const double y = static_cast<std::int16_t>(params.u16le());
        extent.Point(x, y);
    }
    Add(work.points, static_cast<double>(count));
    Add(work.edgePairs, static_cast<double>(count) * static_cast<double>(count) / 2);
    if (filled)
        extent.Fill(work);
}

void CountStandardRecord(std::uint16_t function, ByteReader params, const PixelScale& scale,
                         MetafileWork& work) {
    switch (function) {
        case kMetaLineTo:
            Add(work.points, 1);
            return;
        case kMetaTextOut:
            Add(work.characters, params.u16le());
            return;
        case kMetaExtTextOut:
            params.skip(4);
            Add(work.characters, params.u16le());
            return;
        case kMetaPolygon:
        case kMetaPolyline: {
            const std::uint16_t count = params.u16le();
            PolygonPoints(params, count, function == kMetaPolygon, scale, work);
            return;
        }
        case kMetaPolyPolygon: {
            const std::uint16_t polygons = params.u16le();
            std::vector<std::uint16_t> counts;
            for (std::uint16_t i = 0; i < polygons && params.remaining() >= 2; ++i)
                counts.push_back(params.u16le());
            for (std::uint16_t count : counts)
                PolygonPoints(params, count, true, scale, work);
            return;
        }
        case kMetaRectangle:
        case kMetaEllipse:
            FillBox(params, 0, scale, work);
            return;
        case kMetaRoundRect:
            FillBox(params, 2, scale, work);
            return;
        case kMetaArc:
        case kMetaPie:
        case kMetaChord:
            FillBox(params, 4, scale, work);
            return;
        case kMetaPatBlt: {
            params.skip(4);
            const double height = static_cast<std::int16_t>(params.u16le());
            const double width = static_cast<std::int16_t>(params.u16le());
            Add(work.filledPixels, scale.Area(width, height));
            return;
        }
        default:
            if (std::find(std::begin(kMetaWholePicture), std::end(kMetaWholePicture), function) !=
                std::end(kMetaWholePicture))
                Add(work.filledPixels, scale.FrameArea());
            return;
    }
}

// Enhanced metafile record types by what they cost.
constexpr std::uint32_t kEmfPolys[] = {2, 3, 4, 5, 6, 85, 86, 87, 88, 89, 56, 92};  // count at 24
constexpr std::uint32_t kEmfPolyPolys[] = {7, 8, 90, 91};  // polygons at 24, points at 28
constexpr std::uint32_t kEmfBoundedFills[] = {
    62,  63, 71, 74,                    // fill and stroke paths, fill and paint regions
    76,  77, 78, 79, 80, 81, 114, 116,  // blits
    118,                                // gradient fill
};
constexpr std::uint32_t kEmfShapes[] = {42, 43, 44, 45, 46, 47};  // boxes in logical units
constexpr std::uint32_t kEmfFilledPolys[] = {3, 8, 86, 91};

template <std::size_t N>
bool Among(const std::uint32_t (&types)[N], std::uint32_t type) {
    return std::find(std::begin(types), std::end(types), type) != std::end(types);
}

// A poly record's points, and the rows their edges span (all of them one outline, as the
// drawing program fills or strokes them in one path). Points are 16-bit in the types from 85 on.
void CountEnhancedPoly(std::uint32_t type, ByteReader record, const PixelScale& scale,
                       MetafileWork& work) {
    const bool polyPoly = Among(kEmfPolyPolys, type);
    record.seek(24);
    const std::uint32_t polygons = polyPoly ? record.u32le() : 1;
    const double points = record.u32le();
    Add(work.points, points);
    // Filling or stroking finds where edges cross: every pair may.
    Add(work.edgePairs, points * points / 2);
    if (polyPoly)
        record.skip(std::min<std::size_t>(record.remaining(), 4ull * polygons));
    const bool shortPoints = type >= 85;
    const std::size_t pointSize = shortPoints ? 4 : 8;
    PolygonExtent extent(scale);
    for (double i = 0; i < points && record.remaining() >= pointSize; ++i) {
        const double x = shortPoints ? static_cast<std::int16_t>(record.u16le()) : record.i32le();
        const double y = shortPoints ? static_cast<std::int16_t>(record.u16le()) : record.i32le();
        extent.Point(x, y);
    }
    extent.Close(work);
}

void AddCharacters(ByteReader record, std::size_t countAt, MetafileWork& work) {
    if (countAt + 4 <= record.size()) {
        record.seek(countAt);
        Add(work.characters, record.u32le());
    }
}

}  // namespace

MetafileWork StandardMetafileWork(const CheckedMetafile& metafile, const LogicalWindow& window,
                                  const PixelSize& size) {
    MetafileWork work;
    Add(work.framePixels, static_cast<double>(size.width) * static_cast<double>(size.height));
    const PixelScale scale(size, window.width, window.height);
    ByteReader in(metafile.bits);
    in.seek(kMetaHeaderSize);
    while (in.remaining() >= 6) {
        const std::uint32_t words = in.u32le();
        const std::uint16_t function = in.u16le();
        const std::uint64_t paramBytes = (std::max<std::uint64_t>(words, 3) - 3) * 2;
        if (paramBytes > in.remaining())
            break;
        ByteReader params = in.sub(static_cast<std::size_t>(paramBytes));
        Add(work.records, 1);
        try {
            CountStandardRecord(function, params, scale, work);
        } catch (const FormatError&) {
            // A record too short for what it counts draws nothing more.
        }
    }
    return work;
}

MetafileWork EnhancedMetafileWork(const CheckedEnhancedMetafile& metafile, const PixelSize& size) {
    MetafileWork work;
    const double framePixels = static_cast<double>(size.width) * static_cast<double>(size.height);
    Add(work.framePixels, framePixels);
    // Record bounds are in the recording device's pixels, as the header's bounds are.
    const Frame& b = metafile.bounds;
    const PixelScale scale(size, static_cast<double>(b.right) - b.left + 1,
                           static_cast<double>(b.bottom) - b.top + 1);
    ByteReader in(metafile.bits);
    while (in.remaining() >= 8) {
        const std::size_t at = in.position();
        const std::uint32_t type = in.u32le();
        const std::uint32_t recordSize = in.u32le();
        if (recordSize < 8 || recordSize - 8 > in.remaining())
            break;
        in.seek(at);
        const ByteReader record = in.sub(recordSize);
        Add(work.records, 1);
        try {
            ByteReader r = record;
            auto boundedArea = [&] {
                r.seek(8);
                const double left = r.i32le(), top = r.i32le(), right = r.i32le(),
                             bottom = r.i32le();
                // Writers that leave the bounds empty give no box: the whole picture.
                return right < left || bottom < top ? framePixels
                                                    : scale.Area(right - left, bottom - top);
            };
            if (Among(kEmfPolys, type) || Among(kEmfPolyPolys, type)) {
                CountEnhancedPoly(type, record, scale, work);
                if (Among(kEmfFilledPolys, type))
                    Add(work.filledPixels, boundedArea());
            } else if (Among(kEmfBoundedFills, type)) {
                Add(work.filledPixels, boundedArea());
            } else if (Among(kEmfShapes, type)) {
                Add(work.filledPixels, framePixels);
            } else if (type == 83 || type == 84) {  // EXTTEXTOUTA/W: EMRTEXT's count
                AddCharacters(record, 44, work);
            } else if (type == 96 || type == 97) {  // POLYTEXTOUTA/W: count, EMRTEXTs
                r.seek(36);
                const std::uint32_t texts = r.u32le();
                for (std::uint64_t i = 0; i < texts && 48 + 40 * i <= record.size(); ++i)
                    AddCharacters(record, 48 + 40 * i, work);
            } else if (type == 108) {  // SMALLTEXTOUT: x, y, count
                AddCharacters(record, 16, work);
            }
        } catch (const FormatError&) {
            // A record too short for what it counts draws nothing more.
        }
    }
    return work;
}

void EnforceMetafileCost(const MetafileWork& work, const MetafileCostRates& rates) {
    if (!MetafileCostAllowed(work, rates))
        throw MetafileNotRendered(RenderRefusal::TooCostly);
}

}  // namespace pictrova::imaging
