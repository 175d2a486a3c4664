// SPDX-License-Identifier: GPL-3.0-or-later
#include "database/attachment_table.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <optional>

#include "common/checked_math.h"
#include "common/error.h"
#include "common/error_codes.h"
#include "database/attachment_data.h"
#include "database/long_value_reader.h"
#include "database/object_names.h"

namespace pictrova::database {
namespace {

constexpr char kComplexColumnsTable[] = "MSysComplexColumns";
constexpr char kAttachmentTypeTable[] = "MSysComplexType_Attachment";
constexpr unsigned char kDataPage = 0x01;
constexpr std::size_t kDataPageOwnerOffset = 4;

MdbCatalogEntry* TableAtPage(MdbHandle* mdb, std::uint64_t page) {
    for (guint i = 0; mdb->catalog && i < mdb->catalog->len; ++i) {
        auto* entry = static_cast<MdbCatalogEntry*>(g_ptr_array_index(mdb->catalog, i));
        if (entry->object_type == MDB_TABLE && entry->table_pg == page)
            return entry;
    }
    return nullptr;
}

MdbCatalogEntry* TableNamed(MdbHandle* mdb, std::string_view name) {
    for (guint i = 0; mdb->catalog && i < mdb->catalog->len; ++i) {
        auto* entry = static_cast<MdbCatalogEntry*>(g_ptr_array_index(mdb->catalog, i));
        if (entry->object_type == MDB_TABLE && SameName(entry->object_name, name))
            return entry;
    }
    return nullptr;
}

// A table definition with its columns, or none when libmdb cannot read it.
MdbTableDefPtr ReadTable(MdbCatalogEntry* entry) {
    if (!entry)
        return nullptr;
    MdbTableDefPtr table(mdb_read_table(entry));
    if (!HasUsageMap(table.get()) || !mdb_read_columns(table.get()))
        return nullptr;
    return table;
}

std::vector<MdbColumn*> Columns(MdbTableDef* table) {
    std::vector<MdbColumn*> columns;
    guint count = std::min<guint>(table->num_cols, table->columns ? table->columns->len : 0);
    for (guint i = 0; i < count; ++i)
        columns.push_back(static_cast<MdbColumn*>(g_ptr_array_index(table->columns, i)));
    return columns;
}

int ColumnNumber(MdbTableDef* table, std::string_view name) {
    std::vector<MdbColumn*> columns = Columns(table);
    for (std::size_t i = 0; i < columns.size(); ++i)
        if (SameName(columns[i]->name, name))
            return static_cast<int>(i) + 1;
    return 0;
}

std::optional<std::int64_t> Number(std::string_view text) {
    std::int64_t value = 0;
    auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size())
        return std::nullopt;
    return value;
}

// One row of MSysComplexColumns, its values bound as text.
struct ComplexColumnsScan {
    static constexpr int kColumns =
        4;  // ColumnName, ConceptualTableID, FlatTableID, ComplexTypeObjectID
    std::vector<std::uint8_t> buffers[kColumns];
    int lengths[kColumns] = {};

    std::string_view Text(int i) const {
        auto length = static_cast<std::size_t>(
            std::clamp(lengths[i], 0, static_cast<int>(buffers[i].size())));
        return {reinterpret_cast<const char*>(buffers[i].data()), length};
    }
};

}  // namespace

