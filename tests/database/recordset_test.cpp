// SPDX-License-Identifier: GPL-3.0-or-later
#include "database/recordset.h"

#include <gtest/gtest.h>

#include "common/error.h"
#include "database/connection.h"
#include "database/connection_string.h"
#include "database/schema_listing.h"
#include "database_fixtures.h"

namespace pictrova::database {
namespace {

using jet::ColumnType;
using jet::DatabasePlan;
using jet::Null;
using pictrova::testing::TempDir;
using namespace pictrova::database::testing;

int ErrorNumber(const std::function<void()>& action) {
    try {
        action();
    } catch (const Error& error) {
        return error.number();
    }
    return 0;
}

std::string ErrorText(const std::function<void()>& action) {
    try {
        action();
    } catch (const Error& error) {
        return error.description();
    }
    return "";
}

class RecordsetTest : public ::testing::Test {
  protected:
    void SetUp() override {
        DatabasePlan plan;
        plan.tables.push_back(
            {"Picture Notes",
             {{"ID", ColumnType::Long},
              {"Count", ColumnType::Integer},
              {"Caption", ColumnType::Text, 50},
              {"Notes", ColumnType::Memo},
              {"Key", ColumnType::Binary, 16},
              {"Photo", ColumnType::OleObject}},
             {{std::int64_t(2147483647), std::int64_t(-32768), std::string("Grüße ☃"),
               std::string(3000, 'n'), Bytes{0, 1, 0, 0xFF}, Pattern(5000, 1)},
              {std::int64_t(-2147483648LL), std::int64_t(7), std::string("plain"),
               std::string("short"), Bytes{9}, Bytes{}},
              {Null, Null, Null, Null, Null, Null}}});
        plan.tables.push_back(
            {"Empty", {{"ID", ColumnType::Long}, {"Photo", ColumnType::OleObject}}, {}});
        path_ = Write(dir_, "db.mdb", plan);
        connection_.Open(BuildConnectionString(FixedDatabaseSelection(path_, "")));
    }

    Recordset OpenTable(const std::string& source) {
        Recordset recordset;
        recordset.Open(source, connection_);
        return recordset;
    }

