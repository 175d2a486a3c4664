// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The OLE 1.0 object that follows the object header of an embedded object. It starts at the
// object header's header size, whatever the object's display name (the database engine stores
// the name in the language of the system that saved the object: "Package" on an English system,
// "Objekt-Manager-Shellobjekt" on a German one), so everything after it is found from here:
//
//   u32  version (0x0501 seen; not checked)
//   u32  format id: 1 linked, 2 embedded
//   class name, topic name, item name: each a u32 count (terminating zero included; 0 for an
//        empty string) followed by that many ANSI bytes
//   u32  native data size, then the native data (embedded objects)
//   then the presentation object (stored_preview.cpp)

#include <cstdint>
#include <span>
#include <string>

#include "common/byte_reader.h"

namespace pictrova::ole {

inline constexpr std::uint32_t kOle1FormatEmbedded = 2;

struct Ole1Object {
    std::uint32_t formatId = 0;
    std::string className;         // without its terminating zero
    std::size_t nativeOffset = 0;  // from the field start
    std::uint32_t nativeSize = 0;  // as stored: may claim more than the field holds

    // Whether the stored native data size fits the field, so that what follows it can be found.
    bool NativeDataFits(std::size_t fieldSize) const;
    // The native data, cut at the field's end when its size claims more.
    std::span<const std::uint8_t> NativeData(std::span<const std::uint8_t> field) const;
};

// A length-prefixed ANSI string: a u32 count that includes the terminating zero, then the bytes.
// The zero (and anything after an earlier zero) is not part of the string.
std::string ReadLengthPrefixedString(ByteReader& r);

// Reads the OLE 1.0 header at `start` (the object header's header size). Throws FormatError when
// the start is outside the field or a string or size field runs past its end.
Ole1Object ReadOle1Object(std::span<const std::uint8_t> field, std::int32_t start);

}  // namespace pictrova::ole
