// SPDX-License-Identifier: GPL-3.0-or-later
#include "ole/ole1_object.h"

#include <algorithm>

#include "common/byte_reader.h"
#include "common/error.h"
#include "ole/object_header.h"

namespace pictrova::ole {

std::string ReadLengthPrefixedString(ByteReader& r) {
    const std::uint32_t count = r.u32le();
    auto bytes = r.bytes(count);
    const auto end = std::find(bytes.begin(), bytes.end(), std::uint8_t{0});
    return std::string(bytes.begin(), end);
}

bool Ole1Object::NativeDataFits(std::size_t fieldSize) const {
    return nativeOffset <= fieldSize && nativeSize <= fieldSize - nativeOffset;
}

std::span<const std::uint8_t> Ole1Object::NativeData(std::span<const std::uint8_t> field) const {
    const std::size_t available = field.size() - std::min(nativeOffset, field.size());
    return field.subspan(std::min(nativeOffset, field.size()),
                         std::min<std::size_t>(nativeSize, available));
}

Ole1Object ReadOle1Object(std::span<const std::uint8_t> field, std::int32_t start) {
    // The header size counts the 20 fixed bytes of the object header and both of its names.
    Enforce(start >= static_cast<std::int32_t>(kObjectHeaderSize),
            "object header size is too small", 2);
    ByteReader r(field);
    r.seek(static_cast<std::size_t>(start));
    Ole1Object object;
    r.skip(4);  // version
    object.formatId = r.u32le();
    object.className = ReadLengthPrefixedString(r);
    ReadLengthPrefixedString(r);  // topic name
    ReadLengthPrefixedString(r);  // item name
    object.nativeSize = r.u32le();
    object.nativeOffset = r.position();
    return object;
}

}  // namespace pictrova::ole
