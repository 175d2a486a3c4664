// SPDX-License-Identifier: GPL-3.0-or-later
#include <algorithm>
#include <array>
#include <cstring>
#include <functional>
#include <limits>

#include "common/error.h"
#include "jet_writer/header_page.h"
#include "jet_writer/jet_text.h"
#include "jet_writer/jet_writer.h"
#include "jet_writer/page_format.h"
#include "jet_writer/page_sink.h"
#include "jet_writer/table_layout.h"
#include "jet_writer/usage_map.h"

// File layout: page 0 header, page 1 usage-map rows, page 2 the catalog's definition, then one
// definition page per table (reserved up front because every data page names its table's
// definition page), then data and long-value pages as rows arrive. At the end come the
// catalog's rows, usage-bitmap pages, further map-holder pages and definition continuations.

namespace pictrova::jet {

namespace {

constexpr std::size_t kMemoCompressionLimit = 1024;  // longer Memo text is never compressed

// A data, long-value or map-holder page being filled with rows from its end downwards.
struct OpenPage {
    std::uint32_t number = 0;  // 0: no page open
    std::array<std::uint8_t, kPageSize> bytes{};
    std::uint16_t rows = 0;
    std::size_t top = kPageSize;  // first byte of the lowest row

    bool Fits(std::size_t length) const {
        return number != 0 && rows < kMaxRowsPerPage && length <= top &&
               top - length >= kDataPageFirstSlotOffset + 2 * (std::size_t{rows} + 1);
    }
    void Open(std::uint32_t pageNumber, std::uint32_t owner) {
        number = pageNumber;
        bytes.fill(0);
        bytes[0] = kPageData;
        bytes[1] = 0x01;
        Put32(&bytes[kDataPageOwnerOffset], owner);
        rows = 0;
        top = kPageSize;
    }
    // Reserves a row of `length` bytes (Fits must hold); returns its pg_row and its bytes.
    std::uint32_t AddRow(std::size_t length, std::uint8_t** rowBytes) {
        top -= length;
        Put16(&bytes[kDataPageFirstSlotOffset + 2 * std::size_t{rows}],
              static_cast<std::uint32_t>(top));
        *rowBytes = &bytes[top];
        return PageRow(number, rows++);
    }
    std::span<const std::uint8_t, kPageSize> Finish() {
        Put16(&bytes[2],
              static_cast<std::uint32_t>(top - kDataPageFirstSlotOffset - 2 * std::size_t{rows}));
        Put16(&bytes[kDataPageRowCountOffset], rows);
        return bytes;
    }
};

// An attachment column of a table and the hidden table that holds its files.
struct AttachmentLink {
    std::size_t column = 0;     // in the parent table
    std::size_t flatTable = 0;  // index in DatabaseWriter::Impl::tables
    std::uint32_t complexId = 0;
    std::int64_t nextKey = 1;
};

struct Table {
    std::string name;
    bool system = false;
    std::int64_t catalogFlags = 0;
    std::vector<AttachmentLink> attachments;
    std::int64_t nextFileId = 1;  // hidden tables: the auto-number of their rows
    std::uint32_t definitionPage = 0;
    TableLayout layout;
    OpenPage data;
    OpenPage longValues;
    std::vector<std::uint32_t> dataPages;
    std::vector<std::uint32_t> longValuePages;
    std::uint32_t rowCount = 0;
};

// One cell after encoding: the bytes that go into the row or onto long-value pages.
struct Cell {
    bool present = false;
    std::uint64_t fixedValue = 0;
    Bytes owned;
    ByteView bytes;
    bool inlineValue = false;
    std::uint32_t longValueHeader[2] = {0, 0};  // length|storage, pg_row
};

const char* TypeName(ColumnType type) {
    switch (type) {
        case ColumnType::Integer:
            return "Integer";
        case ColumnType::Long:
            return "Long";
        case ColumnType::Binary:
            return "Binary";
        case ColumnType::Text:
            return "Text";
        case ColumnType::OleObject:
            return "OLE Object";
        case ColumnType::Memo:
            return "Memo";
        case ColumnType::Attachment:
            return "Attachment";
    }
    return "?";
}

std::vector<ColumnPlan> CatalogColumns(bool namesInMemo) {
    return {
        {"Id", ColumnType::Long, 0},
        {"ParentId", ColumnType::Long, 0},
        namesInMemo ? ColumnPlan{"Name", ColumnType::Memo, 0}
                    : ColumnPlan{"Name", ColumnType::Text, 128},
        {"Type", ColumnType::Integer, 0},
        {"Flags", ColumnType::Long, 0},
        {"ForeignName", ColumnType::Text, 128},
        {"Database", ColumnType::Memo, 0},
        {"Connect", ColumnType::Memo, 0},
        {"LvProp", ColumnType::OleObject, 0},  // libmdb refuses a catalog without it; left NULL
    };
}

constexpr std::int64_t kSystemObjectFlags = std::int32_t(0x80000002u);
constexpr std::int64_t kHiddenComplexTableFlags =
    std::int32_t(0x800A0000u);  // as Access marks f_ tables

constexpr char kComplexColumnsName[] = "MSysComplexColumns";
constexpr char kAttachmentTypeName[] = "MSysComplexType_Attachment";

const std::vector<ColumnPlan>& ComplexColumnsColumns() {
    static const std::vector<ColumnPlan> columns{
        {"ColumnName", ColumnType::Text, 255},        {"ComplexID", ColumnType::Long, 0},
        {"ComplexTypeObjectID", ColumnType::Long, 0}, {"ConceptualTableID", ColumnType::Long, 0},
        {"FlatTableID", ColumnType::Long, 0},
    };
    return columns;
}

// The attachment type's columns, in the order the hidden tables repeat them. (Access also has
// FileTimeStamp, a date; the writer has no date type and no reader needs it.)
const std::vector<ColumnPlan>& AttachmentTypeColumns() {
    static const std::vector<ColumnPlan> columns{
        {"FileData", ColumnType::OleObject, 0}, {"FileFlags", ColumnType::Long, 0},
        {"FileName", ColumnType::Text, 255},    {"FileType", ColumnType::Text, 255},
        {"FileURL", ColumnType::Memo, 0},
    };
    return columns;
}

// The hidden table's name: f_, 32 hex digits (a GUID in Access; a hash of the names here, so
// files are reproducible) and the column's name.
std::string FlatTableName(const std::string& table, const std::string& column) {
    std::uint64_t a = 0xcbf29ce484222325ull, b = 0x84222325cbf29ce4ull;
    for (unsigned char c : table + '\0' + column) {
        a = (a ^ c) * 0x100000001b3ull;
        b = (b ^ c) * 0x100000001b3ull + 1;
    }
    static const char* kHex = "0123456789ABCDEF";
    std::string name = "f_";
    for (std::uint64_t part : {a, b})
        for (int shift = 60; shift >= 0; shift -= 4)
            name += kHex[(part >> shift) & 15];
    return name + "_" + column;
}
constexpr std::int64_t kTablesContainerId = 0x0F000001;
constexpr std::uint32_t kFirstNonTableId = 0xFFFF01;  // queries and links own no pages
constexpr std::uint32_t kMaxPages = 1u << 24;

}  // namespace

struct DatabaseWriter::Impl {
    // The sink is opened only once the plan is known to be writable, so a refused plan leaves
    // an existing file alone.
    Impl(const DatabasePlan& plan, const std::function<std::unique_ptr<PageSink>()>& openSink) {
        settings.format = plan.format;
        settings.password = plan.password;
        settings.encodingKey = plan.encodingKey;
        settings.creationDate = plan.creationDate;
        settings.inlineLimit = plan.inlineLimit;
        otherObjects = plan.otherObjects;
        if (plan.format < Format::Jet4 || plan.format > Format::Ace17)
            throw Error("unknown database format");
        if (plan.encodingKey != 0 && plan.format != Format::Jet4)
            throw Error("page encoding is a Jet4 feature; ACE databases use Office encryption");
        BuildHeaderPage(settings);  // validates the password before any page is written

        catalog.name = "MSysObjects";
        catalog.system = true;
        catalog.definitionPage = kCatalogDefinitionPage;
        catalog.layout = LayOutTable(catalog.name, CatalogColumns(plan.catalogNamesInMemo));
        nextPage = kCatalogDefinitionPage + 1;
        for (const TablePlan& tablePlan : plan.tables) {
            Table table;
            table.name = tablePlan.name;
            if (table.name.empty())
                throw Error("a table needs a name");
            table.layout = LayOutTable(table.name, tablePlan.columns);
            table.definitionPage = AllocatePages(1);
            tables.push_back(std::move(table));
        }
        userTables = tables.size();
        AddAttachmentTables();
        sink = openSink();
    }

