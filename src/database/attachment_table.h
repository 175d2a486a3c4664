// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Attachment columns (Access 2007 and later). A parent table's attachment column is a complex
// column (type 0x12) whose value in each row is a key; the files live in a hidden table, one
// row per file, whose key column holds the parent row's key. The link is kept in the system
// table MSysComplexColumns, one row per complex column:
//
//   ColumnName           the column's current name (the hidden table's name keeps the old one)
//   ConceptualTableID    the parent table's definition page
//   FlatTableID          the hidden table's definition page
//   ComplexTypeObjectID  the definition page of the complex type's table:
//   MSysComplexType_Attachment
//                        for attachments; multi-value (MSysComplexType_Text, ...) and
//                        version-history (MSysComplexTypeVH_...) columns are not attachments
//
// The hidden table has the type table's columns (FileData, FileName, FileType, FileURL,
// FileTimeStamp, FileFlags), an auto-number Long of its own and the key: the Long column that
// is neither auto-number nor one of the type table's. Column order and the names of the last
// two differ between files, so they are found by type and flags, never by name.

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "database/mdb_handles.h"
#include "database/recordset.h"

namespace pictrova::database {

struct AttachmentColumn {
    std::uint32_t flatTablePage = 0;
    std::vector<std::string> typeColumns;  // folded names of the type table's columns
};

// The attachment columns of the table whose definition is on `tablePage`, by folded column
// name. None when the database has no MSysComplexColumns or it cannot be read. Reads pages on
// `mdb` (it must not be in the middle of a scan).
std::map<std::string, AttachmentColumn> FindAttachmentColumns(MdbHandle* mdb,
                                                              std::uint32_t tablePage);

// The hidden table of one attachment column, on a handle of its own: its rows are indexed by
// key once (a few bytes per file), then each file is read on demand, one at a time.
class AttachmentTable {
  public:
    AttachmentTable(MdbHandle* source, std::shared_ptr<const void> image, std::uint64_t imageBytes,
                    const AttachmentColumn& column, std::string fieldName);
    ~AttachmentTable();
    AttachmentTable(const AttachmentTable&) = delete;
    AttachmentTable& operator=(const AttachmentTable&) = delete;

    std::size_t CountOf(std::int32_t key) const;
    // Name and type of the key's file number `index` (in the hidden table's order), and with
    // `withBytes` its decoded bytes. A damaged file fails with a description naming it.
    AttachedFile Read(std::int32_t key, std::size_t index, bool withBytes,
                      std::vector<std::string>* recordMessages = nullptr);

  private:
    struct RowAddress {
        std::uint32_t page;
        std::uint16_t row;
    };
    struct Bound {
        MdbColumn* column = nullptr;
        std::vector<std::uint8_t> buffer;
        int length = 0;
    };
    void ReadRow(const RowAddress& at);
    std::string BoundText(const Bound& bound) const;

    std::shared_ptr<const void> image_;
    MdbHandlePtr handle_;
    MdbTableDefPtr table_;
    std::uint64_t imageBytes_;
    std::uint32_t tablePage_;
    std::string fieldName_;
    Bound key_, data_, name_, type_;
    std::unordered_map<std::int32_t, std::vector<RowAddress>> rows_;
};

}  // namespace pictrova::database
