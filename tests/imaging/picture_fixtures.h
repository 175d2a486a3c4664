// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Picture files of every kind the loader and the converter meet, made at test time: a small
// four-colour test card written through our own BMP and the engine's writers, and the icon
// formats, which the engine cannot write, built byte by byte.

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "imaging/dib_section.h"
#include "imaging/engine/engine_images.h"
#include "imaging/engine_io.h"
#include "imaging/image_engine.h"

namespace pictrova::testing {

struct Rgb {
    int r, g, b;
    bool operator==(const Rgb&) const = default;
};

// Quadrants of the test card: red top left, green top right, blue bottom left, white bottom right.
inline Rgb CardColour(int x, int y, int width, int height) {
    const bool right = x >= width / 2;
    const bool bottom = y >= height / 2;
    if (!bottom)
        return right ? Rgb{0, 255, 0} : Rgb{255, 0, 0};
    return right ? Rgb{255, 255, 255} : Rgb{0, 0, 255};
}

inline void FillCard(imaging::cDIBSection& dib, int width, int height) {
    dib.Create(width, height, 3);
    const int stride = dib.BytesPerScanLine();
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            Rgb c = CardColour(x, y, width, height);
            std::uint8_t* p =
                dib.DIBSectionBitsPtr() + static_cast<std::size_t>(height - 1 - y) * stride + 3 * x;
            p[0] = static_cast<std::uint8_t>(c.b);
            p[1] = static_cast<std::uint8_t>(c.g);
            p[2] = static_cast<std::uint8_t>(c.r);
        }
    }
}

inline Rgb DibPixel(const imaging::cDIBSection& dib, int x, int y) {
    const std::uint8_t* p =
        dib.DIBSectionBitsPtr() +
        static_cast<std::size_t>(dib.dib_height() - 1 - y) * dib.BytesPerScanLine() + 3 * x;
    return {p[2], p[1], p[0]};
}

inline void WriteFile(const std::filesystem::path& path, const std::vector<std::uint8_t>& bytes) {
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()),
               static_cast<std::streamsize>(bytes.size()));
}

inline std::vector<std::uint8_t> ReadFile(const std::filesystem::path& path) {
    return imaging::ReadWholeFile(path);
}

// The test card written by the engine in `coder` (JPEG, GIF, PNG, TIFF, ...).
inline std::vector<std::uint8_t> EngineEncodedCard(const std::string& coder, int width,
                                                   int height) {
    imaging::cDIBSection dib;
    FillCard(dib, width, height);
    Magick::Image image = imaging::DibToEngineImage(dib);
    image.magick(coder);
    Magick::Blob blob;
    image.write(&blob);
    const auto* data = static_cast<const std::uint8_t*>(blob.data());
    return {data, data + blob.length()};
}

inline void Put16(std::vector<std::uint8_t>& v, std::uint32_t x) {
    v.push_back(static_cast<std::uint8_t>(x));
    v.push_back(static_cast<std::uint8_t>(x >> 8));
}
inline void Put32(std::vector<std::uint8_t>& v, std::uint32_t x) {
    Put16(v, x & 0xFFFF);
    Put16(v, x >> 16);
}

// A 16-bit BMP file whose rows show, one channel a row (red, green, blue), the four corner values
// of that channel: 0, 1, largest - 1, largest. Compression 0 is 5-5-5; compression 3 takes
// `masks` (red, green, blue), after a 40-byte header or inside a longer one. A negative
// `height` sign stores the top row first.
struct HighColourBmp {
    std::uint32_t headerSize = 40;
    std::uint32_t compression = 0;
    std::uint32_t masks[3] = {0x7C00, 0x03E0, 0x001F};
    bool topFirst = false;
};

inline std::vector<std::uint8_t> HighColourCornersBmp(const HighColourBmp& layout) {
    constexpr int kWidth = 4, kHeight = 3, kStride = 8;
    const bool masksAfterHeader = layout.compression == 3 && layout.headerSize == 40;
    const std::uint32_t pixelsAt = 14 + layout.headerSize + (masksAfterHeader ? 12 : 0);
    std::vector<std::uint8_t> f = {'B', 'M'};
    Put32(f, pixelsAt + kStride * kHeight);
    Put32(f, 0);
    Put32(f, pixelsAt);
    Put32(f, layout.headerSize);
    Put32(f, kWidth);
    Put32(f, static_cast<std::uint32_t>(layout.topFirst ? -kHeight : kHeight));
    Put16(f, 1);
    Put16(f, 16);
    Put32(f, layout.compression);
    Put32(f, kStride * kHeight);
    for (int i = 0; i < 4; ++i)
        Put32(f, 0);  // resolution, colours
    if (layout.compression == 3) {
        for (std::uint32_t mask : layout.masks)
            Put32(f, mask);
    }
    f.resize(pixelsAt, 0);  // rest of a longer header
    for (int row = 0; row < kHeight; ++row) {
        const int channel = layout.topFirst ? row : kHeight - 1 - row;
        const std::uint32_t mask = layout.masks[channel];
        const std::uint32_t shift = static_cast<std::uint32_t>(__builtin_ctz(mask));
        const std::uint32_t largest = mask >> shift;
        for (std::uint32_t v : {0u, 1u, largest - 1, largest})
            Put16(f, v << shift);
    }
    return f;
}