std::map<std::string, AttachmentColumn> FindAttachmentColumns(MdbHandle* mdb,
                                                              std::uint32_t tablePage) {
    std::map<std::string, AttachmentColumn> found;
    MdbTableDefPtr complexColumns = ReadTable(TableNamed(mdb, kComplexColumnsTable));
    if (!complexColumns)
        return found;
    static constexpr const char* kNames[ComplexColumnsScan::kColumns] = {
        "ColumnName", "ConceptualTableID", "FlatTableID", "ComplexTypeObjectID"};
    ComplexColumnsScan scan;
    for (int i = 0; i < ComplexColumnsScan::kColumns; ++i) {
        int number = ColumnNumber(complexColumns.get(), kNames[i]);
        if (number == 0)
            return found;
        scan.buffers[i].assign(kInPageBindSize, 0);
        mdb_bind_column(complexColumns.get(), number, scan.buffers[i].data(), &scan.lengths[i]);
    }
    // The rows of this table first; the other tables are looked up after the scan, because
    // reading a table definition moves libmdb's page buffer.
    struct Link {
        std::string column;
        std::int64_t flatTable;
        std::int64_t typeTable;
    };
    std::vector<Link> links;
    mdb_rewind_table(complexColumns.get());
    while (mdb_fetch_row(complexColumns.get())) {
        std::optional<std::int64_t> conceptual = Number(scan.Text(1));
        std::optional<std::int64_t> flat = Number(scan.Text(2));
        std::optional<std::int64_t> type = Number(scan.Text(3));
        if (conceptual != tablePage || !flat || !type)
            continue;
        links.push_back({std::string(scan.Text(0)), *flat, *type});
    }
    for (const Link& link : links) {
        MdbCatalogEntry* typeEntry =
            link.typeTable > 0 ? TableAtPage(mdb, static_cast<std::uint64_t>(link.typeTable))
                               : nullptr;
        if (!typeEntry || !SameName(typeEntry->object_name, kAttachmentTypeTable))
            continue;
        if (link.flatTable <= 0 || !TableAtPage(mdb, static_cast<std::uint64_t>(link.flatTable)))
            continue;
        MdbTableDefPtr typeTable = ReadTable(typeEntry);
        if (!typeTable)
            continue;
        AttachmentColumn column;
        column.flatTablePage = static_cast<std::uint32_t>(link.flatTable);
        for (MdbColumn* typeColumn : Columns(typeTable.get()))
            column.typeColumns.push_back(FoldName(typeColumn->name));
        found.emplace(FoldName(link.column), std::move(column));
    }
    return found;
}

AttachmentTable::AttachmentTable(MdbHandle* source, std::shared_ptr<const void> image,
                                 std::uint64_t imageBytes, const AttachmentColumn& column,
                                 std::string fieldName)
    : image_(std::move(image)),
      handle_(mdb_clone_handle(source)),
      imageBytes_(imageBytes),
      tablePage_(column.flatTablePage),
      fieldName_(std::move(fieldName)) {
    auto unreadable = [&] {
        return Error("The attachments of field '" + fieldName_ +
                     "' cannot be read; the database may be damaged.");
    };
    if (!handle_)
        throw unreadable();
    table_ = ReadTable(TableAtPage(handle_.get(), tablePage_));
    if (!table_)
        throw unreadable();

    MdbColumn* key = nullptr;
    for (MdbColumn* c : Columns(table_.get())) {
        std::string folded = FoldName(c->name);
        if (folded == FoldName("FileData") && c->col_type == MDB_OLE)
            data_.column = c;
        else if (folded == FoldName("FileName") && c->col_type == MDB_TEXT)
            name_.column = c;
        else if (folded == FoldName("FileType") && c->col_type == MDB_TEXT)
            type_.column = c;
        bool typeColumn = std::find(column.typeColumns.begin(), column.typeColumns.end(), folded) !=
                          column.typeColumns.end();
        if (c->col_type == MDB_LONGINT && !c->is_long_auto && !typeColumn) {
            if (key)
                throw unreadable();  // two candidates: no way to tell the key
            key = c;
        }
    }
    if (!key || !data_.column)
        throw unreadable();

    // The index: only the key is bound while the whole table is scanned.
    std::vector<MdbColumn*> all = Columns(table_.get());
    auto number = [&](MdbColumn* c) {
        return static_cast<int>(std::find(all.begin(), all.end(), c) - all.begin()) + 1;
    };
    key_.column = key;
    key_.buffer.assign(kInPageBindSize, 0);
    mdb_bind_column(table_.get(), number(key), key_.buffer.data(), &key_.length);
    mdb_rewind_table(table_.get());
    while (mdb_fetch_row(table_.get())) {
        if (key->cur_value_len == 0)
            continue;
        std::optional<std::int64_t> value = Number(BoundText(key_));
        if (!value || table_->cur_row == 0)
            continue;
        rows_[static_cast<std::int32_t>(*value)].push_back(
            {table_->cur_phys_pg, static_cast<std::uint16_t>(table_->cur_row - 1)});
    }
    for (Bound* bound : {&data_, &name_, &type_}) {
        if (!bound->column)
            continue;
        bound->buffer.assign(kInPageBindSize, 0);
        mdb_bind_column(table_.get(), number(bound->column), bound->buffer.data(), &bound->length);
    }
}

