// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Turns the bytes of one Access OLE Object field into the file embedded in it.

#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace pictrova::ole {

// Why the decoder gave up, for the two failures that carry a reason. Empty (number 0) otherwise.
struct FailureReason {
    std::int32_t number = 0;
    std::string source;
    std::string description;

    bool empty() const { return number == 0; }
};

// Where a decoded file came from when it is not the object's native data, for the run's report.
struct DecodeNotes {
    // The object's own data gave no file; the file is the picture the object stores for display
    // after its native data (its OLE 1.0 presentation): a BMP, or an EMF file.
    bool storedPreviewUsed = false;
    // The value held a picture file with no OLE wrapper around it; the file is the value itself.
    bool barePicture = false;
};

// Module modGetContentsStream.
//
// `bytes`: the field value; on success replaced by the extracted file (its length changes), on
// failure its content is unspecified. `extension`: the file kind in lower case without a dot,
// assigned as soon as the class is recognised (so it may hold a value after false). `label`:
// packages append their label, ending in its zero character. `reason`: reset at every call and
// set on the two failures that carry one. `notes`: reset at every call; says when the file is a
// stored preview or a bare picture. Never throws.
//
// Beyond the object classes, two more kinds of value give a file:
// - a value that starts with the signature of a JPEG, PNG, GIF, BMP, TIFF or ICO file (no object
//   header can start that way) is that picture file as it is, with its extension;
// - an embedded object whose class branch gives no file (an unknown class, a document without
//   the stream, damaged native data) gives the picture stored after its native data, when it
//   has one (ExtractStoredPreview); the failure reason is then cleared and the label left as the
//   caller passed it.
bool fGetContentsStream(std::vector<std::uint8_t>& bytes, std::string& extension,
                        std::string& label, FailureReason* reason = nullptr,
                        DecodeNotes* notes = nullptr);

// The picture an embedded object stores for display after its native data, as a picture file:
// a device-independent bitmap or a bitmap becomes a BMP file, a metafile picture is rendered into
// a 24-bit BMP file as static metafiles are, and an enhanced metafile is given as its EMF bytes.
// True with `bytes` replaced and `extension` set to "bmp" or "emf"; false, with `bytes`
// unchanged, when the object is not embedded or stores no presentation of those kinds. Never
// throws.
bool ExtractStoredPreview(std::vector<std::uint8_t>& bytes, std::string& extension);

// The presentation format a static object (object type 3) holds: "DIB", or a metafile format
// such as "METAFILEPICT". Throws when the value is too short to name one.
std::string StaticPresentationFormat(std::span<const std::uint8_t> bytes);

}  // namespace pictrova::ole
