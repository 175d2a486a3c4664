// SPDX-License-Identifier: GPL-3.0-or-later
// Compound-document classes: the native data is a compound document; one named stream of it,
// fixed up by kind, is the file.
#include <algorithm>
#include <string_view>

#include "common/error.h"
#include "ole/class_branches.h"
#include "ole/compound_document.h"
#include "ole/photo_editor_picture.h"

namespace pictrova::ole {

namespace {

// Photo-editor scans are stored with a class name 4 bytes longer in the object header than in
// the OLE 1.0 header, so their native data begins 4 bytes earlier than the header sizes say.
constexpr std::string_view kPhotoEditorScanClass = "MSPhotoEdScan.3";
constexpr std::int32_t kPhotoEditorScanShift = 4;

constexpr std::size_t kImagingPrefixBytes = 234;
constexpr std::size_t kPaperPrefixBytes = 64;
constexpr std::size_t kDeskImagePrefixBytes = 4;
constexpr std::size_t kPspPrefixBytes = 36;
constexpr std::size_t kPspTrailingZeros = 4;

using ComponentEntry = std::size_t (*)(std::span<std::uint8_t>, std::string_view);

// The entry follows from the stream name alone.
ComponentEntry EntryForStream(std::string_view streamName) {
    if (streamName == "CONTENTS")
        return GetContentsStream;
    if (streamName == "Ole10Native")
        return GetContentsStreamChild;
    return ExtractOfficeDocument;
}

// A stream that is all prefix holds no file: that is a failure, not an empty picture.
void DropPrefix(std::vector<std::uint8_t>& stream, std::size_t count) {
    Enforce(stream.size() > count, "stream holds nothing after its prefix");
    stream.erase(stream.begin(), stream.begin() + static_cast<std::ptrdiff_t>(count));
}

// Paint Shop Pro streams carry 36 bytes before the file and zero padding after it; the file is
// kept up to its last non-zero byte plus four zero bytes.
void FixUpPsp(std::vector<std::uint8_t>& stream) {
    Enforce(stream.size() > kPspPrefixBytes, "stream is shorter than its prefix");
    std::move(stream.begin() + kPspPrefixBytes, stream.end(), stream.begin());
    std::fill(stream.end() - kPspPrefixBytes, stream.end(), 0);
    const auto lastNonZero =
        std::find_if(stream.rbegin(), stream.rend(), [](std::uint8_t b) { return b != 0; });
    // Nothing but zeros after the prefix: there is no file.
    Enforce(lastNonZero != stream.rend(), "stream holds no data after its prefix");
    const std::size_t lastIndex = static_cast<std::size_t>(stream.rend() - lastNonZero) - 1;
    stream.resize(lastIndex + 1 + kPspTrailingZeros, 0);
}

void ApplyFixUp(DecodeCall& call, std::string_view key) {
    std::vector<std::uint8_t>& stream = call.bytes;
    if (key == "tiff") {
        DropPrefix(stream, kImagingPrefixBytes);
    } else if (key == "max") {
        Enforce(stream.size() >= 3, "stream too short for its signature");
        const bool vigFile = stream[0] == 'V' && stream[1] == 'i' && stream[2] == 'G';
        if (!vigFile)
            DropPrefix(stream, kPaperPrefixBytes);
    } else if (key == "hpd") {
        DropPrefix(stream, kDeskImagePrefixBytes);
    } else if (key == "psp") {
        call.kind = ObjectKind::PaintShopPro;
        FixUpPsp(stream);
    } else if (key == "bmp") {
        ConvertPhotoEditorPicture(stream);
    }
}

}  // namespace

bool DecodeCompoundDocumentClass(DecodeCall& call, const ClassRow& row) {
    if (row.fixUpKey != "psp")
        call.kind = row.kind;
    std::int32_t payloadStart = call.payloadStart;
    if (call.className == kPhotoEditorScanClass)
        payloadStart -= kPhotoEditorScanShift;

    MoveToFront(call.bytes, payloadStart);
    const std::size_t documentLength = call.bytes.size() - static_cast<std::size_t>(payloadStart);
    const std::size_t n =
        EntryForStream(row.streamName)(std::span(call.bytes).first(documentLength), row.streamName);
    if (n == 0) {
        call.reason = {kNoContentsStreamNumber, kDecoderSource, kNoContentsStreamDescription};
        return false;
    }
    call.bytes.resize(n);
    ApplyFixUp(call, row.fixUpKey);
    return true;
}

}  // namespace pictrova::ole