AttachmentTable::~AttachmentTable() = default;

std::size_t AttachmentTable::CountOf(std::int32_t key) const {
    auto it = rows_.find(key);
    return it == rows_.end() ? 0 : it->second.size();
}

std::string AttachmentTable::BoundText(const Bound& bound) const {
    if (!bound.column || bound.column->cur_value_len == 0)
        return {};
    auto length = static_cast<std::size_t>(
        std::clamp(bound.length, 0, static_cast<int>(bound.buffer.size())));
    return {reinterpret_cast<const char*>(bound.buffer.data()), length};
}

// Reads the row at `at` into the bound buffers. The page was a data page of this table when
// the index was made; it is checked again because the file is read, not trusted.
void AttachmentTable::ReadRow(const RowAddress& at) {
    MdbHandle* mdb = handle_.get();
    auto pageSize = static_cast<std::size_t>(mdb->fmt->pg_size);
    bool ok = mdb_read_pg(mdb, at.page) == static_cast<ssize_t>(pageSize) &&
              mdb->pg_buf[0] == kDataPage &&
              mdb_get_int32(mdb->pg_buf, kDataPageOwnerOffset) == static_cast<long>(tablePage_) &&
              at.row < mdb_get_int16(mdb->pg_buf, mdb->fmt->row_count_offset);
    table_->cur_phys_pg = at.page;
    table_->cur_row = at.row + 1u;
    if (!ok || !mdb_read_row(table_.get(), at.row))
        throw Error("The attachments of field '" + fieldName_ +
                    "' cannot be read; the database may be damaged.");
}

AttachedFile AttachmentTable::Read(std::int32_t key, std::size_t index, bool withBytes,
                                   std::vector<std::string>* recordMessages) {
    auto it = rows_.find(key);
    if (it == rows_.end() || index >= it->second.size())
        Throw(ErrorCode::ItemNotFound);
    ReadRow(it->second[index]);
    AttachedFile file;
    file.fileName = BoundText(name_);
    file.fileType = BoundText(type_);
    MdbColumn* column = data_.column;
    if (column->cur_value_len >= static_cast<int>(kLongValueHeaderBytes))
        file.storedBytes = LongValueDeclaredSize(
            std::span<const std::uint8_t>(data_.buffer).first<kLongValueHeaderBytes>());
    if (!withBytes)
        return file;

    std::string what =
        "The attached file '" + file.fileName + "' of field '" + fieldName_ + "' is damaged: ";
    if (column->cur_value_len == 0)
        throw Error(what + "it has no data.");
    std::array<std::uint8_t, kLongValueHeaderBytes> header{};
    std::copy_n(data_.buffer.begin(), header.size(), header.begin());
    LongValueReader reader(handle_.get(), column, data_.buffer, header, column->cur_value_len,
                           imageBytes_, fieldName_ + "' attached file '" + file.fileName,
                           recordMessages);
    std::size_t size = EnforcePlausibleSize(reader.DeclaredSize(), imageBytes_, "attachment value");
    std::vector<std::uint8_t> stored(size);
    stored.resize(reader.Read(stored));
    try {
        file.bytes = DecodeAttachmentData(std::move(stored)).bytes;
    } catch (const Error& e) {
        throw Error(what + e.description() + ".");
    }
    return file;
}

}  // namespace pictrova::database
