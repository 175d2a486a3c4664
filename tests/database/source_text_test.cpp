// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include "common/error.h"
#include "database/recordset.h"
#include "database/schema_listing.h"

namespace pictrova::database {
namespace {

TEST(TableNameFromSource, TakesTheNameOutOfBothSourceForms) {
    for (const char* table : {"Pictures", "Picture Notes", "Grüße ☃", "a;b", "x]y"}) {
        EXPECT_EQ(TableNameFromSource(FieldListingSource(table)), table) << table;
    }
    for (const char* table : {"Pictures", "Picture Notes", "Grüße ☃", "a;b", "x`y"}) {
        EXPECT_EQ(TableNameFromSource(RunSource(table)), table) << table;
    }
    EXPECT_EQ(TableNameFromSource("  select  *  from Pictures ; "), "Pictures");
}

TEST(TableNameFromSource, RefusesWhatTheQueryLanguageWouldRefuse) {
    // A backquote inside the name ends the backquoted name early; the rest is a syntax error.
    for (const char* source : {"SELECT * FROM `a`b`", "SELECT * FROM [a]b];", "SELECT * FROM []",
                               "SELECT * FROM", "SELECT Photo FROM [t]", "DELETE FROM [t]",
                               "SELECT * FROM [t", "SELECT * FROM [t];;", ""}) {
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
