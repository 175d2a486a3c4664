// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Listing a database's user tables and a table's fields, the parts under the options page's
// table and field lists. Both connect with the connection string built from the selection at
// the moment they run.

#include <optional>
#include <string>
#include <vector>

#include "database/connection_string.h"

namespace pictrova::database {

// The user tables (schema rows whose TABLE_TYPE is exactly "TABLE") in schema order; system
// tables, queries and linked tables are left out. No list when no file exists at `path` (the
// path only decides whether to try: the connection string comes from the selection). Open and
// schema errors pass to the caller.
std::optional<std::vector<std::string>> ListTables(const std::string& path,
                                                   const DatabaseSelection& selection);

// The source texts the program opens a table with.
std::string FieldListingSource(const std::string& table);  // SELECT * FROM `table`
std::string RunSource(const std::string& table);           // SELECT * FROM [table];

struct FieldInfo {
    std::string name;
    int type = 0;  // AdoType code
    // An attachment column (Access 2007 and later): its type code is that of its key (Long),
    // so the listing says "Attachment" instead.
    bool attachment = false;
};

// How the field listing names a field's type: "Attachment" for an attachment column, the
// type code otherwise.
std::string FieldTypeText(const FieldInfo& field);

// A field whose values may hold pictures: an OLE Object or an attachment column.
bool HoldsPictures(const FieldInfo& field);

// Every field of `table` in column order, whatever its type, opened as the field listing opens
// it (read/write mode asked, the backquoted source text). Errors pass to the caller.
std::vector<FieldInfo> ListTableFields(const DatabaseSelection& selection,
                                       const std::string& table);

}  // namespace pictrova::database
