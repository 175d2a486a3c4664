// SPDX-License-Identifier: GPL-3.0-or-later
// Regression: libmdb copies a table's usage map from the row its table definition points at
// without checking that the row has bytes, and dereferences the null copy on the first scan
// (a segmentation fault). A zeroed or overwritten usage-map page gives exactly that row. The
// layer now refuses such a table with an error instead of handing it to libmdb.

#include <gtest/gtest.h>

#include "common/error.h"
#include "database/connection.h"
#include "database/connection_string.h"
#include "database/recordset.h"
#include "database/schema_listing.h"
#include "database_fixtures.h"

namespace pictrova::database {
namespace {

using namespace pictrova::database::testing;
using pictrova::testing::TempDir;

// Jet4 and ACE layouts: a table definition page (type 0x02) keeps its usage map's page and row
// at byte 55; a data page keeps its row count at 12 and the rows' start offsets after it, the
// first row ending at the page's end and each later one where the one before starts.
constexpr std::size_t kPageSize = 4096;
constexpr std::size_t kUsageMapPointer = 55;
constexpr std::size_t kRowCountOffset = 12;

std::uint16_t U16At(const Bytes& bytes, std::size_t at) { return static_cast<std::uint16_t>(bytes[at] | bytes[at + 1] << 8); }

// Makes the usage-map row of the table defined on `definitionPage` zero bytes long.
void MakeUsageMapRowEmpty(Bytes& file, std::size_t definitionPage) {
    const std::uint32_t pointer = U32At(file, definitionPage * kPageSize + kUsageMapPointer);
    const std::size_t page = (pointer >> 8) * kPageSize;
    const std::size_t row = pointer & 0xFF;
    const std::size_t end = row == 0 ? kPageSize : U16At(file, page + kRowCountOffset + 2 * row) & 0x1FFF;
    const std::size_t at = page + kRowCountOffset + 2 + 2 * row;
    file[at] = static_cast<std::uint8_t>(end);
    file[at + 1] = static_cast<std::uint8_t>(end >> 8);
}

std::string DamagedDatabase(const TempDir& dir, jet::Format format, bool catalog) {
    jet::DatabasePlan plan;
    plan.format = format;
    plan.tables.push_back({"Pictures", {{"ID", jet::ColumnType::Long}, {"Picture", jet::ColumnType::OleObject}},
                           {{std::int64_t(1), Pattern(100, 1)}}});
    const std::string path = Write(dir, catalog ? "catalog.mdb" : "table.mdb", plan);
    Bytes file = ReadFile(path);
    // The catalog's definition is page 2; the user table's is the next definition page.
    std::size_t definition = 2;
    if (!catalog) {
        do ++definition;
        while (file[definition * kPageSize] != 0x02);
    }
    MakeUsageMapRowEmpty(file, definition);
    WriteFile(path, file);
    return path;
}

class EmptyUsageMapRow : public ::testing::TestWithParam<jet::Format> {};

TEST_P(EmptyUsageMapRow, OfTheCatalogMakesTheFileUnrecognized) {
    TempDir dir;
    const std::string path = DamagedDatabase(dir, GetParam(), true);
    Connection connection;
    try {
        connection.Open(BuildConnectionString(FixedDatabaseSelection(path, "")));
        FAIL() << "opened";
    } catch (const Error& e) {
        EXPECT_EQ(e.description(), "Unrecognized database format '" + path + "'.");
    }
}

TEST_P(EmptyUsageMapRow, OfATableRefusesThatTableOnly) {
    TempDir dir;
    const std::string path = DamagedDatabase(dir, GetParam(), false);
    Connection connection;
    connection.Open(BuildConnectionString(FixedDatabaseSelection(path, "")));
    Recordset recordset;
    try {
        recordset.Open(RunSource("Pictures"), connection);
        FAIL() << "opened";
    } catch (const Error& e) {
        EXPECT_EQ(e.description(), "The table 'Pictures' cannot be read; the database may be damaged.");
    }
}

INSTANTIATE_TEST_SUITE_P(Formats, EmptyUsageMapRow, ::testing::Values(jet::Format::Jet4, jet::Format::Ace12));

}  // namespace
}  // namespace pictrova::database
