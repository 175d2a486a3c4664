// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// A survey of databases before anything is extracted: every user table, its record count, and for
// every picture field how many values it holds and what they are. For an OLE Object field: the
// class named in each stored object's header, or for values stored without one the picture kind
// their first bytes show; only the start of each value is read (kScanHeadBytes). For an
// Attachment field: the attached files counted by the type stored with them; their data is not
// read at all. Nothing is decoded whole and nothing is written.

#include <cstdint>
#include <filesystem>
#include <functional>
#include <map>
#include <string>
#include <string_view>
#include <vector>

namespace pictrova::run {

// Enough for the object header with both names right behind it, and for every picture signature.
inline constexpr std::size_t kScanHeadBytes = 4096;

inline constexpr std::string_view kOleObjectFieldKind = "OLE Object";
inline constexpr std::string_view kAttachmentFieldKind = "Attachment";
// The label of attached files stored without a type.
inline constexpr std::string_view kNoFileType = "(no type)";

// What a field's values were found to be, by label: "Paint.Picture" (an object's class), "jpeg"
// (a picture stored without an object header), "png" (an attached file's type), counted.
struct FieldScan {
    std::string name;
    std::string kind;  // kOleObjectFieldKind or kAttachmentFieldKind
    std::int64_t values =
        0;  // records whose value is not Null and not empty (attachments: with a file)
    std::int64_t valueBytes =
        0;  // their declared sizes, summed (attachments: as stored, compressed or not)
    std::int64_t files = 0;  // attachment fields: the attached files
    std::map<std::string, std::int64_t>
        fileTypes;  // attachment fields: files by stored type, lower case
    std::map<std::string, std::int64_t> objectClasses;
    std::map<std::string, std::int64_t> pictureKinds;  // values without an object header
    std::int64_t unknown = 0;  // neither an object header nor a known picture signature
    std::int64_t unreadable =
        0;  // reading the value failed (a damaged long value or attachment list)
    // Classes among objectClasses that the decoder has no way to unwrap.
    std::vector<std::string> undecodableClasses;
};

struct TableScan {
    std::string name;
    std::int64_t records = 0;
    std::vector<FieldScan> fields;  // picture fields only, in column order
    std::string error;              // the table could not be read (whole or in part)
};

struct DatabaseScan {
    std::filesystem::path path;
    std::uint64_t fileBytes = 0;
    std::string error;  // the database could not be opened (missing, damaged, wrong password)
    std::vector<TableScan> tables;
    std::int64_t bytesRead = 0;  // value bytes actually read (heads), for throughput figures
};

// The label of one value from its first bytes (at most kScanHeadBytes): the stored object's class
// name ("OT_STATIC" for a static picture, a "(linked)" suffix for a link), a picture kind in lower
// case ("jpeg", "bmp", ...) when it has no object header, or empty for neither. `isObject` tells
// which of the two maps the label belongs in.
std::string ClassifyValueHead(const std::vector<std::uint8_t>& head, bool& isObject);

// Never throws: an unopenable database comes back with `error` set, a failing table with its own.
DatabaseScan ScanDatabase(const std::filesystem::path& path, const std::string& password);

}  // namespace pictrova::run
