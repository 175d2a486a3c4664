// SPDX-License-Identifier: GPL-3.0-or-later
#include "ole/photo_editor_picture.h"

#include <algorithm>
#include <cstring>

#include "common/byte_reader.h"
#include "common/checked_math.h"
#include "common/error.h"
#include "imaging/bmp_format.h"

namespace pictrova::ole {

namespace {
constexpr std::size_t kColourTableOffset = 18;
constexpr std::size_t kStoredColourTableSize = 768;
constexpr std::size_t kPixelRowsOffset = 822;
constexpr std::size_t kBmpColourTableSize = 1024;

std::int32_t BitsPerPixel(std::int16_t imageType) {
    switch (imageType) {
        case 1:
        case 2:
            return 8;
        case 3:
            return 24;
        default:
            return 0;
    }
}
}  // namespace

void ConvertPhotoEditorPicture(std::vector<std::uint8_t>& stream) {
    ByteReader r(stream);
    const std::int16_t imageType = r.i16le();
    const std::int16_t width = r.i16le();
    const std::int16_t height = r.i16le();

    const std::int32_t bits = BitsPerPixel(imageType);
    // A negative height would ask for bottom-up rows stored top-down; the stream has no such
    // variant, so it is damage like a zero size.
    Enforce(bits > 0 && width > 0 && height > 0, "photo-editor picture has no pixels");
    const std::size_t rowLength = static_cast<std::size_t>(bits * width / 8);
    const std::size_t rows = static_cast<std::size_t>(height);
    const std::size_t stride = (rowLength + 3) & ~std::size_t{3};
    const std::size_t imageSize = CheckedMul(rows, stride);
    const std::size_t colourTableSize = bits == 8 ? kBmpColourTableSize : 0;
    const std::size_t pixelBytes = CheckedMul(rows, rowLength);
    Enforce(CheckedAdd(kPixelRowsOffset, pixelBytes) <= stream.size(),
            "photo-editor picture is shorter than its header announces");

    const std::size_t pixelOffset = colourTableSize + imaging::kBmpHeadersSize;
    const std::size_t fileSize = CheckedAdd(pixelOffset, imageSize);
    const auto fileSize32 = CheckedCast<std::uint32_t>(fileSize);

    // The header values are read; from here on the stream is rebuilt in place.
    if (colourTableSize != 0) {
        std::memmove(stream.data() + imaging::kBmpHeadersSize, stream.data() + kColourTableOffset,
                     kStoredColourTableSize);
    }
    const std::vector<std::uint8_t> storedRows(
        stream.begin() + static_cast<std::ptrdiff_t>(kPixelRowsOffset),
        stream.begin() + static_cast<std::ptrdiff_t>(kPixelRowsOffset + pixelBytes));
    stream.resize(fileSize);
    std::fill(stream.begin() + static_cast<std::ptrdiff_t>(pixelOffset), stream.end(), 0);

    // Stored rows run top-down; BMP rows run bottom-up.
    for (std::size_t i = 0; i < rows; ++i) {
        const auto from = storedRows.begin() +
                          static_cast<std::ptrdiff_t>(storedRows.size() - (i + 1) * rowLength);
        std::copy(from, from + static_cast<std::ptrdiff_t>(rowLength),
                  stream.begin() + static_cast<std::ptrdiff_t>(pixelOffset + i * stride));
    }

    if (colourTableSize != 0) {
        std::uint8_t triples[kStoredColourTableSize];
        std::memcpy(triples, stream.data() + imaging::kBmpHeadersSize, kStoredColourTableSize);
        for (std::size_t k = 0; k < 256; ++k) {
            std::uint8_t* entry = stream.data() + imaging::kBmpHeadersSize + 4 * k;
            if (imageType == 2) {
                entry[0] = triples[3 * k + 2];
                entry[1] = triples[3 * k + 1];
                entry[2] = triples[3 * k];
            } else {
                entry[0] = entry[1] = entry[2] = static_cast<std::uint8_t>(k);
            }
            entry[3] = 0;
        }
    }

    imaging::WriteBmpFileHeader(stream, fileSize32, static_cast<std::uint32_t>(pixelOffset));
    imaging::WriteBmpInfoHeader(stream, width, height, static_cast<std::uint16_t>(bits),
                                static_cast<std::uint32_t>(imageSize));

    if (bits == 24) {
        for (std::size_t row = 0; row < rows; ++row) {
            std::uint8_t* pixel = stream.data() + pixelOffset + row * stride;
            for (std::int32_t j = 0; j < width; ++j, pixel += 3)
                std::swap(pixel[0], pixel[2]);
        }
    }
}

}  // namespace pictrova::ole
