// SPDX-License-Identifier: GPL-3.0-or-later
#include "imaging/thumbnail.h"

#include <algorithm>
#include <cstddef>
#include <map>
#include <vector>

#include "common/limits.h"
#include "imaging/bitmap_rows.h"
#include "imaging/jpeg_compression.h"

namespace pictrova::imaging {
namespace {

// The source columns or rows [first, last) that output position `i` of `outSize` covers.
struct Span {
    std::size_t first, last;
};

Span Covered(std::size_t i, std::size_t inSize, std::size_t outSize) {
    const std::size_t first = i * inSize / outSize;
    const std::size_t last = std::max(first + 1, (i + 1) * inSize / outSize);
    return {first, last};
}

// The rounded average (sum + area / 2) / area of `area` bytes, by a multiplication: with
// m = ceil(2^63 / area), (sum + area / 2) * m / 2^63 errs by less than 1 / area, so it rounds down
// to the quotient, for every sum under 256 * area while 256 * area^2 < 2^63, which an area within
// the pixel limits keeps. A division per channel and pixel took about half the scaling's time.
class RoundedAverage {
  public:
    explicit RoundedAverage(std::uint64_t area)
        : half_(area / 2), factor_(((std::uint64_t{1} << kShift) - 1) / area + 1) {}
    std::uint8_t operator()(std::uint64_t sum) const {
        return static_cast<std::uint8_t>((static_cast<unsigned __int128>(sum + half_) * factor_) >>
                                         kShift);
    }

  private:
    static constexpr int kShift = 63;
    std::uint64_t half_;
    std::uint64_t factor_;
};
static_assert(static_cast<unsigned __int128>(kMaxPicturePixels) * kMaxPicturePixels * 256 <
              static_cast<unsigned __int128>(1) << 63);

}  // namespace

cDIBSection ScaleDownToFit(const cDIBSection& picture, int longestSide) {
    const BitmapRows in(picture);
    const std::size_t longest = std::max(in.width(), in.height());
    const std::size_t limit = static_cast<std::size_t>(std::max(longestSide, 1));
    std::size_t outWidth = in.width(), outHeight = in.height();
    if (longest > limit) {
        outWidth = std::max<std::size_t>(1, (in.width() * limit + longest / 2) / longest);
        outHeight = std::max<std::size_t>(1, (in.height() * limit + longest / 2) / longest);
    }

    cDIBSection out;
    if (!out.Create(static_cast<std::int32_t>(outWidth), static_cast<std::int32_t>(outHeight), 3))
        throw Error("thumbnail could not be made");
    const std::size_t outStride = static_cast<std::size_t>(out.BytesPerScanLine());
    std::uint8_t* const outBits = out.DIBSectionBitsPtr();

    // One output row at a time: the source rows it covers added up column by column (a loop
    // over bytes the compiler vectorises), then each output pixel the average of its columns.
    const std::size_t channels = in.channels();
    std::vector<std::uint32_t> rowSums(in.width() * channels);
    std::vector<Span> columns(outWidth);
    for (std::size_t x = 0; x < outWidth; ++x)
        columns[x] = Covered(x, in.width(), outWidth);
    // Each column's average for rows of a height, made once: scaling down, the rows covered are
    // all as many or one more.
    std::map<std::size_t, std::vector<RoundedAverage>> averagesByHeight;
    for (std::size_t y = 0; y < outHeight; ++y) {
        const Span rows = Covered(y, in.height(), outHeight);
        std::uint32_t* sums = rowSums.data();
        const std::uint8_t* firstRow = in.Row(rows.first);
        for (std::size_t i = 0, n = rowSums.size(); i < n; ++i)
            sums[i] = firstRow[i];
        for (std::size_t sy = rows.first + 1; sy < rows.last; ++sy) {
            const std::uint8_t* row = in.Row(sy);
            for (std::size_t i = 0, n = rowSums.size(); i < n; ++i)
                sums[i] += row[i];
        }
        const std::size_t height = rows.last - rows.first;
        auto averages = averagesByHeight.find(height);
        if (averages == averagesByHeight.end()) {
            std::vector<RoundedAverage> byColumn;
            byColumn.reserve(outWidth);
            for (const Span& column : columns)
                byColumn.emplace_back(height * (column.last - column.first));
            averages = averagesByHeight.emplace(height, std::move(byColumn)).first;
        }
        std::uint8_t* outRow = outBits + (outHeight - 1 - y) * outStride;
        for (std::size_t x = 0; x < outWidth; ++x) {
            std::uint64_t b = 0, g = 0, r = 0;
            for (std::size_t sx = columns[x].first; sx < columns[x].last; ++sx) {
                b += rowSums[sx * channels];
                g += rowSums[sx * channels + 1];
                r += rowSums[sx * channels + 2];
            }
            const RoundedAverage& average = averages->second[x];
            outRow[x * 3] = average(b);
            outRow[x * 3 + 1] = average(g);
            outRow[x * 3 + 2] = average(r);
        }
    }
    return out;
}

std::vector<std::uint8_t> ThumbnailJpeg(const cDIBSection& picture) {
    return EncodeJpeg(ScaleDownToFit(picture, kThumbnailLongestSide), kThumbnailJpegQuality,
                      HuffmanTables::Standard);
}

}  // namespace pictrova::imaging
