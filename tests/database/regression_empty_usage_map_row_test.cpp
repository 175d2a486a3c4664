// SPDX-License-Identifier: GPL-3.0-or-later
// Regression: libmdb copies a table's usage map from the row its table definition points at
// without checking that the row has bytes, and dereferences the null copy on the first scan
// (a segmentation fault). A zeroed or overwritten usage-map page gives exactly that row. The
// layer now refuses such a table with an error instead of handing it to libmdb.

#include <gtest/gtest.h>

#include <functional>

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

std::uint16_t U16At(const Bytes& bytes, std::size_t at) {
    return static_cast<std::uint16_t>(bytes[at] | bytes[at + 1] << 8);
}

// Makes the usage-map row of the table defined on `definitionPage` zero bytes long.
void MakeUsageMapRowEmpty(Bytes& file, std::size_t definitionPage) {
    const std::uint32_t pointer = U32At(file, definitionPage * kPageSize + kUsageMapPointer);
    const std::size_t page = (pointer >> 8) * kPageSize;
    const std::size_t row = pointer & 0xFF;
    const std::size_t end =
        row == 0 ? kPageSize : U16At(file, page + kRowCountOffset + 2 * row) & 0x1FFF;
    const std::size_t at = page + kRowCountOffset + 2 + 2 * row;
    file[at] = static_cast<std::uint8_t>(end);
    file[at + 1] = static_cast<std::uint8_t>(end >> 8);
}

// Where the inline usage map of the first table defined from page `from` on starts: kind byte
// 0, the 4-byte first page, then one bit a page.
std::size_t InlineUsageMap(const Bytes& file, std::size_t from) {
    std::size_t definition = from;
    while (file[definition * kPageSize] != 0x02)
        ++definition;
    const std::uint32_t pointer = U32At(file, definition * kPageSize + kUsageMapPointer);
    const std::size_t page = (pointer >> 8) * kPageSize;
    return page + (U16At(file, page + kRowCountOffset + 2 + 2 * (pointer & 0xFF)) & 0x1FFF);
}

// Moves the start page of that usage map far past the end of the file.
void MoveUsageMapPastTheEnd(Bytes& file, std::size_t from) {
    const std::size_t map = InlineUsageMap(file, from);
    ASSERT_EQ(file[map], 0);
    PutU32(file, map + 1, 0x00FFFF00);
}

// Marks in that usage map the page after the table's first one as the table's too.
void MarkNextPageInUsageMap(Bytes& file, std::size_t from) {
    const std::size_t map = InlineUsageMap(file, from);
    ASSERT_EQ(file[map], 0);
    file[map + 5] |= 0x02;
}

std::string DamagedDatabase(const TempDir& dir, jet::Format format, bool catalog) {
    jet::DatabasePlan plan;
    plan.format = format;
    plan.tables.push_back({"Pictures",
                           {{"ID", jet::ColumnType::Long}, {"Picture", jet::ColumnType::OleObject}},
                           {{std::int64_t(1), Pattern(100, 1)}}});
    const std::string path = Write(dir, catalog ? "catalog.mdb" : "table.mdb", plan);
    Bytes file = ReadFile(path);
    // The catalog's definition is page 2; the user table's is the next definition page.
    std::size_t definition = 2;
    if (!catalog) {
        do
            ++definition;
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
        EXPECT_EQ(e.description(),
                  "The table 'Pictures' is damaged: its definition cannot be read.");
    }
}

// Regression: a truncated or damaged file made libmdb's scans run on (gigabytes of memory and
// millions of warnings on stderr) or list blank table names. The catalog is now read by the layer
// with bounds and checks, a table's usage map is checked before its first scan, and libmdb's
// messages are captured: each damage below ends in one error naming the table or the database,
// or in a scan whose records carry libmdb's warnings; nothing reaches stderr.
std::string ScanEverything(const std::string& path) {
    Connection connection;
    connection.Open(BuildConnectionString(FixedDatabaseSelection(path, "")));
    TablesSchema schema = connection.OpenSchema(kAdSchemaTables);
    std::string warnings;
    for (; !schema.Eof(); schema.MoveNext()) {
        Recordset recordset;
        recordset.Open(RunSource(schema.Value("TABLE_NAME")), connection);
        for (int record = 1; !recordset.Eof(); ++record) {
            FieldCollection fields = recordset.Fields();
            for (int i = 0; i < fields.Count(); ++i)
                fields[i].Value();
            std::vector<std::string> messages = recordset.TakeLibraryMessages();
            recordset.MoveNext();
            // What the search past the last record gave is the last record's.
            if (recordset.Eof())
                for (std::string& m : recordset.TakeLibraryMessages())
                    messages.push_back(std::move(m));
            for (const std::string& m : messages)
                warnings += "; record " + std::to_string(record) + ": " + m;
        }
    }
    return "scanned" + warnings;
}

