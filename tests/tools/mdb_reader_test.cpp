// SPDX-License-Identifier: GPL-3.0-or-later
// Our database files read by a second, independent reader: the npm package mdb-reader, at a
// pinned version installed once into a cache folder of the build tree (scripts/install-deps
// installs node and npm). Without node, npm or the registry the test fails and says which: a
// second reader that quietly does not run checks nothing.

#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <optional>
#include <sstream>

#include "jet_writer/accdb_encrypt.h"
#include "jet_writer/jet_writer.h"
#include "test_paths.h"
#include "writer_fixtures.h"

namespace pictrova::jet {
namespace {

using testing::TempDir;

struct CommandResult {
    int status = -1;
    std::string output;
};

CommandResult RunCommand(const std::string& command) {
    CommandResult result;
    FILE* pipe = ::popen((command + " 2>&1").c_str(), "r");
    if (!pipe)
        return result;
    std::array<char, 4096> chunk;
    while (std::size_t n = std::fread(chunk.data(), 1, chunk.size(), pipe))
        result.output.append(chunk.data(), n);
    result.status = ::pclose(pipe);
    return result;
}

std::string Quote(const std::filesystem::path& path) {
    return "'" + path.string() + "'";
}

// The version every comparison runs against; a cache holding another one is installed over.
constexpr const char* kMdbReaderVersion = "3.2.0";

bool PinnedVersionInstalled(const std::filesystem::path& packageJson) {
    std::ifstream in(packageJson);
    const std::string text{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    return text.find(std::string("\"version\": \"") + kMdbReaderVersion + "\"") !=
           std::string::npos;
}

// Installs the pinned mdb-reader into the cache unless it is there; empty on success, else the
// reason.
std::string EnsureMdbReader(const std::filesystem::path& cache) {
    if (RunCommand("command -v node && command -v npm").status != 0)
        return "node and npm are not installed (scripts/install-deps installs them)";
    std::filesystem::create_directories(cache);
    const std::filesystem::path installed = cache / "node_modules/mdb-reader/package.json";
    if (PinnedVersionInstalled(installed))
        return {};
    const std::string package = std::string("mdb-reader@") + kMdbReaderVersion;
    // The lock keeps test programs that run at the same time from installing over each other.
    CommandResult install =
        RunCommand("flock " + Quote(cache / ".lock") + " timeout 300 npm install --prefix " +
                   Quote(cache) + " " + package + " --no-audit --no-fund --save-exact");
    if (install.status != 0 || !PinnedVersionInstalled(installed))
        return "npm could not install " + package + " into " + cache.string() + ": " +
               install.output;
    return {};
}

// Compares the file with the expectations in JSON and prints one line per difference.
constexpr const char* kCompareScript = R"(
import { readFileSync } from "node:fs";
import { pathToFileURL } from "node:url";
const [, , modulePath, databasePath, expectedPath, password] = process.argv;
const { default: MDBReader } = await import(pathToFileURL(modulePath).href);
const expected = JSON.parse(readFileSync(expectedPath, "utf8"));
const reader = new MDBReader(readFileSync(databasePath), password ? { password } : {});
const errors = [];
const same = (what, actual, wanted) => {
  if (JSON.stringify(actual) !== JSON.stringify(wanted))
    errors.push(`${what}: got ${JSON.stringify(actual).slice(0, 200)}, want ${JSON.stringify(wanted).slice(0, 200)}`);
};
same("tables", reader.getTableNames(), expected.tables);
same("tables and links", reader.getTableNames({ linkedTables: true }), expected.tablesAndLinks);
same("password", reader.getPassword(), expected.password);
let values = 0;
for (const [name, table] of Object.entries(expected.data)) {
  const actual = reader.getTable(name);
  same(`${name} columns`, actual.getColumnNames(), table.columns);
  const rows = actual.getData();
  same(`${name} row count`, rows.length, table.rows.length);
  table.rows.forEach((row, r) => row.forEach((want, c) => {
    let got = rows[r]?.[table.columns[c]];
    if (Buffer.isBuffer(got)) got = { hex: got.toString("hex") };
    if (Array.isArray(got)) got = got.map((file) => ({ name: file.name, type: file.type, hex: file.data.toString("hex") }));
    same(`${name} row ${r} ${table.columns[c]}`, got ?? null, want);
    ++values;
  }));
}
console.log(`${values} values compared, ${errors.length} differences`);
for (const e of errors) console.log(e);
process.exit(errors.length ? 1 : 0);
)";

std::string JsonString(const std::string& text) {
    std::string out = "\"";
    for (unsigned char c : text) {
        if (c == '"' || c == '\\') {
            out += '\\';
            out += static_cast<char>(c);
        } else if (c < 0x20) {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\u%04x", c);
            out += escaped;
        } else {
            out += static_cast<char>(c);
        }
    }
    return out + "\"";
}

std::string Hex(const Bytes& bytes) {
    static const char* kHex = "0123456789abcdef";
    std::string hex;
    for (std::uint8_t b : bytes) {
        hex += kHex[b >> 4];
        hex += kHex[b & 15];
    }
    return hex;
}

std::string JsonValue(const Value& value) {
    if (const auto* number = std::get_if<std::int64_t>(&value))
        return std::to_string(*number);
    if (const auto* text = std::get_if<std::string>(&value))
        return JsonString(*text);
    if (const auto* bytes = std::get_if<Bytes>(&value))
        return "{\"hex\":\"" + Hex(*bytes) + "\"}";
    if (const auto* files = std::get_if<Attachments>(&value)) {
        std::string out = "[";
        for (const AttachmentPlan& file : *files)
            out += (out.size() > 1 ? "," : "") + std::string("{\"name\":") +
                   JsonString(file.fileName) + ",\"type\":" + JsonString(file.fileType) +
                   ",\"hex\":\"" + Hex(file.content) + "\"}";
        return out + "]";
    }
    return "null";
}

std::string JsonNames(const std::vector<std::string>& names) {
    std::string out = "[";
    for (const auto& name : names)
        out += (out.size() > 1 ? "," : "") + JsonString(name);
    return out + "]";
}

std::string ExpectedJson(const DatabasePlan& plan) {
    std::vector<std::string> tables;
    for (const TablePlan& table : plan.tables)
        tables.push_back(table.name);
    std::vector<std::string> tablesAndLinks = tables;
    for (const CatalogObjectPlan& object : plan.otherObjects)
        if (object.kind == ObjectKind::LinkedTable)
            tablesAndLinks.push_back(object.name);
    std::ostringstream json;
    json << "{\"tables\":" << JsonNames(tables)
         << ",\"tablesAndLinks\":" << JsonNames(tablesAndLinks)
         << ",\"password\":" << (plan.password.empty() ? "null" : JsonString(plan.password))
         << ",\"data\":{";
    for (std::size_t t = 0; t < plan.tables.size(); ++t) {
        const TablePlan& table = plan.tables[t];
        std::vector<std::string> columns;
        for (const ColumnPlan& column : table.columns)
            columns.push_back(column.name);
        json << (t ? "," : "") << JsonString(table.name) << ":{\"columns\":" << JsonNames(columns)
             << ",\"rows\":[";
        for (std::size_t r = 0; r < table.rows.size(); ++r) {
            json << (r ? "," : "") << "[";
            for (std::size_t c = 0; c < table.rows[r].size(); ++c)
                json << (c ? "," : "") << JsonValue(table.rows[r][c]);
            json << "]";
        }
        json << "]}";
    }
    json << "}}";
    return json.str();
}

DatabasePlan ComparedDatabase(Format format, std::size_t largestValue) {
    DatabasePlan plan;
    plan.format = format;
    plan.tables.push_back(
        {"Pictures", {{"ID", ColumnType::Long}, {"Picture", ColumnType::OleObject}}, {}});
    const std::size_t sizes[] = {0, 1, 64, 65, 4080, 4081, 8152, 8153, 100'000, largestValue};
    for (std::size_t i = 0; i < std::size(sizes); ++i)
        plan.tables[0].rows.push_back({std::int64_t(i), Pattern(sizes[i], i)});
    plan.tables[0].rows.push_back({std::int64_t(99), Null});
    plan.tables.push_back(EveryTypeTable());
    if (format != Format::Jet4) {
        // Attachments, raw and deflated, with the hidden tables beside them.
        TablePlan files{"Files", {{"ID", ColumnType::Long}, {"Files", ColumnType::Attachment}}, {}};
        files.rows.push_back({std::int64_t{1}, Attachments{}});
        files.rows.push_back({std::int64_t{2}, Attachments{{"photo.png", "png", Pattern(9000, 1),
                                                            false, std::nullopt}}});
        files.rows.push_back(
            {std::int64_t{3},
             Attachments{{"notes.txt", "txt", Bytes(5000, 'n'), true, std::nullopt},
                         {"README", "", Pattern(10, 2), true, std::nullopt},
                         {"notes.txt", "txt", Pattern(300, 3), false, std::nullopt}}});
        plan.tables.push_back(std::move(files));
    }
    plan.otherObjects = {
        {ObjectKind::Query, "Big Pictures", "", ""},
        {ObjectKind::LinkedTable, "Linked Pictures", "Pictures", "/data/other.mdb"}};
    return plan;
}

TEST(MdbReader, ReadsEveryFormatByteExact) {
    const std::filesystem::path cache = PICTROVA_TOOLS_TEST_CACHE;
    const std::string reason = EnsureMdbReader(cache);
    ASSERT_EQ(reason, "");
    TempDir dir;
    std::ofstream(dir / "compare.mjs") << kCompareScript;

    struct Case {
        const char* file;
        Format format;
        const char* password;
        std::uint32_t encodingKey;
        // Office encryption of the written .accdb with the password (the old password field then
        // stays empty); the kinds mdb-reader opens.
        std::optional<AccdbEncryptionSettings> encryption = std::nullopt;
    };
    AccdbEncryptionSettings rc4;
    rc4.kind = AccdbEncryption::Rc4CryptoApi;
    rc4.keyBits = 128;
    AccdbEncryptionSettings agile;  // AES-256, SHA-512
    agile.spinCount = 1000;
    // mdb-reader takes a long value's length from 24 bits, so it cannot read values of 16 MiB
    // and more (libmdb can): the largest value here stays below that.
    const Case cases[] = {
        {"jet4.mdb", Format::Jet4, "", 0},
        {"password.mdb", Format::Jet4, "s3cret!", 0},
        {"encoded.mdb", Format::Jet4, "", 0x5EED},
        {"ace12.accdb", Format::Ace12, "", 0},
        {"ace14.accdb", Format::Ace14, "", 0},
        {"ace15.accdb", Format::Ace15, "", 0},
        {"ace16.accdb", Format::Ace16, "", 0},
        {"ace17.accdb", Format::Ace17, "", 0},
        {"rc4-cryptoapi-128.accdb", Format::Ace14, "s3cret!", 0, rc4},
        {"agile-aes-256.accdb", Format::Ace16, "s3cret!", 0, agile},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.file);
        DatabasePlan plan =
            ComparedDatabase(c.format, c.format == Format::Jet4 ? 5 * 1024 * 1024 : 300'000);
        plan.encodingKey = c.encodingKey;
        if (!c.encryption)
            plan.password = c.password;
        WriteDatabase(dir / c.file, plan);
        if (c.encryption) {
            std::ifstream in(dir / c.file, std::ios::binary);
            const Bytes plain{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
            const Bytes encrypted = EncryptAccdbImage(plain, *c.encryption, c.password);
            std::ofstream(dir / c.file, std::ios::binary | std::ios::trunc)
                .write(reinterpret_cast<const char*>(encrypted.data()),
                       static_cast<std::streamsize>(encrypted.size()));
        }
        std::ofstream(dir / "expected.json") << ExpectedJson(plan);
        CommandResult result =
            RunCommand("node " + Quote(dir / "compare.mjs") + " " +
                       Quote(cache / "node_modules/mdb-reader/lib/node/index.js") + " " +
                       Quote(dir / c.file) + " " + Quote(dir / "expected.json") +
                       (c.encryption ? " " + Quote(c.password) : std::string()));
        EXPECT_EQ(result.status, 0) << result.output;
        EXPECT_NE(result.output.find(" 0 differences"), std::string::npos) << result.output;
    }
}

}  // namespace
}  // namespace pictrova::jet
