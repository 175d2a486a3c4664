// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The object header the database engine writes in front of every OLE Object field value, and
// what the decoder derives from it: the class name and where the object's native data begins.
//
// Object header (20 bytes, little-endian):
//   0  u16  signature (0x1C15 on stored objects; not checked)
//   2  i16  header size: bytes from the field start to the end of both names
//   4  i32  object type: 1 linked, 2 embedded, 3 static (anything else is read like 2)
//   8  i16  object name length, terminating zero included
//  10  i16  class name length, terminating zero included
//  12  i16  offset of the object name from the field start
//  14  i16  offset of the class name from the field start
//  16  i16  width, i16 height of the object
//
// After the header an embedded object carries the OLE 1.0 header (version, format id, class
// name length, class name, topic and item name lengths, native data size: 24 bytes plus the
// class name), so its native data starts at header size + class name length + 24.

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace pictrova::ole {

inline constexpr std::size_t kObjectHeaderSize = 20;

enum class ObjectType : std::int32_t { Linked = 1, Embedded = 2, Static = 3 };

struct ObjectHeader {
    std::uint16_t signature = 0;
    std::int16_t headerSize = 0;
    std::int32_t objectType = 0;
    std::int16_t objectNameLength = 0;
    std::int16_t classNameLength = 0;
    std::int16_t objectNameOffset = 0;
    std::int16_t classNameOffset = 0;
    std::int16_t width = 0;
    std::int16_t height = 0;
};

// Reads the first 20 bytes of the field. Throws FormatError when the field is shorter.
ObjectHeader ReadObjectHeader(std::span<const std::uint8_t> field);

// The class name stored at the header's class-name offset, without its terminating zero. A
// length of 0 or 1 gives an empty name. Throws when the name lies outside the field or its
// offsets overflow 16 bits.
std::string ReadClassName(std::span<const std::uint8_t> field, const ObjectHeader& header);

// Sums the way the stored 16-bit header values are combined: the result must fit a signed 16-bit
// value, otherwise the header is unusable and this throws.
std::int32_t Sum16(std::int32_t a, std::int32_t b);

// header size + class name length + 24, formed in 16 bits.
std::int32_t PayloadStart(const ObjectHeader& header);

inline constexpr std::uint16_t kObjectSignature = 0x1C15;
// What a presentation-format name is read as for a static object, whatever class it names.
inline constexpr std::string_view kStaticClassName = "OT_STATIC";

// What the start of a value says about the object in it, read once: by the decoder before it
// decodes, by the reasons it gives when it cannot, and by a scan that reads only a value's head.
struct ObjectSummary {
    bool empty = true;                   // the value has no bytes
    std::optional<ObjectHeader> header;  // nullopt: shorter than an object header
    // The class name the header points at; nullopt when it lies outside the value (or there is
    // no header).
    std::optional<std::string> className;
    // Static objects: the presentation format they name ("DIB", "METAFILEPICT"); nullopt when
    // the value is too short to name one.
    std::optional<std::string> presentationFormat;

    bool hasSignature() const { return header && header->signature == kObjectSignature; }
    bool linked() const {
        return header && header->objectType == static_cast<std::int32_t>(ObjectType::Linked);
    }
    bool isStatic() const {
        return header && header->objectType == static_cast<std::int32_t>(ObjectType::Static);
    }
    // The class the decoder goes by: kStaticClassName for static objects; empty when unknown.
    std::string decoderClass() const;
};

// Never throws.
ObjectSummary SummariseObject(std::span<const std::uint8_t> value);

}  // namespace pictrova::ole
