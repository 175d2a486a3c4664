// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// ImageMagick 6 (Debian's imagemagick package) as the tests' independent reader of pictures:
// what our programs write is decoded by it, never by our own image engine, and compared with a
// reference picture. The real tools are called by absolute path (a `convert` earlier in PATH
// may be something else); a missing tool fails the test that needs it.

#include <array>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

namespace pictrova::testing {

// /usr/bin/<name> ("convert", "identify", "compare"); throws std::runtime_error when it is not
// ImageMagick's.
std::filesystem::path ImageMagickTool(const std::string& name);

using RgbPixel = std::array<std::uint8_t, 3>;

struct DecodedPicture {
    int width = 0;
    int height = 0;
    std::vector<RgbPixel> pixels;  // rows top to bottom
    RgbPixel at(int x, int y) const {
        return pixels.at(static_cast<std::size_t>(y) * static_cast<std::size_t>(width) +
                         static_cast<std::size_t>(x));
    }
    // The same pixel as 0xRRGGBB.
    std::uint32_t Rgb(int x, int y) const {
        const RgbPixel p = at(x, y);
        return static_cast<std::uint32_t>(p[0]) << 16 | static_cast<std::uint32_t>(p[1]) << 8 |
               p[2];
    }
};

// The picture's first frame as ImageMagick decodes it: 8-bit RGB, alpha dropped, rows turned to
// top-left origin by the file's own orientation (TGA stores bottom-up rows with a flag that says
// so). Throws std::runtime_error with ImageMagick's message when it cannot read the file.
DecodedPicture DecodeWithImageMagick(const std::filesystem::path& file);

// The format name ImageMagick's `identify` sees in the file's bytes ("BMP3", "PNG", "TGA", ...).
std::string IdentifiedFormat(const std::filesystem::path& file);

// What `identify -format FORMAT` prints for the file's first frame ("%Q": its JPEG quality,
// "%C": its compression, "%[orientation]", ...).
std::string Identify(const std::filesystem::path& file, const std::string& format);

// A binary PPM of width x height pixels, pixel(x, y) with (0, 0) the top-left one: a reference
// picture drawn from the same rules the fixture builders follow.
void WritePpm(const std::filesystem::path& file, int width, int height,
              const std::function<RgbPixel(int x, int y)>& pixel);

struct PictureDifference {
    bool sameSize = false;
    std::size_t differingPixels = 0;  // any channel differs by more than the tolerance given
    int largestChannelError = 0;
    double rootMeanSquare = 0;  // over all channels, 0..255
};

// How `candidate` differs from `reference`; channels within `tolerance` count as equal.
PictureDifference Difference(const DecodedPicture& reference, const DecodedPicture& candidate,
                             int tolerance = 0);

}  // namespace pictrova::testing
