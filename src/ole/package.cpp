// SPDX-License-Identifier: GPL-3.0-or-later
// Packages: the embedded file's bytes are the output, with the package's label.
//
// Layout, at fixed offsets from the field start:
//   64   u32 native data size (not used)
//   68   u16 package type (not used)
//   70   label up to and including its zero byte
//        source path up to and including its zero byte (not used)
//        4 bytes (not used)
//   T    u32 temporary-path length (its low 16 bits, signed), then the temporary path
//   D    i32 embedded file size, then the embedded file
#include <algorithm>

#include "common/byte_reader.h"
#include "common/checked_math.h"
#include "common/error.h"
#include "ole/class_branches.h"

namespace pictrova::ole {

namespace {
constexpr std::size_t kLabelOffset = 70;
constexpr std::size_t kSkippedAfterSourcePath = 4;
}  // namespace

bool DecodePackage(DecodeCall& call) {
    ByteReader r(call.bytes);
    r.seek(kLabelOffset);
    const std::string label = r.zeroTerminated();
    call.label += label;
    call.label += '\0';
    r.zeroTerminated();  // source path
    r.skip(kSkippedAfterSourcePath);

    const auto tempPathLength = static_cast<std::int16_t>(r.u32le() & 0xFFFF);
    r.skip(CheckedCast<std::size_t>(tempPathLength));

    const std::int32_t fileSize = r.i32le();
    if (static_cast<std::int64_t>(fileSize) >= static_cast<std::int64_t>(call.bytes.size()) - 1) return false;
    // An empty package holds no picture to extract, and a negative size none at all.
    if (fileSize <= 0) return false;
    const std::size_t fileOffset = r.position();
    r.skip(static_cast<std::size_t>(fileSize));
    MoveToFront(call.bytes, static_cast<std::int64_t>(fileOffset));
    call.bytes.resize(static_cast<std::size_t>(fileSize));
    call.extension = "pak";
    return true;
}

}  // namespace pictrova::ole
