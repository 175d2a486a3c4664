// SPDX-License-Identifier: GPL-3.0-or-later
// Static presentations (object type 3): a packed DIB becomes a BMP file; a metafile is rendered
// into a 24-bit BMP file.
//
// Layout, at fixed offsets from the field start:
//   40       presentation format name up to its zero byte ("DIB" or a metafile format)
//   +8       width and height (not used)
//   S        i32 data size
//   S+4      DIB: 40-byte info header, colour table, pixel bits (data size bytes)
//   S+4      metafile: u16 mapping mode, u16 x extent, u16 y extent, u16 handle, then
//            data size - 8 bytes of metafile bits at S+12
#include <algorithm>

#include "common/byte_reader.h"
#include "common/checked_math.h"
#include "common/error.h"
#include "imaging/dib_section.h"
#include "ole/bmp_headers.h"
#include "ole/class_branches.h"

namespace pictrova::ole {

namespace {

constexpr std::size_t kFormatNameOffset = 40;
constexpr std::size_t kSkippedExtentBytes = 8;
constexpr std::size_t kMetafilePictBytes = 8;
constexpr std::size_t kInfoHeaderBitCountOffset = 14;
constexpr std::size_t kInfoHeaderColoursUsedOffset = 32;

// Bytes between the info header and the pixel bits that the BMP file header must account for:
// the colour table of a 1-, 4- or 8-bit DIB (the colours-used count of entries, or all 2^bits
// when it is 0 or too large), and the three colour masks of a bit-field DIB. Counting fewer
// entries than the DIB holds would make the pixels start inside the colour table.
std::uint32_t ColourTableAllowance(std::uint16_t bitCount, std::uint32_t compression,
                                   std::uint32_t coloursUsed) {
    constexpr std::uint32_t kBitFields = 3;
    constexpr std::uint32_t kColourMasksSize = 12;
    if (bitCount == 1 || bitCount == 4 || bitCount == 8) {
        const std::uint32_t fullTable = 1u << bitCount;
        const std::uint32_t entries = coloursUsed == 0 || coloursUsed > fullTable ? fullTable : coloursUsed;
        return entries * 4;
    }
    if ((bitCount == 16 || bitCount == 32) && compression == kBitFields) return kColourMasksSize;
    return 0;
}

// The module's one bitmap object for metafiles; it clears itself at every WMFtoBMP call.
imaging::cDIBSection& MetafileRenderer() {
    thread_local imaging::cDIBSection dibSection;
    return dibSection;
}

// The DIB moves down to offset 14 of the field's own array (it starts at S + 4 >= 56), so no
// second copy of a large picture is made.
bool DecodeDib(DecodeCall& call, std::size_t dataOffset, std::size_t dataSize) {
    ByteReader info(std::span<const std::uint8_t>(call.bytes).subspan(dataOffset, dataSize));
    info.seek(kInfoHeaderBitCountOffset);
    const std::uint16_t bitCount = info.u16le();
    const std::uint32_t compression = info.u32le();
    info.seek(kInfoHeaderColoursUsedOffset);
    const std::uint32_t coloursUsed = info.u32le();

    const std::size_t fileSize = CheckedAdd(dataSize, kBmpFileHeaderSize);
    const auto fileSize32 = CheckedCast<std::uint32_t>(fileSize);
    auto& bytes = call.bytes;
    std::copy(bytes.begin() + static_cast<std::ptrdiff_t>(dataOffset),
              bytes.begin() + static_cast<std::ptrdiff_t>(dataOffset + dataSize),
              bytes.begin() + static_cast<std::ptrdiff_t>(kBmpFileHeaderSize));
    bytes.resize(fileSize);
    const std::uint32_t pixelOffset =
        static_cast<std::uint32_t>(kBmpHeadersSize) + ColourTableAllowance(bitCount, compression, coloursUsed);
    WriteBmpFileHeader(bytes, fileSize32, pixelOffset);
    call.extension = "bmp";
    return true;
}

bool DecodeMetafile(DecodeCall& call, ByteReader& data) {
    std::int32_t mappingMode = data.u16le();
    std::int32_t xExtent = data.u16le();
    std::int32_t yExtent = data.u16le();
    data.skip(2);
    auto bits = data.bytes(data.remaining());
    std::vector<std::uint8_t> pixels(bits.begin(), bits.end());

    imaging::cDIBSection& dib = MetafileRenderer();
    if (!dib.WMFtoBMP(pixels, mappingMode, xExtent, yExtent)) return false;

    const std::size_t fileSize = CheckedAdd(pixels.size(), kBmpHeadersSize);
    std::vector<std::uint8_t> file(fileSize);
    std::copy(pixels.begin(), pixels.end(), file.begin() + kBmpHeadersSize);
    const auto imageSize = CheckedCast<std::uint32_t>(pixels.size());
    WriteBmpInfoHeader(file, dib.dib_width(), dib.dib_height(), 24, imageSize);
    WriteBmpFileHeader(file, CheckedCast<std::uint32_t>(fileSize),
                       static_cast<std::uint32_t>(kBmpHeadersSize));
    call.bytes = std::move(file);
    call.extension = "bmp";
    return true;
}

}  // namespace

bool DecodeStaticPresentation(DecodeCall& call) {
    ByteReader r(call.bytes);
    r.seek(kFormatNameOffset);
    const std::string formatName = r.zeroTerminated();
    r.skip(kSkippedExtentBytes);
    const std::int32_t dataSize = r.i32le();
    if (static_cast<std::int64_t>(dataSize) > static_cast<std::int64_t>(call.bytes.size()) - 1) return false;
    // A negative size has no data to take; the metafile form needs at least its picture header.
    const std::size_t size = CheckedCast<std::size_t>(dataSize);
    const std::size_t dataOffset = r.position();
    ByteReader data = r.sub(size);

    if (formatName == "DIB") return DecodeDib(call, dataOffset, size);
    Enforce(size >= kMetafilePictBytes, "metafile presentation is shorter than its header");
    return DecodeMetafile(call, data);
}

}  // namespace pictrova::ole
