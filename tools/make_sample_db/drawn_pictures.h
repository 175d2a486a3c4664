// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Pictures for the sample database, drawn here: a gradient sky, a few shapes and a line of
// text, encoded in the file format asked for. No third-party images.

#include <cstdint>
#include <string>
#include <vector>

namespace pictrova::sample {

using Bytes = std::vector<std::uint8_t>;

struct DrawnPicture {
    int width = 320;
    int height = 240;
    std::string topColour = "#1e3c78";     // gradient from the top ...
    std::string bottomColour = "#f0a040";  // ... to the bottom
    int variant = 0;                       // moves and recolours the shapes
    std::string text;                      // drawn near the bottom; empty for none
};

// `format` is the engine's name: "BMP3" (24-bit BMP), "PNG", "JPEG", "GIF", "TIFF".
// Starts the image engine on first use.
Bytes DrawPicture(const DrawnPicture& picture, const std::string& format);

}  // namespace pictrova::sample
