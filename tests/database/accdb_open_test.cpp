// SPDX-License-Identifier: GPL-3.0-or-later
// Encrypted twins of databases written by our writer, opened through the data layer (and so
// through libmdb) with their password: the same tables and values as the plain file.
#include <gtest/gtest.h>

#include <fstream>
#include <string>
#include <vector>

#include "common/error.h"
#include "database/database.h"
#include "jet_writer/accdb_encrypt.h"
#include "jet_writer/jet_writer.h"
#include "test_paths.h"

namespace pictrova::database {
namespace {

using Bytes = std::vector<std::uint8_t>;

jet::DatabasePlan PictureDatabase() {
    jet::DatabasePlan database;
    database.format = jet::Format::Ace14;
    jet::TablePlan pictures{"Pictures",
                            {{"Id", jet::ColumnType::Long},
                             {"Caption", jet::ColumnType::Text, 80},
                             {"Photo", jet::ColumnType::OleObject}},
                            {}};
    // Values stored inline, on one long-value page and in chains over several pages.
    for (std::int64_t id = 1; id <= 12; ++id) {
        Bytes photo(static_cast<std::size_t>(id * id * 97), 0);
        for (std::size_t k = 0; k < photo.size(); ++k)
            photo[k] = static_cast<std::uint8_t>(k * id + 3);
        pictures.rows.push_back({id, "picture " + std::to_string(id), photo});
    }
    pictures.rows.push_back({std::int64_t{13}, jet::Null, jet::Null});
    jet::TablePlan notes{"Notes", {{"Text", jet::ColumnType::Memo}}, {{std::string(5000, 'n')}}};
    database.tables = {pictures, notes};
    return database;
}

void WriteFile(const std::filesystem::path& path, const Bytes& bytes) {
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()),
               static_cast<std::streamsize>(bytes.size()));
}

void Open(Connection& connection, const std::filesystem::path& path, const std::string& password) {
    connection.Open(BuildConnectionString(FixedDatabaseSelection(path.string(), password)));
}

// Every table the schema lists, then every value of every user table, as text.
std::vector<std::string> Dump(const std::filesystem::path& path, const std::string& password) {
    std::vector<std::string> out;
    Connection connection;
    Open(connection, path, password);
    TablesSchema schema = connection.OpenSchema(kAdSchemaTables);
    for (const auto& row : schema.rows()) {
        out.push_back(row.tableType + " " + row.tableName);
        if (row.tableType != "TABLE")
            continue;
        Recordset records;
        records.Open("SELECT * FROM [" + row.tableName + "];", connection);
        for (; !records.Eof(); records.MoveNext()) {
            const FieldCollection fields = records.Fields();
            for (int k = 0; k < fields.Count(); ++k) {
                const FieldValue v = fields[k].Value();
                out.push_back(fields[k].Name() + "=" +
                              (v.IsNull()    ? "Null"
                               : v.IsBytes() ? std::string(v.bytes().begin(), v.bytes().end())
                                             : v.text()));
            }
        }
    }
    return out;
}

jet::AccdbEncryptionSettings Settings(AccdbEncryption kind, std::uint32_t bits,
                                      HashAlgorithm hash = HashAlgorithm::Sha512) {
    jet::AccdbEncryptionSettings s;
    s.kind = kind;
    s.keyBits = bits;
    s.agileHash = hash;
    return s;
}

struct Kind {
    const char* name;
    jet::AccdbEncryptionSettings settings;
};

class EncryptedTwin : public ::testing::TestWithParam<Kind> {};

TEST_P(EncryptedTwin, ListsTheSameTablesAndValuesAsThePlainFile) {
    testing::TempDir dir;
    const Bytes plain = jet::WriteDatabaseToMemory(PictureDatabase());
    WriteFile(dir / "plain.accdb", plain);
    WriteFile(dir / "encrypted.accdb",
              jet::EncryptAccdbImage(plain, GetParam().settings, "Ünïcode pass"));

    const auto expected = Dump(dir / "plain.accdb", "");
    ASSERT_GT(expected.size(), 40u);
    EXPECT_EQ(Dump(dir / "encrypted.accdb", "Ünïcode pass"), expected);

    for (const std::string wrong : {"", "ünïcode pass", "Unicode pass"}) {
        Connection connection;
        try {
            Open(connection, dir / "encrypted.accdb", wrong);
            ADD_FAILURE() << "opened with \"" << wrong << "\"";
        } catch (const Error& e) {
            EXPECT_EQ(e.description(), "Not a valid password.");
        }
        EXPECT_FALSE(connection.IsOpen());
    }
}

INSTANTIATE_TEST_SUITE_P(
    Accdb, EncryptedTwin,
    ::testing::Values(Kind{"Rc4CryptoApi40", Settings(AccdbEncryption::Rc4CryptoApi, 40)},
                      Kind{"Rc4CryptoApi128", Settings(AccdbEncryption::Rc4CryptoApi, 128)},
                      Kind{"CryptoApiAes256", Settings(AccdbEncryption::CryptoApiAes, 256)},
                      Kind{"StandardAes128", Settings(AccdbEncryption::StandardAes, 128)},
                      Kind{"AgileSha1Aes128",
                           Settings(AccdbEncryption::Agile, 128, HashAlgorithm::Sha1)},
                      Kind{"AgileSha512Aes256", Settings(AccdbEncryption::Agile, 256)}),
    [](const auto& info) { return std::string(info.param.name); });

// A damaged description reaches the user as a description of the damage, not as an
// unreadable format or a crash.
TEST(EncryptedAccdb, DamagedDescriptionIsReportedThroughOpen) {
    testing::TempDir dir;
    Bytes encrypted = jet::EncryptAccdbImage(jet::WriteDatabaseToMemory(PictureDatabase()),
                                             Settings(AccdbEncryption::Agile, 128), "pw");
    encrypted[kDescriptionLengthOffset] = 100;  // cuts the XML descriptor short
    encrypted[kDescriptionLengthOffset + 1] = 0;
    WriteFile(dir / "damaged.accdb", encrypted);
    Connection connection;
    try {
        Open(connection, dir / "damaged.accdb", "pw");
        ADD_FAILURE();
    } catch (const Error& e) {
        EXPECT_NE(e.description().find("encryption description of this database is damaged"),
                  std::string::npos)
            << e.description();
    }
}

}  // namespace
}  // namespace pictrova::database
