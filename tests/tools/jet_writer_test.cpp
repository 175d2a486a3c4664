// SPDX-License-Identifier: GPL-3.0-or-later
// Our database writer, checked by reading its files back with the real libmdb.

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>

#include "common/error.h"
#include "jet_writer/jet_writer.h"
#include "libmdb_read.h"
#include "test_paths.h"
#include "writer_fixtures.h"

namespace pictrova::jet {
namespace {

using testing::LibmdbCell;
using testing::ReadCatalogWithLibmdb;
using testing::ReadTableWithLibmdb;
using testing::TempDir;

std::string AsString(const Bytes& bytes) {
    return std::string(bytes.begin(), bytes.end());
}

// Sizes around every change of storage: inline up to the limit (64), one long-value row up to
// 4080 bytes, then chains of 4076-byte segments.
const std::size_t kLongValueSizes[] = {0,    1,    64,   65,   4075, 4076,
                                       4077, 4080, 4081, 8152, 8153, 100'000};

class LongValueRoundTrip : public ::testing::TestWithParam<Format> {};

TEST_P(LongValueRoundTrip, EveryStorageKindReadsBackByteExact) {
    TempDir dir;
    DatabasePlan plan;
    plan.format = GetParam();
    TablePlan table{"Pictures", {{"ID", ColumnType::Long}, {"Picture", ColumnType::OleObject}}, {}};
    for (std::size_t i = 0; i < std::size(kLongValueSizes); ++i)
        table.rows.push_back({std::int64_t(i), Pattern(kLongValueSizes[i], i)});
    table.rows.push_back({std::int64_t(99), Null});
    plan.tables.push_back(table);
    WriteDatabase(dir / "db", plan);

    auto read = ReadTableWithLibmdb(dir / "db", "Pictures");
    ASSERT_EQ(read.rows.size(), std::size(kLongValueSizes) + 1);
    for (std::size_t i = 0; i < std::size(kLongValueSizes); ++i) {
        SCOPED_TRACE(kLongValueSizes[i]);
        EXPECT_EQ(read.rows[i][0], std::to_string(i));
        ASSERT_TRUE(read.rows[i][1].has_value());
        EXPECT_EQ(*read.rows[i][1], AsString(Pattern(kLongValueSizes[i], i)));
    }
    EXPECT_EQ(read.rows.back()[1], std::nullopt);
}

INSTANTIATE_TEST_SUITE_P(AllVersions, LongValueRoundTrip,
                         ::testing::Values(Format::Jet4, Format::Ace12, Format::Ace14,
                                           Format::Ace15, Format::Ace16, Format::Ace17));

TEST(JetWriter, TwentyMegabyteOleValueStreamsToFileAndReadsBack) {
    TempDir dir;
    const Bytes big = Pattern(20 * 1024 * 1024 + 123, 7);
    DatabasePlan plan;
    plan.tables.push_back({"Big", {{"Blob", ColumnType::OleObject}}, {}});
    DatabaseWriter writer(dir / "big.mdb", plan);
    Row row{ByteView(big)};  // borrowed, not copied
    writer.AddRow(0, row);
    WriteSummary summary = writer.Finish();
    EXPECT_EQ(summary.fileBytes, std::filesystem::file_size(dir / "big.mdb"));
    EXPECT_GE(summary.longValuePages, big.size() / 4076);

    auto read = ReadTableWithLibmdb(dir / "big.mdb", "Big");
    ASSERT_EQ(read.rows.size(), 1u);
    ASSERT_TRUE(read.rows[0][0].has_value());
    EXPECT_TRUE(*read.rows[0][0] == AsString(big));
}

TEST(JetWriter, EveryColumnTypeAndNullReadBack) {
    TempDir dir;
    DatabasePlan plan;
    plan.tables.push_back(EveryTypeTable());
    WriteDatabase(dir / "types.mdb", plan);

    auto read = ReadTableWithLibmdb(dir / "types.mdb", "Every Type");
    EXPECT_EQ(read.columnNames,
              (std::vector<std::string>{"Long", "Integer", "Short Text", "Memo", "Binary", "OLE"}));
    EXPECT_EQ(read.columnTypes, (std::vector<int>{0x04, 0x03, 0x0A, 0x0C, 0x09, 0x0B}));
    ASSERT_EQ(read.rows.size(), EveryTypeTable().rows.size());
    for (std::size_t r = 0; r < read.rows.size(); ++r) {
        SCOPED_TRACE(r);
        EXPECT_EQ(read.rows[r], ExpectedFromLibmdb(EveryTypeTable(), r));
    }
}

TEST(JetWriter, CatalogListsTablesInTheChosenOrderWithQueryAndLinkedTable) {
    TempDir dir;
    DatabasePlan plan;
    for (const char* name : {"Zeta", "Raw Photos", "Alpha"})
        plan.tables.push_back({name, {{"ID", ColumnType::Long}}, {{std::int64_t(1)}}});
    plan.otherObjects = {
        {ObjectKind::Query, "Big Pictures", "", ""},
        {ObjectKind::LinkedTable, "Linked Pictures", "Pictures", "/data/other.mdb"}};
    WriteDatabase(dir / "catalog.mdb", plan);

    std::vector<std::pair<std::string, int>> catalog;
    for (const auto& entry : ReadCatalogWithLibmdb(dir / "catalog.mdb"))
        catalog.emplace_back(entry.name, entry.type);
    EXPECT_EQ(catalog, (std::vector<std::pair<std::string, int>>{{"MSysObjects", 1},
                                                                 {"Zeta", 1},
                                                                 {"Raw Photos", 1},
                                                                 {"Alpha", 1},
                                                                 {"Big Pictures", 5},
                                                                 {"Linked Pictures", 6}}));
    EXPECT_EQ(ReadTableWithLibmdb(dir / "catalog.mdb", "Raw Photos").rows.size(), 1u);
}

TEST(JetWriter, ManyRowsAndInterleavedTablesUseReferenceUsageMaps) {
    // 3000 rows of 1000 bytes need about 750 data pages per table: more than an inline map
    // row covers, so both tables get reference maps with bitmap pages.
    TempDir dir;
    DatabasePlan plan;
    plan.tables.push_back({"First", {{"N", ColumnType::Long}, {"Data", ColumnType::Binary}}, {}});
    plan.tables.push_back(
        {"Second Table", {{"N", ColumnType::Long}, {"Note", ColumnType::Memo}}, {}});
    DatabaseWriter writer(dir / "many.mdb", plan);
    for (std::int64_t i = 0; i < 3000; ++i) {
        Row first{i, Pattern(500, static_cast<std::size_t>(i))};
        writer.AddRow(0, first);
        Row second{i, std::string(200 + i % 50, static_cast<char>('a' + i % 26))};
        writer.AddRow(1, second);
    }
    writer.Finish();

    auto first = ReadTableWithLibmdb(dir / "many.mdb", "First");
    auto second = ReadTableWithLibmdb(dir / "many.mdb", "Second Table");
    ASSERT_EQ(first.rows.size(), 3000u);
    ASSERT_EQ(second.rows.size(), 3000u);
    for (std::size_t i = 0; i < 3000; i += 137) {
        EXPECT_EQ(first.rows[i][0], std::to_string(i));
        EXPECT_EQ(first.rows[i][1], AsString(Pattern(500, i)));
        EXPECT_EQ(second.rows[i][1], std::string(200 + i % 50, static_cast<char>('a' + i % 26)));
    }
}

TEST(JetWriter, DataPagesFarApartUseSeveralBitmapPagesOfTheReferenceMap) {
    // A 140 MB value of another table between two data pages of "Sparse" puts them more than
    // 32736 pages apart, so its usage map needs two bitmap pages.
    TempDir dir;
    DatabasePlan plan;
    plan.tables.push_back({"Sparse", {{"N", ColumnType::Long}, {"Fill", ColumnType::Memo}}, {}});
    plan.tables.push_back({"Filler", {{"Blob", ColumnType::OleObject}}, {}});
    plan.inlineLimit = 4000;
    const Bytes filler(140u << 20, 0x5A);
    DatabaseWriter writer(dir / "sparse.mdb", plan);
    Row first{std::int64_t(1), std::string(2000, 'a')};
    writer.AddRow(0, first);
    Row big{ByteView(filler)};
    writer.AddRow(1, big);
    Row second{std::int64_t(2), std::string(2000, 'b')};
    writer.AddRow(0, second);  // 4000 bytes inline each: a new page, after the filler
    EXPECT_GT(writer.Finish().pages, 32736u * 1 + 2);

    auto read = ReadTableWithLibmdb(dir / "sparse.mdb", "Sparse");
    ASSERT_EQ(read.rows.size(), 2u);
    EXPECT_EQ(read.rows[1][0], "2");
    EXPECT_EQ(read.rows[1][1], std::string(2000, 'b'));
}

TEST(JetWriter, TableDefinitionLongerThanAPageContinuesOnMorePages) {
    TempDir dir;
    DatabasePlan plan;
    TablePlan wide{"Wide Table", {}, {Row(200)}};
    for (int c = 0; c < 200; ++c) {
        wide.columns.push_back({"Column with a long name " + std::to_string(c), ColumnType::Long});
        wide.rows[0][c] = std::int64_t(c * 1000);
    }
    plan.tables.push_back(wide);
    WriteDatabase(dir / "wide.mdb", plan);

    auto read = ReadTableWithLibmdb(dir / "wide.mdb", "Wide Table");
    ASSERT_EQ(read.columnNames.size(), 200u);
    EXPECT_EQ(read.columnNames[199], "Column with a long name 199");
    ASSERT_EQ(read.rows.size(), 1u);
    EXPECT_EQ(read.rows[0][199], "199000");
}

TEST(JetWriter, RefusedRowLeavesTheWriterUsable) {
    TempDir dir;
    DatabasePlan plan;
    plan.tables.push_back({"T", {{"N", ColumnType::Long}, {"Pic", ColumnType::OleObject}}, {}});
    DatabaseWriter writer(dir / "t.mdb", plan);
    Row good{std::int64_t(1), Pattern(5000, 1)};
    Row bad{std::int64_t(2), std::string("not bytes")};
    writer.AddRow(0, good);
    EXPECT_THROW(writer.AddRow(0, bad), Error);
    writer.AddRow(0, good);
    writer.Finish();
    EXPECT_THROW(writer.AddRow(0, good), Error);
    EXPECT_EQ(ReadTableWithLibmdb(dir / "t.mdb", "T").rows.size(), 2u);
}

TEST(JetWriter, EncodedDatabaseReadsBackThroughLibmdb) {
    TempDir dir;
    DatabasePlan plan;
    plan.encodingKey = 0x12345678;
    plan.tables.push_back(EveryTypeTable());
    WriteDatabase(dir / "encoded.mdb", plan);

    auto read = ReadTableWithLibmdb(dir / "encoded.mdb", "Every Type");
    ASSERT_EQ(read.rows.size(), EveryTypeTable().rows.size());
    for (std::size_t r = 0; r < read.rows.size(); ++r)
        EXPECT_EQ(read.rows[r], ExpectedFromLibmdb(EveryTypeTable(), r));
}

TEST(JetWriter, MemoryAndFileOutputAreIdentical) {
    TempDir dir;
    DatabasePlan plan;
    plan.password = "pw";
    plan.tables.push_back(EveryTypeTable());
    WriteDatabase(dir / "file.mdb", plan);
    std::ifstream in(dir / "file.mdb", std::ios::binary);
    Bytes file((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    EXPECT_TRUE(file == WriteDatabaseToMemory(plan));
}

TEST(JetWriter, LargeInlineValuesMoveOutWhenTheRowWouldNotFitAPage) {
    TempDir dir;
    DatabasePlan plan;
    plan.inlineLimit = 3000;
    plan.tables.push_back({"T", {{"A", ColumnType::OleObject}, {"B", ColumnType::OleObject}}, {}});
    plan.tables[0].rows.push_back({Pattern(3000, 1), Pattern(2900, 2)});
    WriteDatabase(dir / "t.mdb", plan);
    auto read = ReadTableWithLibmdb(dir / "t.mdb", "T");
    ASSERT_EQ(read.rows.size(), 1u);
    EXPECT_EQ(read.rows[0][0], AsString(Pattern(3000, 1)));
    EXPECT_EQ(read.rows[0][1], AsString(Pattern(2900, 2)));
}

// The attachment column's parts as libmdb (mdb-tables -S, mdb-export) sees them: the hidden
// table and the system tables in the catalog, the link row, one hidden row per file keyed by
// the parent's value, and FileData that carries the file after its headers.
TEST(JetWriter, AttachmentColumnsWriteTheirHiddenTableAndLinkRow) {
    TempDir dir;
    DatabasePlan plan;
    plan.format = Format::Ace14;
    const Bytes photo = Pattern(6000, 1);
    plan.tables.push_back(
        {"Photos", {{"ID", ColumnType::Long}, {"Files", ColumnType::Attachment}}, {}});
    plan.tables[0].rows = {
        {std::int64_t{10}, Attachments{}},
        {std::int64_t{11}, Null},
        {std::int64_t{12}, Attachments{{"a.png", "png", photo, false, std::nullopt},
                                       {"b.txt", "txt", Bytes(700, 't'), true, std::nullopt}}}};
    WriteDatabase(dir / "a.accdb", plan);

    std::vector<std::string> names;
    std::string flatName;
    for (const auto& entry : ReadCatalogWithLibmdb(dir / "a.accdb")) {
        names.push_back(entry.name);
        if (entry.name.starts_with("f_")) {
            flatName = entry.name;
            EXPECT_EQ(entry.flags, 0x800A0000u);
        }
    }
    ASSERT_EQ(names.size(), 5u);
    EXPECT_EQ(names[2], "MSysComplexColumns");
    EXPECT_EQ(names[3], "MSysComplexType_Attachment");
    EXPECT_EQ(flatName.size(), 2 + 32 + 1 + 5u);
    EXPECT_TRUE(flatName.ends_with("_Files"));

    auto photos = ReadTableWithLibmdb(dir / "a.accdb", "Photos");
    EXPECT_EQ(photos.columnTypes, (std::vector<int>{0x04, 0x12}));
    ASSERT_EQ(photos.rows.size(), 3u);
    EXPECT_EQ(photos.rows[0][1], "1");
    EXPECT_EQ(photos.rows[1][1], std::nullopt);
    EXPECT_EQ(photos.rows[2][1], "2");

    auto links = ReadTableWithLibmdb(dir / "a.accdb", "MSysComplexColumns");
    ASSERT_EQ(links.rows.size(), 1u);
    EXPECT_EQ(links.rows[0][0], "Files");

    auto files = ReadTableWithLibmdb(dir / "a.accdb", flatName);
    EXPECT_EQ(files.columnNames,
              (std::vector<std::string>{"FileData", "FileFlags", "FileName", "FileType", "FileURL",
                                        "Photos_Files", "_Files"}));
    ASSERT_EQ(files.rows.size(), 2u);
    EXPECT_EQ(files.rows[0][2], "a.png");
    EXPECT_EQ(files.rows[1][3], "txt");
    EXPECT_EQ(files.rows[0][6], "2");
    EXPECT_EQ(files.rows[1][6], "2");
    EXPECT_EQ(files.rows[0][0], AsString(EncodeAttachmentData("png", photo, false)));
    EXPECT_TRUE(files.rows[0][0]->ends_with(AsString(photo)));
    EXPECT_EQ(files.rows[1][0]->substr(0, 4), std::string("\x01\0\0\0", 4));
}

struct RefusedCase {
    const char* what;
    DatabasePlan plan;
};

std::vector<RefusedCase> RefusedCases() {
    auto one = [](ColumnPlan column, Value value) {
        DatabasePlan plan;
        plan.tables.push_back({"T", {column}, {{value}}});
        return plan;
    };
    std::vector<RefusedCase> cases{
        {"text in a Long column", one({"A", ColumnType::Long}, std::string("1"))},
        {"Long out of range", one({"A", ColumnType::Long}, std::int64_t(1) << 31)},
        {"Integer out of range", one({"A", ColumnType::Integer}, std::int64_t(32768))},
        {"text over its length", one({"A", ColumnType::Text, 3}, std::string("four"))},
        {"bytes in a Text column", one({"A", ColumnType::Text}, Bytes{1})},
        {"Binary over its length", one({"A", ColumnType::Binary, 2}, Bytes{1, 2, 3})},
        {"invalid UTF-8", one({"A", ColumnType::Memo}, std::string("\xC3"))},
        {"text starting with U+FEFF",
         one({"A", ColumnType::Text}, std::string("\xEF\xBB\xBF\xE2\x98\x83"))},
        {"attachments in a Jet4 file", one({"A", ColumnType::Attachment}, Attachments{})},
        {"bytes in an Attachment column", one({"A", ColumnType::Attachment}, Bytes{1})},
        {"row wider than a page", one({"A", ColumnType::Binary}, Bytes(510))},
    };
    cases[cases.size() - 2].plan.format = Format::Ace12;
    cases.back().plan.tables[0].columns.assign(9, {"A", ColumnType::Binary});
    cases.back().plan.tables[0].rows[0].assign(9, Bytes(510));
    DatabasePlan longPassword;
    longPassword.password = std::string(21, 'x');
    cases.push_back({"password over 20 characters", longPassword});
    DatabasePlan acePassword;
    acePassword.format = Format::Ace12;
    acePassword.password = "x";
    cases.push_back({"ACE password", acePassword});
    DatabasePlan noColumns;
    noColumns.tables.push_back({"T", {}, {}});
    cases.push_back({"table without columns", noColumns});
    DatabasePlan wrongWidth;
    wrongWidth.tables.push_back(
        {"T", {{"A", ColumnType::Long}}, {{std::int64_t(1), std::int64_t(2)}}});
    cases.push_back({"row with too many values", wrongWidth});
    return cases;
}

TEST(JetWriter, RefusesWhatTheFormatCannotHold) {
    for (const RefusedCase& c : RefusedCases()) {
        SCOPED_TRACE(c.what);
        EXPECT_THROW(WriteDatabaseToMemory(c.plan), Error);
    }
}

TEST(JetWriter, RefusedPlanLeavesAnExistingFileAlone) {
    TempDir dir;
    std::ofstream(dir / "keep.mdb") << "precious";
    DatabasePlan plan;
    plan.password = std::string(21, 'x');
    EXPECT_THROW(WriteDatabase(dir / "keep.mdb", plan), Error);
    EXPECT_EQ(std::filesystem::file_size(dir / "keep.mdb"), 8u);
}

}  // namespace
}  // namespace pictrova::jet
