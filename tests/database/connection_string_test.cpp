// SPDX-License-Identifier: GPL-3.0-or-later
#include "database/connection_string.h"

#include <gtest/gtest.h>

namespace pictrova::database {
namespace {

struct BuildCase {
    const char* path;
    const char* password;
    const char* expected;
};

class BuildConnectionStringTest : public ::testing::TestWithParam<BuildCase> {};

TEST_P(BuildConnectionStringTest, ChoosesProviderFromTheLastFiveCharacters) {
    const BuildCase& c = GetParam();
    EXPECT_EQ(BuildConnectionString(FixedDatabaseSelection(c.path, c.password)), c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, BuildConnectionStringTest,
    ::testing::Values(
        BuildCase{"/data/pics.accdb", "pw",
                  "Provider=Microsoft.ACE.OLEDB.12.0;Data Source=/data/pics.accdb;"
                  "JET OLEDB:Database Password=pw"},
        BuildCase{"/data/PICS.ACCDB", "",
                  "Provider=Microsoft.ACE.OLEDB.12.0;Data Source=/data/PICS.ACCDB;"
                  "JET OLEDB:Database Password="},
        // No dot needed: only the last five characters count.
        BuildCase{"/data/picsaccdb", "",
                  "Provider=Microsoft.ACE.OLEDB.12.0;Data Source=/data/picsaccdb;"
                  "JET OLEDB:Database Password="},
        BuildCase{"accdb", "",
                  "Provider=Microsoft.ACE.OLEDB.12.0;Data Source=accdb;"
                  "JET OLEDB:Database Password="},
        // A trailing blank moves "accdb" out of the last five characters.
        BuildCase{"/data/pics.accdb ", "",
                  "PROVIDER=Microsoft.Jet.OLEDB.4.0;Data Source=/data/pics.accdb ;"
                  "JET OLEDB:Database Password="},
        BuildCase{"/data/pics.mdb", "",
                  "PROVIDER=Microsoft.Jet.OLEDB.4.0;Data Source=/data/pics.mdb;"
                  "JET OLEDB:Database Password="},
        // Shorter than five characters: all of it is compared.
        BuildCase{"ccdb", "",
                  "PROVIDER=Microsoft.Jet.OLEDB.4.0;Data Source=ccdb;"
                  "JET OLEDB:Database Password="},
        BuildCase{"", "",
                  "PROVIDER=Microsoft.Jet.OLEDB.4.0;Data Source=;JET OLEDB:Database Password="},
        // Nothing is escaped.
        BuildCase{"/data/a;b.mdb", "x;y=z",
                  "PROVIDER=Microsoft.Jet.OLEDB.4.0;Data Source=/data/a;b.mdb;"
                  "JET OLEDB:Database Password=x;y=z"}));

struct ParseCase {
    const char* text;
    const char* provider;
    const char* dataSource;
    const char* password;
};

class ParseConnectionStringTest : public ::testing::TestWithParam<ParseCase> {};

TEST_P(ParseConnectionStringTest, SplitsProviderSourceAndPassword) {
    const ParseCase& c = GetParam();
    ConnectionStringParts parts = ParseConnectionString(c.text);
    EXPECT_EQ(parts.provider, c.provider);
    EXPECT_EQ(parts.dataSource, c.dataSource);
    EXPECT_EQ(parts.password, c.password);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ParseConnectionStringTest,
    ::testing::Values(
        ParseCase{"PROVIDER=Microsoft.Jet.OLEDB.4.0;Data Source=/d/p.mdb;JET OLEDB:Database "
                  "Password=",
                  "Microsoft.Jet.OLEDB.4.0", "/d/p.mdb", ""},
        ParseCase{"Provider=Microsoft.ACE.OLEDB.12.0;Data Source=/d/a;b.accdb;JET "
                  "OLEDB:Database Password=se;cr=et",
                  "Microsoft.ACE.OLEDB.12.0", "/d/a;b.accdb", "se;cr=et"},
        // The last password clause wins: everything before it belongs to the data source.
        ParseCase{"Provider=X;Data Source=/d/p.mdb;JET OLEDB:Database Password=a;JET "
                  "OLEDB:Database Password=b",
                  "X", "/d/p.mdb;JET OLEDB:Database Password=a", "b"},
        ParseCase{"provider=X;data source=/d/p.mdb;Mode=Read", "X", "/d/p.mdb", ""},
        ParseCase{"Data Source=/d/p.mdb", "", "/d/p.mdb", ""}));

TEST(ConnectionStringRoundTrip, PathAndPasswordSurviveWhateverTheyHold) {
    for (const char* password : {"", "s3cret!", "a;b", "Password=", "Grüße ☃"}) {
        FixedDatabaseSelection selection("/tmp/x;Data Source=y.accdb", password);
        ConnectionStringParts parts = ParseConnectionString(BuildConnectionString(selection));
        EXPECT_EQ(parts.dataSource, selection.DatabasePath());
        EXPECT_EQ(parts.password, password);
    }
}

}  // namespace
}  // namespace pictrova::database
