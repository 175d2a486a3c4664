// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Listing a database's user tables and a table's fields, the parts under the options page's
// table and field lists. Both read the database the selection has open (opening it when it has
// none for its path and password at the moment they run).

#include <optional>
#include <string>
#include <vector>

#include "database/connection_string.h"

namespace pictrova::database {

// The user tables (schema rows whose TABLE_TYPE is exactly "TABLE") in schema order; system
// tables, queries and linked tables are left out. No list when no file exists at `path` (the
// path only decides whether to try: the database is the selection's). Open and schema errors
// pass to the caller.
std::optional<std::vector<std::string>> ListTables(const std::string& path,
                                                   const DatabaseSelection& selection);

// The source texts the document opens a table with (Recordset::Open on a Connection).
std::string FieldListingSource(const std::string& table);  // SELECT * FROM `table`
std::string RunSource(const std::string& table);           // SELECT * FROM [table];

// How the field listing names a field's type: "Attachment" for an attachment column, the
// type code otherwise.
std::string FieldTypeText(const FieldInfo& field);

// A field whose values may hold pictures: an OLE Object or an attachment column.
bool HoldsPictures(const FieldInfo& field);

// Every field of `table` in column order, whatever its type. Errors pass to the caller.
std::vector<FieldInfo> ListTableFields(const DatabaseSelection& selection,
                                       const std::string& table);

}  // namespace pictrova::database
