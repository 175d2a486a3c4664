// SPDX-License-Identifier: GPL-3.0-or-later
// Fields of every column type with their type codes and values. Our writer stores Long,
// Integer, Text, Memo, Binary and OLE Object columns; the other fixed-size types are made by
// retyping Long columns in a written table definition, so their bytes are the Longs' bytes.

#include <cstring>

#include <gtest/gtest.h>

#include "database/connection.h"
#include "database/connection_string.h"
#include "database/recordset.h"
#include "database/schema_listing.h"
#include "database_fixtures.h"

namespace pictrova::database {
namespace {

using jet::ColumnType;
using pictrova::testing::TempDir;
using namespace pictrova::database::testing;

// Column descriptor (25 bytes each, in column order, just before the column names).
constexpr std::size_t kDescriptorBytes = 25;
constexpr std::size_t kDescriptorType = 0;
constexpr std::size_t kDescriptorLength = 23;

struct Retype {
    const char* column;  // a Long column, with as many Long columns after it as the type needs
    std::uint8_t jetType;
    std::uint16_t length;
};

std::int64_t Low32(std::uint64_t bits) {
    return static_cast<std::int32_t>(bits & 0xFFFFFFFF);
}
std::int64_t High32(std::uint64_t bits) {
    return static_cast<std::int32_t>(bits >> 32);
}
std::uint64_t DoubleBits(double d) {
    std::uint64_t bits;
    std::memcpy(&bits, &d, sizeof bits);
    return bits;
}

TEST(EveryType, FieldsReportTheirTypeCodesAndValues) {
    std::vector<std::string> names = {"Yes No", "Byte",    "Currency", "Currency+", "Single",
                                      "Double", "Double+", "Date",     "Date+",     "GUID",
                                      "GUID+1", "GUID+2",  "GUID+3",   "Count",     "Caption",
                                      "Notes",  "Key",     "Photo"};
    jet::TablePlan table{"Every Type", {}, {}};
    for (std::size_t i = 0; i < 13; ++i)
        table.columns.push_back({names[i], ColumnType::Long});
    table.columns.push_back({"Count", ColumnType::Integer});
    table.columns.push_back({"Caption", ColumnType::Text, 20});
    table.columns.push_back({"Notes", ColumnType::Memo});
    table.columns.push_back({"Key", ColumnType::Binary, 8});
    table.columns.push_back({"Photo", ColumnType::OleObject});
    float quarter = 0.25f;
    std::int32_t quarterBits;
    std::memcpy(&quarterBits, &quarter, sizeof quarterBits);
    std::uint64_t money = 123456;  // 12.3456 in units of 1/10000
    table.rows.push_back(
        {std::int64_t(0), std::int64_t(200), Low32(money), High32(money), std::int64_t(quarterBits),
         Low32(DoubleBits(1.5)), High32(DoubleBits(1.5)), Low32(DoubleBits(45000.5)),
         High32(DoubleBits(45000.5)), std::int64_t(0x33221100), std::int64_t(0x77665544),
         std::int64_t(0x3BAA9988), std::int64_t(0x7FEEDDCC), std::int64_t(-5), std::string("Grüße"),
         std::string("memo"), Bytes{1, 2}, Bytes{3, 4, 5}});
    jet::DatabasePlan plan;
    plan.tables.push_back(table);
    TempDir dir;
    std::string path = Write(dir, "types.mdb", plan);

    std::vector<std::uint8_t> bytes = ReadFile(path);
    // The names block starts with the first name's length in bytes, then its UTF-16LE text.
    std::vector<std::uint8_t> firstName = {12, 0, 'Y', 0, 'e', 0, 's', 0, ' ', 0, 'N', 0, 'o', 0};
    std::size_t descriptors = FindOnly(bytes, firstName) - kDescriptorBytes * table.columns.size();
    for (const Retype& r :
         {Retype{"Yes No", 0x01, 1}, Retype{"Byte", 0x02, 1}, Retype{"Currency", 0x05, 8},
          Retype{"Single", 0x06, 4}, Retype{"Double", 0x07, 8}, Retype{"Date", 0x08, 8},
          Retype{"GUID", 0x0F, 16}}) {
        std::size_t at =
            descriptors +
            kDescriptorBytes * static_cast<std::size_t>(
                                   std::find(names.begin(), names.end(), r.column) - names.begin());
        bytes[at + kDescriptorType] = r.jetType;
        bytes[at + kDescriptorLength] = static_cast<std::uint8_t>(r.length);
        bytes[at + kDescriptorLength + 1] = 0;
    }
    WriteFile(path, bytes);

    Connection connection;
    connection.Open(BuildConnectionString(FixedDatabaseSelection(path, "")));
    Recordset recordset;
    recordset.Open(RunSource("Every Type"), connection);
    FieldCollection fields = recordset.Fields();
    struct Expected {
        const char* field;
        int type;
        std::string text;  // empty: a bytes value
        std::int64_t actualSize;
    };
    for (const Expected& e :
         {Expected{"Yes No", kAdBoolean, "True", 2}, Expected{"Byte", kAdUnsignedTinyInt, "200", 1},
          Expected{"Currency", kAdCurrency, "12.3456", 8}, Expected{"Single", kAdSingle, "0.25", 4},
          Expected{"Double", kAdDouble, "1.5", 8},
          Expected{"Date", kAdDate, "2023-03-15 12:00:00", 8},
          Expected{"GUID", kAdGUID, "{33221100-5544-7766-8899-AA3BCCDDEE7F}", 16},
          Expected{"Count", kAdSmallInt, "-5", 2}, Expected{"Caption", kAdVarWChar, "Grüße", 7},
          Expected{"Notes", kAdLongVarWChar, "memo", 4}, Expected{"Key", kAdVarBinary, "", 2},
          Expected{"Photo", kAdLongVarBinary, "", 3}}) {
        Field field = fields[e.field];
        EXPECT_EQ(field.Type(), e.type) << e.field;
        EXPECT_EQ(field.ActualSize(), e.actualSize) << e.field;
        FieldValue value = field.Value();
        if (e.text.empty()) {
            EXPECT_TRUE(value.IsBytes()) << e.field;
        } else {
            ASSERT_TRUE(value.IsText()) << e.field;
            EXPECT_EQ(value.text(), e.text) << e.field;
        }
    }
    // The listing shows every field whatever its type, in column order.
    std::vector<FieldInfo> listed = ListTableFields(FixedDatabaseSelection(path, ""), "Every Type");
    ASSERT_EQ(listed.size(), names.size());
    for (std::size_t i = 0; i < names.size(); ++i)
        EXPECT_EQ(listed[i].name, names[i]);
}

}  // namespace
}  // namespace pictrova::database
