// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Our writer of small Access database files for tests, the sample database and benchmarks.
// It writes Jet4 (.mdb) and ACE (.accdb) files that libmdb and mdb-reader read back byte for
// byte: a catalog (MSysObjects) and any number of tables without indexes, whose columns are
// Long, Integer, Text, Memo, OLE Object or Binary. Long values (Memo, OLE) are stored inline,
// as one row on a long-value page or as a chain of rows over many pages, by size.
//
// Two ways to use it:
// Attachment columns (ACE only) come with what Access keeps beside them: the system tables
// MSysComplexColumns and MSysComplexType_Attachment, and per column a hidden table holding one
// row per attached file, linked to the parent row by a key the writer assigns.
//
//   - describe everything, rows included, in a DatabasePlan and call WriteDatabase (file) or
//     WriteDatabaseToMemory;
//   - for large files, open a DatabaseWriter with the tables' columns and add rows one at a
//     time: pages go to the file as they fill, so memory stays small whatever the file size.
//
// Not written: indexes, relationships, properties, the page-1 global map, Office encryption.
// Microsoft Access itself may refuse these files; our readers (libmdb, mdb-reader) do not.

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <variant>
#include <vector>

namespace pictrova::jet {

// The version byte at offset 0x14 of page 0.
enum class Format : std::uint8_t {
    Jet4 = 1,   // Access 2000-2003 .mdb
    Ace12 = 2,  // Access 2007 .accdb
    Ace14 = 3,  // 2010
    Ace15 = 4,  // 2013
    Ace16 = 5,  // 2016
    Ace17 = 6,  // 2019
};

// Column type codes as stored in a table definition.
enum class ColumnType : std::uint8_t {
    Integer = 0x03,     // 16-bit signed
    Long = 0x04,        // 32-bit signed
    Binary = 0x09,      // up to maxLength bytes, stored in the row
    Text = 0x0A,        // up to maxLength characters, stored in the row
    OleObject = 0x0B,   // long binary value
    Memo = 0x0C,        // long text value
    Attachment = 0x12,  // complex column: a key into the column's hidden table of files (ACE)
};

struct ColumnPlan {
    std::string name;
    ColumnType type = ColumnType::Long;
    // Text: characters (1..255), Binary: bytes (1..510); 0 takes the largest. Ignored otherwise.
    std::uint16_t maxLength = 0;
    bool autoNumber = false;  // Long: flagged as an auto-number (the writer still takes the values)
};

// One attached file. Its FileData is the file as Access stores it (EncodeAttachmentData), or
// `storedData` as it is, to write damaged values.
struct AttachmentPlan {
    std::string fileName;
    std::string fileType;  // extension without a dot; written to FileType and the content header
    std::vector<std::uint8_t> content;
    bool deflate = false;
    std::optional<std::vector<std::uint8_t>> storedData;
};
using Attachments = std::vector<AttachmentPlan>;

// One cell. monostate is NULL; integers go to Long and Integer columns; text (UTF-8) to Text
// and Memo columns; bytes, owned or borrowed, to OLE Object and Binary columns. An empty
// string or byte vector is an empty value, not NULL. Attachment columns take a list of files
// (an empty list still gives the row its key, as Access does; NULL stores no key). A borrowed span
// must stay valid until the call that receives it returns.
using Bytes = std::vector<std::uint8_t>;
using ByteView = std::span<const std::uint8_t>;
using Value = std::variant<std::monostate, std::int64_t, std::string, Bytes, ByteView, Attachments>;
using Row = std::vector<Value>;
inline constexpr std::monostate Null{};

struct TablePlan {
    std::string name;  // blanks allowed
    std::vector<ColumnPlan> columns;
    std::vector<Row> rows;
};

// Catalog rows for objects that are not local tables: readers list them, but there is nothing
// behind them to read.
enum class ObjectKind : std::uint8_t { Query = 5, LinkedTable = 6 };

struct CatalogObjectPlan {
    ObjectKind kind = ObjectKind::Query;
    std::string name;
    std::string foreignName;  // linked table: its name in the other database
    std::string database;     // linked table: path of the other database
};

struct DatabasePlan {
    Format format = Format::Jet4;
    // Jet4 only: up to 20 characters, stored masked in the header the way Access stores it.
    // Readers do not enforce it; the program's database layer does.
    std::string password;
    // Jet4 only: non-zero encodes every page after the header with RC4 keyed by this value
    // XOR the page number ("encoded database").
    std::uint32_t encodingKey = 0;
    // Days since 1899-12-30; also keys the password mask. Fixed so output is reproducible.
    double creationDate = 45000.5;
    // Long values of at most this many bytes are stored inside the row (when the row fits).
    std::size_t inlineLimit = 64;
    // The catalog lists MSysObjects, then the tables in this order, then the other objects.
    std::vector<TablePlan> tables;
    std::vector<CatalogObjectPlan> otherObjects;
    // A catalog Access never writes, for readers' tests: its Name column a Memo instead of Text.
    bool catalogNamesInMemo = false;
};

// What a finished file holds, for tests and benchmarks.
struct WriteSummary {
    std::uint64_t fileBytes = 0;
    std::uint32_t pages = 0;
    std::uint32_t dataPages = 0;
    std::uint32_t longValuePages = 0;
    std::uint64_t rows = 0;
};

// Streams one database to a file. The plan gives the format and every table's columns; rows
// already in the plan are written first. Tables are addressed by their index in plan.tables,
// and rows of different tables may be interleaved. Finish() completes the file; without it
// the file is left incomplete. Throws pictrova::Error on a value that does not fit its column,
// a row that does not fit a page, or an I/O failure.
class DatabaseWriter {
  public:
    DatabaseWriter(const std::filesystem::path& path, const DatabasePlan& plan);
    ~DatabaseWriter();
    DatabaseWriter(const DatabaseWriter&) = delete;
    DatabaseWriter& operator=(const DatabaseWriter&) = delete;

    void AddRow(std::size_t table, std::span<const Value> values);
    WriteSummary Finish();

  private:
    friend std::vector<std::uint8_t> WriteDatabaseToMemory(const DatabasePlan& plan);
    struct Impl;
    explicit DatabaseWriter(std::unique_ptr<Impl> impl);
    std::unique_ptr<Impl> impl_;
};

// FileData of an attachment: storage flag (0 raw, 1 deflate), decoded length, then the content
// header (its length, 1, the extension's UTF-16 length with its NUL, the extension) and the
// file's bytes, raw or as one zlib stream.
Bytes EncodeAttachmentData(const std::string& extension, ByteView content, bool deflate);

WriteSummary WriteDatabase(const std::filesystem::path& path, const DatabasePlan& plan);
std::vector<std::uint8_t> WriteDatabaseToMemory(const DatabasePlan& plan);

}  // namespace pictrova::jet
