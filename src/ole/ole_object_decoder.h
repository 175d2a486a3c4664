// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Turns the bytes of one Access OLE Object field into the file embedded in it.

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "common/skip_reasons.h"
#include "ole/object_kind.h"
#include "ole/stored_preview.h"

namespace pictrova::ole {

// The decoder's own message, for the two failures that carry one. Empty (number 0) otherwise.
struct FailureReason {
    std::int32_t number = 0;
    std::string source;
    std::string description;

    bool empty() const { return number == 0; }
};

// Where the decoded file came from.
enum class PayloadSource {
    ObjectData,     // the object's own data
    StoredPreview,  // the picture the object stores for display (its OLE 1.0 presentation),
                    // because its own data gave no file: a BMP, or an EMF file
    BarePicture,    // the value is a picture file with no OLE wrapper around it
};

struct DecodeResult {
    // The file the object holds; empty when there is none.
    std::vector<std::uint8_t> payload;
    // The file's kind, known as soon as the class is: so it may be set when there is no file.
    ObjectKind kind = ObjectKind::None;
    // A package's own name for its file (its label, as stored); empty for other kinds.
    std::string packageName;
    // The class the object names, as the decoder goes by it (ObjectSummary::decoderClass), set
    // whether or not a file came out; empty for a bare picture file and a value with no header.
    std::string objectClass;
    PayloadSource source = PayloadSource::ObjectData;
    // The object's own data gave the file, and the object stores a preview too: the preview, for
    // a caller whose file turns out to hold no picture (a document). StoredPreviewToFile makes
    // it a picture file.
    std::optional<StoredPreview> unusedPreview;
    // No file: why, in the run's words, with its detail (the class, the presentation format).
    std::optional<SkipReason> skip;
    // No file: the decoder's own message, for the two failures that carry one.
    FailureReason reason;

    bool ok() const { return !skip.has_value(); }
};

// Module modGetContentsStream.
//
// The file held by the field value `bytes` (moved in: the decoder rearranges them in place).
// Never throws.
//
// Beyond the object classes, two more kinds of value give a file:
// - a value that starts with the signature of a JPEG, PNG, GIF, BMP, TIFF or ICO file (no object
//   header can start that way) is that picture file as it is, of its kind;
// - an embedded object whose class branch gives no file (an unknown class, a document without
//   the stream, damaged native data) gives the picture stored after its native data, when it
//   has one (ExtractStoredPreview); the failure reason is then cleared and no package named.
DecodeResult DecodeOleObject(std::vector<std::uint8_t> bytes);

// The picture an embedded object stores for display after its native data, as a picture file:
// a device-independent bitmap or a bitmap becomes a BMP file, a metafile picture is rendered into
// a 24-bit BMP file as static metafiles are, and an enhanced metafile is given as its EMF bytes.
// True with `bytes` replaced and `kind` set to Bmp or Emf; false, with `bytes` unchanged, when
// the object is not embedded or stores no presentation of those kinds. Never throws.
bool ExtractStoredPreview(std::vector<std::uint8_t>& bytes, ObjectKind& kind);

// The presentation format a static object (object type 3) holds: "DIB", or a metafile format
// such as "METAFILEPICT". Throws when the value is too short to name one.
std::string StaticPresentationFormat(std::span<const std::uint8_t> bytes);

}  // namespace pictrova::ole
