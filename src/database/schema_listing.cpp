// SPDX-License-Identifier: GPL-3.0-or-later
#include "database/schema_listing.h"

#include <filesystem>

#include "database/connection.h"
#include "database/recordset.h"

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
    Connection connection;
    connection.Open(BuildConnectionString(selection));
    TablesSchema schema = connection.OpenSchema(kAdSchemaTables);
    std::vector<std::string> tables;
    while (!schema.Eof()) {
        if (schema.Value("TABLE_TYPE") == "TABLE")
            tables.push_back(schema.Value("TABLE_NAME"));
        schema.MoveNext();
    }
    schema.Close();
    connection.Close();
    return tables;
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
    Connection connection;
    connection.SetMode(kAdModeReadWrite);
    connection.Open(BuildConnectionString(selection));
    Recordset recordset;
    recordset.Open(FieldListingSource(table), connection, kAdOpenStatic, kAdLockOptimistic);
    FieldCollection fields = recordset.Fields();
    std::vector<FieldInfo> listed;
    for (int i = 0; i < fields.Count(); ++i)
        listed.push_back({fields[i].Name(), fields[i].Type(), fields[i].IsAttachment()});
    return listed;
}

std::string FieldTypeText(const FieldInfo& field) {
    return field.attachment ? "Attachment" : std::to_string(field.type);
}

bool HoldsPictures(const FieldInfo& field) {
    return field.attachment || field.type == kAdLongVarBinary;
}

}  // namespace pictrova::database
