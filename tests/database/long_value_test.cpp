// SPDX-License-Identifier: GPL-3.0-or-later
// Long binary values read whole and in chunks, for every way the database stores them, and
// values whose pages do not hold what their header declares.

#include <gtest/gtest.h>

#include "common/error.h"
#include "database/connection.h"
#include "database/connection_string.h"
#include "database/recordset.h"
#include "database/schema_listing.h"
#include "database_fixtures.h"

namespace pictrova::database {
namespace {

using jet::ColumnType;
using jet::DatabasePlan;
using pictrova::testing::TempDir;
using namespace pictrova::database::testing;

// Sizes around every storage boundary of the writer: inline up to its limit, one long-value
// row up to 4080 bytes, chains of 4076-byte segments beyond.
constexpr std::size_t kSizes[] = {0,    1,    63,   64,    65,     4075,   4076,   4077,   4080,
                                  4081, 8152, 8153, 99999, 100000, 100001, 250000, 1 << 20};

class LongValueStorageTest : public ::testing::TestWithParam<std::size_t /*inline limit*/> {
  protected:
    void SetUp() override {
        DatabasePlan plan;
        plan.inlineLimit = GetParam();
        jet::TablePlan table{
            "Pictures", {{"ID", ColumnType::Long}, {"Photo", ColumnType::OleObject}}, {}};
        for (std::size_t i = 0; i < std::size(kSizes); ++i)
            table.rows.push_back({std::int64_t(i), Pattern(kSizes[i], i)});
        plan.tables.push_back(std::move(table));
        path_ = Write(dir_, "db.accdb", plan);
        connection_.Open(BuildConnectionString(FixedDatabaseSelection(path_, "")));
        recordset_.Open(RunSource("Pictures"), connection_);
    }

    TempDir dir_;
    std::string path_;
    Connection connection_;
    Recordset recordset_;
};

TEST_P(LongValueStorageTest, WholeAndChunkedReadsEqualTheStoredBytes) {
    Field photo = recordset_.Fields()["Photo"];
    for (std::size_t i = 0; i < std::size(kSizes); ++i, recordset_.MoveNext()) {
        ASSERT_FALSE(recordset_.Eof());
        Bytes expected = Pattern(kSizes[i], i);
        ASSERT_EQ(photo.ActualSize(), static_cast<std::int64_t>(kSizes[i]));
        EXPECT_EQ(photo.Value().bytes(), expected) << kSizes[i];

        for (std::size_t chunk :
             {std::size_t{1}, std::size_t{4075}, std::size_t{4096}, std::size_t{100000}}) {
            if (chunk == 1 && kSizes[i] > 10000)
                continue;
            Bytes joined;
            for (Bytes piece = photo.GetChunk(static_cast<std::int64_t>(chunk)); !piece.empty();
                 piece = photo.GetChunk(static_cast<std::int64_t>(chunk))) {
                ASSERT_LE(piece.size(), chunk);
                joined.insert(joined.end(), piece.begin(), piece.end());
            }
            EXPECT_EQ(joined, expected) << kSizes[i] << " in chunks of " << chunk;
            photo.Value();  // starts the chunks again for the next chunk size
        }

        // The run's pattern: the remainder first, then whole 100,000-byte chunks.
        std::int64_t size = photo.ActualSize();
        Bytes joined = photo.GetChunk(size % 100000);
        for (std::int64_t n = 0; n < size / 100000; ++n) {
            Bytes piece = photo.GetChunk(100000);
            ASSERT_EQ(piece.size(), 100000u);
            joined.insert(joined.end(), piece.begin(), piece.end());
        }
        EXPECT_EQ(joined, expected) << kSizes[i];
    }
    EXPECT_TRUE(recordset_.Eof());
}

// The writer's default keeps values of up to 64 bytes in the row; 4000 puts single-row values
// inline too.
INSTANTIATE_TEST_SUITE_P(InlineLimits, LongValueStorageTest, ::testing::Values(64, 4000));

// A database with one 40,000-byte value: a chain of ten long-value rows.
class DamagedLongValueTest : public ::testing::Test {
  protected:
    static constexpr std::uint32_t kSize = 40000;

    void SetUp() override {
        DatabasePlan plan;
        plan.tables.push_back({"Pictures",
                               {{"ID", ColumnType::Long}, {"Photo", ColumnType::OleObject}},
                               {{std::int64_t(1), Pattern(kSize, 9)}}});
        path_ = Write(dir_, "db.mdb", plan);
        bytes_ = ReadFile(path_);
        // The value's 12-byte header in the row: length with no flag bits (a chain), then the
        // first row's page << 8 | row.
        header_ = FindOnly(bytes_, {kSize & 0xFF, (kSize >> 8) & 0xFF, kSize >> 16, 0x00});
    }