    void AddAttachmentTables();
    Table& SystemTable(const std::string& name, const std::vector<ColumnPlan>& columns,
                       std::int64_t flags);
    void AddRow(Table& table, std::span<const Value> values);
    void PlaceLongValue(Table& table, Cell& cell);
    std::uint32_t WriteChain(Table& table, ByteView value);
    // Pages are addressed by 24 bits in row pointers (page << 8 | row): 64 GiB at most.
    std::uint32_t AllocatePages(std::size_t count) {
        if (count > kMaxPages - nextPage)
            throw Error("the database would exceed 2^24 pages");
        std::uint32_t first = nextPage;
        nextPage += static_cast<std::uint32_t>(count);
        return first;
    }
    void StartPage(OpenPage& page, std::uint32_t owner) { page.Open(AllocatePages(1), owner); }
    void FlushPage(OpenPage& page, std::vector<std::uint32_t>& record) {
        if (page.number == 0)
            return;
        sink->Write(page.number, page.Finish());
        record.push_back(page.number);
        page.number = 0;
    }
    std::uint32_t PlaceMapRow(const std::vector<std::uint8_t>& row);
    void WriteDefinition(const Table& table, const TableDefinitionInfo& info);
    WriteSummary Finish();

    DatabasePlan settings;  // without tables
    std::vector<CatalogObjectPlan> otherObjects;
    std::unique_ptr<PageSink> sink;
    Table catalog;
    std::vector<Table> tables;  // the plan's tables, then the system tables attachments need
    std::size_t userTables = 0;
    std::size_t complexColumnsTable = 0;  // when there are attachment columns
    std::size_t attachmentTypeTable = 0;
    std::uint32_t nextPage = 0;
    OpenPage mapHolder;
    std::vector<std::uint32_t> mapHolderPages;
    std::vector<std::uint8_t> rowBuffer;
    bool finished = false;
};

Table& DatabaseWriter::Impl::SystemTable(const std::string& name,
                                         const std::vector<ColumnPlan>& columns,
                                         std::int64_t flags) {
    Table table;
    table.name = name;
    table.system = true;
    table.catalogFlags = flags;
    table.layout = LayOutTable(name, columns);
    table.definitionPage = AllocatePages(1);
    tables.push_back(std::move(table));
    return tables.back();
}

void DatabaseWriter::Impl::AddAttachmentTables() {
    std::uint32_t complexId = 0;
    for (std::size_t t = 0; t < userTables; ++t) {
        for (std::size_t c = 0; c < tables[t].layout.columns.size(); ++c) {
            if (tables[t].layout.columns[c].plan.type != ColumnType::Attachment)
                continue;
            if (settings.format == Format::Jet4)
                throw Error("attachment columns need an ACE database");
            if (complexId == 0) {
                complexColumnsTable = tables.size();
                SystemTable(kComplexColumnsName, ComplexColumnsColumns(), kSystemObjectFlags);
                attachmentTypeTable = tables.size();
                SystemTable(kAttachmentTypeName, AttachmentTypeColumns(), kSystemObjectFlags);
            }
            const std::string parent = tables[t].name;
            const std::string column = tables[t].layout.columns[c].plan.name;
            std::vector<ColumnPlan> flatColumns = AttachmentTypeColumns();
            flatColumns.push_back({parent + "_" + column, ColumnType::Long, 0, true});
            flatColumns.push_back({"_" + column, ColumnType::Long, 0});
            AttachmentLink link;
            link.column = c;
            link.flatTable = tables.size();
            link.complexId = ++complexId;
            SystemTable(FlatTableName(parent, column), flatColumns, kHiddenComplexTableFlags);
            tables[t].layout.columns[c].complexId = link.complexId;
            tables[t].attachments.push_back(link);
        }
    }
}

namespace {

std::string Where(const std::string& table, const ColumnLayout& column) {
    return "column " + column.plan.name + " of table " + table;
}

ByteView BytesOf(const Value& value) {
    if (const auto* owned = std::get_if<Bytes>(&value))
        return *owned;
    return std::get<ByteView>(value);
}

Cell EncodeCell(const std::string& table, const ColumnLayout& column, const Value& value) {
    Cell cell;
    if (std::holds_alternative<std::monostate>(value))
        return cell;
    cell.present = true;
    auto wrongKind = [&] {
        return Error("value of the wrong kind for " + std::string(TypeName(column.plan.type)) +
                     " " + Where(table, column));
    };
    switch (column.plan.type) {
        case ColumnType::Integer:
        case ColumnType::Long: {
            const auto* number = std::get_if<std::int64_t>(&value);
            if (!number)
                throw wrongKind();
            bool wide = column.plan.type == ColumnType::Long;
            std::int64_t low = wide ? std::numeric_limits<std::int32_t>::min()
                                    : std::numeric_limits<std::int16_t>::min();
            std::int64_t high = wide ? std::numeric_limits<std::int32_t>::max()
                                     : std::numeric_limits<std::int16_t>::max();
            if (*number < low || *number > high)
                throw Error("number out of range for " + Where(table, column));
            cell.fixedValue = static_cast<std::uint64_t>(*number);
            return cell;
        }
        case ColumnType::Text:
        case ColumnType::Memo: {
            const auto* text = std::get_if<std::string>(&value);
            if (!text)
                throw wrongKind();
            std::size_t characters = Utf8ToUtf16(*text).size();
            bool memo = column.plan.type == ColumnType::Memo;
            if (!memo && characters > column.plan.maxLength)
                throw Error("text too long for " + Where(table, column));
            cell.owned = EncodeStoredText(*text, !memo || characters <= kMemoCompressionLimit);
            cell.bytes = cell.owned;
            return cell;
        }
        case ColumnType::Attachment:
            // The key is filled in by the caller, which also writes the files.
            if (!std::holds_alternative<Attachments>(value))
                throw wrongKind();
            return cell;
        case ColumnType::Binary:
        case ColumnType::OleObject: {
            if (!std::holds_alternative<Bytes>(value) && !std::holds_alternative<ByteView>(value))
                throw wrongKind();
            cell.bytes = BytesOf(value);
            if (column.plan.type == ColumnType::Binary && cell.bytes.size() > column.plan.maxLength)
                throw Error("value too long for " + Where(table, column));
            return cell;
        }
    }
    throw wrongKind();
}

}  // namespace

void DatabaseWriter::Impl::AddRow(Table& table, std::span<const Value> values) {
    const TableLayout& layout = table.layout;
    if (values.size() != layout.columns.size())
        throw Error("a row of table " + table.name + " needs " +
                    std::to_string(layout.columns.size()) + " values");
    std::vector<Cell> cells;
    cells.reserve(values.size());
    for (std::size_t i = 0; i < values.size(); ++i)
        cells.push_back(EncodeCell(table.name, layout.columns[i], values[i]));
    for (AttachmentLink& link : table.attachments)
        if (cells[link.column].present)
            cells[link.column].fixedValue = static_cast<std::uint64_t>(link.nextKey++);

    // Long values go inline when small; if the row then outgrows a page, the largest inline
    // values move out to long-value pages until it fits.
    std::size_t rowSize = layout.RowOverhead();
    for (std::size_t i = 0; i < cells.size(); ++i) {
        const ColumnLayout& column = layout.columns[i];
        Cell& cell = cells[i];
        if (column.fixed || !cell.present)
            continue;
        if (!column.IsLongValue()) {
            rowSize += cell.bytes.size();
            continue;
        }
        if (cell.bytes.size() > kLongValueMaxLength)
            throw Error("value too large for " + Where(table.name, column));
        cell.inlineValue = cell.bytes.empty() || cell.bytes.size() <= settings.inlineLimit;
        rowSize += kLongValueHeaderSize + (cell.inlineValue ? cell.bytes.size() : 0);
    }
    while (rowSize > kMaxRowSize) {
        Cell* largest = nullptr;
        for (Cell& cell : cells)
            if (cell.inlineValue && !cell.bytes.empty() &&
                (!largest || cell.bytes.size() > largest->bytes.size()))
                largest = &cell;
        if (!largest)
            throw Error("a row of table " + table.name + " does not fit a page");
        largest->inlineValue = false;
        rowSize -= largest->bytes.size();
    }
    for (std::size_t i = 0; i < cells.size(); ++i)
        if (cells[i].present && layout.columns[i].IsLongValue())
            PlaceLongValue(table, cells[i]);

    rowBuffer.assign(rowSize, 0);
    std::uint8_t* row = rowBuffer.data();
    Put16(row, static_cast<std::uint32_t>(layout.columns.size()));
    std::vector<std::uint16_t> offsets(layout.variableCount + 1);
    std::size_t position = 2 + layout.fixedSize;
    std::size_t maskStart = rowSize - layout.NullMaskSize();
    for (std::size_t i = 0; i < cells.size(); ++i) {
        const ColumnLayout& column = layout.columns[i];
        const Cell& cell = cells[i];
        if (cell.present)
            row[maskStart + column.number / 8] |=
                static_cast<std::uint8_t>(1u << (column.number % 8));
        if (column.fixed) {
            if (!cell.present)
                continue;
            std::uint8_t* at = row + 2 + column.fixedOffset;
            if (column.size == 2)
                Put16(at, static_cast<std::uint32_t>(cell.fixedValue));
            else
                Put32(at, static_cast<std::uint32_t>(cell.fixedValue));
            continue;
        }
        // Variable columns are numbered in column order, so their data is in column order too.
        offsets[column.variableIndex] = static_cast<std::uint16_t>(position);
        if (!cell.present)
            continue;
        if (column.IsLongValue()) {
            Put32(row + position, cell.longValueHeader[0]);
            Put32(row + position + 4, cell.longValueHeader[1]);
            position += kLongValueHeaderSize;
            if (!cell.inlineValue)
                continue;
        }
        if (!cell.bytes.empty())
            std::memcpy(row + position, cell.bytes.data(), cell.bytes.size());
        position += cell.bytes.size();
    }
    offsets[layout.variableCount] = static_cast<std::uint16_t>(position);
    // After the data: end of data, then the offsets last column first, then the count.
    std::uint8_t* tail = row + position;
    for (std::size_t k = layout.variableCount + 1; k-- > 0;) {
        Put16(tail, offsets[k]);
        tail += 2;
    }
    Put16(tail, layout.variableCount);

    if (!table.data.Fits(rowSize)) {
        FlushPage(table.data, table.dataPages);
        StartPage(table.data, table.definitionPage);
    }
    std::uint8_t* target = nullptr;
    table.data.AddRow(rowSize, &target);
    std::memcpy(target, row, rowSize);
    ++table.rowCount;

    // The row's files go to the hidden tables once the row itself is placed (rowBuffer is free).
    for (const AttachmentLink& link : table.attachments) {
        const auto* files = std::get_if<Attachments>(&values[link.column]);
        if (!files)
            continue;
        Table& flat = tables[link.flatTable];
        std::int64_t key = static_cast<std::int64_t>(cells[link.column].fixedValue);
        for (const AttachmentPlan& file : *files) {
            Bytes stored = file.storedData
                               ? *file.storedData
                               : EncodeAttachmentData(file.fileType, file.content, file.deflate);
            Row fileRow{std::move(stored), Null, file.fileName, file.fileType, Null,
                        flat.nextFileId++, key};
            AddRow(flat, fileRow);
        }
    }
}

void DatabaseWriter::Impl::PlaceLongValue(Table& table, Cell& cell) {
    auto length = static_cast<std::uint32_t>(cell.bytes.size());
    if (cell.inlineValue) {
        cell.longValueHeader[0] = length | kLongValueInline;
        return;
    }
    if (length <= kMaxRowSize) {
        // One row that holds exactly the value: libmdb returns the whole row.
        if (!table.longValues.Fits(length)) {
            FlushPage(table.longValues, table.longValuePages);
            StartPage(table.longValues, kLongValueOwner);
        }
        std::uint8_t* target = nullptr;
        cell.longValueHeader[1] = table.longValues.AddRow(length, &target);
        std::memcpy(target, cell.bytes.data(), length);
        cell.longValueHeader[0] = length | kLongValueSingleRow;
        return;
    }
    cell.longValueHeader[1] = WriteChain(table, cell.bytes);
    cell.longValueHeader[0] = length;
}

// A chain of rows, each a u32 pg_row of the next (0 at the end) and up to 4076 data bytes.
// Full segments fill pages of their own, written straight out; the last, shorter segment
// shares the table's open long-value page. Its place is taken before the full segments are
// written so that the one before it can point at it.
std::uint32_t DatabaseWriter::Impl::WriteChain(Table& table, ByteView value) {
    std::size_t segments = (value.size() + kChainSegmentData - 1) / kChainSegmentData;
    std::size_t lastSize = value.size() - (segments - 1) * kChainSegmentData;
    std::uint32_t firstFull = AllocatePages(segments - 1);
    if (!table.longValues.Fits(4 + lastSize)) {
        FlushPage(table.longValues, table.longValuePages);
        StartPage(table.longValues, kLongValueOwner);
    }
    std::uint8_t* last = nullptr;
    std::uint32_t lastRow = table.longValues.AddRow(4 + lastSize, &last);
    Put32(last, 0);
    std::memcpy(last + 4, value.data() + (segments - 1) * kChainSegmentData, lastSize);

    OpenPage page;
    for (std::size_t i = 0; i + 1 < segments; ++i) {
        page.Open(firstFull + static_cast<std::uint32_t>(i), kLongValueOwner);
        std::uint8_t* row = nullptr;
        page.AddRow(kMaxRowSize, &row);
        Put32(row, i + 2 < segments ? PageRow(firstFull + static_cast<std::uint32_t>(i) + 1, 0)
                                    : lastRow);
        std::memcpy(row + 4, value.data() + i * kChainSegmentData, kChainSegmentData);
        sink->Write(page.number, page.Finish());
        table.longValuePages.push_back(page.number);
    }
    return PageRow(firstFull, 0);
}

std::uint32_t DatabaseWriter::Impl::PlaceMapRow(const std::vector<std::uint8_t>& row) {
    if (!mapHolder.Fits(row.size())) {
        FlushPage(mapHolder, mapHolderPages);
        mapHolder.Open(mapHolderPages.empty() ? kMapHolderPage : AllocatePages(1), 0);
    }
    std::uint8_t* target = nullptr;
    std::uint32_t pgRow = mapHolder.AddRow(row.size(), &target);
    std::memcpy(target, row.data(), row.size());
    return pgRow;
}

void DatabaseWriter::Impl::WriteDefinition(const Table& table, const TableDefinitionInfo& info) {
    std::vector<std::uint8_t> stream = BuildTableDefinition(table.layout, info);
    constexpr std::size_t kPerPage = kPageSize - 8;
    std::size_t pageCount = (stream.size() - 8 + kPerPage - 1) / kPerPage;
    std::uint32_t page = table.definitionPage;
    for (std::size_t k = 0; k < pageCount; ++k) {
        std::array<std::uint8_t, kPageSize> bytes{};
        std::size_t from = 8 + k * kPerPage;
        std::size_t count = std::min(kPerPage, stream.size() - from);
        std::memcpy(&bytes[8], &stream[from], count);
        bytes[0] = kPageTableDefinition;
        bytes[1] = 0x01;
        Put16(&bytes[2], static_cast<std::uint32_t>(kPerPage - count));
        std::uint32_t next = k + 1 < pageCount ? AllocatePages(1) : 0;
        Put32(&bytes[4], next);
        sink->Write(page, bytes);
        page = next;
    }
}

WriteSummary DatabaseWriter::Impl::Finish() {
    if (finished)
        throw Error("the database is already finished");
    finished = true;

    auto catalogRow = [&](std::int64_t id, const std::string& name, std::int64_t type,
                          std::int64_t flags, Value foreignName = Null, Value database = Null) {
        Row row{id,
                kTablesContainerId,
                name,
                type,
                flags,
                std::move(foreignName),
                std::move(database),
                Null,
                Null};
        AddRow(catalog, row);
    };
    for (const Table& table : tables) {
        for (const AttachmentLink& link : table.attachments) {
            Row row{table.layout.columns[link.column].plan.name, std::int64_t{link.complexId},
                    std::int64_t{tables[attachmentTypeTable].definitionPage},
                    std::int64_t{table.definitionPage},
                    std::int64_t{tables[link.flatTable].definitionPage}};
            AddRow(tables[complexColumnsTable], row);
        }
    }
    catalogRow(kCatalogDefinitionPage, catalog.name, 1, kSystemObjectFlags);
    for (const Table& table : tables)
        catalogRow(table.definitionPage, table.name, 1, table.catalogFlags);
    std::uint32_t otherId = kFirstNonTableId;
    for (const CatalogObjectPlan& object : otherObjects) {
        if (object.kind == ObjectKind::LinkedTable)
            catalogRow(otherId++, object.name, static_cast<std::int64_t>(object.kind), 0,
                       object.foreignName, object.database);
        else
            catalogRow(otherId++, object.name, static_cast<std::int64_t>(object.kind), 0);
    }

    std::vector<Table*> all{&catalog};
    for (Table& table : tables)
        all.push_back(&table);
    for (Table* table : all) {
        FlushPage(table->data, table->dataPages);
        FlushPage(table->longValues, table->longValuePages);
    }

    BitmapPageWriter writeBitmap = [&](std::span<const std::uint8_t, kPageSize> page) {
        std::uint32_t number = AllocatePages(1);
        sink->Write(number, page);
        return number;
    };
    // Readers only need the free-space map to be a valid row; every table shares one empty map.
    std::uint32_t freeSpaceMap = PlaceMapRow(BuildUsageMap({}, writeBitmap));
    std::vector<TableDefinitionInfo> infos;
    for (Table* table : all) {
        TableDefinitionInfo info;
        info.system = table->system;
        info.rowCount = table->rowCount;
        info.freeSpaceMap = freeSpaceMap;
        info.aceSortOrder = settings.format >= Format::Ace14;
        info.ownedMap = PlaceMapRow(BuildUsageMap(table->dataPages, writeBitmap));
        std::vector<std::uint32_t> longValuePages = table->longValuePages;
        std::sort(longValuePages.begin(), longValuePages.end());
        info.longValueMap = PlaceMapRow(BuildUsageMap(longValuePages, writeBitmap));
        infos.push_back(info);
    }
    FlushPage(mapHolder, mapHolderPages);
    for (std::size_t i = 0; i < all.size(); ++i)
        WriteDefinition(*all[i], infos[i]);
    sink->Write(0, BuildHeaderPage(settings));
    sink->Close(nextPage);

    WriteSummary summary;
    summary.pages = nextPage;
    summary.fileBytes = std::uint64_t{nextPage} * kPageSize;
    for (const Table& table : tables) {
        summary.dataPages += static_cast<std::uint32_t>(table.dataPages.size());
        summary.longValuePages += static_cast<std::uint32_t>(table.longValuePages.size());
        summary.rows += table.rowCount;
    }
    return summary;
}

DatabaseWriter::DatabaseWriter(const std::filesystem::path& path, const DatabasePlan& plan)
    : DatabaseWriter(
          std::make_unique<Impl>(plan, [&] { return OpenFileSink(path, plan.encodingKey); })) {
    for (std::size_t t = 0; t < plan.tables.size(); ++t)
        for (const Row& row : plan.tables[t].rows)
            AddRow(t, row);
}

DatabaseWriter::DatabaseWriter(std::unique_ptr<Impl> impl) : impl_(std::move(impl)) {}
DatabaseWriter::~DatabaseWriter() = default;

void DatabaseWriter::AddRow(std::size_t table, std::span<const Value> values) {
    if (impl_->finished)
        throw Error("the database is already finished");
    if (table >= impl_->userTables)
        throw Error("no table number " + std::to_string(table));
    impl_->AddRow(impl_->tables[table], values);
}

WriteSummary DatabaseWriter::Finish() {
    return impl_->Finish();
}

WriteSummary WriteDatabase(const std::filesystem::path& path, const DatabasePlan& plan) {
    DatabaseWriter writer(path, plan);
    return writer.Finish();
}

std::vector<std::uint8_t> WriteDatabaseToMemory(const DatabasePlan& plan) {
    std::vector<std::uint8_t> bytes;
    DatabaseWriter writer(std::make_unique<DatabaseWriter::Impl>(
        plan, [&] { return OpenMemorySink(bytes, plan.encodingKey); }));
    for (std::size_t t = 0; t < plan.tables.size(); ++t)
        for (const Row& row : plan.tables[t].rows)
            writer.AddRow(t, row);
    writer.Finish();
    return bytes;
}

}  // namespace pictrova::jet
