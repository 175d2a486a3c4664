// SPDX-License-Identifier: GPL-3.0-or-later
#include "ole/ole_object_decoder.h"

#include <algorithm>
#include <array>
#include <optional>
#include <utility>

#include "common/error.h"
#include "imaging/picture_kind.h"
#include "ole/class_branches.h"
#include "ole/class_table.h"
#include "ole/object_header.h"
#include "ole/stored_preview.h"

namespace pictrova::ole {

namespace {

// Picture files a value may hold without any wrapper, and the kind each is given. None of their
// signatures can begin an object header (0x15 0x1C), so no object is taken for one.
struct BarePictureRow {
    imaging::PictureKind picture;
    ObjectKind kind;
};
constexpr std::array<BarePictureRow, 6> kBarePictures = {{
    {imaging::PictureKind::Jpeg, ObjectKind::Jpeg},
    {imaging::PictureKind::Png, ObjectKind::Png},
    {imaging::PictureKind::Gif, ObjectKind::Gif},
    {imaging::PictureKind::Bmp, ObjectKind::Bmp},
    {imaging::PictureKind::Tiff, ObjectKind::Tiff},
    {imaging::PictureKind::Ico, ObjectKind::Ico},
}};

std::optional<ObjectKind> BarePictureKind(std::span<const std::uint8_t> value) {
    const imaging::PictureKind picture = imaging::SniffPictureKind(value);
    for (const BarePictureRow& row : kBarePictures) {
        if (row.picture == picture)
            return row.kind;
    }
    return std::nullopt;
}

// A static object holds its picture as a presentation: a bitmap that could not be read is
// damaged; a metafile is drawn by the renderer, which may refuse it or give up on it.
SkipReason WhyStaticNotDecoded(const ObjectSummary& object) {
    if (!object.presentationFormat)
        return {SkipCode::Damaged, "a static picture shorter than its presentation header"};
    if (*object.presentationFormat == "DIB")
        return {SkipCode::Damaged, "a static bitmap that could not be read"};
    return {SkipCode::NotRendered, "a static metafile (" + *object.presentationFormat +
                                       ") the renderer refused or gave up on"};
}

// Why no file came out of the value `object` summarises.
SkipReason WhyNotDecoded(const ObjectSummary& object) {
    if (object.empty)
        return {SkipCode::NoValue, {}};
    if (!object.header)
        return {SkipCode::Damaged, "shorter than an object header"};
    if (!object.hasSignature())
        return {SkipCode::Damaged,
                "no object header (a picture stored without one needs --method raw)"};
    if (!object.className)
        return {SkipCode::Damaged, "the class name lies outside the value"};
    if (object.linked())
        return {SkipCode::Linked, *object.className};
    // Static objects are decoded by their object type, whatever class name they carry.
    if (object.isStatic())
        return WhyStaticNotDecoded(object);
    if (!FindClassRow(*object.className))
        return {SkipCode::UnsupportedClass, *object.className};
    return {SkipCode::Damaged, "a " + *object.className + " object that could not be read"};
}

// `preview` receives a copy of the presentation stored after the native data, found before the
// class branch rearranges the bytes, for when the branch gives no file.
bool Decode(DecodeCall& call, const ObjectSummary& object, std::optional<StoredPreview>& preview) {
    if (!object.header)
        return false;
    call.header = *object.header;
    call.payloadStart = PayloadStart(call.header);
    if (object.linked() || !object.className)
        return false;

    call.className = object.decoderClass();
    if (!object.isStatic())
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

DecodeResult DecodeOleObject(std::vector<std::uint8_t> bytes) {
    DecodeResult result;
    if (const auto bare = BarePictureKind(bytes)) {
        result.payload = std::move(bytes);
        result.kind = *bare;
        result.source = PayloadSource::BarePicture;
        return result;
    }

    // Read before the class branch rearranges the bytes: why it may fail is decided by them.
    const ObjectSummary object = SummariseObject(bytes);
    result.objectClass = object.decoderClass();
    std::optional<StoredPreview> preview;
    DecodeCall call{bytes, result.kind, result.packageName, result.reason, {}, {}, 0};
    try {
        if (Decode(call, object, preview)) {
            result.payload = std::move(bytes);
            result.unusedPreview = std::move(preview);
            return result;
        }
    } catch (...) {
        // Every failing step (a read past the end, an overflowing size, a refused allocation)
        // is the decoder's failure, unless the object stores a preview.
    }
    try {
        if (preview && StoredPreviewToFile(*preview, result.payload, result.kind)) {
            // The file is the object's preview, not a failure, and not the package the label
            // names.
            result.reason = {};
            result.packageName.clear();
            result.source = PayloadSource::StoredPreview;
            return result;
        }
    } catch (...) {
    }
    result.payload.clear();
    result.skip = WhyNotDecoded(object);
    return result;
}

bool ExtractStoredPreview(std::vector<std::uint8_t>& bytes, ObjectKind& kind) {
    try {
        const ObjectHeader header = ReadObjectHeader(bytes);
        if (header.objectType == static_cast<std::int32_t>(ObjectType::Linked) ||
            header.objectType == static_cast<std::int32_t>(ObjectType::Static))
            return false;
        auto preview = FindStoredPreview(bytes, header);
        return preview && StoredPreviewToFile(*preview, bytes, kind);
    } catch (...) {
        return false;
    }
}

}  // namespace pictrova::ole
