// SPDX-License-Identifier: GPL-3.0-or-later
#include "run/field_reading.h"

#include <gtest/gtest.h>

#include <fstream>

#include "byte_pattern.h"
#include "database/connection.h"
#include "database/connection_string.h"
#include "database/recordset.h"
#include "database/schema_listing.h"
#include "picture_database.h"
#include "recording_host.h"
#include "test_paths.h"

namespace pictrova::run {
namespace {

namespace fs = std::filesystem;

std::vector<std::uint8_t> Pattern(std::size_t size) {
    return pictrova::testing::Pattern(size, 1);
}

std::vector<std::uint8_t> ReadFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

TEST(FieldToFile, WritesTheWholeFieldRestFirstThenChunks) {
    // 250,000 = 50,000 + 2 chunks; 160,000 = 60,000 + 1; 100,000 = 0 + 1; 0 and NULL write nothing.
    const std::size_t sizes[] = {250'000, 160'000, 100'000, 99'999, 5, 0};
    testing::TempDir dir;
    std::vector<testing::PictureRow> rows;
    for (std::size_t size : sizes)
        rows.push_back({Pattern(size), "x"});
    rows.push_back({std::nullopt, "null"});
    testing::WritePictureDatabase(dir / "f.mdb", rows);

    database::FixedDatabaseSelection selection((dir / "f.mdb").string(), "");
    database::Connection connection;
    connection.Open(database::BuildConnectionString(selection));
    database::Recordset recordset;
    recordset.Open(database::RunSource("Pictures"), connection);
    testing::RecordingHost host;
    fs::path work = dir / "temp.bmp";
    for (std::size_t size : sizes) {
        SCOPED_TRACE(size);
        // A stale, longer work file must not show through past the new content.
        std::ofstream(work, std::ios::binary) << std::string(300'000, 'S');
        database::Field field = recordset.Fields().Item("Picture");
        // The bytes it reports written are the run's measure of the record's work file.
        EXPECT_EQ(FieldToFile(field, work, host), static_cast<std::int64_t>(size));
        EXPECT_EQ(ReadFile(work), Pattern(size));
        EXPECT_EQ(FileSize2(work), static_cast<std::int64_t>(size));
        recordset.MoveNext();
    }
    database::Field nullField = recordset.Fields().Item("Picture");
    EXPECT_EQ(FieldToFile(nullField, work, host), 0);
    EXPECT_EQ(FileSize2(work), 0);
}

TEST(FieldToFile, FieldThatCannotBeChunkedGivesFalseAndNoFile) {
    testing::TempDir dir;
    testing::WritePictureDatabase(dir / "f.mdb", {{Pattern(10), "caption"}});
    database::FixedDatabaseSelection selection((dir / "f.mdb").string(), "");
    database::Connection connection;
    connection.Open(database::BuildConnectionString(selection));
    database::Recordset recordset;
    recordset.Open(database::RunSource("Pictures"), connection);
    testing::RecordingHost host;
    database::Field id = recordset.Fields().Item("ID");  // a number: no chunks
    std::string failure;
    EXPECT_FALSE(FieldToFile(id, dir / "temp.bmp", host, &failure));
    EXPECT_FALSE(failure.empty());
    EXPECT_FALSE(fs::exists(dir / "temp.bmp"));
}

TEST(FileSize2, MissingOrFolderGivesZero) {
    testing::TempDir dir;
    EXPECT_EQ(FileSize2(dir / "missing"), 0);
    EXPECT_EQ(FileSize2(dir.path()), 0);
    EXPECT_EQ(FileSize2(""), 0);
}

}  // namespace
}  // namespace pictrova::run
