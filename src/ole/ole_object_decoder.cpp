// SPDX-License-Identifier: GPL-3.0-or-later
#include "ole/ole_object_decoder.h"

#include <algorithm>
#include <array>
#include <optional>

#include "common/error.h"
#include "imaging/picture_kind.h"
#include "ole/class_branches.h"
#include "ole/class_table.h"
#include "ole/object_header.h"
#include "ole/stored_preview.h"

namespace pictrova::ole {

namespace {

constexpr std::string_view kStaticClassName = "OT_STATIC";

// Picture files a value may hold without any wrapper, and the extension each is given. None of
// their signatures can begin an object header (0x15 0x1C), so no object is taken for one.
struct BarePictureRow {
    imaging::PictureKind kind;
    std::string_view extension;
};
constexpr std::array<BarePictureRow, 6> kBarePictures = {{
    {imaging::PictureKind::Jpeg, "jpg"},
    {imaging::PictureKind::Png, "png"},
    {imaging::PictureKind::Gif, "gif"},
    {imaging::PictureKind::Bmp, "bmp"},
    {imaging::PictureKind::Tiff, "tiff"},
    {imaging::PictureKind::Ico, "ico"},
}};

std::optional<std::string_view> BarePictureExtension(std::span<const std::uint8_t> value) {
    const imaging::PictureKind kind = imaging::SniffPictureKind(value);
    for (const BarePictureRow& row : kBarePictures) {
        if (row.kind == kind)
            return row.extension;
    }
    return std::nullopt;
}

// `preview` receives a copy of the presentation stored after the native data, found before the
// class branch rearranges the bytes, for when the branch gives no file.
bool Decode(DecodeCall& call, std::optional<StoredPreview>& preview) {
    call.header = ReadObjectHeader(call.bytes);
    call.payloadStart = PayloadStart(call.header);
    if (call.header.objectType == static_cast<std::int32_t>(ObjectType::Linked))
        return false;

    call.className = ReadClassName(call.bytes, call.header);
    if (call.header.objectType == static_cast<std::int32_t>(ObjectType::Static))
        call.className = kStaticClassName;
    else
        preview = FindStoredPreview(call.bytes, call.header);

    const auto row = FindClassRow(call.className);
    if (!row) {
        call.reason = {kUnsupportedFormatNumber, kDecoderSource, kUnsupportedFormatDescription};
        return false;
    }
    switch (row->family) {
        case ClassFamily::StaticPresentation:
            return DecodeStaticPresentation(call);
        case ClassFamily::Package:
            return DecodePackage(call);
        case ClassFamily::PaintPicture:
            return DecodePaintPicture(call);
        case ClassFamily::CompoundDocument:
            return DecodeCompoundDocumentClass(call, *row);
    }
    return false;
}

}  // namespace

void MoveToFront(std::vector<std::uint8_t>& bytes, std::int64_t start) {
    Enforce(start >= 0 && static_cast<std::size_t>(start) <= bytes.size(),
            "data starts outside the field");
    std::copy(bytes.begin() + start, bytes.end(), bytes.begin());
}

bool fGetContentsStream(std::vector<std::uint8_t>& bytes, std::string& extension,
                        std::string& label, FailureReason* reason, DecodeNotes* notes) {
    FailureReason localReason;
    FailureReason& failure = reason ? *reason : localReason;
    failure = {};
    DecodeNotes localNotes;
    DecodeNotes& noted = notes ? *notes : localNotes;
    noted = {};

    if (const auto bareExtension = BarePictureExtension(bytes)) {
        extension = *bareExtension;
        noted.barePicture = true;
        return true;
    }

    const std::size_t labelLength = label.size();
    std::optional<StoredPreview> preview;
    DecodeCall call{bytes, extension, label, failure, {}, {}, 0};
    try {
        if (Decode(call, preview)) {
            noted.unusedPreview = std::move(preview);
            return true;
        }
    } catch (...) {
        // Every failing step (a read past the end, an overflowing size, a refused allocation)
        // is the decoder's false result, unless the object stores a preview.
    }
    if (!preview)
        return false;
    try {
        if (!StoredPreviewToFile(*preview, bytes, extension))
            return false;
    } catch (...) {
        return false;
    }
    // The file is the object's preview, not a failure, and not the package the label names.
    failure = {};
    label.resize(labelLength);
    noted.storedPreviewUsed = true;
    return true;
}

bool ExtractStoredPreview(std::vector<std::uint8_t>& bytes, std::string& extension) {
    try {
        const ObjectHeader header = ReadObjectHeader(bytes);
        if (header.objectType == static_cast<std::int32_t>(ObjectType::Linked) ||
            header.objectType == static_cast<std::int32_t>(ObjectType::Static))
            return false;
        auto preview = FindStoredPreview(bytes, header);
        return preview && StoredPreviewToFile(*preview, bytes, extension);
    } catch (...) {
        return false;
    }
}

}  // namespace pictrova::ole
