// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Pixels of a picture file as a reader that is not ours sees them: Debian's ImageMagick
// (/usr/bin/convert, installed by scripts/install-deps). Tests compare what our code wrote
// against it, so a fault shared by our writer and our reader cannot pass.

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

namespace pictrova::testing {

struct IndependentPixels {
    int width = 0;
    int height = 0;
    std::vector<std::uint8_t> rgb;  // top row first, three bytes a pixel

    std::uint32_t At(int x, int y) const {  // 0xRRGGBB
        const std::size_t i = (static_cast<std::size_t>(y) * static_cast<std::size_t>(width) + static_cast<std::size_t>(x)) * 3;
        return static_cast<std::uint32_t>(rgb.at(i)) << 16 | static_cast<std::uint32_t>(rgb.at(i + 1)) << 8 | rgb.at(i + 2);
    }
};

inline std::string RunForOutput(const std::string& command) {
    std::unique_ptr<FILE, int (*)(FILE*)> pipe(popen(command.c_str(), "r"), pclose);
    if (!pipe) throw std::runtime_error("cannot run " + command);
    std::string out;
    char chunk[65536];
    std::size_t n = 0;
    while ((n = std::fread(chunk, 1, sizeof chunk, pipe.get())) > 0) out.append(chunk, n);
    return out;
}

// The file's first frame as 8-bit RGB. Throws when ImageMagick cannot read it.
inline IndependentPixels ReadWithImageMagick(const std::filesystem::path& file) {
    constexpr const char* kConvert = "/usr/bin/convert";
    if (!std::filesystem::exists(kConvert)) throw std::runtime_error("ImageMagick is not installed");
    const std::string quoted = "'" + file.string() + "[0]'";
    IndependentPixels pixels;
    const std::string size = RunForOutput(std::string(kConvert) + " " + quoted + " -format '%w %h' info: 2>/dev/null");
    if (std::sscanf(size.c_str(), "%d %d", &pixels.width, &pixels.height) != 2) {
        throw std::runtime_error("ImageMagick cannot read " + file.string());
    }
    const std::string raw = RunForOutput(std::string(kConvert) + " " + quoted + " -depth 8 rgb:- 2>/dev/null");
    pixels.rgb.assign(raw.begin(), raw.end());
    if (pixels.rgb.size() != static_cast<std::size_t>(pixels.width) * static_cast<std::size_t>(pixels.height) * 3) {
        throw std::runtime_error("ImageMagick gave a short pixel dump for " + file.string());
    }
    return pixels;
}

}  // namespace pictrova::testing
