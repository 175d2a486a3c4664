// SPDX-License-Identifier: GPL-3.0-or-later
#include "database/connection.h"

#include <algorithm>

#include "common/error.h"
#include "database/connection_impl.h"
#include "database/connection_string.h"
#include "database/object_names.h"

namespace pictrova::database {
namespace {

constexpr char kNameStartingSystemTables[] = "msys";

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

Connection::Connection() = default;
Connection::~Connection() = default;
Connection::Connection(Connection&&) noexcept = default;
Connection& Connection::operator=(Connection&&) noexcept = default;

void Connection::Open(const std::string& connectionString) {
    if (impl_)
        Throw(ErrorCode::ObjectOpen);
    ConnectionStringParts parts = ParseConnectionString(connectionString);
    if (!parts.provider.empty() && !SameName(parts.provider, kAceProvider) &&
        !SameName(parts.provider, kJetProvider))
        Throw(ErrorCode::ProviderNotFound);
    auto impl = std::make_unique<Impl>();
    impl->file = OpenDatabaseFile(parts.dataSource, parts.password);
    impl_ = std::move(impl);
}

bool Connection::IsOpen() const {
    return impl_ != nullptr;
}

TablesSchema Connection::OpenSchema(int schema) {
    if (schema != kAdSchemaTables)
        throw Error("Object or provider is not capable of performing requested operation.", 3251);
    return TablesSchema(SchemaRows(impl().file.handle.get()));
}

void Connection::Close() {
    if (!impl_)
        Throw(ErrorCode::ObjectClosed);
    impl_.reset();
}

Connection::Impl& Connection::impl() const {
    if (!impl_)
        Throw(ErrorCode::ObjectClosed);
    return *impl_;
}

}  // namespace pictrova::database
