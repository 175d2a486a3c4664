// SPDX-License-Identifier: GPL-3.0-or-later
#include "database/connection.h"

#include "common/error.h"
#include "common/error_codes.h"
#include "database/connection_string.h"
#include "database/object_names.h"
#include "database/recordset.h"

namespace pictrova::database {

Connection::Connection() = default;
Connection::~Connection() = default;
Connection::Connection(Connection&&) noexcept = default;
Connection& Connection::operator=(Connection&&) noexcept = default;

void Connection::Open(const std::string& connectionString) {
    if (database_)
        Throw(ErrorCode::ObjectOpen);
    ConnectionStringParts parts = ParseConnectionString(connectionString);
    if (!parts.provider.empty() && !SameName(parts.provider, kAceProvider) &&
        !SameName(parts.provider, kJetProvider))
        Throw(ErrorCode::ProviderNotFound);
    database_ = OpenDatabase(parts.dataSource, parts.password);
}

bool Connection::IsOpen() const {
    return database_.has_value();
}

TablesSchema Connection::OpenSchema(int schema) {
    if (schema != kAdSchemaTables)
        throw Error("Object or provider is not capable of performing requested operation.", 3251);
    return database().Schema();
}

void Connection::Close() {
    if (!database_)
        Throw(ErrorCode::ObjectClosed);
    database_.reset();
}

const Database& Connection::database() const {
    if (!database_)
        Throw(ErrorCode::ObjectClosed);
    return *database_;
}

}  // namespace pictrova::database
