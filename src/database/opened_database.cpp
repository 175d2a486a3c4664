// SPDX-License-Identifier: GPL-3.0-or-later
#include "database/opened_database.h"

#include <algorithm>
#include <atomic>

#include "common/error.h"
#include "common/error_codes.h"
#include "database/database_file.h"
#include "database/decrypted_images.h"
#include "database/file_identity.h"
#include "database/object_names.h"
#include "database/recordset.h"

namespace pictrova::database {

struct Database::State {
    DatabaseFile file;
    std::string password;
    std::optional<FileIdentity> identity;
};

namespace {

constexpr char kNameStartingSystemTables[] = "msys";

std::atomic<std::uint64_t> opened{0};

// Schema rows for the catalog's objects. libmdb numbers object types after masking with 0x7F;
// tables whose flags mark them as system objects, and MSys* tables whatever their flags, are
// system tables. Forms, reports, macros, modules and the catalog's container rows are not
// part of the tables schema.
std::vector<TablesSchemaRow> SchemaRows(MdbHandle* mdb) {
    std::vector<TablesSchemaRow> rows;
    if (!mdb->catalog)
        return rows;
    for (guint i = 0; i < mdb->catalog->len; ++i) {
        auto* entry = static_cast<MdbCatalogEntry*>(g_ptr_array_index(mdb->catalog, i));
        std::string name = entry->object_name;
        switch (entry->object_type) {
            case MDB_TABLE: {
                bool system = mdb_is_system_table(entry) ||
                              FoldName(name).starts_with(kNameStartingSystemTables);
                rows.push_back({name, system ? "SYSTEM TABLE" : "TABLE"});
                break;
            }
            case MDB_QUERY:
                rows.push_back({name, "VIEW"});
                break;
            case MDB_LINKED_TABLE:
                rows.push_back({name, "LINK"});
                break;
            default:
                break;
        }
    }
    // The tables schema is ordered by type and then by name.
    std::stable_sort(rows.begin(), rows.end(), [](const auto& a, const auto& b) {
        if (a.tableType != b.tableType)
            return a.tableType < b.tableType;
        return FoldName(a.tableName) < FoldName(b.tableName);
    });
    return rows;
}

}  // namespace

void TablesSchema::MoveNext() {
    if (Eof())
        Throw(ErrorCode::NoCurrentRecord);
    ++position_;
}

const std::string& TablesSchema::Value(std::string_view column) const {
    bool name = SameName(column, "TABLE_NAME");
    if (!name && !SameName(column, "TABLE_TYPE"))
        Throw(ErrorCode::ItemNotFound);
    if (Eof())
        Throw(ErrorCode::NoCurrentRecord);
    return name ? rows_[position_].tableName : rows_[position_].tableType;
}

Database OpenDatabase(const std::string& path, const std::string& password) {
    auto state = std::make_shared<Database::State>();
    state->identity = IdentityAt(path);
    state->file = OpenDatabaseFile(path, password);
    state->password = password;
    ++opened;
    TraceOpen("opened", path);
    Database database;
    database.state_ = std::move(state);
    return database;
}

OpenCounts CountedOpens() {
    return {opened.load(), DecryptedImageCount()};
}

const DatabaseFile& Database::file() const {
    if (!state_)
        Throw(ErrorCode::ObjectClosed);
    return state_->file;
}

const std::string& Database::Path() const {
    return file().path;
}

const std::string& Database::Password() const {
    file();
    return state_->password;
}

TablesSchema Database::Schema() const {
    return TablesSchema(SchemaRows(file().handle.get()));
}

std::vector<std::string> Database::Tables() const {
    std::vector<std::string> tables;
    for (const TablesSchemaRow& row : SchemaRows(file().handle.get()))
        if (row.tableType == "TABLE")
            tables.push_back(row.tableName);
    return tables;
}

std::vector<FieldInfo> Database::Fields(const std::string& table) const {
    Recordset recordset = OpenTable(table);
    FieldCollection fields = recordset.Fields();
    std::vector<FieldInfo> listed;
    for (int i = 0; i < fields.Count(); ++i)
        listed.push_back({fields[i].Name(), fields[i].Type(), fields[i].IsAttachment()});
    return listed;
}

Recordset Database::OpenTable(const std::string& table) const {
    Recordset recordset;
    recordset.Open(*this, table);
    return recordset;
}

bool Database::FileUnchanged() const {
    return state_ && state_->identity && IdentityAt(state_->file.path) == state_->identity;
}

}  // namespace pictrova::database
