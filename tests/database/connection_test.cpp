// SPDX-License-Identifier: GPL-3.0-or-later
#include "database/connection.h"

#include <gtest/gtest.h>

#include "common/error.h"
#include "database/connection_string.h"
#include "database/schema_listing.h"
#include "database_fixtures.h"

namespace pictrova::database {
namespace {

using jet::ColumnType;
using jet::DatabasePlan;
using jet::Format;
using pictrova::testing::TempDir;
using namespace pictrova::database::testing;

DatabasePlan OneTable(Format format, std::string password = {}) {
    DatabasePlan plan;
    plan.format = format;
    plan.password = std::move(password);
    plan.tables.push_back({"Pictures", {{"ID", ColumnType::Long}}, {{std::int64_t(1)}}});
    return plan;
}

// The description Open fails with, or "" when it opens.
std::string OpenOutcome(const std::string& path, const std::string& password) {
    try {
        Connection connection;
        connection.Open(BuildConnectionString(FixedDatabaseSelection(path, password)));
        connection.Close();
        return "";
    } catch (const Error& error) {
        return error.description();
    }
}

struct PasswordCase {
    Format format;
    const char* stored;
    const char* given;
    bool opens;
};

class PasswordTest : public ::testing::TestWithParam<PasswordCase> {};

TEST_P(PasswordTest, OpensOnlyWithTheStoredPassword) {
    const PasswordCase& c = GetParam();
    TempDir dir;
    std::string path = Write(dir, "db.mdb", OneTable(c.format, c.stored));
    EXPECT_EQ(OpenOutcome(path, c.given), c.opens ? "" : "Not a valid password.");
}

INSTANTIATE_TEST_SUITE_P(Cases, PasswordTest,
                         ::testing::Values(PasswordCase{Format::Jet4, "s3cret!", "s3cret!", true},
                                           PasswordCase{Format::Jet4, "s3cret!", "S3CRET!", false},
                                           PasswordCase{Format::Jet4, "s3cret!", "", false},
                                           PasswordCase{Format::Jet4, "s3cret!", "s3cret", false},
                                           PasswordCase{Format::Jet4, "s3cret!", "s3cret!!", false},
                                           PasswordCase{Format::Jet4, "a;b=c", "a;b=c", true},
                                           PasswordCase{Format::Jet4, "Grüße☃", "Grüße☃", true},
                                           PasswordCase{Format::Jet4, "twentycharacterslong",
                                                        "twentycharacterslong", true},
                                           // A file without a password opens whatever is typed.
                                           PasswordCase{Format::Jet4, "", "", true},
                                           PasswordCase{Format::Jet4, "", "anything", true},
                                           PasswordCase{Format::Ace12, "", "anything", true},
                                           PasswordCase{Format::Ace17, "", "", true}));

TEST(ConnectionOpen, EncodedJet4FileChecksItsPasswordToo) {
    TempDir dir;
    DatabasePlan plan = OneTable(Format::Jet4, "pw");
    plan.encodingKey = 0x12345678;
    std::string path = Write(dir, "encoded.mdb", plan);
    EXPECT_EQ(OpenOutcome(path, "pw"), "");
    EXPECT_EQ(OpenOutcome(path, "wrong"), "Not a valid password.");
}

TEST(ConnectionOpen, RefusesMissingFilesAndOtherFormatsNamingThePath) {
    TempDir dir;
    std::string missing = (dir / "missing.mdb").string();
    EXPECT_EQ(OpenOutcome(missing, ""), "Could not find file '" + missing + "'.");
    EXPECT_EQ(OpenOutcome(dir.path().string(), ""),
              "Could not find file '" + dir.path().string() + "'.");
    EXPECT_EQ(OpenOutcome("", ""), "Could not find file ''.");

    std::vector<std::vector<std::uint8_t>> notDatabases = {
        {},
        {'h', 'e', 'l', 'l', 'o'},
        std::vector<std::uint8_t>(8192, 0),  // page type 0 but no signature
    };
    // A real header with an unknown version byte.
    std::vector<std::uint8_t> futureVersion = ReadFile(Write(dir, "v.mdb", OneTable(Format::Jet4)));
    futureVersion[0x14] = 7;
    notDatabases.push_back(futureVersion);
    // A header whose catalog page is not a table definition.
    std::vector<std::uint8_t> noCatalog = ReadFile(Write(dir, "c.mdb", OneTable(Format::Jet4)));
    noCatalog.resize(2 * 4096);
    notDatabases.push_back(noCatalog);

    for (std::size_t i = 0; i < notDatabases.size(); ++i) {
        std::string path = (dir / ("not" + std::to_string(i) + ".mdb")).string();
        WriteFile(path, notDatabases[i]);
        EXPECT_EQ(OpenOutcome(path, ""), "Unrecognized database format '" + path + "'.") << i;
    }
}

TEST(ConnectionOpen, AceFileWithADatabaseKeyButPlainPagesIsRefusedCleanly) {
    TempDir dir;
    std::string path = Write(dir, "locked.accdb", OneTable(Format::Ace14));
    std::vector<std::uint8_t> bytes = ReadFile(path);
    // The database key at 0x3E sits in the masked region; masking is an XOR, so XORing the
    // stored bytes sets the plain key to the same value. Nothing behind it is encrypted.
    for (std::uint8_t i = 0; i < 4; ++i)
        bytes[0x3E + i] ^= static_cast<std::uint8_t>(0x11 * (i + 1));
    WriteFile(path, bytes);
    EXPECT_EQ(OpenOutcome(path, "whatever"), "Unrecognized database format '" + path + "'.");
}

TEST(ConnectionOpen, UnknownProviderIsTheMissingProviderError) {
    TempDir dir;
    std::string path = Write(dir, "db.mdb", OneTable(Format::Jet4));
    Connection connection;
    try {
        connection.Open("Provider=Microsoft.Jet.OLEDB.3.51;Data Source=" + path);
        ADD_FAILURE();
    } catch (const Error& error) {
        EXPECT_EQ(error.number(), 3706);
        EXPECT_EQ(error.description(),
                  "Provider cannot be found. It may not be properly installed.");
    }
}

TEST(ConnectionOpen, ClosedConnectionRefusesWork) {
    Connection connection;
    EXPECT_FALSE(connection.IsOpen());
    EXPECT_THROW(connection.OpenSchema(kAdSchemaTables), Error);
    EXPECT_THROW(connection.Close(), Error);
}

DatabasePlan CatalogOfEveryKind() {
    DatabasePlan plan;
    // Catalog order deliberately unsorted: the schema orders by type, then by name.
    plan.tables.push_back({"zebra", {{"ID", ColumnType::Long}}, {}});
    plan.tables.push_back({"Picture Notes", {{"ID", ColumnType::Long}}, {}});
    plan.tables.push_back({"apple", {{"ID", ColumnType::Long}}, {}});
    // A table named like a system table but stored as a user table.
    plan.tables.push_back({"MSysFake", {{"ID", ColumnType::Long}}, {}});
    plan.otherObjects.push_back({jet::ObjectKind::Query, "Big Pictures", "", ""});
    plan.otherObjects.push_back(
        {jet::ObjectKind::LinkedTable, "Linked Pictures", "Pictures", "/elsewhere/other.mdb"});
    return plan;
}

TEST(TablesSchema, RowsCarryTypeAndNameOrderedByTypeThenName) {
    TempDir dir;
    std::string path = Write(dir, "db.mdb", CatalogOfEveryKind());
    Connection connection;
    connection.Open(BuildConnectionString(FixedDatabaseSelection(path, "")));
    TablesSchema schema = connection.OpenSchema(kAdSchemaTables);
    std::vector<std::pair<std::string, std::string>> rows;
    while (!schema.Eof()) {
        rows.emplace_back(schema.Value("table_type"), schema.Value("TABLE_NAME"));
        schema.MoveNext();
    }
    EXPECT_EQ(rows,
              (std::vector<std::pair<std::string, std::string>>{{"LINK", "Linked Pictures"},
                                                                {"SYSTEM TABLE", "MSysFake"},
                                                                {"SYSTEM TABLE", "MSysObjects"},
                                                                {"TABLE", "apple"},
                                                                {"TABLE", "Picture Notes"},
                                                                {"TABLE", "zebra"},
                                                                {"VIEW", "Big Pictures"}}));
    EXPECT_THROW(schema.MoveNext(), Error);
    EXPECT_THROW(schema.Value("TABLE_NAME"), Error);
}

TEST(ListTables, ListsOnlyUserTables) {
    TempDir dir;
    std::string path = Write(dir, "db.mdb", CatalogOfEveryKind());
    auto tables = ListTables(path, FixedDatabaseSelection(path, ""));
    ASSERT_TRUE(tables);
    EXPECT_EQ(*tables, (std::vector<std::string>{"apple", "Picture Notes", "zebra"}));
}

TEST(ListTables, QueriesAndLinkedTablesAloneGiveAnEmptyList) {
    TempDir dir;
    DatabasePlan plan;
    plan.otherObjects.push_back({jet::ObjectKind::Query, "Q", "", ""});
    plan.otherObjects.push_back({jet::ObjectKind::LinkedTable, "L", "T", "/x.mdb"});
    std::string path = Write(dir, "db.accdb", plan);
    auto tables = ListTables(path, FixedDatabaseSelection(path, ""));
    ASSERT_TRUE(tables);
    EXPECT_TRUE(tables->empty());
}

TEST(ListTables, NoFileAtThePathGivesNoListAndOtherFailuresReachTheCaller) {
    TempDir dir;
    std::string missing = (dir / "missing.mdb").string();
    EXPECT_FALSE(ListTables(missing, FixedDatabaseSelection(missing, "")));
    EXPECT_FALSE(ListTables("", FixedDatabaseSelection("", "")));

    std::string path = Write(dir, "db.mdb", OneTable(Format::Jet4, "pw"));
    try {
        ListTables(path, FixedDatabaseSelection(path, "nope"));
        ADD_FAILURE();
    } catch (const Error& error) {
        EXPECT_EQ(error.description(), "Not a valid password.");
    }
    // The path only decides whether to try; the selection is what gets opened.
    EXPECT_THROW(ListTables(path, FixedDatabaseSelection(missing, "pw")), Error);
}

}  // namespace
}  // namespace pictrova::database
