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
#include "common/byte_reader.h"
#include "common/checked_math.h"
#include "common/error.h"
#include "ole/class_branches.h"
#include "ole/presentation_pictures.h"

namespace pictrova::ole {

namespace {

constexpr std::size_t kFormatNameOffset = 40;
constexpr std::size_t kSkippedExtentBytes = 8;
constexpr std::size_t kMetafilePictBytes = 8;

bool DecodeMetafile(DecodeCall& call, ByteReader& data) {
    std::int32_t mappingMode = data.u16le();
    std::int32_t xExtent = data.u16le();
    std::int32_t yExtent = data.u16le();
    data.skip(2);
    if (!MetafileToBmpFile(data.bytes(data.remaining()), mappingMode, xExtent, yExtent, call.bytes))
        return false;
    call.kind = ObjectKind::Bmp;
    return true;
}

}  // namespace

std::string StaticPresentationFormat(std::span<const std::uint8_t> bytes) {
    ByteReader r(bytes);
    r.seek(kFormatNameOffset);
    return r.zeroTerminated();
}

bool DecodeStaticPresentation(DecodeCall& call) {
    ByteReader r(call.bytes);
    r.seek(kFormatNameOffset);
    const std::string formatName = r.zeroTerminated();
    r.skip(kSkippedExtentBytes);
    const std::int32_t dataSize = r.i32le();
    if (static_cast<std::int64_t>(dataSize) > static_cast<std::int64_t>(call.bytes.size()) - 1)
        return false;
    // A negative size has no data to take; the metafile form needs at least its picture header.
    const std::size_t size = CheckedCast<std::size_t>(dataSize);
    const std::size_t dataOffset = r.position();
    ByteReader data = r.sub(size);

    if (formatName == "DIB") {
        // The DIB moves down to offset 14 of the field's own array (it starts at S + 4 >= 56).
        PackedDibToBmpFile(call.bytes, dataOffset, size);
        call.kind = ObjectKind::Bmp;
        return true;
    }
    Enforce(size >= kMetafilePictBytes, "metafile presentation is shorter than its header");
    return DecodeMetafile(call, data);
}

}  // namespace pictrova::ole