std::string NameBytes(const std::string& name) {
    std::string stored = "\xFF\xFE" + name;  // the writer's compressed form of a short name
    return stored;
}

void Replace(Bytes& file, const std::string& from, const std::string& to) {
    const std::size_t at = FindOnly(file, Bytes(from.begin(), from.end()));
    std::copy(to.begin(), to.end(), file.begin() + static_cast<std::ptrdiff_t>(at));
}

TEST(DamagedDatabase, EndsInOneErrorNamingTheTableOrFileAndPrintsNothing) {
    TempDir dir;
    jet::DatabasePlan plan;
    plan.format = jet::Format::Jet4;
    plan.tables.push_back(
        {"Pictures", {{"ID", jet::ColumnType::Long}, {"Picture", jet::ColumnType::OleObject}}, {}});
    for (std::int64_t i = 1; i <= 40; ++i)
        plan.tables.back().rows.push_back({i, Pattern(3000, static_cast<int>(i))});
    const Bytes sound = ReadFile(Write(dir, "sound.mdb", plan));
    const std::size_t pages = sound.size() / kPageSize;
    // The catalog's names in a Memo column: read into a buffer of a Memo's size, so a name
    // longer than any page holds is cut there rather than written past its buffer.
    plan.catalogNamesInMemo = true;
    const Bytes memoNames = ReadFile(Write(dir, "memo-names.mdb", plan));
    plan.tables.back().name = std::string(20000, 'x');
    const Bytes longMemoName = ReadFile(Write(dir, "long-memo-name.mdb", plan));

    struct Case {
        const char* what;
        std::function<void(Bytes&)> damage;
        std::string expected;  // the start of the error; "" for a file the layer reads whole
    } cases[] = {
        {"sound", [](Bytes&) {}, ""},
        {"blank table name",
         [](Bytes& f) { Replace(f, NameBytes("Pictures"), NameBytes("        ")); },
         "The database '@' is damaged: its catalog holds an impossible object name"},
        {"names in a Memo column", [&](Bytes& f) { f = memoNames; }, ""},
        {"a name in a Memo column longer than a page", [&](Bytes& f) { f = longMemoName; },
         "The database '@' is damaged: its catalog holds an impossible object name"},
        {"terminal escapes in a table name",
         [](Bytes& f) { Replace(f, NameBytes("Pictures"), NameBytes("\x1b[2J\x1b]0;")); },
         "The database '@' is damaged: its catalog holds an impossible object name"},
        // The writer puts the catalog's rows last.
        {"cut before the last page", [&](Bytes& f) { f.resize((pages - 1) * kPageSize); },
         "The database '@' is damaged: its catalog's usage map names page"},
        {"cut inside the last page", [&](Bytes& f) { f.resize((pages - 1) * kPageSize + 1500); },
         "The database '@' is damaged: its catalog's usage map names page"},
        {"usage map of a table past the end", [](Bytes& f) { MoveUsageMapPastTheEnd(f, 3); },
         "The table 'Pictures' is damaged: its usage map names page 16776960, past the end"},
        // libmdb warns and skips the page; the table reads whole.
        {"usage map naming a page of another table", [](Bytes& f) { MarkNextPageInUsageMap(f, 3); },
         "scanned; record 40: warning: page "},
    };
    for (const Case& c : cases) {
        Bytes file = sound;
        c.damage(file);
        const std::string path = (dir / "damaged.mdb").string();
        WriteFile(path, file);
        ::testing::internal::CaptureStderr();
        std::string outcome;
        try {
            outcome = ScanEverything(path);
        } catch (const Error& e) {
            outcome = e.description();
        }
        EXPECT_EQ(::testing::internal::GetCapturedStderr(), "") << c.what;
        std::string expected = c.expected;
        if (const auto at = expected.find('@'); at != std::string::npos)
            expected.replace(at, 1, path);
        if (expected.empty())
            EXPECT_EQ(outcome, "scanned") << c.what;
        else
            EXPECT_TRUE(outcome.starts_with(expected)) << c.what << ": " << outcome;
    }
}

INSTANTIATE_TEST_SUITE_P(Formats, EmptyUsageMapRow,
                         ::testing::Values(jet::Format::Jet4, jet::Format::Ace12));

}  // namespace
}  // namespace pictrova::database
