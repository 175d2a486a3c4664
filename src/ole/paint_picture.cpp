// SPDX-License-Identifier: GPL-3.0-or-later
// Paint pictures: the native data is a BMP file, stored after an OLE 1.0 header whose class name
// is the 7 bytes "PBrush\0", so it begins at header size + 31.
#include "common/byte_reader.h"
#include "common/checked_math.h"
#include "common/error.h"
#include "ole/class_branches.h"

namespace pictrova::ole {

namespace {
constexpr std::int32_t kNativeDataAfterHeader = 31;
constexpr std::size_t kBmpFileSizeOffset = 2;
}  // namespace

bool DecodePaintPicture(DecodeCall& call) {
    call.kind = ObjectKind::Bmp;
    const std::int32_t start = Sum16(call.header.headerSize, kNativeDataAfterHeader);
    MoveToFront(call.bytes, start);
    const std::size_t dataLength = call.bytes.size() - static_cast<std::size_t>(start);

    ByteReader r(std::span<const std::uint8_t>(call.bytes).first(dataLength));
    r.seek(kBmpFileSizeOffset);
    const std::int32_t fileSize = r.i32le();
    Enforce(fileSize > 0, "paint picture declares no file size");
    // A declared size may pad a short file with zeros, but not beyond twice the data there is.
    EnforcePlausibleSize(static_cast<std::uint64_t>(fileSize),
                         CheckedMul<std::uint64_t>(dataLength, 2), "paint picture file size");
    call.bytes.resize(dataLength);
    call.bytes.resize(static_cast<std::size_t>(fileSize), 0);
    return true;
}

}  // namespace pictrova::ole
