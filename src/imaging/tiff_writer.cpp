// SPDX-License-Identifier: GPL-3.0-or-later
#include "imaging/tiff_writer.h"

#include <tiffio.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <string>

#include "common/checked_math.h"
#include "imaging/bitmap_rows.h"

namespace pictrova::imaging {
namespace {

// Strips of about a megabyte: few enough for a small directory, small enough for readers that
// take a strip at a time.
constexpr std::size_t kStripBytes = 1 << 20;
constexpr tmsize_t kStagingBytes = 64 * 1024;

// The file libtiff writes into: a growing byte buffer with a position.
struct MemoryFile {
    std::vector<std::uint8_t> bytes;
    std::size_t position = 0;
};

tmsize_t ReadNothing(thandle_t, void*, tmsize_t) {
    return 0;
}

tmsize_t WriteBytes(thandle_t handle, void* data, tmsize_t size) {
    auto& file = *static_cast<MemoryFile*>(handle);
    if (size < 0)
        return -1;
    const auto count = static_cast<std::size_t>(size);
    try {
        const std::size_t end = CheckedAdd(file.position, count);
        if (end > file.bytes.size()) {
            // Grows by a quarter at the least, so the buffer never doubles beside the bitmap.
            if (end > file.bytes.capacity())
                file.bytes.reserve(
                    std::max(end, file.bytes.capacity() + file.bytes.capacity() / 4));
            file.bytes.resize(end);
        }
    } catch (...) {
        return -1;
    }
    std::memcpy(file.bytes.data() + file.position, data, count);
    file.position += count;
    return size;
}

toff_t SeekTo(thandle_t handle, toff_t offset, int whence) {
    auto& file = *static_cast<MemoryFile*>(handle);
    std::uint64_t base = 0;
    if (whence == SEEK_CUR)
        base = file.position;
    else if (whence == SEEK_END)
        base = file.bytes.size();
    const std::uint64_t target = base + offset;
    if (target > kMaxPictureFileBytes * 4ull)
        return static_cast<toff_t>(-1);
    file.position = static_cast<std::size_t>(target);
    return target;
}

int CloseNothing(thandle_t) {
    return 0;
}

toff_t SizeOf(thandle_t handle) {
    return static_cast<const MemoryFile*>(handle)->bytes.size();
}

int MapNothing(thandle_t, void**, toff_t*) {
    return 0;
}

void UnmapNothing(thandle_t, void*, toff_t) {}

// libtiff's remarks would print; the writer's own result says whether it worked. Answering 1
// keeps them from the process-wide handlers (which the engine sets for its own TIFF coder).
int Silent(TIFF*, void*, const char*, const char*, va_list) {
    return 1;
}

struct TiffCloser {
    void operator()(TIFF* tiff) const { TIFFClose(tiff); }
};

struct OptionsFreer {
    void operator()(TIFFOpenOptions* options) const { TIFFOpenOptionsFree(options); }
};

}  // namespace

std::vector<std::uint8_t> EncodeTiff(const cDIBSection& picture) {
    const BitmapRows rows(picture);
    const std::size_t rowBytes = CheckedMul<std::size_t>(rows.width(), 3);
    const std::size_t rowsPerStrip =
        std::clamp<std::size_t>(kStripBytes / rowBytes, 1, rows.height());

    MemoryFile file;
    file.bytes.reserve(CheckedAdd<std::size_t>(CheckedMul(rowBytes, rows.height()), 4096));
    const std::unique_ptr<TIFFOpenOptions, OptionsFreer> options(TIFFOpenOptionsAlloc());
    if (!options)
        throw Error("the TIFF writer could not start");
    TIFFOpenOptionsSetErrorHandlerExtR(options.get(), Silent, nullptr);
    TIFFOpenOptionsSetWarningHandlerExtR(options.get(), Silent, nullptr);
    std::unique_ptr<TIFF, TiffCloser> tiff(
        TIFFClientOpenExt("picture", "wl", &file, ReadNothing, WriteBytes, SeekTo, CloseNothing,
                          SizeOf, MapNothing, UnmapNothing, options.get()));
    if (!tiff)
        throw Error("the TIFF writer could not start");
    TIFF* t = tiff.get();
    const bool tagged =
        TIFFSetField(t, TIFFTAG_IMAGEWIDTH, static_cast<std::uint32_t>(rows.width())) &&
        TIFFSetField(t, TIFFTAG_IMAGELENGTH, static_cast<std::uint32_t>(rows.height())) &&
        TIFFSetField(t, TIFFTAG_BITSPERSAMPLE, 8) &&
        TIFFSetField(t, TIFFTAG_COMPRESSION, COMPRESSION_NONE) &&
        TIFFSetField(t, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_RGB) &&
        TIFFSetField(t, TIFFTAG_SAMPLESPERPIXEL, 3) &&
        TIFFSetField(t, TIFFTAG_ROWSPERSTRIP, static_cast<std::uint32_t>(rowsPerStrip)) &&
        TIFFSetField(t, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG) &&
        TIFFSetField(t, TIFFTAG_PAGENUMBER, 0, 1) &&
        TIFFSetField(t, TIFFTAG_SAMPLEFORMAT, SAMPLEFORMAT_UINT);
    if (!tagged)
        throw Error("the TIFF writer refused the picture's tags");

    // Rows go in one at a time through a small staging buffer (libtiff's own would be a whole
    // strip): beside the bitmap and the file, the writer holds next to nothing.
    if (!TIFFWriteBufferSetup(t, nullptr, kStagingBytes))
        throw Error("the TIFF writer could not start");
    std::vector<std::uint8_t> row(rowBytes);
    for (std::size_t y = 0; y < rows.height(); ++y) {
        const std::uint8_t* from = rows.Row(y);
        std::uint8_t* to = row.data();
        for (std::size_t x = 0; x < rows.width(); ++x, from += rows.channels(), to += 3) {
            to[0] = from[2];
            to[1] = from[1];
            to[2] = from[0];
        }
        if (TIFFWriteScanline(t, row.data(), static_cast<std::uint32_t>(y), 0) < 0)
            throw Error("the TIFF writer could not write the pixels");
    }
    if (!TIFFWriteDirectory(t))
        throw Error("the TIFF writer could not write its directory");
    tiff.reset();
    return std::move(file.bytes);
}

}  // namespace pictrova::imaging
