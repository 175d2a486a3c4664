// SPDX-License-Identifier: GPL-3.0-or-later
// The sample database the build writes: read back with libmdb and every picture field run
// through the real decoder.

#include <gtest/gtest.h>

#include <algorithm>

#include "database/database.h"
#include "imaging/image_engine.h"
#include "libmdb_read.h"
#include "ole/ole_object_decoder.h"
#include "test_paths.h"

namespace pictrova {
namespace {

using testing::ReadCatalogWithLibmdb;
using testing::ReadTableWithLibmdb;

std::filesystem::path SamplePath() {
    return testing::BinDir() / "Samples" / "sample.mdb";
}

TEST(SampleDatabase, ListsItsTwoTables) {
    ASSERT_TRUE(std::filesystem::exists(SamplePath())) << "the build writes " << SamplePath();
    std::vector<std::string> tables;
    for (const auto& entry : ReadCatalogWithLibmdb(SamplePath()))
        if (entry.type == 1 && entry.flags == 0)
            tables.push_back(entry.name);
    EXPECT_EQ(tables, (std::vector<std::string>{"Pictures", "Raw Photos"}));
}

TEST(SampleDatabase, PicturesDecodeExceptTheEmptyUnknownAndLinkedOnes) {
    imaging::StartImageEngine();
    auto table = ReadTableWithLibmdb(SamplePath(), "Pictures");
    EXPECT_EQ(table.columnNames, (std::vector<std::string>{"ID", "Caption", "Picture"}));
    std::vector<std::string> extensions;
    std::vector<std::string> labels;
    std::vector<std::string> refused;
    std::vector<std::string> previews, bare;
    for (const auto& row : table.rows) {
        ASSERT_TRUE(row[1].has_value());
        if (!row[2]) {
            refused.push_back(*row[1]);
            continue;
        }
        const ole::DecodeResult d =
            ole::DecodeOleObject(std::vector<std::uint8_t>(row[2]->begin(), row[2]->end()));
        if (d.ok()) {
            EXPECT_FALSE(d.payload.empty()) << *row[1];
            if (d.source == ole::PayloadSource::StoredPreview)
                previews.push_back(*row[1]);
            if (d.source == ole::PayloadSource::BarePicture)
                bare.push_back(*row[1]);
            extensions.push_back(std::string(ole::KindExtension(d.kind)));
            if (d.kind == ole::ObjectKind::Package)
                labels.push_back(d.packageName);
        } else {
            refused.push_back(*row[1]);
        }
    }
    EXPECT_EQ(extensions.size(), 15u) << ::testing::PrintToString(extensions);
    EXPECT_EQ(refused, (std::vector<std::string>{"No picture", "Drawing of an unknown kind",
                                                 "Linked picture"}));
    EXPECT_GE(std::count(extensions.begin(), extensions.end(), "bmp"), 4);
    // Packages carry their file's name.
    EXPECT_EQ(labels, (std::vector<std::string>{"sea.png", "meadow.jpg", "dawn.gif", "Hafen.jpg"}));
    EXPECT_EQ(previews,
              std::vector<std::string>{"Report (Word 2007 document, its stored preview)"});
    EXPECT_EQ(bare, std::vector<std::string>{"Beach (JPEG file without a wrapper)"});
    // The Word 2007 document gives its stored preview, the bare JPEG file itself.
    EXPECT_EQ(extensions.back(), "jpg");
    EXPECT_EQ(extensions[extensions.size() - 2], "bmp");
}

TEST(SampleDatabase, RawPhotosHoldJpegAndPngFilesAsTheyAre) {
    auto table = ReadTableWithLibmdb(SamplePath(), "Raw Photos");
    int jpeg = 0, png = 0;
    for (const auto& row : table.rows) {
        ASSERT_TRUE(row[2].has_value());
        jpeg += row[2]->starts_with("\xFF\xD8\xFF");
        png += row[2]->starts_with("\x89PNG\r\n\x1A\n");
    }
    EXPECT_EQ(jpeg, 2);
    EXPECT_EQ(png, 2);
}

// The .accdb twin, read through the program's own data layer: the .mdb's tables, and an
// attachment field whose files are pictures except for one document.
TEST(SampleDatabase, AccdbTwinHoldsAttachedPictures) {
    const std::string path = (testing::BinDir() / "Samples" / "sample.accdb").string();
    database::FixedDatabaseSelection selection(path, "");
    EXPECT_EQ(database::ListTables(path, selection),
              (std::vector<std::string>{"Attached Photos", "Pictures", "Raw Photos"}));
    database::Connection connection;
    connection.Open(database::BuildConnectionString(selection));
    database::Recordset records;
    records.Open(database::RunSource("Attached Photos"), connection);
    std::vector<std::vector<std::string>> names;
    std::vector<std::string> starts;
    for (; !records.Eof(); records.MoveNext()) {
        database::Field photos = records.Fields()["Photos"];
        ASSERT_TRUE(photos.IsAttachment());
        names.emplace_back();
        std::vector<database::AttachedFile> files = photos.Attachments();
        for (std::size_t i = 0; i < files.size(); ++i) {
            names.back().push_back(files[i].fileName);
            std::vector<std::uint8_t> bytes = photos.AttachmentBytes(i);
            starts.emplace_back(bytes.begin(),
                                bytes.begin() + std::min<std::size_t>(bytes.size(), 3));
        }
    }
    EXPECT_EQ(names,
              (std::vector<std::vector<std::string>>{
                  {"harbour.jpg", "hills.png", "lantern.bmp"}, {}, {"notes.txt"}, {"field.gif"}}));
    EXPECT_EQ(starts, (std::vector<std::string>{"\xFF\xD8\xFF", "\x89PN", "BM6", "Not", "GIF"}));
}

}  // namespace
}  // namespace pictrova
