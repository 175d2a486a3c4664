// SPDX-License-Identifier: GPL-3.0-or-later
#include "ole/object_header.h"

#include <limits>

#include "common/byte_reader.h"
#include "common/error.h"
#include "ole/ole_object_decoder.h"

namespace pictrova::ole {

namespace {
constexpr std::int32_t kOle1HeaderBytes = 24;  // version, format id, name length, topic, item, size
}

ObjectHeader ReadObjectHeader(std::span<const std::uint8_t> field) {
    ByteReader r(field);
    ObjectHeader h;
    h.signature = r.u16le();
    h.headerSize = r.i16le();
    h.objectType = r.i32le();
    h.objectNameLength = r.i16le();
    h.classNameLength = r.i16le();
    h.objectNameOffset = r.i16le();
    h.classNameOffset = r.i16le();
    h.width = r.i16le();
    h.height = r.i16le();
    return h;
}

std::int32_t Sum16(std::int32_t a, std::int32_t b) {
    const std::int32_t sum = a + b;  // both operands are 16-bit values: no 32-bit overflow
    Enforce(sum >= std::numeric_limits<std::int16_t>::min() &&
                sum <= std::numeric_limits<std::int16_t>::max(),
            "16-bit header arithmetic overflows");
    return sum;
}

std::int32_t PayloadStart(const ObjectHeader& header) {
    return Sum16(Sum16(header.headerSize, header.classNameLength), kOle1HeaderBytes);
}

std::string ReadClassName(std::span<const std::uint8_t> field, const ObjectHeader& header) {
    std::string name;
    if (header.classNameLength < 2)
        return name;
    const std::int32_t count = header.classNameLength - 1;
    // The last character's offset is formed in 16 bits like every other header sum.
    Sum16(header.classNameOffset, count - 1);
    Enforce(header.classNameOffset >= 0, "class name offset is negative", 14);
    ByteReader r(field);
    r.seek(static_cast<std::size_t>(header.classNameOffset));
    auto bytes = r.bytes(static_cast<std::size_t>(count));
    name.assign(bytes.begin(), bytes.end());
    return name;
}

std::string ObjectSummary::decoderClass() const {
    if (isStatic())
        return std::string(kStaticClassName);
    return className.value_or(std::string());
}

ObjectSummary SummariseObject(std::span<const std::uint8_t> value) {
    ObjectSummary summary;
    summary.empty = value.empty();
    try {
        summary.header = ReadObjectHeader(value);
    } catch (const Error&) {
        return summary;
    }
    try {
        summary.className = ReadClassName(value, *summary.header);
    } catch (const Error&) {
    }
    if (summary.isStatic()) {
        try {
            summary.presentationFormat = StaticPresentationFormat(value);
        } catch (const Error&) {
        }
    }
    return summary;
}

}  // namespace pictrova::ole
