// SPDX-License-Identifier: GPL-3.0-or-later
#include "imaging/thumbnail.h"

#include <algorithm>
#include <cstddef>

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
    for (std::size_t y = 0; y < outHeight; ++y) {
        const Span rows = Covered(y, in.height(), outHeight);
        std::fill(rowSums.begin(), rowSums.end(), 0);
        for (std::size_t sy = rows.first; sy < rows.last; ++sy) {
            const std::uint8_t* row = in.Row(sy);
            std::uint32_t* sums = rowSums.data();
            for (std::size_t i = 0, n = rowSums.size(); i < n; ++i)
                sums[i] += row[i];
        }
        std::uint8_t* outRow = outBits + (outHeight - 1 - y) * outStride;
        for (std::size_t x = 0; x < outWidth; ++x) {
            std::uint64_t b = 0, g = 0, r = 0;
            for (std::size_t sx = columns[x].first; sx < columns[x].last; ++sx) {
                b += rowSums[sx * channels];
                g += rowSums[sx * channels + 1];
                r += rowSums[sx * channels + 2];
            }
            const std::uint64_t area =
                (rows.last - rows.first) * (columns[x].last - columns[x].first);
            outRow[x * 3] = static_cast<std::uint8_t>((b + area / 2) / area);
            outRow[x * 3 + 1] = static_cast<std::uint8_t>((g + area / 2) / area);
            outRow[x * 3 + 2] = static_cast<std::uint8_t>((r + area / 2) / area);
        }
    }
    return out;
}

std::vector<std::uint8_t> ThumbnailJpeg(const cDIBSection& picture) {
    return EncodeJpeg(ScaleDownToFit(picture, kThumbnailLongestSide), kThumbnailJpegQuality);
}

}  // namespace pictrova::imaging
