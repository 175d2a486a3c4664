// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The benchmarks' photo-like picture.

#include <algorithm>
#include <cmath>
#include <random>

#include "imaging/dib_section.h"

namespace pictrova::bench {

// Smooth lighting, a few hard-edged shapes and sensor-like noise: compresses like a photo,
// not like a flat test card.
inline void MakePhoto(imaging::cDIBSection& dib, int width, int height, unsigned seed = 1234,
                      double noiseDeviation = 6.0) {
    dib.Create(width, height, 3);
    std::mt19937 random(seed);
    std::normal_distribution<double> noise(0.0, noiseDeviation);
    const int stride = dib.BytesPerScanLine();
    for (int y = 0; y < height; ++y) {
        std::uint8_t* row =
            dib.DIBSectionBitsPtr() + static_cast<std::size_t>(height - 1 - y) * stride;
        for (int x = 0; x < width; ++x) {
            const double fx = static_cast<double>(x) / width;
            const double fy = static_cast<double>(y) / height;
            double r = 120 + 90 * std::sin(fx * 5.1 + fy * 1.3);
            double g = 110 + 80 * std::cos(fy * 4.2 - fx * 0.7);
            double b = 100 + 70 * std::sin((fx + fy) * 3.3);
            const double cx = fx - 0.6, cy = fy - 0.45;
            if (cx * cx + cy * cy < 0.04)
                r = 230, g = 190, b = 60;  // a sun-like disc
            if (fy > 0.75 && std::fmod(fx * 12, 1.0) < 0.5)
                g *= 0.6;  // fence posts
            auto put = [&](double v) {
                return static_cast<std::uint8_t>(std::clamp(v + noise(random), 0.0, 255.0));
            };
            row[3 * x] = put(b);
            row[3 * x + 1] = put(g);
            row[3 * x + 2] = put(r);
        }
    }
}

// Reduces the picture to at most 252 colours (6 x 7 x 6 levels), as an old 256-colour scan is.
inline void PosterizePhoto(imaging::cDIBSection& dib) {
    constexpr int kLevels[3] = {6, 7, 6};  // blue, green, red
    std::uint8_t* bits = dib.DIBSectionBitsPtr();
    for (int y = 0; y < dib.dib_height(); ++y) {
        std::uint8_t* row = bits + static_cast<std::size_t>(y) * dib.BytesPerScanLine();
        for (int x = 0; x < 3 * dib.dib_width(); ++x) {
            const int steps = kLevels[x % 3] - 1;
            row[x] = static_cast<std::uint8_t>((row[x] * steps + 127) / 255 * 255 / steps);
        }
    }
}

}  // namespace pictrova::bench
