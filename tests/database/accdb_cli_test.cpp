// SPDX-License-Identifier: GPL-3.0-or-later
// End-to-end: the real pictrova-cli on an encrypted .accdb and its plain twin, with --password.
#include <gtest/gtest.h>

#include <fstream>
#include <map>
#include <string>
#include <vector>

#include "jet_writer/accdb_encrypt.h"
#include "jet_writer/jet_writer.h"
#include "ole_builder/ole_fields.h"
#include "ole_builder/pictures.h"
#include "program_run.h"
#include "test_paths.h"

namespace pictrova::database {
namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<std::uint8_t>;

std::string ReadText(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

using Outcome = testing::ProgramOutcome;

Outcome RunCli(const std::vector<std::string>& args, const fs::path& scratch,
               const std::string& input = "") {
    const fs::path inFile = scratch / "stdin.txt";
    std::ofstream(inFile, std::ios::binary) << input;
    return testing::RunProgram(testing::BinDir() / "pictrova-cli", args, scratch, inFile);
}

std::map<std::string, std::string> FilesIn(const fs::path& folder) {
    std::map<std::string, std::string> files;
    for (const auto& e : fs::directory_iterator(folder))
        files[e.path().filename().string()] = ReadText(e.path());
    return files;
}

class EncryptedCli : public ::testing::Test {
  protected:
    void SetUp() override {
        jet::DatabasePlan database;
        database.format = jet::Format::Ace16;
        jet::TablePlan pictures{"Pictures",
                                {{"ID", jet::ColumnType::Long},
                                 {"Caption", jet::ColumnType::Text, 50},
                                 {"Picture", jet::ColumnType::OleObject}},
                                {}};
        for (int k = 1; k <= 3; ++k)
            pictures.rows.push_back(
                {std::int64_t{k}, "picture " + std::to_string(k),
                 fixtures::BuildPaintPicture(fixtures::MakeBmpFile(20 + k, 10 * k))});
        database.tables = {pictures, {"Other", {{"Note", jet::ColumnType::Memo}}, {}}};
        const Bytes plain = jet::WriteDatabaseToMemory(database);
        jet::AccdbEncryptionSettings agile;
        agile.kind = AccdbEncryption::Agile;
        Write(plainDb, plain);
        Write(encryptedDb, jet::EncryptAccdbImage(plain, agile, "s3cret"));
    }

    static void Write(const fs::path& path, const Bytes& bytes) {
        std::ofstream(path, std::ios::binary)
            .write(reinterpret_cast<const char*>(bytes.data()),
                   static_cast<std::streamsize>(bytes.size()));
    }

    Outcome Cli(std::vector<std::string> args, const std::string& input = "") {
        return RunCli(std::move(args), scratch.path(), input);
    }

    testing::TempDir dir, scratch;
    fs::path plainDb = dir / "plain.accdb";
    fs::path encryptedDb = dir / "encrypted.accdb";
};

TEST_F(EncryptedCli, TablesFieldsAndExtractMatchThePlainTwin) {
    const Outcome tables = Cli({"tables", encryptedDb.string(), "--password", "s3cret"});
    EXPECT_EQ(tables.status, 0) << tables.err;
    EXPECT_EQ(tables.out, Cli({"tables", plainDb.string()}).out);
    EXPECT_EQ(tables.out, "Other\nPictures\n");

    const Outcome fields =
        Cli({"fields", encryptedDb.string(), "Pictures", "--password", "s3cret"});
    EXPECT_EQ(fields.status, 0) << fields.err;
    EXPECT_EQ(fields.out, Cli({"fields", plainDb.string(), "Pictures"}).out);

    fs::create_directory(dir / "from_plain");
    fs::create_directory(dir / "from_encrypted");
    const auto extract = [&](const fs::path& db, const fs::path& out,
                             std::vector<std::string> more) {
        std::vector<std::string> args{"extract", db.string(), "--table", "Pictures",
                                      "--field", "Picture",   "--out",   out.string()};
        args.insert(args.end(), more.begin(), more.end());
        return Cli(args);
    };
    const Outcome fromPlain = extract(plainDb, dir / "from_plain", {});
    const Outcome fromEncrypted =
        extract(encryptedDb, dir / "from_encrypted", {"--password", "s3cret"});
    EXPECT_EQ(fromEncrypted.status, 0) << fromEncrypted.err;
    EXPECT_EQ(fromEncrypted.out, fromPlain.out);
    const auto files = FilesIn(dir / "from_encrypted");
    EXPECT_EQ(files.size(), 3u);
    EXPECT_EQ(files, FilesIn(dir / "from_plain"));
}

// --password - takes the password from standard input, so it never shows in the process list.
TEST_F(EncryptedCli, PasswordFromStandardInput) {
    struct Case {
        std::string input;
        bool opens;
    } cases[] = {{"s3cret\n", true},
                 {"s3cret\r\n", true},
                 {"s3cret", true},
                 {"S3cret\n", false},
                 {"", false}};
    for (const Case& c : cases) {
        const Outcome o = Cli({"tables", encryptedDb.string(), "--password", "-"}, c.input);
        EXPECT_EQ(o.status == 0, c.opens) << c.input << o.err;
        if (c.opens) {
            EXPECT_EQ(o.out, "Other\nPictures\n") << c.input;
        }
    }
}

// A missing password and a wrong one are told apart, and a libcrypto that cannot be loaded is
// told as that; each is a check before the work (exit 2). The plain twin opens without libcrypto.
TEST_F(EncryptedCli, WrongOrMissingPasswordIsReported) {
    const std::string missingCrypto = (dir / "nowhere" / "libcrypto.so").string();
    const struct {
        std::vector<std::string> password;
        const char* cryptoLibrary;  // $PICTROVA_CRYPTO_LIBRARY; null: found as installed
        std::string err;
    } cases[] = {
        {{}, nullptr, "a password is required (--password, --password-file or PICTROVA_PASSWORD)"},
        {{"--password", "S3cret"}, nullptr, "wrong password"},
        {{"--password", "s3cret"},
         missingCrypto.c_str(),
         "libcrypto could not be loaded: " + missingCrypto +
             ": cannot open shared object file: No such file or directory"},
        {{"--password", "s3cret"},
         "libz.so.1",
         "libcrypto could not be loaded: libz.so.1: no function EVP_MD_fetch"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.err);
        if (c.cryptoLibrary != nullptr)
            setenv("PICTROVA_CRYPTO_LIBRARY", c.cryptoLibrary, 1);
        std::vector<std::string> args{"tables", encryptedDb.string()};
        args.insert(args.end(), c.password.begin(), c.password.end());
        const Outcome o = Cli(args);
        EXPECT_EQ(o.status, 2);
        EXPECT_EQ(o.out, "");
        EXPECT_EQ(o.err, "pictrova-cli: cannot open " + encryptedDb.string() + ": " + c.err + "\n");
        const Outcome plain = Cli({"tables", plainDb.string()});
        EXPECT_EQ(plain.status, 0) << plain.err;
        EXPECT_EQ(plain.out, "Other\nPictures\n");
        unsetenv("PICTROVA_CRYPTO_LIBRARY");
    }
}

}  // namespace
}  // namespace pictrova::database
