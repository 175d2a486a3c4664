// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include "common/error.h"
#include "database/connection.h"
#include "database/connection_string.h"
#include "database/recordset.h"
#include "database/schema_listing.h"
#include "database_fixtures.h"

namespace pictrova::database {
namespace {

TEST(TableNameFromSource, TakesTheNameOutOfBothSourceForms) {
    // Brackets and backquotes inside a name are written doubled and read back single.
    for (const char* table : {"Pictures", "Picture Notes", "Grüße ☃", "a;b", "x]y", "x`y", "Pic]x",
                              "x [y]", "]", "]]", "``"}) {
        EXPECT_EQ(TableNameFromSource(FieldListingSource(table)), table) << table;
        EXPECT_EQ(TableNameFromSource(RunSource(table)), table) << table;
    }
    EXPECT_EQ(RunSource("x [y]"), "SELECT * FROM [x [y]]];");
    EXPECT_EQ(TableNameFromSource("  select  *  from Pictures ; "), "Pictures");
}

// Regression: tables named "Pic]x" or "x [y]" failed with "Syntax error in FROM clause." because
// the source text closed the name at its first "]".
TEST(TableNameFromSource, TablesWithBracketsInTheirNamesOpenAndList) {
    pictrova::testing::TempDir dir;
    jet::DatabasePlan plan;
    plan.format = jet::Format::Jet4;
    for (const char* name : {"Pic]x", "x [y]"})
        plan.tables.push_back({name, {{"ID", jet::ColumnType::Long}}, {{std::int64_t{7}}}});
    const std::string path = testing::Write(dir, "brackets.mdb", plan);
    const auto selection = FixedDatabaseSelection(path, "");
    for (const char* name : {"Pic]x", "x [y]"}) {
        Connection connection;
        connection.Open(BuildConnectionString(selection));
        Recordset recordset;
        recordset.Open(RunSource(name), connection);
        ASSERT_FALSE(recordset.Eof()) << name;
        EXPECT_EQ(recordset.TableName(), name);
        ASSERT_EQ(ListTableFields(selection, name).size(), 1u) << name;
    }
}

TEST(TableNameFromSource, RefusesWhatTheQueryLanguageWouldRefuse) {
    // A backquote inside the name ends the backquoted name early; the rest is a syntax error.
    for (const char* source :
         {"SELECT * FROM `a`b`", "SELECT * FROM [a]b];", "SELECT * FROM []", "SELECT * FROM",
          "SELECT Photo FROM [t]", "DELETE FROM [t]", "SELECT * FROM [t", "SELECT * FROM [t];;",
          "SELECT * FROM [t]]", "SELECT * FROM [a]]]b]", ""}) {
        try {
            TableNameFromSource(source);
            ADD_FAILURE() << source;
        } catch (const Error& error) {
            EXPECT_EQ(error.description(), "Syntax error in FROM clause.") << source;
        }
    }
}

}  // namespace
}  // namespace pictrova::database