    // The description reading fails with, whole and in chunks (both must fail alike).
    std::pair<std::string, std::string> ReadFailures() {
        WriteFile(path_, bytes_);
        Connection connection;
        connection.Open(BuildConnectionString(FixedDatabaseSelection(path_, "")));
        Recordset recordset;
        recordset.Open(RunSource("Pictures"), connection);
        Field photo = recordset.Fields()["Photo"];
        std::pair<std::string, std::string> failures;
        try {
            photo.Value();
        } catch (const Error& error) {
            failures.first = error.description();
        }
        try {
            while (!photo.GetChunk(100000).empty()) {
            }
        } catch (const Error& error) {
            failures.second = error.description();
        }
        return failures;
    }

    // Where the long-value row `pageRow` starts in the file.
    std::size_t RowStart(std::uint32_t pageRow) const {
        std::size_t page = (pageRow >> 8) * 4096;
        std::size_t slot = page + 14 + 2 * (pageRow & 0xFF);
        return page + ((bytes_[slot] | bytes_[slot + 1] << 8) & 0x1FFF);
    }

    TempDir dir_;
    std::string path_;
    std::vector<std::uint8_t> bytes_;
    std::size_t header_ = 0;
};

TEST_F(DamagedLongValueTest, DeclaringMoreBytesThanThePagesHoldFails) {
    PutU32(bytes_, header_, kSize + 1);
    auto [whole, chunked] = ReadFailures();
    EXPECT_EQ(whole,
              "The value of field 'Photo' is damaged: its pages hold 40000 of the 40001 "
              "bytes it declares.");
    EXPECT_EQ(chunked, whole);
}

TEST_F(DamagedLongValueTest, AReferenceOutsideTheFileFails) {
    PutU32(bytes_, header_ + 4, 0x7FFF00);
    auto [whole, chunked] = ReadFailures();
    EXPECT_EQ(whole,
              "The value of field 'Photo' is damaged: it refers to page 32767, outside the file.");
    EXPECT_EQ(chunked, whole);
}

TEST_F(DamagedLongValueTest, AChainThatLoopsBackFails) {
    std::uint32_t first = U32At(bytes_, header_ + 4);
    std::uint32_t second = U32At(bytes_, RowStart(first));
    PutU32(bytes_, RowStart(second), first);
    auto [whole, chunked] = ReadFailures();
    EXPECT_EQ(whole, "The value of field 'Photo' is damaged: its chain of pages loops.");
    EXPECT_EQ(chunked, whole);
}

TEST_F(DamagedLongValueTest, AChainRowPlacedOutsideItsPageEndsTheValue) {
    std::uint32_t first = U32At(bytes_, header_ + 4);
    std::uint32_t second = U32At(bytes_, RowStart(first));
    std::size_t slot = (second >> 8) * 4096 + 14 + 2 * (second & 0xFF);
    bytes_[slot] = 0xFF;  // offset 0x1FFF: past the end of a 4096-byte page
    bytes_[slot + 1] = 0x1F;
    auto [whole, chunked] = ReadFailures();
    EXPECT_NE(whole.find("is damaged: its pages hold "), std::string::npos) << whole;
    EXPECT_NE(whole.find(" of the 40000 bytes it declares."), std::string::npos) << whole;
    EXPECT_EQ(chunked, whole);
}

TEST_F(DamagedLongValueTest, ADeclaredSizeBeyondTheFileAllocatesNothing) {
    // 1 GB declared by a value in a file of a few pages: refused before any allocation.
    PutU32(bytes_, header_, 0x3FFFFFFF);
    auto [whole, chunked] = ReadFailures();
    EXPECT_NE(whole.find("declared size exceeds the data"), std::string::npos) << whole;
    EXPECT_NE(chunked.find("is damaged"), std::string::npos) << chunked;
}

TEST_F(DamagedLongValueTest, UnknownStorageFlagsFail) {
    bytes_[header_ + 3] = 0xC0;
    auto [whole, chunked] = ReadFailures();
    EXPECT_EQ(whole, "The value of field 'Photo' is damaged: its storage flags are unknown.");
    EXPECT_EQ(chunked, whole);
}

}  // namespace
}  // namespace pictrova::database
