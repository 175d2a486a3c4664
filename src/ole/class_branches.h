// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The decoder's class branches. Each one turns the field bytes, in place, into the file the
// object holds; a branch either returns normally (success), returns false, or throws
// pictrova::Error, which the decoder's entry point turns into false.

#include <cstdint>
#include <string>
#include <vector>

#include "ole/class_table.h"
#include "ole/object_header.h"
#include "ole/ole_object_decoder.h"

namespace pictrova::ole {

struct DecodeCall {
    std::vector<std::uint8_t>& bytes;
    ObjectKind& kind;
    std::string& packageName;
    FailureReason& reason;
    ObjectHeader header;
    std::string className;
    std::int32_t payloadStart = 0;
};

bool DecodeStaticPresentation(DecodeCall& call);
bool DecodePackage(DecodeCall& call);
bool DecodePaintPicture(DecodeCall& call);
bool DecodeCompoundDocumentClass(DecodeCall& call, const ClassRow& row);

// The failure reasons the decoder gives, with the texts it gives them.
inline constexpr char kDecoderSource[] = "modGetContentsStream.fGetContentsStream";
inline constexpr std::int32_t kObjectErrorBase = static_cast<std::int32_t>(0x80040000u);
inline constexpr std::int32_t kUnsupportedFormatNumber = kObjectErrorBase + 566;  // 0x80040236
inline constexpr std::int32_t kNoContentsStreamNumber = kObjectErrorBase + 526;   // 0x8004020E
inline constexpr char kUnsupportedFormatDescription[] =
    "Sorry...this OLE object contains an unsupported format\r\n"
    "Please select a different Record to Export";
inline constexpr char kNoContentsStreamDescription[] =
    "Sorry...this OLE object does not have a CONTENTS Stream\r\n"
    "Please select a different Record to Export";

// Moves bytes [start, end) to the front of `bytes`, keeping its length.
void MoveToFront(std::vector<std::uint8_t>& bytes, std::int64_t start);

}  // namespace pictrova::ole
