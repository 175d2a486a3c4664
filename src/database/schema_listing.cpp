// SPDX-License-Identifier: GPL-3.0-or-later
#include "database/schema_listing.h"

#include <filesystem>

#include "database/ado_types.h"

namespace pictrova::database {
namespace {

// The shared file-existence test: a path whose last-modification time can be read.
bool FileExists(const std::string& path) {
    if (path.empty())
        return false;
    std::error_code ec;
    (void)std::filesystem::last_write_time(path, ec);
    return !ec;
}

}  // namespace

std::optional<std::vector<std::string>> ListTables(const std::string& path,
                                                   const DatabaseSelection& selection) {
    if (!FileExists(path))
        return std::nullopt;
    return selection.Opened().Tables();
}

namespace {

// The name between `open` and `close`, a `close` inside it doubled.
std::string Quoted(const std::string& name, char open, char close) {
    std::string quoted(1, open);
    for (char c : name) {
        quoted += c;
        if (c == close)
            quoted += c;
    }
    return quoted + close;
}

}  // namespace

std::string FieldListingSource(const std::string& table) {
    return "SELECT * FROM " + Quoted(table, '`', '`');
}

std::string RunSource(const std::string& table) {
    return "SELECT * FROM " + Quoted(table, '[', ']') + ";";
}

std::vector<FieldInfo> ListTableFields(const DatabaseSelection& selection,
                                       const std::string& table) {
    return selection.Opened().Fields(table);
}

std::string FieldTypeText(const FieldInfo& field) {
    return field.attachment ? "Attachment" : std::to_string(field.type);
}

bool HoldsPictures(const FieldInfo& field) {
    return field.attachment || field.type == kAdLongVarBinary;
}

}  // namespace pictrova::database
