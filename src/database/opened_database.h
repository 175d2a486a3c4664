// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// One opened database as a value. OpenDatabase makes the checks a connection makes (file
// present, known format, password), decrypts an Office-encrypted .accdb, reads the catalog, and
// returns a Database: a handle over shared state that every copy uses, so a command, the wizard
// and a run list tables, list fields and read records from one open. The state, and the file or
// decrypted image under it, lives as long as the last copy or recordset opened from it.
//
// A decrypted image is shared between opens of the same path and password while any open of it
// lives (and the file at the path is still the one decrypted), so a file is decrypted once per
// process and path however many times it is opened meanwhile.
//
// Open fails with a pictrova::Error whose description says why (see connection.h for the texts).

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace pictrova::database {

class Recordset;
struct DatabaseFile;

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

struct FieldInfo {
    std::string name;
    int type = 0;  // AdoType code
    // An attachment column (Access 2007 and later): its type code is that of its key (Long),
    // so the listing says "Attachment" instead.
    bool attachment = false;
};

class Database {
  public:
    // Not open: every operation fails with "Operation is not allowed when the object is
    // closed.", as a closed connection's do.
    Database() = default;

    bool IsOpen() const { return state_ != nullptr; }
    // The path it was opened from.
    const std::string& Path() const;
    // The password it was opened with.
    const std::string& Password() const;

    TablesSchema Schema() const;
    // The user tables (schema rows whose TABLE_TYPE is exactly "TABLE") in schema order.
    std::vector<std::string> Tables() const;
    // Every field of `table` in column order; an unknown table fails as OpenTable does.
    std::vector<FieldInfo> Fields(const std::string& table) const;
    // A recordset over the whole of `table` (named without regard to case), standing on its
    // first record. An unknown table fails with "The database engine cannot find the input
    // table or query '<name>'...".
    Recordset OpenTable(const std::string& table) const;

    // The same open: copies of one OpenDatabase.
    bool SameOpen(const Database& other) const { return state_ == other.state_; }

    // True while the file at Path() is the one opened (same file, size and modification time).
    bool FileUnchanged() const;

    struct State;
    const DatabaseFile& file() const;  // for the recordset; fails unless open

  private:
    friend Database OpenDatabase(const std::string& path, const std::string& password);
    std::shared_ptr<const State> state_;
};

Database OpenDatabase(const std::string& path, const std::string& password);

// How many times this process has opened a database file and decrypted one. Each open and each
// decryption is also written to stderr as one line when PICTROVA_TRACE_OPENS is set.
struct OpenCounts {
    std::uint64_t opens = 0;
    std::uint64_t decrypts = 0;
};
OpenCounts CountedOpens();

}  // namespace pictrova::database
