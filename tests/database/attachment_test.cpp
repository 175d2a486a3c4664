// SPDX-License-Identifier: GPL-3.0-or-later
// Attachment fields read from databases our writer makes: one record per case, each file's
// name, type and decoded bytes, and damaged values failing for their own file only.
#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "common/error.h"
#include "database/database.h"
#include "database_fixtures.h"
#include "jet_writer/accdb_encrypt.h"

namespace pictrova::database {
namespace {

using jet::AttachmentPlan;
using jet::Attachments;
using jet::Bytes;
using pictrova::testing::TempDir;
using testing::Pattern;
using testing::PutU32;
using testing::U32At;
using testing::Write;
using testing::WriteFile;

// What a file reads as: its bytes, or a failure whose description holds `error`.
struct Expected {
    std::string name;
    std::string type;
    Bytes bytes;
    std::string error;
};

struct Case {
    const char* title;
    std::optional<Attachments> files;  // none: the record has no key at all
    std::vector<Expected> expected;
};

AttachmentPlan File(std::string name, std::string type, Bytes content, bool deflate) {
    return {std::move(name), std::move(type), std::move(content), deflate, std::nullopt};
}

// A file whose stored value is edited after encoding: `edit` gets the FileData bytes.
template <typename Edit>
AttachmentPlan Damaged(std::string name, Bytes content, bool deflate, Edit edit) {
    AttachmentPlan file = File(std::move(name), "bin", std::move(content), deflate);
    Bytes stored = jet::EncodeAttachmentData(file.fileType, file.content, deflate);
    edit(stored);
    file.storedData = std::move(stored);
    return file;
}

// A deflated file whose header declares `delta` bytes more (or fewer) than it inflates to.
AttachmentPlan Misdeclared(std::int64_t delta) {
    return Damaged("misdeclared.bin", Pattern(3000, 9), true, [delta](Bytes& stored) {
        PutU32(stored, 4, static_cast<std::uint32_t>(U32At(stored, 4) + delta));
    });
}

std::vector<Case> Cases() {
    const Bytes picture = Pattern(9000, 1);  // several long-value pages
    const Bytes text(5000, 'a');             // compresses well
    return {
        {"raw",
         Attachments{File("photo.png", "png", picture, false)},
         {{"photo.png", "png", picture, ""}}},
        {"deflate",
         Attachments{File("notes.txt", "txt", text, true)},
         {{"notes.txt", "txt", text, ""}}},
        {"empty extension",
         Attachments{File("Theme1.", "", Bytes{1, 2, 3}, true)},
         {{"Theme1.", "", {1, 2, 3}, ""}}},
        {"empty file",
         Attachments{File("empty.gif", "gif", {}, false)},
         {{"empty.gif", "gif", {}, ""}}},
        {"several",
         Attachments{File("a.jpg", "jpg", Pattern(100, 2), false),
                     File("b.bmp", "bmp", Pattern(70'000, 3), true),
                     File("c.txt", "txt", Pattern(10, 4), false)},
         {{"a.jpg", "jpg", Pattern(100, 2), ""},
          {"b.bmp", "bmp", Pattern(70'000, 3), ""},
          {"c.txt", "txt", Pattern(10, 4), ""}}},
        {"none", Attachments{}, {}},
        {"no key", std::nullopt, {}},
        {"same name twice",
         Attachments{File("same.png", "png", Pattern(50, 5), false),
                     File("same.png", "png", Pattern(60, 6), true)},
         {{"same.png", "png", Pattern(50, 5), ""}, {"same.png", "png", Pattern(60, 6), ""}}},
        // Damage: each file fails alone, its neighbours still read.
        {"unknown flag",
         Attachments{Damaged("flag.bin", Pattern(40, 7), false, [](Bytes& s) { s[0] = 7; }),
                     File("fine.png", "png", Pattern(40, 8), false)},
         {{"flag.bin", "bin", {}, "its storage flag 7 is unknown"},
          {"fine.png", "png", Pattern(40, 8), ""}}},
        {"raw length",
         Attachments{Damaged("long.bin", Pattern(40, 7), false,
                             [](Bytes& s) { PutU32(s, 4, U32At(s, 4) + 1); })},
         {{"long.bin", "bin", {}, "declares 61 bytes but holds 60"}}},
        {"header too short",
         Attachments{Damaged("short.bin", {}, false, [](Bytes& s) { s.resize(6); })},
         {{"short.bin", "bin", {}, "too short for a header"}}},
        {"content header length",
         Attachments{
             Damaged("header.bin", Pattern(40, 7), false, [](Bytes& s) { PutU32(s, 8, 400); })},
         {{"header.bin", "bin", {}, "content header length 400"}}},
        {"extension past the content",
         Attachments{Damaged("ext.bin", {}, false, [](Bytes& s) { PutU32(s, 16, 0x7FFFFFFF); })},
         {{"ext.bin", "bin", {}, "content header length"}}},
        {"inflate damaged",
         Attachments{Damaged("bad.bin", Bytes(3000, 'z'), true, [](Bytes& s) { s[8] ^= 0xFF; })},
         {{"bad.bin", "bin", {}, "compressed data is damaged"}}},
        {"inflate cut",
         Attachments{
             Damaged("cut.bin", Pattern(3000, 9), true, [](Bytes& s) { s.resize(s.size() / 2); })},
         {{"cut.bin", "bin", {}, "compressed data ends before"}}},
        {"inflates past declared",
         Attachments{Misdeclared(-1)},
         {{"misdeclared.bin", "bin", {}, "inflates to more than"}}},
        {"inflates short of declared",
         Attachments{Misdeclared(+1)},
         {{"misdeclared.bin", "bin", {}, "inflates to 3020 of the 3021"}}},
        {"declared beyond any inflate",
         Attachments{Damaged("bomb.bin", {}, true, [](Bytes& s) { PutU32(s, 4, 400'000'000); })},
         {{"bomb.bin", "bin", {}, "more than its"}}},
    };
}

jet::DatabasePlan Plan(jet::Format format) {
    jet::DatabasePlan plan;
    plan.format = format;
    jet::TablePlan table{"Photos",
                         {{"ID", jet::ColumnType::Long},
                          {"Title", jet::ColumnType::Text, 50},
                          {"Files", jet::ColumnType::Attachment}},
                         {}};
    std::int64_t id = 0;
    for (const Case& c : Cases())
        table.rows.push_back(
            {++id, std::string(c.title), c.files ? jet::Value(*c.files) : jet::Value(jet::Null)});
    plan.tables.push_back(std::move(table));
    // Access keeps its own attachments (themes, form images) in a system table.
    plan.tables.push_back({"MSysResources",
                           {{"Id", jet::ColumnType::Long}, {"Data", jet::ColumnType::Attachment}},
                           {{std::int64_t{1}, Attachments{File("Office Theme.thmx", "thmx",
                                                               Pattern(300, 1), true)}}}});
    return plan;
}

void CheckEveryCase(const std::string& path, const std::string& password) {
    Connection connection;
    connection.Open(BuildConnectionString(FixedDatabaseSelection(path, password)));
    Recordset records;
    records.Open(RunSource("Photos"), connection);
    EXPECT_TRUE(records.Fields()["Files"].IsAttachment());
    EXPECT_FALSE(records.Fields()["ID"].IsAttachment());
    EXPECT_TRUE(records.Fields()["ID"].Attachments().empty());
    for (const Case& c : Cases()) {
        SCOPED_TRACE(c.title);
        ASSERT_FALSE(records.Eof());
        ASSERT_EQ(records.Fields()["Title"].Value().text(), c.title);
        Field files = records.Fields()["Files"];
        std::vector<AttachedFile> listed = files.Attachments();
        ASSERT_EQ(listed.size(), c.expected.size());
        for (std::size_t i = 0; i < listed.size(); ++i) {
            const Expected& want = c.expected[i];
            EXPECT_EQ(listed[i].fileName, want.name);
            EXPECT_EQ(listed[i].fileType, want.type);
            EXPECT_TRUE(listed[i].bytes.empty());
            try {
                std::vector<std::uint8_t> bytes = files.AttachmentBytes(i);
                EXPECT_TRUE(want.error.empty()) << "read a damaged file";
                EXPECT_EQ(bytes, want.bytes);
            } catch (const Error& e) {
                EXPECT_NE(e.description().find(want.error), std::string::npos) << e.description();
                EXPECT_FALSE(want.error.empty()) << e.description();
                EXPECT_NE(e.description().find("'" + want.name + "' of field 'Files'"),
                          std::string::npos);
            }
        }
        EXPECT_THROW(files.AttachmentBytes(listed.size()), Error);
        records.MoveNext();
    }
    EXPECT_TRUE(records.Eof());
}

class AttachmentFields : public ::testing::TestWithParam<jet::Format> {};

TEST_P(AttachmentFields, ReadEveryFileOfEveryRecord) {
    TempDir dir;
    CheckEveryCase(Write(dir, "attachments.accdb", Plan(GetParam())), "");
}

INSTANTIATE_TEST_SUITE_P(Ace, AttachmentFields,
                         ::testing::Values(jet::Format::Ace12, jet::Format::Ace17));

TEST(AttachmentFields, ReadThroughTheDecryptedImageOfAnEncryptedFile) {
    TempDir dir;
    const Bytes plain = jet::WriteDatabaseToMemory(Plan(jet::Format::Ace16));
    jet::AccdbEncryptionSettings settings;
    settings.spinCount = 1000;
    WriteFile((dir / "encrypted.accdb").string(), jet::EncryptAccdbImage(plain, settings, "pw"));
    CheckEveryCase((dir / "encrypted.accdb").string(), "pw");
}

TEST(AttachmentFields, HiddenAndSystemTablesAreNotListed) {
    TempDir dir;
    std::string path = Write(dir, "attachments.accdb", Plan(jet::Format::Ace12));
    FixedDatabaseSelection selection(path, "");
    EXPECT_EQ(ListTables(path, selection), std::vector<std::string>{"Photos"});
    std::vector<FieldInfo> fields = ListTableFields(selection, "Photos");
    ASSERT_EQ(fields.size(), 3u);
    EXPECT_EQ(fields[2].name, "Files");
    EXPECT_TRUE(fields[2].attachment);
    EXPECT_FALSE(fields[0].attachment);
}

}  // namespace
}  // namespace pictrova::database
