// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// How one table's columns sit in its rows and in its table definition (TDEF) page.
//
// Row layout (Jet4/ACE), ascending:
//   u16 column count | fixed area (each fixed column at its offset) | variable data, back to back |
//   u16 end of variable data | u16 offset per variable column, last column first |
//   u16 variable column count | null mask, one bit per column number (set = value present)
// Offsets count from the row's first byte.

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "jet_writer/jet_writer.h"

namespace pictrova::jet {

struct ColumnLayout {
    ColumnPlan plan;
    std::uint16_t number = 0;  // position in the table; null-mask bit and sort key
    bool fixed = false;
    std::uint16_t variableIndex = 0;  // slot in the row's offset table (variable columns)
    std::uint16_t fixedOffset = 0;    // offset in the fixed area (fixed columns)
    std::uint16_t size = 0;           // descriptor length: bytes for fixed, maximum for Text/Binary
    std::uint32_t complexId = 0;      // attachment columns: their row in MSysComplexColumns
    bool IsLongValue() const {
        return plan.type == ColumnType::Memo || plan.type == ColumnType::OleObject;
    }
};

struct TableLayout {
    std::vector<ColumnLayout> columns;
    std::uint16_t fixedSize = 0;
    std::uint16_t variableCount = 0;

    std::size_t NullMaskSize() const { return (columns.size() + 7) / 8; }
    // Bytes a row takes besides its variable data.
    std::size_t RowOverhead() const {
        return 2 + fixedSize + 2 + 2 * variableCount + 2 + NullMaskSize();
    }
};

// Validates the columns (count, names, lengths) and assigns numbers and offsets.
TableLayout LayOutTable(const std::string& tableName, std::span<const ColumnPlan> columns);

struct TableDefinitionInfo {
    bool system = false;
    std::uint32_t rowCount = 0;
    std::uint32_t ownedMap = 0;      // pg_row of the map of the table's data pages
    std::uint32_t freeSpaceMap = 0;  // pg_row of the pages-with-free-space map
    std::uint32_t longValueMap = 0;  // pg_row of the map of the table's long-value pages
    bool aceSortOrder = false;       // ACE14 and later: sort-order version 1
};

// The TDEF as one byte stream whose first 8 bytes stand for the page header; the caller cuts
// it into pages, each carrying 4088 bytes of it after its own 8-byte header.
std::vector<std::uint8_t> BuildTableDefinition(const TableLayout& layout,
                                               const TableDefinitionInfo& info);

}  // namespace pictrova::jet
