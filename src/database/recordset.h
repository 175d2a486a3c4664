// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// A recordset over a whole table of an open connection, and its fields, with the operations the
// program's code uses: end and beginning flags, movefirst and MoveNext, fields by name
// (case-insensitive) or by zero-based index with Name, Type, ActualSize, Value and GetChunk.
//
// The source text names the table in either form the program writes:
//   SELECT * FROM [table];   (the extraction run)
//   SELECT * FROM `table`    (the field listing)
// A freshly opened recordset stands on its first record; an empty one is at Eof() and bof().
// EOF is a C macro, so the end flag is spelled Eof() here.
//
// Long binary values (OLE Object) are never held whole by the recordset: GetChunk serves any
// count from the database's page-sized pieces, so a chunked read needs memory for one chunk
// whatever the value's size. Value() reads the whole value into one array.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "database/ado_types.h"

namespace pictrova::database {

class Connection;
class Database;
struct RecordsetState;

// A field's value: Null, the bytes of an OLE Object or Binary field, or the text of every other
// type (numbers, dates and Yes/No written out as text: "12", "1.5", "2026-12-07 08:00:00",
// "True").
class FieldValue {
  public:
    FieldValue() = default;
    explicit FieldValue(std::vector<std::uint8_t> bytes) : value_(std::move(bytes)) {}
    explicit FieldValue(std::string text) : value_(std::move(text)) {}

    bool IsNull() const { return std::holds_alternative<std::monostate>(value_); }
    bool IsBytes() const { return std::holds_alternative<std::vector<std::uint8_t>>(value_); }
    bool IsText() const { return std::holds_alternative<std::string>(value_); }

    // The bytes; Null fails with "Invalid use of Null" (94), text with "Type mismatch" (13).
    const std::vector<std::uint8_t>& bytes() const;
    std::vector<std::uint8_t> TakeBytes();
    // The text; Null fails with "Invalid use of Null" (94), bytes with "Type mismatch" (13).
    const std::string& text() const;

  private:
    std::variant<std::monostate, std::vector<std::uint8_t>, std::string> value_;
};

// One attached file of an attachment field: its name and type as stored (the name has no path;
// the type is the extension without a dot and may be empty) and, when asked for, its bytes.
struct AttachedFile {
    std::string fileName;
    std::string fileType;
    // The length of its stored value (compressed when Access compressed it) as the value's
    // header declares it, without reading the value; 0 when it has none.
    std::uint64_t storedBytes = 0;
    std::vector<std::uint8_t> bytes;
};

// A field of a recordset. It follows the recordset's current record (as the data-access field
// objects do) and stays usable while the recordset is open.
class Field {
  public:
    const std::string& Name() const;
    int Type() const;  // AdoType code

    // Bytes of the current value: the declared size of a long binary value, the UTF-8 length of
    // text, the storage size of fixed-size types; 0 for Null.
    std::int64_t ActualSize() const;

    FieldValue Value() const;

    // The next `count` bytes of the current value (fewer at its end, none past it), continuing
    // where the previous call on this field left off; moving to another record or reading
    // Value() starts again from the beginning. For OLE Object, Binary and Memo fields; other
    // types fail with ErrorCode::IllegalOperation. A damaged long value (its pages hold fewer bytes
    // than it declares, or its chain loops) fails with a description that names the field.
    std::vector<std::uint8_t> GetChunk(std::int64_t count);

    // GetChunk into a buffer the caller owns; returns the bytes written (0 at the end).
    std::size_t ReadChunk(std::span<std::uint8_t> out);

    // An attachment field (Access 2007 and later) reports the Long type of its key; these
    // reach its files. Attachments() lists the current record's files without their bytes, in
    // stored order; AttachmentBytes(i) reads and decodes file i, one file in memory at a time.
    // A damaged file fails with a description naming it and the field; the others stay
    // readable. On any other field Attachments() is empty.
    bool IsAttachment() const;
    std::vector<AttachedFile> Attachments() const;
    std::vector<std::uint8_t> AttachmentBytes(std::size_t index) const;

  private:
    friend class FieldCollection;
    Field(std::shared_ptr<RecordsetState> state, std::size_t index)
        : state_(std::move(state)), index_(index) {}
    std::shared_ptr<RecordsetState> state_;
    std::size_t index_;
};

// The fields of a recordset in the table's column order.
class FieldCollection {
  public:
    int Count() const;
    // By zero-based index, or by name without regard to case; an unknown one fails with
    // "Item cannot be found in the collection corresponding to the requested name or ordinal."
    // (ErrorCode::ItemNotFound).
    Field Item(int index) const;
    Field Item(std::string_view name) const;
    Field operator[](int index) const { return Item(index); }
    Field operator[](std::string_view name) const { return Item(name); }

  private:
    friend class Recordset;
    explicit FieldCollection(std::shared_ptr<RecordsetState> state) : state_(std::move(state)) {}
    std::shared_ptr<RecordsetState> state_;
};

class Recordset {
  public:
    Recordset();
    ~Recordset();
    Recordset(Recordset&&) noexcept;
    Recordset& operator=(Recordset&&) noexcept;

    // Opens the table named by `source` on an open connection. Cursor and lock types are taken
    // as the program passes them (static, optimistic); the recordset only reads. An unknown
    // table fails with "The database engine cannot find the input table or query '<name>'...",
    // a source text in neither form with "Syntax error in FROM clause.".
    void Open(const std::string& source, Connection& connection, int cursorType = kAdOpenStatic,
              int lockType = kAdLockOptimistic);
    // Opens `table` (named without regard to case) of an open database, failing as above.
    void Open(const Database& database, const std::string& table);
    bool IsOpen() const;

    bool Eof() const;
    bool bof() const;
    void movefirst();
    // Past the last record Eof() becomes true; moving on from there fails with
    // ErrorCode::NoCurrentRecord.
    void MoveNext();
    void Close();

    FieldCollection Fields() const;

    // What the database library (libmdb) warned of while the current record was fetched and
    // its long values read, since the last take; at the end of the table, what the search for
    // another record gave. These are not errors: the record reads as it is; the caller shows
    // them with the record. Moving to another record drops what was not taken.
    std::vector<std::string> TakeLibraryMessages();

    // The table the source text named, as the database spells it.
    const std::string& TableName() const;

    // The record count the table's definition keeps (Jet updates it with every row added or
    // deleted); nullopt when it cannot be right: zero on a table that has a record, or more
    // records than the file's pages can hold.
    std::optional<std::int64_t> StoredRecordCount() const;

  private:
    std::shared_ptr<RecordsetState> state_;
};

// The table name inside a source text of either form above; fails with "Syntax error in FROM
// clause." (number 3131).
std::string TableNameFromSource(std::string_view source);

// The ADO type code of a column type as libmdb numbers it (the Jet column type byte).
int AdoTypeOfColumn(int jetColumnType, bool fixedLength);

}  // namespace pictrova::database