    TempDir dir_;
    std::string path_;
    Connection connection_;
};

TEST_F(RecordsetTest, FieldListingGivesEveryFieldInColumnOrderWithItsTypeCode) {
    std::vector<FieldInfo> fields =
        ListTableFields(FixedDatabaseSelection(path_, ""), "Picture Notes");
    std::vector<std::pair<std::string, int>> listed;
    for (const FieldInfo& field : fields)
        listed.emplace_back(field.name, field.type);
    EXPECT_EQ(listed, (std::vector<std::pair<std::string, int>>{{"ID", kAdInteger},
                                                                {"Count", kAdSmallInt},
                                                                {"Caption", kAdVarWChar},
                                                                {"Notes", kAdLongVarWChar},
                                                                {"Key", kAdVarBinary},
                                                                {"Photo", kAdLongVarBinary}}));
    // A table without rows still lists its fields.
    EXPECT_EQ(ListTableFields(FixedDatabaseSelection(path_, ""), "Empty").size(), 2u);
}

TEST_F(RecordsetTest, BothSourceTextsOpenATableWhoseNameHasABlank) {
    for (const std::string& source :
         {RunSource("Picture Notes"), FieldListingSource("Picture Notes"),
          RunSource("picture NOTES")}) {
        Recordset recordset = OpenTable(source);
        EXPECT_EQ(recordset.TableName(), "Picture Notes") << source;
        EXPECT_FALSE(recordset.Eof()) << source;
        EXPECT_EQ(recordset.Fields()["ID"].Value().text(), "2147483647") << source;
    }
    EXPECT_EQ(ErrorText([&] { OpenTable(RunSource("Picture")); }),
              "The database engine cannot find the input table or query 'Picture'. Make sure it "
              "exists and that its name is spelled correctly.");
    // The system catalog is a table too, but not one a user picks; it still opens.
    EXPECT_NO_THROW(OpenTable(RunSource("MSysObjects")));
}

TEST_F(RecordsetTest, NavigatesFromFirstRecordToEofAndBack) {
    Recordset recordset = OpenTable(RunSource("Picture Notes"));
    EXPECT_FALSE(recordset.bof());
    Field id = recordset.Fields()["id"];
    std::vector<bool> nulls;
    while (!recordset.Eof()) {
        nulls.push_back(id.Value().IsNull());
        recordset.MoveNext();
    }
    EXPECT_EQ(nulls, (std::vector<bool>{false, false, true}));
    EXPECT_EQ(ErrorNumber([&] { recordset.MoveNext(); }), 3021);
    EXPECT_EQ(ErrorNumber([&] { id.Value(); }), 3021);
    recordset.movefirst();
    EXPECT_FALSE(recordset.Eof());
    EXPECT_EQ(id.Value().text(), "2147483647");
    recordset.Close();
    EXPECT_FALSE(recordset.IsOpen());
    EXPECT_THROW(id.Value(), Error);
    EXPECT_THROW(recordset.Eof(), Error);
}

TEST_F(RecordsetTest, EmptyTableIsAtBothEnds) {
    Recordset recordset = OpenTable(FieldListingSource("Empty"));
    EXPECT_TRUE(recordset.Eof());
    EXPECT_TRUE(recordset.bof());
    EXPECT_EQ(recordset.Fields().Count(), 2);
    EXPECT_EQ(ErrorNumber([&] { recordset.movefirst(); }), 3021);
    EXPECT_EQ(ErrorNumber([&] { recordset.Fields()["Photo"].ActualSize(); }), 3021);
}

TEST_F(RecordsetTest, FieldsByIndexAndByNameWhateverTheCase) {
    Recordset recordset = OpenTable(RunSource("Picture Notes"));
    FieldCollection fields = recordset.Fields();
    EXPECT_EQ(fields.Count(), 6);
    EXPECT_EQ(fields[5].Name(), "Photo");
    EXPECT_EQ(fields["PHOTO"].Name(), "Photo");
    EXPECT_EQ(fields.Item("caption").Type(), kAdVarWChar);
    // A name that is not UTF-8 (a cut-off sequence) is just another unknown name.
    for (auto lookup : std::vector<std::function<void()>>{[&] { fields[6]; }, [&] { fields[-1]; },
                                                          [&] { fields["Picture"]; },
                                                          [&] { fields["Photo\xF0\x9F"]; }})
        EXPECT_EQ(ErrorNumber(lookup), 3265);
}

TEST_F(RecordsetTest, ValuesOfEveryTypeAsTextBytesOrNull) {
    Recordset recordset = OpenTable(RunSource("Picture Notes"));
    FieldCollection fields = recordset.Fields();
    struct Expected {
        const char* field;
        std::string text;
        std::int64_t actualSize;
    };
    // Record 1: numbers and text as text; sizes are storage or UTF-8 bytes.
    for (const Expected& e :
         {Expected{"ID", "2147483647", 4}, Expected{"Count", "-32768", 2},
          Expected{"Caption", "Grüße ☃", 11}, Expected{"Notes", std::string(3000, 'n'), 3000}}) {
        EXPECT_EQ(fields[e.field].Value().text(), e.text) << e.field;
        EXPECT_EQ(fields[e.field].ActualSize(), e.actualSize) << e.field;
    }
    EXPECT_EQ(fields["Key"].Value().bytes(), (Bytes{0, 1, 0, 0xFF}));  // zero bytes kept
    EXPECT_EQ(fields["Key"].ActualSize(), 4);
    EXPECT_EQ(fields["Photo"].Value().bytes(), Pattern(5000, 1));
    EXPECT_EQ(ErrorNumber([&] { fields["ID"].Value().bytes(); }), 13);

    recordset.MoveNext();
    EXPECT_EQ(fields["ID"].Value().text(), "-2147483648");
    EXPECT_EQ(fields["Key"].Value().bytes(), Bytes{9});

    // Record 3: every field Null, size 0, nothing to chunk.
    recordset.MoveNext();
    for (int i = 0; i < fields.Count(); ++i) {
        EXPECT_TRUE(fields[i].Value().IsNull()) << fields[i].Name();
        EXPECT_EQ(fields[i].ActualSize(), 0) << fields[i].Name();
    }
    EXPECT_TRUE(fields["Photo"].GetChunk(100).empty());
    EXPECT_EQ(ErrorNumber([&] { fields["Photo"].Value().bytes(); }), 94);
}

TEST_F(RecordsetTest, EmptyOleValueIsNotNull) {
    Recordset recordset = OpenTable(RunSource("Picture Notes"));
    Field photo = recordset.Fields()["Photo"];
    recordset.MoveNext();
    FieldValue empty = photo.Value();
    ASSERT_TRUE(empty.IsBytes());
    EXPECT_TRUE(empty.bytes().empty());
    EXPECT_EQ(photo.ActualSize(), 0);
    EXPECT_TRUE(photo.GetChunk(100000).empty());
    recordset.MoveNext();
    EXPECT_TRUE(photo.Value().IsNull());
}

TEST_F(RecordsetTest, GetChunkContinuesAndStartsAgainOnValueOrAnotherRecord) {
    Recordset recordset = OpenTable(RunSource("Picture Notes"));
    Field photo = recordset.Fields()["Photo"];
    Bytes whole = Pattern(5000, 1);
    EXPECT_TRUE(photo.GetChunk(0).empty());
    EXPECT_EQ(photo.GetChunk(10), Bytes(whole.begin(), whole.begin() + 10));
    EXPECT_EQ(photo.GetChunk(10), Bytes(whole.begin() + 10, whole.begin() + 20));
    EXPECT_EQ(photo.Value().bytes(), whole);
    EXPECT_EQ(photo.GetChunk(10), Bytes(whole.begin(), whole.begin() + 10));
    EXPECT_EQ(photo.GetChunk(1 << 30).size(), 4990u);  // never more than the value holds
    EXPECT_TRUE(photo.GetChunk(10).empty());

    Field notes = recordset.Fields()["Notes"];
    EXPECT_EQ(notes.GetChunk(2999).size(), 2999u);
    recordset.MoveNext();
    EXPECT_EQ(notes.GetChunk(100), (Bytes{'s', 'h', 'o', 'r', 't'}));

    EXPECT_EQ(ErrorNumber([&] { recordset.Fields()["ID"].GetChunk(4); }), 3219);
    EXPECT_EQ(ErrorNumber([&] { photo.GetChunk(-1); }), 3001);
}

TEST_F(RecordsetTest, TwoRecordsetsOnOneConnectionScanIndependently) {
    Recordset first = OpenTable(RunSource("Picture Notes"));
    Recordset second = OpenTable(RunSource("Picture Notes"));
    Field firstPhoto = first.Fields()["Photo"];
    Field secondPhoto = second.Fields()["Photo"];
    Bytes whole = Pattern(5000, 1);
    Bytes head = firstPhoto.GetChunk(100);
    second.MoveNext();
    EXPECT_TRUE(secondPhoto.Value().bytes().empty());
    EXPECT_EQ(firstPhoto.GetChunk(4900), Bytes(whole.begin() + 100, whole.end()));
    // The recordset outlives its connection.
    connection_.Close();
    EXPECT_EQ(first.Fields()["ID"].Value().text(), "2147483647");
}

// Regression: Null was taken from libmdb's bound text, whose binary form ends at the first zero
// byte, so a Binary value starting with 0 read as Null and an empty Memo read as Null.
TEST(NullFromBoundText, BinaryStartingWithZeroAndEmptyMemoAreValues) {
    TempDir dir;
    DatabasePlan plan;
    plan.tables.push_back({"T",
                           {{"Key", ColumnType::Binary, 8}, {"Notes", ColumnType::Memo}},
                           {{Bytes{0, 0, 7}, std::string()}}});
    std::string path = Write(dir, "db.mdb", plan);
    Connection connection;
    connection.Open(BuildConnectionString(FixedDatabaseSelection(path, "")));
    Recordset recordset;
    recordset.Open(RunSource("T"), connection);
    EXPECT_EQ(recordset.Fields()["Key"].Value().bytes(), (Bytes{0, 0, 7}));
    FieldValue notes = recordset.Fields()["Notes"].Value();
    ASSERT_TRUE(notes.IsText());
    EXPECT_EQ(notes.text(), "");
}

TEST(AdoTypeOfColumn, EveryJetColumnTypeHasItsCode) {
    struct Case {
        int jetType;
        bool fixed;
        int ado;
    };
    for (const Case& c :
         {Case{0x01, true, 11}, Case{0x02, true, 17}, Case{0x03, true, 2}, Case{0x04, true, 3},
          Case{0x05, true, 6}, Case{0x06, true, 4}, Case{0x07, true, 5}, Case{0x08, true, 7},
          Case{0x09, false, 204}, Case{0x09, true, 128}, Case{0x0A, false, 202},
          Case{0x0A, true, 130}, Case{0x0B, false, 205}, Case{0x0C, false, 203},
          Case{0x0F, true, 72}, Case{0x10, true, 131}, Case{0x12, true, 3}, Case{0x11, false, 0}})
        EXPECT_EQ(AdoTypeOfColumn(c.jetType, c.fixed), c.ado) << c.jetType;
}

}  // namespace
}  // namespace pictrova::database
