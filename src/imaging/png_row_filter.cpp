// SPDX-License-Identifier: GPL-3.0-or-later
#include "imaging/png_row_filter.h"

#include <algorithm>
#include <array>
#include <cstdlib>
#include <cstring>
#include <limits>

namespace pictrova::imaging {
namespace {

// The Paeth predictor without branches (the distances of left + above - aboveLeft to each
// neighbour, written out), so that the loop over a row vectorises.
inline std::uint8_t Paeth(int left, int above, int aboveLeft) {
    const int toLeft = std::abs(above - aboveLeft);
    const int toAbove = std::abs(left - aboveLeft);
    const int toAboveLeft = std::abs(left + above - 2 * aboveLeft);
    const int notLeft = toAbove <= toAboveLeft ? above : aboveLeft;
    return static_cast<std::uint8_t>(toLeft <= toAbove && toLeft <= toAboveLeft ? left : notLeft);
}

// The loops take the pixel distance as a constant where it is one (1 or 3 bytes), which lets
// the compiler keep the left neighbour in a register and vectorise the simple filters.
template <std::size_t kStep>
void Filter(PngFilter filter, const std::uint8_t* row, const std::uint8_t* above, std::size_t n,
            std::size_t step, std::uint8_t* out) {
    const std::size_t s = kStep != 0 ? kStep : step;
    const std::size_t lead = std::min(s, n);
    switch (filter) {
        case PngFilter::None:
            std::memcpy(out, row, n);
            return;
        case PngFilter::Sub:
            std::memcpy(out, row, lead);
            for (std::size_t i = lead; i < n; ++i)
                out[i] = static_cast<std::uint8_t>(row[i] - row[i - s]);
            return;
        case PngFilter::Up:
            for (std::size_t i = 0; i < n; ++i)
                out[i] = static_cast<std::uint8_t>(row[i] - above[i]);
            return;
        case PngFilter::Average:
            for (std::size_t i = 0; i < lead; ++i)
                out[i] = static_cast<std::uint8_t>(row[i] - above[i] / 2);
            for (std::size_t i = lead; i < n; ++i)
                out[i] = static_cast<std::uint8_t>(row[i] - ((row[i - s] + above[i]) >> 1));
            return;
        case PngFilter::Paeth:
            for (std::size_t i = 0; i < lead; ++i)
                out[i] = static_cast<std::uint8_t>(row[i] - above[i]);
            for (std::size_t i = lead; i < n; ++i)
                out[i] =
                    static_cast<std::uint8_t>(row[i] - Paeth(row[i - s], above[i], above[i - s]));
            return;
    }
}

void FilterAny(PngFilter filter, const std::uint8_t* row, const std::uint8_t* above, std::size_t n,
               std::size_t step, std::uint8_t* out) {
    if (step == 3)
        Filter<3>(filter, row, above, n, step, out);
    else if (step == 1)
        Filter<1>(filter, row, above, n, step, out);
    else
        Filter<0>(filter, row, above, n, step, out);
}

// The filtered bytes' weight as libpng counts it: each byte as a signed value, its magnitude.
std::uint64_t SignedSum(const std::uint8_t* bytes, std::size_t n) {
    std::uint64_t sum = 0;
    for (std::size_t i = 0; i < n; ++i) {
        const auto v = static_cast<std::int8_t>(bytes[i]);
        sum += static_cast<std::uint32_t>(v < 0 ? -v : v);
    }
    return sum;
}

}  // namespace

void FilterPngRow(PngFilter filter, std::span<const std::uint8_t> row,
                  std::span<const std::uint8_t> previous, std::size_t pixelBytes,
                  std::span<std::uint8_t> out) {
    FilterAny(filter, row.data(), previous.data(), row.size(), pixelBytes, out.data());
}

PngFilter FilterPngRowAdaptively(std::span<const std::uint8_t> row,
                                 std::span<const std::uint8_t> previous, std::size_t pixelBytes,
                                 std::span<std::uint8_t> out, std::span<std::uint8_t> scratch) {
    constexpr PngFilter kOrder[] = {PngFilter::None, PngFilter::Sub, PngFilter::Up,
                                    PngFilter::Average, PngFilter::Paeth};
    const std::size_t n = row.size();
    // Candidates are written alternately into `out` and `scratch`; the best so far stays put.
    std::uint8_t* bestAt = nullptr;
    std::uint8_t* trial = out.data();
    PngFilter best = PngFilter::None;
    std::uint64_t bestSum = std::numeric_limits<std::uint64_t>::max();
    for (const PngFilter filter : kOrder) {
        FilterAny(filter, row.data(), previous.data(), n, pixelBytes, trial);
        const std::uint64_t sum = SignedSum(trial, n);
        if (sum < bestSum) {
            bestSum = sum;
            best = filter;
            bestAt = trial;
            trial = trial == out.data() ? scratch.data() : out.data();
        }
    }
    if (bestAt != out.data())
        std::memcpy(out.data(), bestAt, n);
    return best;
}

}  // namespace pictrova::imaging