// An icon (type 1) or cursor (type 2) file with one 16 x 16 32-bit image of the test card.
inline std::vector<std::uint8_t> IconFile(std::uint16_t type) {
    constexpr int kSide = 16;
    std::vector<std::uint8_t> image;
    Put32(image, 40);
    Put32(image, kSide);
    Put32(image, kSide * 2);  // colour rows and mask rows
    Put16(image, 1);
    Put16(image, 32);
    Put32(image, 0);
    Put32(image, kSide * kSide * 4);
    for (int i = 0; i < 4; ++i)
        Put32(image, 0);
    for (int y = kSide - 1; y >= 0; --y) {
        for (int x = 0; x < kSide; ++x) {
            Rgb c = CardColour(x, y, kSide, kSide);
            image.insert(image.end(),
                         {static_cast<std::uint8_t>(c.b), static_cast<std::uint8_t>(c.g),
                          static_cast<std::uint8_t>(c.r), 255});
        }
    }
    image.insert(image.end(), kSide * 4, 0);  // AND mask: every pixel shown
    std::vector<std::uint8_t> file;
    Put16(file, 0);
    Put16(file, type);
    Put16(file, 1);
    file.insert(file.end(), {kSide, kSide, 0, 0});
    Put16(file, type == 2 ? 3 : 1);   // planes, or the hot spot's x for a cursor
    Put16(file, type == 2 ? 4 : 32);  // bits per pixel, or the hot spot's y
    Put32(file, static_cast<std::uint32_t>(image.size()));
    Put32(file, 22);
    file.insert(file.end(), image.begin(), image.end());
    return file;
}

// A GIF that declares `width` x `height` pixels and carries `dataBytes` of image data.
inline std::vector<std::uint8_t> GifDeclaring(std::uint16_t width, std::uint16_t height,
                                              std::size_t dataBytes) {
    std::vector<std::uint8_t> f = {'G', 'I', 'F', '8', '9', 'a'};
    Put16(f, width);
    Put16(f, height);
    f.insert(f.end(), {0x80, 0, 0});  // global colour table of 2 entries
    f.insert(f.end(), {0, 0, 0, 255, 255, 255});
    f.push_back(0x2C);
    Put16(f, 0);
    Put16(f, 0);
    Put16(f, width);
    Put16(f, height);
    f.push_back(0);
    f.push_back(2);  // LZW minimum code size
    for (std::size_t done = 0; done < dataBytes; done += 255) {
        f.push_back(255);
        f.insert(f.end(), 255, 0x00);
    }
    f.push_back(0);
    f.push_back(0x3B);
    return f;
}

// A picture whose colours change in both directions and by pixel, written by the engine as
// `coder` with `configure` applied. With `holes`, it is made from RGBA rows in which every fifth
// diagonal is transparent, and written without its alpha channel.
inline std::vector<std::uint8_t> EngineGradientFile(
    int width, int height, const std::string& coder,
    const std::function<void(Magick::Image&)>& configure, bool holes = false) {
    imaging::StartImageEngine();
    imaging::StartEngineLibrary();
    std::vector<std::uint8_t> pixels;
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            pixels.insert(pixels.end(), {static_cast<std::uint8_t>(x * 255 / width),
                                         static_cast<std::uint8_t>((x * y) % 256),
                                         static_cast<std::uint8_t>(y * 255 / height)});
            if (holes)
                pixels.push_back(static_cast<std::uint8_t>((x + y) % 5 == 0 ? 0 : 255));
        }
    }
    Magick::Image image(static_cast<unsigned>(width), static_cast<unsigned>(height),
                        holes ? "RGBA" : "RGB", Magick::CharPixel, pixels.data());
    if (holes)
        image.matte(false);
    image.magick(coder);
    configure(image);
    Magick::Blob blob;
    image.write(&blob);
    const auto* data = static_cast<const std::uint8_t*>(blob.data());
    return {data, data + blob.length()};
}

// The engine's reading of `file` as a bitmap; `dropAlpha` reads it without its alpha channel.
inline imaging::cDIBSection EngineDecoded(const std::vector<std::uint8_t>& file,
                                          const std::string& coder, bool dropAlpha = false) {
    Magick::Image image = imaging::ReadEngineImage(file, coder);
    if (dropAlpha)
        image.matte(false);
    imaging::cDIBSection dib;
    imaging::EngineImageToDib(image, dib);
    return dib;
}

// A decoder's bitmap is the engine's: the same size and every byte.
inline void ExpectSameBitmap(const imaging::cDIBSection& ours, const imaging::cDIBSection& engine) {
    ASSERT_EQ(ours.dib_width(), engine.dib_width());
    ASSERT_EQ(ours.dib_height(), engine.dib_height());
    ASSERT_EQ(ours.biSizeImage(), engine.biSizeImage());
    EXPECT_EQ(std::memcmp(ours.DIBSectionBitsPtr(), engine.DIBSectionBitsPtr(),
                          static_cast<std::size_t>(ours.biSizeImage())),
              0);
}

}  // namespace pictrova::testing
