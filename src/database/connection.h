// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// A connection to one Access database, opened from a connection string (see
// connection_string.h). Every database operation creates its own, uses it and lets it go.
//
// Open fails with a pictrova::Error whose description says why, as the data-access objects'
// errors do:
//   "Could not find file '<path>'."           no such file
//   "Unrecognized database format '<path>'."  not a Jet or ACE database, or unreadable
//   "Not a valid password."                   the password stored in the file differs
//   "... is encrypted ... not yet supported"  an Office-encrypted .accdb
// A file without a stored password opens whatever password is given.

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "database/ado_types.h"

namespace pictrova::database {

// One row of the tables schema: TABLE_TYPE is "TABLE" (a user table), "SYSTEM TABLE",
// "VIEW" (a query) or "LINK" (a linked table).
struct TablesSchemaRow {
    std::string tableName;
    std::string tableType;
};

// The rows of the tables schema, ordered by TABLE_TYPE and then TABLE_NAME (compared without
// regard to case), with a cursor over them as the document's loops expect.
class TablesSchema {
  public:
    TablesSchema() = default;
    explicit TablesSchema(std::vector<TablesSchemaRow> rows) : rows_(std::move(rows)) {}

    bool Eof() const { return position_ >= rows_.size(); }
    void MoveNext();
    void Close() { rows_.clear(), position_ = 0; }

    // The current row's "TABLE_NAME" or "TABLE_TYPE" (either case); another name fails with
    // ErrorCode::ItemNotFound, no current row with ErrorCode::NoCurrentRecord.
    const std::string& Value(std::string_view column) const;

    const std::vector<TablesSchemaRow>& rows() const { return rows_; }

  private:
    std::vector<TablesSchemaRow> rows_;
    std::size_t position_ = 0;
};

class Connection {
  public:
    Connection();
    ~Connection();
    Connection(Connection&&) noexcept;
    Connection& operator=(Connection&&) noexcept;

    // The access mode asked for before Open (kAdModeReadWrite in the field listing). The layer
    // only reads, so the value is kept and reported but opens nothing for writing.
    void SetMode(int mode) { mode_ = mode; }
    int Mode() const { return mode_; }

    void Open(const std::string& connectionString);
    bool IsOpen() const;

    // kAdSchemaTables is the one schema there is.
    TablesSchema OpenSchema(int schema);

    void Close();

    struct Impl;
    Impl& impl() const;  // for the recordset; fails unless open

  private:
    std::unique_ptr<Impl> impl_;
    int mode_ = 0;
};

}  // namespace pictrova::database
