// SPDX-License-Identifier: GPL-3.0-or-later
#include "ole/ole_object_decoder.h"

#include <algorithm>

#include "common/error.h"
#include "ole/class_branches.h"
#include "ole/class_table.h"
#include "ole/object_header.h"

namespace pictrova::ole {

namespace {

constexpr std::string_view kStaticClassName = "OT_STATIC";

bool Decode(DecodeCall& call) {
    call.header = ReadObjectHeader(call.bytes);
    call.payloadStart = PayloadStart(call.header);
    if (call.header.objectType == static_cast<std::int32_t>(ObjectType::Linked)) return false;

    call.className = ReadClassName(call.bytes, call.header);
    if (call.header.objectType == static_cast<std::int32_t>(ObjectType::Static))
        call.className = kStaticClassName;

    const auto row = FindClassRow(call.className);
    if (!row) {
        call.reason = {kUnsupportedFormatNumber, kDecoderSource, kUnsupportedFormatDescription};
        return false;
    }
    switch (row->family) {
        case ClassFamily::StaticPresentation: return DecodeStaticPresentation(call);
        case ClassFamily::Package: return DecodePackage(call);
        case ClassFamily::PaintPicture: return DecodePaintPicture(call);
        case ClassFamily::CompoundDocument: return DecodeCompoundDocumentClass(call, *row);
    }
    return false;
}

}  // namespace

void MoveToFront(std::vector<std::uint8_t>& bytes, std::int64_t start) {
    Enforce(start >= 0 && static_cast<std::size_t>(start) <= bytes.size(), "data starts outside the field");
    std::copy(bytes.begin() + start, bytes.end(), bytes.begin());
}

bool fGetContentsStream(std::vector<std::uint8_t>& bytes, std::string& extension,
                        std::string& label, FailureReason* reason) {
    FailureReason localReason;
    FailureReason& failure = reason ? *reason : localReason;
    failure = {};
    DecodeCall call{bytes, extension, label, failure, {}, {}, 0};
    try {
        return Decode(call);
    } catch (...) {
        // Every failing step (a read past the end, an overflowing size, a refused allocation)
        // is the decoder's false result.
        return false;
    }
}

}  // namespace pictrova::ole
