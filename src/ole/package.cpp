// SPDX-License-Identifier: GPL-3.0-or-later
// Packages: the embedded file's bytes are the output, named by the package's label.
//
// The native data is found from the OLE 1.0 header that follows the object header (ole1_object.h),
// not at a fixed offset: the object header holds the object's display name, whose length depends
// on the language of the system that saved it. Native data:
//   u16  package type (not used)
//        label up to and including its zero byte
//        source path up to and including its zero byte (not used)
//        4 bytes (not used)
//   u32  temporary-path length (its low 16 bits, signed), then the temporary path
//   i32  embedded file size, then the embedded file
// Every read stays inside the native data (cut at the field's end when its size claims more), so
// a damaged size never takes bytes of the presentation stored after it.
#include "common/byte_reader.h"
#include "common/checked_math.h"
#include "common/error.h"
#include "ole/class_branches.h"
#include "ole/ole1_object.h"

#include <utility>

namespace pictrova::ole {

namespace {
constexpr std::size_t kPackageTypeSize = 2;
constexpr std::size_t kSkippedAfterSourcePath = 4;
}  // namespace

bool DecodePackage(DecodeCall& call) {
    const Ole1Object object = ReadOle1Object(call.bytes, call.header.headerSize);
    const auto native = object.NativeData(call.bytes);
    ByteReader r(native, object.nativeOffset);
    r.skip(kPackageTypeSize);
    std::string label = r.zeroTerminated();
    r.zeroTerminated();  // source path
    r.skip(kSkippedAfterSourcePath);

    const auto tempPathLength = static_cast<std::int16_t>(r.u32le() & 0xFFFF);
    r.skip(CheckedCast<std::size_t>(tempPathLength));

    const std::int32_t fileSize = r.i32le();
    if (static_cast<std::int64_t>(fileSize) >= static_cast<std::int64_t>(call.bytes.size()) - 1)
        return false;
    // An empty package holds no picture to extract, and a negative size none at all.
    if (fileSize <= 0)
        return false;
    const std::size_t fileOffset = object.nativeOffset + r.position();
    r.skip(static_cast<std::size_t>(fileSize));
    MoveToFront(call.bytes, static_cast<std::int64_t>(fileOffset));
    call.bytes.resize(static_cast<std::size_t>(fileSize));
    call.kind = ObjectKind::Package;
    call.packageName = std::move(label);
    return true;
}

}  // namespace pictrova::ole
