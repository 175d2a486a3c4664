// SPDX-License-Identifier: GPL-3.0-or-later
#include "ole/stored_preview.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>

#include "common/byte_reader.h"
#include "common/checked_math.h"
#include "common/error.h"
#include "imaging/bmp_format.h"
#include "imaging/metafile_frame.h"
#include "imaging/picture_kind.h"
#include "ole/ole1_object.h"
#include "ole/presentation_pictures.h"

namespace pictrova::ole {

namespace {

constexpr std::uint32_t kClassNameFollows = 5;
constexpr std::size_t kMetafilePictBytes = 8;  // mapping mode, x extent, y extent, handle

// Standard clipboard formats a generic presentation may carry.
constexpr std::uint32_t kClipboardMetafilePict = 3;
constexpr std::uint32_t kClipboardDib = 8;
constexpr std::uint32_t kClipboardEnhMetafile = 14;

// The size of a presentation, whose height is stored negated.
std::int32_t Magnitude(std::int32_t v) {
    return static_cast<std::int32_t>(
        std::min<std::int64_t>(std::abs(static_cast<std::int64_t>(v)), INT32_MAX));
}

StoredPreview Copy(StoredPreview::Kind kind, std::span<const std::uint8_t> data,
                   std::size_t reserved = 0) {
    StoredPreview preview;
    preview.kind = kind;
    preview.data.reserve(CheckedAdd(data.size(), reserved));
    preview.data.resize(reserved, 0);
    preview.data.insert(preview.data.end(), data.begin(), data.end());
    return preview;
}

StoredPreview Dib(std::span<const std::uint8_t> data) {
    return Copy(StoredPreview::Kind::Dib, data, imaging::kBmpFileHeaderSize);
}

StoredPreview Metafile(std::span<const std::uint8_t> bits, std::int32_t mappingMode,
                       std::int32_t xExtent, std::int32_t yExtent) {
    StoredPreview preview = Copy(StoredPreview::Kind::Metafile, bits);
    preview.mappingMode = mappingMode;
    preview.xExtent = xExtent;
    preview.yExtent = yExtent;
    return preview;
}

// The picture header's words are taken as the static metafile branch takes them. A mapping mode
// outside the known ones is the reserved-word junk some writers leave: the presentation's own
// size (hundredths of a millimetre) frames the picture instead.
StoredPreview MetafilePict(ByteReader& r, std::int32_t width, std::int32_t height) {
    const std::uint32_t size = r.u32le();
    Enforce(size >= kMetafilePictBytes, "metafile presentation is shorter than its picture header");
    ByteReader data = r.sub(size);
    std::int32_t mappingMode = data.u16le();
    std::int32_t xExtent = data.u16le();
    std::int32_t yExtent = data.u16le();
    data.skip(2);  // handle
    Enforce(!data.atEnd(), "metafile presentation holds no metafile");
    if (mappingMode < imaging::MM_TEXT || mappingMode > imaging::MM_ANISOTROPIC) {
        mappingMode = imaging::MM_ANISOTROPIC;
        xExtent = Magnitude(width);
        yExtent = Magnitude(height);
    }
    return Metafile(data.bytes(data.remaining()), mappingMode, xExtent, yExtent);
}

// A clipboard metafile without its picture header is framed by its own window records.
StoredPreview ClipboardMetafile(std::span<const std::uint8_t> data) {
    if (imaging::SniffPictureKind(data) == imaging::PictureKind::Wmf)
        return Metafile(data, imaging::MM_ANISOTROPIC, 0, 0);
    ByteReader r(data);
    std::int32_t mappingMode = r.u16le();
    std::int32_t xExtent = r.u16le();
    std::int32_t yExtent = r.u16le();
    r.skip(2);
    const auto bits = r.bytes(r.remaining());
    Enforce(imaging::SniffPictureKind(bits) == imaging::PictureKind::Wmf,
            "clipboard metafile is not a metafile");
    return Metafile(bits, mappingMode, xExtent, yExtent);
}

std::optional<StoredPreview> Generic(ByteReader& r) {
    const std::uint32_t clipboardFormat = r.u32le();
    if (clipboardFormat == 0)
        return std::nullopt;  // a registered format: nothing we can show
    const std::uint32_t size = r.u32le();
    const auto data = r.bytes(size);
    switch (clipboardFormat) {
        case kClipboardMetafilePict:
            return ClipboardMetafile(data);
        case kClipboardDib:
            return Dib(data);
        case kClipboardEnhMetafile:
            if (imaging::SniffPictureKind(data) != imaging::PictureKind::Emf)
                return std::nullopt;
            return Copy(StoredPreview::Kind::EnhancedMetafile, data);
        default:
            return std::nullopt;
    }
}

std::optional<StoredPreview> ReadPresentation(std::span<const std::uint8_t> field,
                                              const ObjectHeader& header) {
    const Ole1Object object = ReadOle1Object(field, header.headerSize);
    if (object.formatId != kOle1FormatEmbedded || !object.NativeDataFits(field.size()))
        return std::nullopt;
    ByteReader r(field);
    r.seek(object.nativeOffset + object.nativeSize);
    r.skip(4);  // version
    const std::uint32_t formatId = r.u32le();
    // Format id 0 (no presentation) is what most objects store; any other value but 5 is damage.
    if (formatId != kClassNameFollows)
        return std::nullopt;
    const std::string className = ReadLengthPrefixedString(r);
    if (className != "METAFILEPICT" && className != "DIB" && className != "BITMAP")
        return Generic(r);

    const std::int32_t width = r.i32le();
    const std::int32_t height = r.i32le();
    if (className == "METAFILEPICT")
        return MetafilePict(r, width, height);
    const std::uint32_t size = r.u32le();
    const auto data = r.bytes(size);
    if (className == "DIB")
        return Dib(data);
    return Copy(StoredPreview::Kind::Bitmap, data);
}

}  // namespace

std::optional<StoredPreview> FindStoredPreview(std::span<const std::uint8_t> field,
                                               const ObjectHeader& header) {
    try {
        return ReadPresentation(field, header);
    } catch (...) {
        // A damaged presentation is no presentation; the object's own data decides the result.
        return std::nullopt;
    }
}

bool StoredPreviewToFile(StoredPreview& preview, std::vector<std::uint8_t>& file,
                         ObjectKind& kind) {
    switch (preview.kind) {
        case StoredPreview::Kind::Dib:
            PackedDibToBmpFile(preview.data, imaging::kBmpFileHeaderSize,
                               preview.data.size() - imaging::kBmpFileHeaderSize);
            file = std::move(preview.data);
            kind = ObjectKind::Bmp;
            return true;
        case StoredPreview::Kind::Bitmap:
            if (!Bitmap16ToBmpFile(preview.data, file))
                return false;
            kind = ObjectKind::Bmp;
            return true;
        case StoredPreview::Kind::Metafile:
            if (!MetafileToBmpFile(preview.data, preview.mappingMode, preview.xExtent,
                                   preview.yExtent, file))
                return false;
            kind = ObjectKind::Bmp;
            return true;
        case StoredPreview::Kind::EnhancedMetafile:
            file = std::move(preview.data);
            kind = ObjectKind::Emf;
            return true;
    }
    return false;
}

}  // namespace pictrova::ole
