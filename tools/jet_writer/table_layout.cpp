// SPDX-License-Identifier: GPL-3.0-or-later
#include "jet_writer/table_layout.h"

#include "common/error.h"
#include "jet_writer/jet_text.h"
#include "jet_writer/page_format.h"

namespace pictrova::jet {

namespace {

constexpr std::size_t kMaxColumns = 255;  // readers use the low byte of column numbers
constexpr std::uint16_t kMaxTextCharacters = 255;
constexpr std::uint16_t kMaxBinaryBytes = 510;
constexpr std::uint16_t kGeneralSortOrder = 0x0409;

// TDEF header fields (offsets into the stream, which starts with the page header).
constexpr std::size_t kDefinitionLength = 8;
constexpr std::size_t kRowCount = 16;
constexpr std::size_t kNextAutonumber = 20;
constexpr std::size_t kTableType = 40;
constexpr std::size_t kMaxColumnCount = 41;
constexpr std::size_t kVariableColumnCount = 43;
constexpr std::size_t kColumnCount = 45;
constexpr std::size_t kLogicalIndexCount = 47;
constexpr std::size_t kPhysicalIndexCount = 51;
constexpr std::size_t kOwnedMap = 55;
constexpr std::size_t kFreeSpaceMap = 59;
constexpr std::size_t kColumnDescriptors = 63;
constexpr std::uint8_t kUserTable = 0x4E;
constexpr std::uint8_t kSystemTable = 0x53;

// Column descriptor, 25 bytes.
constexpr std::size_t kDescriptorSize = 25;
constexpr std::size_t kColType = 0;
constexpr std::size_t kColNumber = 5;
constexpr std::size_t kColVariableIndex = 7;
constexpr std::size_t kColNumberAgain = 9;
constexpr std::size_t kColSortOrder = 11;
constexpr std::size_t kColComplexId = 11;  // complex columns: the same bytes hold their id
constexpr std::size_t kColSortVersion = 14;
constexpr std::size_t kColFlags = 15;
constexpr std::size_t kColCompressedUnicode = 16;
constexpr std::size_t kColFixedOffset = 21;
constexpr std::size_t kColSize = 23;
constexpr std::uint8_t kFlagFixed = 0x01;
constexpr std::uint8_t kFlagNullable = 0x02;
constexpr std::uint8_t kFlagAutoNumber = 0x04;

std::uint16_t FixedSize(ColumnType type) {
    switch (type) {
        case ColumnType::Integer:
            return 2;
        case ColumnType::Long:
        case ColumnType::Attachment:
            return 4;
        default:
            return 0;
    }
}

bool IsText(ColumnType type) {
    return type == ColumnType::Text || type == ColumnType::Memo;
}

}  // namespace

TableLayout LayOutTable(const std::string& tableName, std::span<const ColumnPlan> columns) {
    if (columns.empty() || columns.size() > kMaxColumns)
        throw Error("table " + tableName + " must have 1 to 255 columns");
    TableLayout layout;
    for (const ColumnPlan& plan : columns) {
        if (plan.name.empty())
            throw Error("table " + tableName + " has a column without a name");
        ColumnLayout column;
        column.plan = plan;
        column.number = static_cast<std::uint16_t>(layout.columns.size());
        switch (plan.type) {
            case ColumnType::Integer:
            case ColumnType::Long:
            case ColumnType::Attachment:
                column.fixed = true;
                column.size = FixedSize(plan.type);
                column.fixedOffset = layout.fixedSize;
                layout.fixedSize = static_cast<std::uint16_t>(layout.fixedSize + column.size);
                break;
            case ColumnType::Text:
            case ColumnType::Binary: {
                std::uint16_t limit =
                    plan.type == ColumnType::Text ? kMaxTextCharacters : kMaxBinaryBytes;
                if (plan.maxLength > limit)
                    throw Error("column " + plan.name + " of table " + tableName + " is too long");
                std::uint16_t length = plan.maxLength == 0 ? limit : plan.maxLength;
                column.plan.maxLength = length;
                column.size =
                    static_cast<std::uint16_t>(plan.type == ColumnType::Text ? length * 2 : length);
                column.variableIndex = layout.variableCount++;
                break;
            }
            case ColumnType::Memo:
            case ColumnType::OleObject:
                column.variableIndex = layout.variableCount++;
                break;
            default:
                throw Error("column " + plan.name + " of table " + tableName +
                            " has an unsupported type");
        }
        layout.columns.push_back(std::move(column));
    }
    return layout;
}

std::vector<std::uint8_t> BuildTableDefinition(const TableLayout& layout,
                                               const TableDefinitionInfo& info) {
    std::vector<std::uint8_t> def(kColumnDescriptors + layout.columns.size() * kDescriptorSize);
    def[0] = kPageTableDefinition;
    def[1] = 0x01;
    Put32(&def[kRowCount], info.rowCount);
    Put32(&def[kNextAutonumber], info.rowCount + 1);
    def[kTableType] = info.system ? kSystemTable : kUserTable;
    auto columnCount = static_cast<std::uint32_t>(layout.columns.size());
    Put16(&def[kMaxColumnCount], columnCount);
    Put16(&def[kVariableColumnCount], layout.variableCount);
    Put16(&def[kColumnCount], columnCount);
    Put32(&def[kLogicalIndexCount], 0);
    Put32(&def[kPhysicalIndexCount], 0);
    Put32(&def[kOwnedMap], info.ownedMap);
    Put32(&def[kFreeSpaceMap], info.freeSpaceMap);

    for (const ColumnLayout& column : layout.columns) {
        std::uint8_t* d = &def[kColumnDescriptors + column.number * kDescriptorSize];
        d[kColType] = static_cast<std::uint8_t>(column.plan.type);
        Put16(d + kColNumber, column.number);
        Put16(d + kColVariableIndex, column.fixed ? 0 : column.variableIndex);
        Put16(d + kColNumberAgain, column.number);
        if (IsText(column.plan.type)) {
            Put16(d + kColSortOrder, kGeneralSortOrder);
            d[kColSortVersion] = info.aceSortOrder ? 1 : 0;
            d[kColCompressedUnicode] = 1;
        }
        // Access flags a complex column as an auto-number too: its keys are handed out by the
        // table.
        bool autoNumber = column.plan.autoNumber || column.plan.type == ColumnType::Attachment;
        d[kColFlags] = static_cast<std::uint8_t>(kFlagNullable | (column.fixed ? kFlagFixed : 0) |
                                                 (autoNumber ? kFlagAutoNumber : 0));
        if (column.plan.type == ColumnType::Attachment)
            Put32(d + kColComplexId, column.complexId);
        Put16(d + kColFixedOffset, column.fixed ? column.fixedOffset : 0);
        Put16(d + kColSize, column.size);
    }
    for (const ColumnLayout& column : layout.columns) {
        std::vector<std::uint8_t> name = Ucs2Bytes(Utf8ToUtf16(column.plan.name));
        def.push_back(static_cast<std::uint8_t>(name.size()));
        def.push_back(static_cast<std::uint8_t>(name.size() >> 8));
        def.insert(def.end(), name.begin(), name.end());
    }
    // Long-value columns: where their long-value pages are recorded (Access keeps this list;
    // the readers follow the pointers in the rows instead).
    for (const ColumnLayout& column : layout.columns) {
        if (!column.IsLongValue())
            continue;
        std::uint8_t entry[10];
        Put16(entry, column.number);
        Put32(entry + 2, info.longValueMap);
        Put32(entry + 6, info.freeSpaceMap);
        def.insert(def.end(), entry, entry + sizeof entry);
    }
    def.push_back(0xFF);
    def.push_back(0xFF);
    Put32(&def[kDefinitionLength], static_cast<std::uint32_t>(def.size() - 8));
    return def;
}

}  // namespace pictrova::jet
