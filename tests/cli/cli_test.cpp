// SPDX-License-Identifier: GPL-3.0-or-later
// End-to-end: the real pictrova-cli on databases from our writer.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <spawn.h>
#include <sys/file.h>
#include <sys/wait.h>
#include <unistd.h>

#include <nlohmann/json.hpp>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <map>
#include <optional>
#include <regex>
#include <set>
#include <sstream>
#include <thread>

#include "browser_page.h"
#include "common/limits.h"
#include "image_oracle.h"
#include "imaging/metafile_cost.h"
#include "ole/ole_object_decoder.h"
#include "ole_builder/enhanced_metafiles.h"
#include "ole_builder/ole_fields.h"
#include "ole_builder/pictures.h"
#include "picture_database.h"
#include "program_run.h"
#include "small_file_system.h"
#include "test_paths.h"

extern char** environ;

namespace pictrova::cli {
namespace {

namespace fs = std::filesystem;
using fixtures::Bytes;

using Outcome = testing::ProgramOutcome;
using testing::RunProgram;

std::string ReadText(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// Runs `program` with `args`, stdout and stderr to files (never a terminal), stdin from `input`
// when one is given.
Bytes PaintPicture(int variant = 0) {
    return fixtures::BuildPaintPicture(fixtures::MakeBmpFile(24 + variant, 16));
}

// True when `text` is valid UTF-8 (the JSON writer refuses anything else).
bool IsUtf8(const std::string& text) {
    try {
        (void)nlohmann::json(text).dump();
        return true;
    } catch (const nlohmann::json::exception&) {
        return false;
    }
}

// Text from a database reached the terminal as it was: an escape sequence, a bidirectional
// override, a C1 control or bytes that are not UTF-8.
bool ObeyedOnATerminal(const std::string& text) {
    return text.find('\x1b') != std::string::npos ||
           text.find("\xE2\x80\xAE") != std::string::npos ||
           text.find("\xC2\x9B") != std::string::npos || !IsUtf8(text);
}

Bytes Truncated(Bytes bytes, std::size_t size) {
    bytes.resize(size);
    return bytes;
}

class CliTest : public ::testing::Test {
  protected:
    void SetUp() override { fs::create_directory(out); }

    Outcome Cli(const std::vector<std::string>& args, const fs::path& input = {}) {
        return RunProgram(cli, args, scratch.path(), input);
    }
    Outcome Extract(std::vector<std::string> more) {
        std::vector<std::string> args{"extract", db.string(), "--table", "Pictures",
                                      "--field", "Picture",   "--out",   out.string()};
        args.insert(args.end(), more.begin(), more.end());
        return Cli(args);
    }
    std::set<std::string> OutputFiles() const {
        std::set<std::string> names;
        for (const auto& e : fs::directory_iterator(out))
            names.insert(e.path().filename().string());
        return names;
    }
    void Reset() {
        fs::remove_all(out);
        fs::create_directory(out);
    }

    fs::path cli = testing::BinDir() / "pictrova-cli";
    testing::TempDir dir;
    testing::TempDir scratch;
    fs::path db = dir / "pictures.mdb";
    fs::path out = dir / "out";
};

TEST_F(CliTest, TablesAndFields) {
    jet::DatabasePlan plan;
    plan.tables.push_back({"Pictures",
                           {{"ID", jet::ColumnType::Long, 0},
                            {"Caption", jet::ColumnType::Text, 50},
                            {"Picture", jet::ColumnType::OleObject, 0}},
                           {}});
    plan.tables.push_back({"Raw Photos", {{"Photo", jet::ColumnType::OleObject, 0}}, {}});
    plan.otherObjects.push_back({jet::ObjectKind::Query, "A query", "", ""});
    jet::WriteDatabase(db, plan);

    Outcome tables = Cli({"tables", db.string()});
    EXPECT_EQ(tables.status, 0);
    EXPECT_EQ(tables.out, "Pictures\nRaw Photos\n");

    Outcome fields = Cli({"fields", db.string(), "Pictures"});
    EXPECT_EQ(fields.status, 0);
    EXPECT_EQ(fields.out, "ID\t3\tLong Integer\nCaption\t202\tText\nPicture\t205\tOLE Object\n");

    // An attachment field is named by its kind, not by the Long code of its key.
    const std::string accdb = (testing::BinDir() / "Samples" / "sample.accdb").string();
    EXPECT_EQ(Cli({"tables", accdb}).out, "Attached Photos\nPictures\nRaw Photos\n");
    EXPECT_EQ(Cli({"fields", accdb, "Attached Photos"}).out,
              "ID\t3\tLong Integer\nCaption\t202\tText\nPhotos\t3\tAttachment\n");

    Outcome missing = Cli({"tables", (dir / "none.mdb").string()});
    EXPECT_NE(missing.status, 0);
    EXPECT_FALSE(missing.err.empty());
}

// An attachment field end to end on the sample's .accdb twin: every picture of a record is one
// output, numbered after the record when it has several, or named after its file; the text file
// is no picture and gives nothing; the JSON lists every file with its stored name.
TEST_F(CliTest, ExtractsEveryPictureOfAnAttachmentField) {
    const std::string accdb = (testing::BinDir() / "Samples" / "sample.accdb").string();
    struct Case {
        std::vector<std::string> options;
        std::vector<std::string> files;  // harbour, hills, lantern, notes, field
    };
    const Case cases[] = {
        {{"--format", "png"},
         {"Output1-1.png", "Output1-2.png", "Output1-3.png", "", "Output4.png"}},
        {{"--name", "original"}, {"harbour.bmp", "hills.bmp", "lantern.bmp", "", "field.bmp"}},
        {{"--name", "table", "--format", "jpg"},
         {"Attached Photos1-1.jpg", "Attached Photos1-2.jpg", "Attached Photos1-3.jpg", "",
          "Attached Photos4.jpg"}},
        // Original: every attached file as it is, the text file too, with its own extension.
        {{"--format", "original"},
         {"Output1-1.jpg", "Output1-2.png", "Output1-3.bmp", "Output3.txt", "Output4.gif"}},
        {{"--format", "original", "--name", "original"},
         {"harbour.jpg", "hills.png", "lantern.bmp", "notes.txt", "field.gif"}},
    };
    const char* stored[] = {"harbour.jpg", "hills.png", "lantern.bmp", "notes.txt", "field.gif"};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.files[0]);
        Reset();
        std::vector<std::string> args{"extract",         accdb,        "--table",
                                      "Attached Photos", "--field",    "Photos",
                                      "--out",           out.string(), "--json"};
        args.insert(args.end(), c.options.begin(), c.options.end());
        Outcome o = Cli(args);
        EXPECT_EQ(o.status, 0) << o.err;
        std::set<std::string> expected;
        for (std::size_t i = 0; i < c.files.size(); ++i) {
            if (!c.files[i].empty())
                expected.insert(c.files[i]);
            std::string file =
                c.files[i].empty() ? "null" : "\"" + (out / c.files[i]).string() + "\"";
            EXPECT_NE(
                o.out.find(std::string("{\"name\":\"") + stored[i] + "\",\"file\":" + file + "}"),
                std::string::npos)
                << o.out;
        }
        EXPECT_EQ(OutputFiles(), expected);
        // Record 2 has no file; record 3 only a text file, which Original writes.
        const auto records = nlohmann::json::parse(o.out)["records"];
        EXPECT_EQ(records[1]["skipped"]["reason"], "no value") << records[1];
        if (c.files[3].empty()) {
            EXPECT_EQ(records[2]["skipped"],
                      nlohmann::json(
                          {{"reason", "not a picture"}, {"detail", "notes.txt (a txt file)"}}));
        }
    }
}

// --name original: an attached file's own name is made safe before it names a file. Each row is
// one record with one attached picture.
TEST_F(CliTest, OriginalNamesOfAttachedFilesAreMadeSafe) {
    struct Row {
        std::string stored;
        std::string written;
    };
    const Row rows[] = {
        {"harbour.png", "harbour.bmp"},
        {".bashrc", "_bashrc.bmp"},             // hidden
        {"-rf .png", "_rf .bmp"},               // an option to the commands given it
        {"   ", "attachment.bmp"},              // blanks only
        {"a\xE2\x80\xAEgnp.exe", "a_gnp.bmp"},  // shown as "aexe.png" on a terminal
        {"b\xC2\x9B"
         "2J.png",
         "b_2J.bmp"},  // a C1 control sequence introducer
    };
    jet::DatabasePlan plan;
    plan.format = jet::Format::Ace12;
    plan.tables.push_back(
        {"Visits",
         {{"ID", jet::ColumnType::Long, 0}, {"Photos", jet::ColumnType::Attachment, 0}},
         {}});
    for (std::size_t i = 0; i < std::size(rows); ++i)
        plan.tables.back().rows.push_back(
            {static_cast<std::int64_t>(i + 1),
             jet::Attachments{{rows[i].stored, "png",
                               fixtures::MakePngFile(3 + static_cast<int>(i), 3), false,
                               std::nullopt}}});
    jet::WriteDatabase(db, plan);
    Outcome o = Cli({"extract", db.string(), "--table", "Visits", "--field", "Photos", "--out",
                     out.string(), "--name", "original", "--json"});
    EXPECT_EQ(o.status, 0) << o.err;
    std::set<std::string> expected;
    const auto json = nlohmann::json::parse(o.out);
    for (std::size_t i = 0; i < std::size(rows); ++i) {
        SCOPED_TRACE(rows[i].written);
        expected.insert(rows[i].written);
        EXPECT_EQ(json["records"][i]["attachments"][0]["name"], rows[i].stored);
        EXPECT_EQ(json["records"][i]["attachments"][0]["file"], (out / rows[i].written).string());
    }
    EXPECT_EQ(OutputFiles(), expected);
}

// Regression: names from the database were printed raw, so one holding ESC [2J ESC ]0;... BEL
// cleared the screen and set the window title. Listings and messages now show them escaped.
TEST_F(CliTest, DatabaseTextIsShownEscapedNeverObeyed) {
    const std::string hostile = "Cap\x1b[2J\x1b]0;pwned\x07";
    jet::DatabasePlan plan;
    plan.tables.push_back(
        {"Pictures", {{"ID", jet::ColumnType::Long, 0}, {hostile, jet::ColumnType::Text, 50}}, {}});
    jet::WriteDatabase(db, plan);

    Outcome fields = Cli({"fields", db.string(), "Pictures"});
    EXPECT_EQ(fields.out, "ID\t3\tLong Integer\nCap\\x1B[2J\\x1B]0;pwned\\x07\t202\tText\n");
    Outcome missing = Cli({"fields", db.string(), hostile});
    EXPECT_NE(missing.status, 0);
    EXPECT_NE(missing.err.find("no table \"Cap\\x1B[2J\\x1B]0;pwned\\x07\""), std::string::npos)
        << missing.err;
    for (const Outcome& o : {fields, missing}) {
        EXPECT_EQ(o.out.find('\x1b'), std::string::npos);
        EXPECT_EQ(o.err.find('\x1b'), std::string::npos);
    }

    // An OLE Object field and an object's class holding an escape sequence, a right-to-left
    // override and a C1 control, the class also bytes that are not UTF-8 (FF FE); a table name
    // with the override and the C1 control (a catalog with control characters is refused as
    // damaged); a database whose file name is not UTF-8. Every command shows them escaped, writes
    // valid JSON and ends normally (an abort was 134, an exception in the batch 3).
    const std::string worse = "X\x1b]0;t\x07\xE2\x80\xAE\xC2\x9B";
    const std::string table = "T\xE2\x80\xAE\xC2\x9B", field = "P" + worse,
                      klass = "Acme" + worse + "\xFF\xFE";
    const fs::path odd = dir / "caf\xE9.mdb";
    plan.tables = {{table,
                    {{"ID", jet::ColumnType::Long, 0}, {field, jet::ColumnType::OleObject, 0}},
                    {{std::int64_t{1}, fixtures::BuildUnsupportedObject(klass)},
                     {std::int64_t{2}, PaintPicture()}}}};
    jet::WriteDatabase(odd, plan);
    testing::WritePictureDatabase(db, {{PaintPicture(), "a"}});
    const std::string oddPath = odd.string(), folder = (dir / "all").string();
    struct Case {
        std::vector<std::string> args;
        int status;
        bool json;
        std::string said;  // on stdout, as shown
    };
    const Case cases[] = {
        {{"tables", oddPath}, 0, false, "T\\u202E\\u009B\n"},
        {{"fields", oddPath, table}, 0, false, "PX\\x1B]0;t\\x07\\u202E\\u009B\t205"},
        {{"scan", oddPath},
         0,
         false,
         "AcmeX\\x1B]0;t\\x07\\u202E\\u009B\\xFF\\xFE (not decoded) 1"},
        {{"scan", oddPath, "--json"}, 0, true, ""},
        {{"extract", oddPath, "--table", table, "--field", field, "--out", out.string()},
         0,
         false,
         "unsupported class \"AcmeX\\x1B]0;t\\x07\\u202E\\u009B\\xFF\\xFE\")."},
        {{"extract", oddPath, "--table", table, "--field", field, "--out", out.string(), "--json"},
         0,
         true,
         ""},
        // The checks before the run list the table's fields.
        {{"extract", oddPath, "--table", table, "--field", "Photo", "--out", out.string()},
         2,
         false,
         ""},
        // The batch goes on past the odd database to the next one.
        {{"extract-all", oddPath, db.string(), "--out", folder}, 0, false, "[2/2] "},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.args.front() + " " + c.args.back());
        Outcome o = Cli(c.args);
        EXPECT_EQ(o.status, c.status) << o.err;
        EXPECT_FALSE(ObeyedOnATerminal(o.out)) << o.out;
        EXPECT_FALSE(ObeyedOnATerminal(o.err)) << o.err;
        EXPECT_NE(o.out.find(c.said), std::string::npos) << o.out;
        if (c.json) {
            EXPECT_TRUE(nlohmann::json::accept(o.out)) << o.out;
        }
    }
    // In JSON the text is kept, the bytes that are not UTF-8 written as \xNN.
    Outcome json = Cli(
        {"extract", oddPath, "--table", table, "--field", field, "--out", out.string(), "--json"});
    EXPECT_EQ(nlohmann::json::parse(json.out)["records"][0]["skipped"]["detail"],
              "Acme" + worse + "\\xFF\\xFE");
    const auto manifest = nlohmann::json::parse(ReadText(dir / "all" / "manifest.json"));
    ASSERT_EQ(manifest["databases"].size(), 2u);
    EXPECT_EQ(manifest["databases"][0]["path"], (dir / "caf\\xE9.mdb").string());
    EXPECT_EQ(manifest["databases"][0]["fields"][0]["table"], table);
    for (const auto& entry : manifest["databases"])
        EXPECT_EQ(entry["status"], "complete") << entry;
    // The folders are named as the manifest shows the names.
    EXPECT_TRUE(fs::exists(dir / "all" / "caf\\xE9.mdb" / table / field / "Output2.bmp"));
}

// libmdb's warnings while a record is read are that record's: one line for it (every message
// with --verbose), in the JSON on the record, never an error report; the same for any number of
// workers. The damage: the second data page of the table names another table as its owner, so
// libmdb warns and skips its rows when the scan reaches it, on the way to the third record.
TEST_F(CliTest, LibraryWarningsWhileARecordIsReadAreThatRecordsOneLine) {
    jet::DatabasePlan plan;
    plan.inlineLimit = 4000;  // pictures inside the rows: two rows a page
    plan.tables.push_back(
        {"Pictures", {{"ID", jet::ColumnType::Long}, {"Picture", jet::ColumnType::OleObject}}, {}});
    for (std::int64_t i = 1; i <= 8; ++i)
        plan.tables.back().rows.push_back({i, PaintPicture(static_cast<int>(i))});
    Bytes file = jet::WriteDatabaseToMemory(plan);
    constexpr std::size_t kPageSize = 4096, kOwner = 4;
    auto u32At = [&](std::size_t at) {
        return std::uint32_t(file[at] | file[at + 1] << 8 | file[at + 2] << 16 |
                             file[at + 3] << 24);
    };
    std::size_t definition = 3;
    while (file[definition * kPageSize] != 0x02)
        ++definition;
    int dataPages = 0;
    for (std::size_t page = 0; page < file.size() / kPageSize; ++page) {
        if (file[page * kPageSize] == 0x01 && u32At(page * kPageSize + kOwner) == definition &&
            ++dataPages == 2) {
            file[page * kPageSize + kOwner] = 0x7F;
            break;
        }
    }
    ASSERT_EQ(dataPages, 2);
    std::ofstream(db, std::ios::binary)
        .write(reinterpret_cast<const char*>(file.data()),
               static_cast<std::streamsize>(file.size()));

    std::string verboseErr;
    for (const char* jobs : {"1", "4"}) {
        SCOPED_TRACE(jobs);
        Reset();
        Outcome o = Extract({"--jobs", jobs});
        EXPECT_EQ(o.status, 0);
        EXPECT_EQ(o.out, "Done. 6 pictures from 6 records.\n");
        EXPECT_EQ(o.err,
                  "Record 3: the database library reported 1 warning (--verbose shows them)\n");

        Reset();
        Outcome verbose = Extract({"--jobs", jobs, "--verbose"});
        EXPECT_EQ(verbose.status, 0);
        EXPECT_TRUE(verbose.err.starts_with("Record 3: libmdb: warning: page ")) << verbose.err;
        EXPECT_EQ(std::count(verbose.err.begin(), verbose.err.end(), '\n'), 1) << verbose.err;
        if (verboseErr.empty())
            verboseErr = verbose.err;
        EXPECT_EQ(verbose.err, verboseErr);

        Reset();
        Outcome json = Extract({"--jobs", jobs, "--json"});
        EXPECT_EQ(json.status, 0);
        EXPECT_EQ(json.err, "");
        const nlohmann::json run = nlohmann::json::parse(json.out);
        ASSERT_EQ(run["records"].size(), 6u);
        for (const auto& record : run["records"]) {
            EXPECT_TRUE(record["errors"].empty());
            EXPECT_FALSE(record.contains("skipped"));
            EXPECT_EQ(record.contains("library_messages"), record["number"] == 3) << record;
        }
        EXPECT_EQ(run["records"][2]["library_messages"],
                  nlohmann::json::array({verboseErr.substr(18, verboseErr.size() - 19)}));
    }
}

// The same for an attachment field: what libmdb says while the field's hidden table of files is
// read is the record's (it reached the terminal raw). The damage: the hidden table's second data
// page names another table as its owner.
TEST_F(CliTest, LibraryWarningsWhileAttachedFilesAreReadAreThatRecordsOneLine) {
    jet::DatabasePlan plan;
    plan.format = jet::Format::Ace12;
    plan.inlineLimit = 2000;  // every attached file inside its row: three rows a page
    plan.tables.push_back(
        {"Pictures",
         {{"ID", jet::ColumnType::Long}, {"Picture", jet::ColumnType::Attachment}},
         {}});
    for (std::int64_t i = 1; i <= 8; ++i)
        plan.tables.back().rows.push_back(
            {i, jet::Attachments{{"p" + std::to_string(i) + ".bmp", "bmp",
                                  fixtures::MakeBmpFile(20, 20), false, std::nullopt}}});
    Bytes file = jet::WriteDatabaseToMemory(plan);
    constexpr std::size_t kPageSize = 4096, kOwner = 4;
    auto u32At = [&](std::size_t at) {
        return std::uint32_t(file[at] | file[at + 1] << 8 | file[at + 2] << 16 |
                             file[at + 3] << 24);
    };
    // The hidden table is the one with the most data pages.
    std::map<std::uint32_t, std::vector<std::size_t>> dataPagesOf;
    for (std::size_t page = 1; page < file.size() / kPageSize; ++page)
        if (file[page * kPageSize] == 0x01)
            dataPagesOf[u32At(page * kPageSize + kOwner)].push_back(page);
    auto hidden = std::max_element(
        dataPagesOf.begin(), dataPagesOf.end(),
        [](const auto& a, const auto& b) { return a.second.size() < b.second.size(); });
    ASSERT_GE(hidden->second.size(), 2u);
    file[hidden->second[1] * kPageSize + kOwner] = 0x7F;
    std::ofstream(db, std::ios::binary)
        .write(reinterpret_cast<const char*>(file.data()),
               static_cast<std::streamsize>(file.size()));

    Outcome o = Extract({});
    EXPECT_EQ(o.status, 0) << o.err;
    EXPECT_TRUE(o.err.starts_with("Record 1: the database library reported ")) << o.err;
    EXPECT_EQ(std::count(o.err.begin(), o.err.end(), '\n'), 1) << o.err;
    Reset();
    Outcome verbose = Extract({"--verbose"});
    EXPECT_TRUE(verbose.err.starts_with("Record 1: libmdb: warning: page ")) << verbose.err;
}

TEST_F(CliTest, ExtractWithDefaults) {
    testing::WritePictureDatabase(
        db, {{PaintPicture(), "a"}, {std::nullopt, "b"}, {PaintPicture(1), "c"}});
    Outcome o = Extract({});
    EXPECT_EQ(o.status, 0);
    EXPECT_EQ(o.out, "Done. 2 pictures from 3 records; 1 without a picture (1 empty).\n");
    EXPECT_EQ(o.err, "");  // no progress line when not on a terminal
    EXPECT_EQ(OutputFiles(), (std::set<std::string>{"Output1.bmp", "Output3.bmp"}));
}

TEST_F(CliTest, ExitStatusByOutcome) {
    testing::WritePictureDatabase(db, {{PaintPicture(), "a"}, {Bytes{1, 2, 3}, "b"}});
    struct Case {
        std::vector<std::string> args;
        int status;
        std::string out;  // stdout, or stderr when the status is 2
    };
    const Case cases[] = {
        // A run that writes nothing fails, whatever the method.
        {{"--method", "raw", "--format", "png"},
         1,
         "Done. 0 pictures from 2 records; 2 without a picture (2 not loaded).\n"},
        {{"--method", "decode"},
         0,
         "Done. 1 picture from 2 records; 1 without a picture (1 damaged).\n"},
        {{"--name", "prefix=Output"}, 2, "Filename prefix must contain # at the end.\n"},
        {{"--format", "webp"}, 2, ""},
        {{"--method", "guess"}, 2, ""},
        {{"--name", "random"}, 2, ""},
        {{"--quality", "101"}, 2, ""},
        {{"--unknown"}, 2, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.args.front() + " " + c.args.back());
        Reset();
        Outcome o = Extract(c.args);
        EXPECT_EQ(o.status, c.status) << o.err;
        if (!c.out.empty()) {
            EXPECT_EQ(c.status == 2 ? o.err : o.out, c.out);
        }
    }

    // The output folder is made, with its parents.
    Outcome newFolder = Cli({"extract", db.string(), "--table", "Pictures", "--field", "Picture",
                             "--out", (dir / "new" / "folder").string(), "--format", "JPEG"});
    EXPECT_EQ(newFolder.status, 0) << newFolder.err;
    EXPECT_TRUE(fs::exists(dir / "new" / "folder" / "Output1.jpg"));

    Outcome noTable = Cli({"extract", db.string(), "--field", "Picture", "--out", out.string()});
    EXPECT_EQ(noTable.status, 2);

    testing::WritePictureDatabase(db, {{Bytes{1, 2, 3}, "b"}});
    Outcome none = Extract({});
    EXPECT_EQ(none.status, 1);
    EXPECT_EQ(none.err,
              "No images were found in database to be extracted. Please email "
              "support@quillmoor.com if you think that you have a mdb file with easily viewable "
              "images in an OLE Object in a table.\n");
    EXPECT_EQ(none.out, "0 pictures from 1 record; 1 without a picture (1 damaged).\n");
}

// Whether a BMP file is whole: "BM" and as many bytes as its header declares.
bool IsWholeBmp(const fs::path& path) {
    const std::string bytes = ReadText(path);
    if (bytes.size() < 6 || bytes.compare(0, 2, "BM") != 0)
        return false;
    std::uint32_t declared = 0;
    for (int i = 5; i >= 2; --i)
        declared = declared << 8 | static_cast<unsigned char>(bytes[i]);
    return declared == bytes.size();
}

// A pid that names no process: a child that has ended and been waited for.
pid_t DeadPid() {
    const pid_t pid = fork();
    if (pid == 0)
        _exit(0);
    waitpid(pid, nullptr, 0);
    return pid;
}

// SIGTERM in the middle of a run: the pictures written stay, whole, and nothing else is left,
// neither in the output folder nor in TMPDIR. What killed runs left behind (work folders whose
// lock nobody holds, temporaries whose writer is gone) is removed by the next run; a live run's
// folder, one without a lock and a link are left alone.
TEST_F(CliTest, TerminatedRunLeavesOnlyWholePicturesAndTheNextRunRemovesDeadRunsLeftovers) {
    const fs::path tmp = dir / "tmp";
    fs::create_directory(tmp);
    std::vector<testing::PictureRow> rows;
    for (int i = 0; i < 400; ++i)
        rows.push_back({fixtures::BuildPaintPicture(fixtures::MakeBmpFile(160 + i % 7, 120)), "p"});
    testing::WritePictureDatabase(db, rows);

    std::vector<std::string> args{cli.string(), "extract", db.string(), "--table",   "Pictures",
                                  "--field",    "Picture", "--out",     out.string()};
    std::vector<char*> argv;
    for (auto& a : args)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    std::vector<std::string> environment{"TMPDIR=" + tmp.string(), "PICTROVA_JOBS=2"};
    for (char** e = environ; *e; ++e)
        if (std::string_view(*e).substr(0, 7) != "TMPDIR=" &&
            std::string_view(*e).substr(0, 14) != "PICTROVA_JOBS=")
            environment.emplace_back(*e);
    std::vector<char*> envp;
    for (auto& e : environment)
        envp.push_back(e.data());
    envp.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    const fs::path stdoutFile = scratch.path() / "stdout.txt";
    posix_spawn_file_actions_addopen(&actions, 1, stdoutFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                     0600);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    pid_t pid = 0;
    ASSERT_EQ(posix_spawn(&pid, cli.c_str(), &actions, nullptr, argv.data(), envp.data()), 0);
    posix_spawn_file_actions_destroy(&actions);
    // Terminated once the first pictures are there.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (!fs::exists(out / "Output3.bmp") && std::chrono::steady_clock::now() < deadline)
        usleep(1000);
    kill(pid, SIGTERM);
    int wstatus = 0;
    waitpid(pid, &wstatus, 0);
    ASSERT_TRUE(WIFEXITED(wstatus)) << "ended by signal " << WTERMSIG(wstatus);
    EXPECT_EQ(WEXITSTATUS(wstatus), 143);
    const std::string summary = ReadText(stdoutFile);
    EXPECT_EQ(summary.rfind("Stopped. ", 0), 0u) << summary;
    const std::set<std::string> written = OutputFiles();
    EXPECT_GE(written.size(), 3u);
    EXPECT_LT(written.size(), rows.size()) << "the run ended before the signal";
    for (const std::string& name : written) {
        EXPECT_EQ(name.rfind("Output", 0), 0u) << name;
        EXPECT_TRUE(IsWholeBmp(out / name)) << name;
    }
    EXPECT_TRUE(fs::is_empty(tmp)) << "the work folder was left behind";

    // Leftovers of runs killed with -9: one dead run's work folder (its lock free) and its
    // temporary, beside a live run's folder (locked by this test), a folder without a lock, a
    // link named like a work folder, and a temporary of a live process. Folders without a lock
    // (an older program's): one untouched for two days (goes), one whose work file changed an
    // hour ago and one with a changed file a level down (both stay), and a link to an old one.
    fs::create_directories(tmp / "pictrova-run-dead01");
    std::ofstream(tmp / "pictrova-run-dead01" / ".lock");
    std::ofstream(tmp / "pictrova-run-dead01" / "temp.bmp") << "big";
    fs::create_directories(tmp / "pictrova-run-live01");
    const int liveLock =
        open((tmp / "pictrova-run-live01" / ".lock").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    ASSERT_EQ(flock(liveLock, LOCK_EX), 0);
    fs::create_directories(tmp / "pictrova-run-nolock");
    fs::create_directories(dir / "elsewhere");
    std::ofstream(dir / "elsewhere" / ".lock");
    fs::create_directory_symlink(dir / "elsewhere", tmp / "pictrova-run-link01");
    const auto now = fs::file_time_type::clock::now();
    auto makeOld = [&](const fs::path& folder, const char* file, std::chrono::hours age) {
        fs::create_directories((folder / file).parent_path());
        std::ofstream(folder / file) << "big";
        fs::last_write_time(folder / file, now - age);
        for (fs::path p = (folder / file).parent_path(); p != folder.parent_path();
             p = p.parent_path())
            fs::last_write_time(p, now - std::chrono::hours(48));
    };
    makeOld(tmp / "pictrova-run-old001", "temp.bmp", std::chrono::hours(48));
    makeOld(tmp / "pictrova-run-old002", "temp.bmp", std::chrono::hours(1));
    makeOld(tmp / "pictrova-run-old003", "sub/temp.bmp", std::chrono::hours(1));
    makeOld(dir / "oldelsewhere", "temp.bmp", std::chrono::hours(48));
    fs::create_directory_symlink(dir / "oldelsewhere", tmp / "pictrova-run-link02");
    const std::string deadTemporary =
        ".pictrova-" + std::to_string(DeadPid()) + "-00aa00aa00aa00aa.part";
    const std::string liveTemporary =
        ".pictrova-" + std::to_string(getpid()) + "-00bb00bb00bb00bb.part";
    testing::WritePictureDatabase(db, {{PaintPicture(), "a"}});
    Reset();
    std::ofstream(out / deadTemporary) << "half";
    std::ofstream(out / liveTemporary) << "half";
    setenv("TMPDIR", tmp.c_str(), 1);
    Outcome next = Extract({});
    unsetenv("TMPDIR");
    close(liveLock);
    EXPECT_EQ(next.status, 0) << next.err;
    EXPECT_EQ(OutputFiles(), (std::set<std::string>{"Output1.bmp", liveTemporary}));
    std::set<std::string> remaining;
    for (const auto& e : fs::directory_iterator(tmp))
        remaining.insert(e.path().filename().string());
    EXPECT_EQ(remaining, (std::set<std::string>{"pictrova-run-live01", "pictrova-run-nolock",
                                                "pictrova-run-link01", "pictrova-run-old002",
                                                "pictrova-run-old003", "pictrova-run-link02"}));
    EXPECT_TRUE(fs::exists(dir / "elsewhere" / ".lock"));
    EXPECT_TRUE(fs::exists(dir / "oldelsewhere" / "temp.bmp"));
}

// Ctrl-C while pictures are being drawn: the drawings in progress are killed, not waited for.
// Each metafile here is just within the render budget (seconds of drawing); the run ends within
// a fraction of one.
TEST_F(CliTest, InterruptEndsTheDrawingsInProgressAtOnce) {
    // The most full-frame fills on 1000 x 1000 pixels the budget lets through, less a tenth.
    int fills = 1;
    while (true) {
        const imaging::CheckedMetafile next = imaging::CheckMetafile(
            fixtures::MakeCostlyMetafile(fixtures::CostlyPrimitive::Fills, fills + 1, 1000));
        const double nanoseconds = MetafileRenderNanoseconds(
            imaging::StandardMetafileWork(next, *next.window, {1000, 1000}), kWmfCostRates);
        if (nanoseconds > 0.9 * kMaxMetafileRenderNanoseconds)
            break;
        ++fills;
    }
    fixtures::PackageContents slow;
    slow.label = "fills.wmf";
    slow.file = fixtures::MakeCostlyMetafile(fixtures::CostlyPrimitive::Fills, fills, 1000);
    std::vector<testing::PictureRow> rows{{PaintPicture(), "a"}};
    for (int i = 0; i < 6; ++i)
        rows.push_back({fixtures::BuildPackage(slow), "slow"});
    testing::WritePictureDatabase(db, rows);

    std::vector<std::string> args{cli.string(), "extract", db.string(), "--table",
                                  "Pictures",   "--field", "Picture",   "--out",
                                  out.string(), "--jobs",  "2"};
    std::vector<char*> argv;
    for (auto& a : args)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    pid_t pid = 0;
    ASSERT_EQ(posix_spawn(&pid, cli.c_str(), &actions, nullptr, argv.data(), environ), 0);
    posix_spawn_file_actions_destroy(&actions);
    // Interrupted once the first record is written: the metafiles after it are being drawn.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (!fs::exists(out / "Output1.bmp") && std::chrono::steady_clock::now() < deadline)
        usleep(1000);
    usleep(200'000);
    const auto interrupted = std::chrono::steady_clock::now();
    kill(pid, SIGINT);
    int wstatus = 0;
    waitpid(pid, &wstatus, 0);
    EXPECT_LT(std::chrono::steady_clock::now() - interrupted, std::chrono::seconds(3))
        << "the run waited for the drawings in progress";
    ASSERT_TRUE(WIFEXITED(wstatus)) << "ended by signal " << WTERMSIG(wstatus);
    EXPECT_EQ(WEXITSTATUS(wstatus), 130);
    EXPECT_EQ(OutputFiles(), std::set<std::string>{"Output1.bmp"});
}

TEST_F(CliTest, ProgressLineOnlyOnATerminalAndWipedAtTheEnd) {
    if (!fs::exists("/usr/bin/script"))
        GTEST_SKIP() << "no script(1) to give the run a terminal";
    testing::WritePictureDatabase(db, {{PaintPicture(), "a"}, {PaintPicture(1), "b"}});
    // script(1) runs the command on a pseudo-terminal: stdout and stderr are both terminals.
    // The line fits the terminal's width (a line that wrapped piled up, never wiped).
    const struct {
        const char* columns;
        std::string line;
    } cases[] = {
        {"200", "\r\033[K2 of 2 records, 2 pictures written, "},
        {"30", "\r\033[K2 of 2 records, 2 pictures wr\r\033[K"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.columns);
        Reset();
        std::string command = std::string("stty cols ") + c.columns + "; " + cli.string() +
                              " extract " + db.string() +
                              " --table Pictures --field Picture --out " + out.string();
        Outcome o = RunProgram("/usr/bin/script", {"-qec", command, "/dev/null"}, scratch.path());
        EXPECT_EQ(o.status, 0);
        EXPECT_NE(o.out.find(c.line), std::string::npos) << o.out;
        // The line is wiped before the final message.
        EXPECT_NE(o.out.find("\r\033[KDone."), std::string::npos) << o.out;
    }
}

TEST_F(CliTest, EveryNamingOption) {
    // Record 3 is a package: "original" names it after its label, with the output's extension.
    fixtures::PackageContents package;
    package.label = "Hafen.jpg";
    package.file = fixtures::MakeBmpFile(5, 5);
    testing::WritePictureDatabase(db, {{PaintPicture(), "first"},
                                       {PaintPicture(1), std::nullopt},
                                       {fixtures::BuildPackage(package), "third"}});
    struct Case {
        std::string name;
        std::set<std::string> files;
    };
    const Case cases[] = {
        {"prefix=Img##", {"Img01.bmp", "Img02.bmp", "Img03.bmp"}},
        {"table", {"Pictures1.bmp", "Pictures2.bmp", "Pictures3.bmp"}},
        {"field", {"Picture1.bmp", "Picture2.bmp", "Picture3.bmp"}},
        {"table-field",
         {"Pictures_Picture1.bmp", "Pictures_Picture2.bmp", "Pictures_Picture3.bmp"}},
        {"text=Caption", {"first.bmp", "FIELDNOCONTENT.bmp", "third.bmp"}},
        {"text=ID", {"1.bmp", "2.bmp", "3.bmp"}},
        {"original", {"Output1.bmp", "Output2.bmp", "Hafen.bmp"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Reset();
        Outcome o = Extract({"--name", c.name});
        EXPECT_EQ(o.status, 0) << o.err;
        EXPECT_EQ(OutputFiles(), c.files);
    }
}

TEST_F(CliTest, ErrorReportGoesToStderrAndJsonCarriesLabels) {
    // Record 1's name would leave the output folder: a failed save, reported.
    testing::WritePictureDatabase(
        db, {{fixtures::MakeBmpFile(8, 8), "..\\escaped"}, {fixtures::MakeBmpFile(8, 8), "kept"}});
    // On the terminal a record's failure is one line; --verbose adds where it was raised.
    const std::string failure =
        "Record 1: The file name '../escaped.bmp' would place the picture outside the output "
        "folder.";
    struct Case {
        std::vector<std::string> more;
        std::string err;
    };
    const Case cases[] = {
        {{}, failure + "\n"},
        {{"--verbose"}, failure + " (in Form2.PushButton6_Click at line 362)\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.more.empty() ? "plain" : c.more.front());
        Reset();
        std::vector<std::string> args{"--method", "raw", "--name", "text=Caption"};
        args.insert(args.end(), c.more.begin(), c.more.end());
        Outcome o = Extract(args);
        EXPECT_EQ(o.status, 3);
        EXPECT_EQ(o.out, "Done. 1 picture from 2 records; 1 without a picture (1 error).\n");
        EXPECT_EQ(o.err, c.err);
        EXPECT_FALSE(fs::exists(dir / "escaped.bmp"));
    }
    // Counted in the plural ("2 error" once).
    testing::WritePictureDatabase(
        db, {{fixtures::MakeBmpFile(8, 8), "..\\a"}, {fixtures::MakeBmpFile(8, 8), "..\\b"}});
    Reset();
    EXPECT_EQ(Extract({"--method", "raw", "--name", "text=Caption"}).out,
              "Done. 0 pictures from 2 records; 2 without a picture (2 errors).\n");
    testing::WritePictureDatabase(
        db, {{fixtures::MakeBmpFile(8, 8), "..\\escaped"}, {fixtures::MakeBmpFile(8, 8), "kept"}});

    Reset();
    Outcome json = Extract({"--method", "raw", "--name", "text=Caption", "--json"});
    EXPECT_EQ(json.status, 3);
    EXPECT_EQ(json.err, "");
    // The message is the line the terminal shows.
    EXPECT_NE(json.out.find("\"message\":\"Done. 1 picture from 2 records; 1 without a picture "
                            "(1 error).\""),
              std::string::npos)
        << json.out;
    EXPECT_NE(json.out.find("\"records_read\":2"), std::string::npos);
    EXPECT_NE(json.out.find("{\"number\":1,\"file\":null,\"errors\":[{\"description\":"),
              std::string::npos);
    EXPECT_NE(json.out.find("\"location\":\"Form2.PushButton6_Click\",\"label\":362}"),
              std::string::npos);
    EXPECT_NE(json.out.find("{\"number\":2,\"file\":\"" + (out / "kept.bmp").string() +
                            "\",\"errors\":[],\"replaced\":false}"),
              std::string::npos);
}

// A name's sub-folder swapped during the run between a link to a folder inside the output
// folder and a link to one outside: the file's folder was checked by path and then written by
// path, so a swap between the two sent pictures and temporaries outside. Nothing may land
// outside, nothing goes through either link, and the refused saves say why.
TEST_F(CliTest, RegressionSubFolderSwappedForALinkDuringTheRunGetsNothing) {
    constexpr int kRecords = 240;
    std::vector<testing::PictureRow> rows;
    for (int i = 0; i < kRecords; ++i)
        rows.push_back(
            {fixtures::MakeBmpFile(2, 2), (i % 2 ? "sub\\pic" : "pic") + std::to_string(i)});
    testing::WritePictureDatabase(db, rows);
    const fs::path inside = out / "in";
    const fs::path outside = dir / "outside";
    const fs::path stage = dir / "stage";
    for (int run = 0; run < 3; ++run) {
        SCOPED_TRACE(run);
        Reset();
        fs::remove_all(outside);
        fs::remove_all(stage);
        fs::create_directory(inside);
        fs::create_directory(outside);
        fs::create_directory(stage);
        fs::create_directory_symlink(inside, out / "sub");
        fs::create_directory_symlink(outside, stage / "sub");
        std::atomic<bool> done{false};
        std::thread swapper([&] {
            // Bounded in count as well as by the run's end.
            for (int n = 0; n < 2'000'000 && !done; ++n)
                ::renameat2(AT_FDCWD, (stage / "sub").c_str(), AT_FDCWD, (out / "sub").c_str(),
                            RENAME_EXCHANGE);
        });
        Outcome o = Extract({"--method", "raw", "--name", "text=Caption", "--jobs", "2"});
        done = true;
        swapper.join();
        EXPECT_EQ(o.status, 3) << o.err;
        EXPECT_EQ(std::distance(fs::directory_iterator(outside), {}), 0) << "written outside";
        EXPECT_EQ(std::distance(fs::directory_iterator(inside), {}), 0) << "written through a link";
        EXPECT_EQ(std::distance(fs::directory_iterator(stage), {}), 1);
        // Every plain name is written; none is a temporary.
        EXPECT_EQ(OutputFiles().size(), kRecords / 2 + 2u);
        EXPECT_NE(o.err.find("is a link, and nothing is written through a link"), std::string::npos)
            << o.err.substr(0, 2000);
    }
}

// Names: a run never overwrites what it wrote itself, in record order; files there before are
// replaced (and said so) or kept with --no-overwrite; text names are cleaned and cut to fit.
TEST_F(CliTest, NamesNeverCollideAndFilesThereBeforeAreReplacedOrKept) {
    const std::string longName(255, 'x');
    // "yy" and 127 "é": the cut at 255 - 4 bytes falls inside an "é", which goes whole.
    std::string longUtf8 = "yy";
    for (int i = 0; i < 127; ++i)
        longUtf8 += "\xC3\xA9";
    std::string cutUtf8 = "yy";
    for (int i = 0; i < 124; ++i)
        cutUtf8 += "\xC3\xA9";
    const std::string captions[] = {"USA",    "UK",     "USA",    "USA",
                                    "a/b\tc", longName, longName, longUtf8};
    struct Case {
        std::string method;
        std::vector<std::string> more;
        bool before;                     // "USA.bmp" is in the folder before the run
        std::vector<std::string> files;  // by record
        std::vector<bool> replaced;
    };
    const std::string cut = std::string(251, 'x');
    const std::vector<std::string> decode{"USA.bmp",
                                          "UK.bmp",
                                          "USA (2).bmp",
                                          "USA (3).bmp",
                                          "ab_c.bmp",
                                          cut + ".bmp",
                                          std::string(247, 'x') + " (2).bmp",
                                          cutUtf8 + ".bmp"};
    std::vector<std::string> raw = decode;
    raw[4] = "a_b_c.bmp";
    const Case cases[] = {
        {"decode", {}, false, decode, {false, false, false, false, false, false, false, false}},
        {"raw", {}, false, raw, {false, false, false, false, false, false, false, false}},
        {"decode", {}, true, decode, {true, false, false, false, false, false, false, false}},
        {"decode",
         {"--no-overwrite"},
         true,
         {"USA (2).bmp", "UK.bmp", "USA (3).bmp", "USA (4).bmp", "ab_c.bmp", cut + ".bmp",
          std::string(247, 'x') + " (2).bmp", cutUtf8 + ".bmp"},
         {false, false, false, false, false, false, false, false}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.method + (c.before ? " with USA.bmp there" : "") +
                     (c.more.empty() ? "" : " --no-overwrite"));
        Reset();
        if (c.before)
            std::ofstream(out / "USA.bmp") << "before";
        // Method 2 takes pictures stored as they are, method 1 wrapped ones.
        std::vector<testing::PictureRow> rows;
        for (int i = 0; i < 8; ++i)
            rows.push_back({c.method == "raw" ? fixtures::MakeBmpFile(8 + i, 8) : PaintPicture(i),
                            captions[i]});
        testing::WritePictureDatabase(db, rows);
        std::vector<std::string> args{"--method", c.method, "--name", "text=Caption",
                                      "--json",   "--jobs", "3"};
        args.insert(args.end(), c.more.begin(), c.more.end());
        Outcome o = Extract(args);
        ASSERT_EQ(o.status, 0) << o.err;
        const auto json = nlohmann::json::parse(o.out);
        ASSERT_EQ(json["records"].size(), c.files.size());
        for (std::size_t i = 0; i < c.files.size(); ++i) {
            SCOPED_TRACE(i + 1);
            const auto& record = json["records"][i];
            ASSERT_TRUE(record["file"].is_string()) << record;
            EXPECT_EQ(fs::path(record["file"].get<std::string>()).filename().string(), c.files[i]);
            EXPECT_EQ(record["replaced"], c.replaced[i]);
            EXPECT_TRUE(fs::exists(out / c.files[i]));
        }
        EXPECT_EQ(OutputFiles().size(), c.files.size() + (c.more.empty() ? 0 : 1));
        if (!c.more.empty()) {
            EXPECT_EQ(ReadText(out / "USA.bmp"), "before");
        }
    }
    // Run again into the same folder: every file it writes was there before, and the last line
    // says so.
    Outcome again = Extract({"--name", "text=Caption"});
    EXPECT_EQ(again.out,
              "Done. 8 pictures from 8 records; 8 replaced files that were already there.\n");
}

// Every record without a picture says why, in the JSON and counted on the last line.
TEST_F(CliTest, EveryRecordWithoutAPictureHasAReason) {
    Bytes document;
    auto packaged = [](const char* label, Bytes file) {
        fixtures::PackageContents contents;
        contents.label = label;
        contents.file = std::move(file);
        return fixtures::BuildPackage(contents);
    };
    Bytes damagedEmf = fixtures::MakeEnhancedMetafile(50, 50, fixtures::EmfContent::Polygon);
    damagedEmf.at(160 + 3) = 0x40;  // the polygon counts far more points than its record holds
    const std::string text = "minutes of the meeting";
    // A PDF without pages: Ghostscript, which the image engine starts, writes its complaints to
    // the standard output it was given.
    const std::string pageless =
        "%PDF-1.4\n1 0 obj\n<< /Type /Catalog /Pages 2 0 R >>\nendobj\n%%EOF\n";
    testing::WritePictureDatabase(
        db,
        {{PaintPicture(), "a"},
         {std::nullopt, "b"},
         {fixtures::BuildUnsupportedObject("Acme.Drawing.1"), "c"},
         {fixtures::BuildLinkedObject(), "d"},
         {fixtures::BuildOfficeObject(fixtures::OfficeKind::Excel, &document), "e"},
         {Bytes{1, 2, 3}, "f"},
         {Truncated(PaintPicture(), 60), "g"},
         {fixtures::BuildUnsupportedObject("Acme.Drawing.1"), "h"},
         // A static metafile whose bits are no metafile records, and a static bitmap of 3 bytes.
         {fixtures::BuildStaticMetafile(Bytes(64, 0xAB), 8, 1000, 1000), "i"},
         {fixtures::BuildStaticPresentation("DIB", Bytes{1, 2, 3}), "j"},
         {packaged("minutes.txt", Bytes(text.begin(), text.end())), "k"},
         // A packaged picture that does not load is no document.
         {packaged("drawing.emf", damagedEmf), "l"},
         {fixtures::BuildWordPadObject(fixtures::MakeRtfFile("no preview")), "m"},
         // One pixel wider than the picture holder makes (the engine still reads it): 1 bit
         // deep, so the field stays small.
         {fixtures::BuildPaintPicture(fixtures::MakeBmpFile(32768, 2, 1)), "n"},
         // Metafiles whose drawing would take minutes: refused by their cost, not drawn until
         // the time limit.
         {packaged("fills.wmf",
                   fixtures::MakeCostlyMetafile(fixtures::CostlyPrimitive::Fills, 1500, 2477)),
          "o"},
         {packaged("star.emf", fixtures::MakeCostlyEnhancedMetafile(
                                   fixtures::CostlyPrimitive::Tangled, 10000, 1000, 1000)),
          "p"},
         {packaged("text.emf", fixtures::MakeCostlyEnhancedMetafile(fixtures::CostlyPrimitive::Text,
                                                                    100000, 500, 500)),
          "q"},
         {fixtures::BuildPdfObject(Bytes(pageless.begin(), pageless.end())), "r"},
         // The same picture stored without a wrapper (what --method raw takes).
         {fixtures::MakeBmpFile(32768, 2, 1), "s"}});
    struct Expected {
        std::string reason, detail;
    };
    const Expected rows[] = {
        {"", ""},
        {"no value", ""},
        {"unsupported class", "Acme.Drawing.1"},
        {"linked object", "Paint.Picture"},
        {"", ""},  // an Excel workbook: the picture it stores for display
        {"damaged value", "shorter than an object header"},
        {"damaged value", "a Paint.Picture object that could not be read"},
        {"unsupported class", "Acme.Drawing.1"},
        {"picture could not be rendered",
         "a static metafile (METAFILEPICT) the renderer refused or gave up on"},
        {"damaged value", "a static bitmap that could not be read"},
        {"not a picture", "a packaged file"},
        {"picture could not be loaded", "a packaged EMF file"},
        {"not a picture", "an RTF document"},
        {"picture too large", "32768 x 2"},
        {"picture could not be rendered", "too costly"},
        {"picture could not be rendered", "too costly"},
        {"picture could not be rendered", "too costly"},
        {"not a picture", "a PDF document"},
        {"picture too large", "32768 x 2"},
    };
    Outcome o = Extract({"--json"});
    EXPECT_EQ(o.status, 0) << o.err;
    EXPECT_EQ(o.err, "");
    // What Ghostscript wrote is the record's, never ahead of the JSON.
    const auto json = nlohmann::json::parse(o.out);
    const auto& pdfRecord = json["records"][17];
    EXPECT_FALSE(pdfRecord["program_messages"].empty()) << pdfRecord;
    EXPECT_EQ(pdfRecord["program_messages"][0].get<std::string>().substr(0, 4), "gs: ");
    ASSERT_EQ(json["records"].size(), std::size(rows));
    for (std::size_t i = 0; i < std::size(rows); ++i) {
        SCOPED_TRACE(i + 1);
        const auto& record = json["records"][i];
        if (rows[i].reason.empty()) {
            EXPECT_FALSE(record.contains("skipped"));
            EXPECT_EQ(record.contains("stored_preview"), i == 4) << record;
            continue;
        }
        EXPECT_TRUE(record["file"].is_null());
        EXPECT_EQ(record["skipped"]["reason"], rows[i].reason) << record;
        EXPECT_EQ(record["skipped"]["detail"], rows[i].detail) << record;
    }
    Reset();
    EXPECT_EQ(Extract({}).out,
              "Done. 2 pictures from 19 records (1 from a stored preview); 17 without a picture (1 "
              "empty, "
              "2 unsupported class \"Acme.Drawing.1\", 1 linked, 3 damaged, 4 not rendered, 3 not "
              "a picture, "
              "1 not loaded, 2 too large).\n");

    // A picture over the limits is too large whichever way it is loaded: from the work file an
    // external converter reads, or streamed whole from the field.
    const std::string converter = (testing::BinDir() / "pictrova-convert").string();
    const std::vector<std::string> ways[] = {{"--converter", converter}, {"--method", "raw"}};
    for (const std::vector<std::string>& way : ways) {
        SCOPED_TRACE(way.front());
        Reset();
        std::vector<std::string> args{"--json"};
        args.insert(args.end(), way.begin(), way.end());
        const auto loaded = nlohmann::json::parse(Extract(args).out);
        for (const std::size_t i : {std::size_t{13}, std::size_t{18}}) {
            const auto& record = loaded["records"][i];
            if (way.front() == "--method" && i == 13)
                continue;  // a wrapped picture is not taken as it is stored
            EXPECT_EQ(record["skipped"]["reason"], "picture too large") << record;
            EXPECT_EQ(record["skipped"]["detail"], "32768 x 2") << record;
        }
    }
}

// Mistakes found before the run: one line on stderr naming what is wrong, exit 2, nothing on
// stdout and no file written.
TEST_F(CliTest, ChecksBeforeTheRun) {
    testing::WritePictureDatabase(db, {{PaintPicture(), "a"}});
    const fs::path locked = dir / "locked.mdb";
    testing::WritePictureDatabase(locked, {{PaintPicture(), "a"}}, "Pictures", "secret");
    const fs::path notAccess = dir / "notes.mdb";
    std::ofstream(notAccess) << "just some text, not a database";
    const std::string p = db.string();
    const std::string text = notAccess.string();
    const std::string noConverter = (dir / "no-converter").string();
    const std::string none = (dir / "none.mdb").string();
    const std::string l = locked.string();
    // The listings and unwrap make extract's checks, with its messages and exit status.
    struct Case {
        std::vector<std::string> args;
        std::string err;
        std::string command = "extract";
    };
    const Case cases[] = {
        {{(dir / "none.mdb").string(), "--table", "Pictures", "--field", "Picture"},
         "no database file at " + (dir / "none.mdb").string()},
        {{notAccess.string(), "--table", "Pictures", "--field", "Picture"},
         "cannot open " + notAccess.string()},
        {{locked.string(), "--table", "Pictures", "--field", "Picture", "--password", "wrong"},
         "cannot open " + locked.string() + ": wrong password"},
        {{l, "--table", "Pictures", "--field", "Picture"},
         "cannot open " + l +
             ": a password is required (--password, --password-file or PICTROVA_PASSWORD)"},
        {{none}, "no database file at " + none, "tables"},
        {{text}, "cannot open " + text + ": Unrecognized database format", "tables"},
        {{l}, "cannot open " + l + ": a password is required", "tables"},
        {{l, "--password", "wrong"}, "cannot open " + l + ": wrong password", "tables"},
        {{none, "Pictures"}, "no database file at " + none, "fields"},
        {{l, "Pictures", "--password", "wrong"}, "cannot open " + l + ": wrong password", "fields"},
        {{p, "Nope"}, "no table \"Nope\" in " + p + "; its tables: Pictures", "fields"},
        {{(dir / "none.bin").string()},
         "no field value file at " + (dir / "none.bin").string(),
         "unwrap"},
        {{p, "--table", "Photos", "--field", "Picture"},
         "no table \"Photos\" in " + p + "; its tables: Pictures"},
        {{p, "--table", "Pictures", "--field", "Photo"},
         "no field \"Photo\" in table \"Pictures\"; its fields: ID, Caption, Picture"},
        {{p, "--table", "Pictures", "--field", "Caption"},
         "field \"Caption\" is Text, not an OLE Object"},
        {{p, "--table", "Pictures", "--field", "Picture", "--name", "text=Title"},
         "no name field \"Title\" in table \"Pictures\"; its fields: ID, Caption, Picture"},
        {{p, "--table", "Pictures", "--field", "Picture", "--name", "text=Picture"},
         "name field \"Picture\" is OLE Object, which has no text to name a file"},
        {{p, "--table", "Pictures", "--field", "Picture", "--converter", noConverter},
         "no converter program at " + noConverter},
        {{p, "--table", "Pictures", "--field", "Picture", "--converter", dir.path().string()},
         "the converter " + dir.path().string() + " is not a regular file"},
        {{p, "--table", "Pictures", "--field", "Picture", "--converter", text},
         "the converter " + text + " is not executable"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.err);
        Reset();
        std::vector<std::string> args{c.command};
        args.insert(args.end(), c.args.begin(), c.args.end());
        if (c.command == "extract")
            args.insert(args.end(), {"--out", out.string()});
        Outcome o = Cli(args);
        EXPECT_EQ(o.status, 2);
        EXPECT_EQ(o.out, "");
        EXPECT_EQ(o.err.substr(0, o.err.find('\n') + 1).find("pictrova-cli: " + c.err), 0u)
            << o.err;
        EXPECT_EQ(std::count(o.err.begin(), o.err.end(), '\n'), 1) << o.err;
        EXPECT_TRUE(OutputFiles().empty());
    }
    // An output folder that takes no files: the immutable attribute for the superuser (who
    // ignores permissions), a mode without write bits for anyone else.
    const bool superuser = geteuid() == 0;
    auto readOnly = [&](bool on) {
        if (!superuser) {
            fs::permissions(
                out, on ? fs::perms::owner_read | fs::perms::owner_exec : fs::perms::owner_all);
            return true;
        }
        return std::system(
                   ("chattr " + std::string(on ? "+i '" : "-i '") + out.string() + "' 2>/dev/null")
                       .c_str()) == 0;
    };
    if (readOnly(true)) {
        Outcome o = Extract({});
        readOnly(false);
        EXPECT_EQ(o.status, 2);
        EXPECT_EQ(o.out, "");
        EXPECT_EQ(
            o.err.find("pictrova-cli: cannot write into the output folder " + out.string() + ": "),
            0u)
            << o.err;
        EXPECT_EQ(std::count(o.err.begin(), o.err.end(), '\n'), 1) << o.err;
    }
    // The password from a file of PATH<TAB>PASSWORD lines, as for a batch.
    std::ofstream(dir / "passwords.txt") << locked.string() << "\tsecret\n";
    Outcome right =
        Cli({"extract", locked.string(), "--table", "Pictures", "--field", "Picture", "--out",
             out.string(), "--password-file", (dir / "passwords.txt").string(), "--format", "Tif"});
    EXPECT_EQ(right.status, 0) << right.err;
    EXPECT_EQ(OutputFiles(), (std::set<std::string>{"Output1.tif"}));
}

// The converter's error output went to the program's own; its reason belongs in the report.
TEST_F(CliTest, ConverterInheritedTheProgramsErrorOutput) {
    // A converter plugged in with --converter that always fails (the run converts in its own
    // process otherwise).
    fs::path bin = dir / "bin";
    fs::create_directory(bin);
    fs::copy_file(cli, bin / "pictrova-cli");
    {
        std::ofstream script(bin / "pictrova-convert");
        script
            << "#!/bin/sh\necho 'converting'\necho 'pictrova-convert: input is not a picture' >&2\n"
               "exit 1\n";
    }
    fs::permissions(bin / "pictrova-convert", fs::perms::owner_all);
    testing::WritePictureDatabase(db, {{PaintPicture(), "a"}});
    std::vector<std::string> args{"extract",  db.string(),   "--table",
                                  "Pictures", "--field",     "Picture",
                                  "--out",    out.string(),  "--format",
                                  "tiff",     "--converter", (bin / "pictrova-convert").string()};
    const std::string description = "The converter could not write " +
                                    (out / "Output1.tif").string() + ": input is not a picture";

    Outcome text = RunProgram(bin / "pictrova-cli", args, scratch.path());
    EXPECT_EQ(text.status, 3);
    EXPECT_EQ(text.out, "Done. 0 pictures from 1 record; 1 without a picture (1 error).\n");
    EXPECT_EQ(text.err.find("pictrova-convert:"), std::string::npos) << text.err;
    EXPECT_EQ(text.err, "Record 1: " + description + "\n");

    args.push_back("--json");
    Outcome json = RunProgram(bin / "pictrova-cli", args, scratch.path());
    EXPECT_EQ(json.status, 3);
    EXPECT_EQ(json.err, "");
    EXPECT_NE(json.out.find("{\"description\":\"" + description +
                            "\",\"location\":\"Form2.PushButton6_Click\",\"label\":416}"),
              std::string::npos)
        << json.out;
    // Both of its outputs are the record's messages.
    EXPECT_NE(json.out.find("\"program_messages\":[\"pictrova-convert: converting\","
                            "\"pictrova-convert: input is not a picture\"]"),
              std::string::npos)
        << json.out;
    EXPECT_TRUE(OutputFiles().empty());
}

// Values the decoder once gave nothing for, extracted with the default method: a package saved
// by a German system, picture files stored without a wrapper, and objects whose own data gives
// no picture but which store the picture shown for them.
TEST_F(CliTest, ExtractsLocalizedPackagesBarePicturesAndStoredPreviews) {
    fixtures::PackageContents german;
    german.displayName = "Objekt-Manager-Shellobjekt";
    german.label = "Foto.bmp";
    german.file = fixtures::MakeBmpFile(7, 5);
    struct Row {
        const char* what;
        Bytes value;
        int width, height;
    };
    const Row rows[] = {
        {"German package", fixtures::BuildPackage(german), 7, 5},
        {"bare PNG", fixtures::MakePngFile(6, 4), 6, 4},
        {"bare BMP", fixtures::MakeBmpFile(5, 3), 5, 3},
        {"bare TIFF", fixtures::MakeTiffFile(4, 4), 4, 4},
        {"Word 2007 document with a DIB preview",
         fixtures::BuildOpenXmlWordObject(
             fixtures::MakeDibPresentation(fixtures::MakePackedDib(9, 6, 24))),
         9, 6},
        // 2540 x 1270 HIMETRIC at 96 dpi.
        {"chart with a metafile preview",
         fixtures::BuildUnsupportedObject(
             "MSGraph.Chart.8",
             fixtures::MakeMetafilePresentation(fixtures::MakeMetafile(200, 100), 2540, 1270)),
         96, 48},
    };
    std::vector<testing::PictureRow> values;
    for (const Row& row : rows)
        values.push_back({row.value, row.what});
    testing::WritePictureDatabase(db, values);
    Outcome o = Extract({});
    EXPECT_EQ(o.status, 0) << o.err;
    EXPECT_EQ(o.out, "Done. 6 pictures from 6 records (2 from stored previews).\n");
    for (std::size_t i = 0; i < std::size(rows); ++i) {
        SCOPED_TRACE(rows[i].what);
        const std::string bmp = ReadText(out / ("Output" + std::to_string(i + 1) + ".bmp"));
        ASSERT_GE(bmp.size(), 26u);
        EXPECT_EQ(bmp.substr(0, 2), "BM");
        auto at32 = [&](std::size_t k) {
            return static_cast<std::int32_t>(
                static_cast<std::uint8_t>(bmp[k]) | static_cast<std::uint8_t>(bmp[k + 1]) << 8 |
                static_cast<std::uint8_t>(bmp[k + 2]) << 16 |
                static_cast<std::uint32_t>(static_cast<std::uint8_t>(bmp[k + 3])) << 24);
        };
        EXPECT_EQ(at32(18), rows[i].width);
        EXPECT_EQ(std::abs(at32(22)), rows[i].height);
    }
}

// --format original: every decoded object is written as the file it holds, byte for byte, with
// its kind's extension: documents that give no picture too. --name original gives packages
// their label's name (Windows-1252 read as such, path parts dropped, control characters
// replaced, repeats numbered); everything else keeps the run's names.
TEST_F(CliTest, OriginalWritesEveryObjectAsTheFileItHolds) {
    auto package = [](std::string label, Bytes file) {
        fixtures::PackageContents contents;
        contents.label = std::move(label);
        contents.file = std::move(file);
        return contents;
    };
    Bytes word, excel, powerPoint, visio;
    const Bytes pdf = fixtures::MakePdfFile("invoice");
    const Bytes rtf = fixtures::MakeRtfFile("minutes");
    const Bytes text = {'p', 'l', 'a', 'i', 'n', ' ', 't', 'e', 'x', 't', '\n'};
    const Bytes png = fixtures::MakePngFile(6, 4);
    fixtures::PackageContents german = package("Foto.bmp", fixtures::MakeBmpFile(7, 5));
    german.displayName = "Objekt-Manager-Shellobjekt";
    struct Row {
        const char* what;
        Bytes value;
        std::optional<Bytes> file;  // the bytes written; none: what the decoder takes out
        std::string numbered, own;  // the names with the default naming and with --name original
        bool preview = false;
    };
    const Row rows[] = {
        {"PDF", fixtures::BuildPdfObject(pdf), pdf, "Output1.pdf", "Output1.pdf"},
        {"Word", fixtures::BuildOfficeObject(fixtures::OfficeKind::Word, &word), std::nullopt,
         "Output2.doc", "Output2.doc"},
        {"Excel", fixtures::BuildOfficeObject(fixtures::OfficeKind::Excel, &excel), std::nullopt,
         "Output3.xls", "Output3.xls"},
        {"PowerPoint", fixtures::BuildOfficeObject(fixtures::OfficeKind::PowerPoint, &powerPoint),
         std::nullopt, "Output4.ppt", "Output4.ppt"},
        {"Visio", fixtures::BuildOfficeObject(fixtures::OfficeKind::Visio, &visio), std::nullopt,
         "Output5.vsd", "Output5.vsd"},
        {"RTF", fixtures::BuildWordPadObject(rtf), rtf, "Output6.rtf", "Output6.rtf"},
        {"packaged text file", fixtures::BuildPackage(package("notes.txt", text)), text,
         "Output7.txt", "notes.txt"},
        {"German package", fixtures::BuildPackage(german), german.file, "Output8.bmp", "Foto.bmp"},
        {"label in Windows-1252", fixtures::BuildPackage(package("Caf\xE9 menu.pdf", pdf)), pdf,
         "Output9.pdf", "Caf\xC3\xA9 menu.pdf"},
        {"same label again", fixtures::BuildPackage(package("notes.txt", rtf)), rtf, "Output10.txt",
         "notes (2).txt"},
        {"label with a path and a tab", fixtures::BuildPackage(package("C:\\Temp\\a\tb.txt", text)),
         text, "Output11.txt", "a_b.txt"},
        {"empty label, a PNG inside", fixtures::BuildPackage(package("", png)), png, "Output12.png",
         "Output12.png"},
        {"label without extension", fixtures::BuildPackage(package("README", text)), text,
         "Output13.bin", "README"},
        {"paint picture", PaintPicture(), std::nullopt, "Output14.bmp", "Output14.bmp"},
        {"bare PNG", png, png, "Output15.png", "Output15.png"},
        {"Word 2007 document: its stored preview",
         fixtures::BuildOpenXmlWordObject(
             fixtures::MakeDibPresentation(fixtures::MakePackedDib(9, 6, 24))),
         std::nullopt, "Output16.bmp", "Output16.bmp", true},
        // A hidden file, an option to whatever is given the name, a name of nothing but blanks
        // and a point.
        {"label of a hidden file", fixtures::BuildPackage(package(".bashrc", text)), text,
         "Output17.bin", "_bashrc"},
        {"label starting with a dash", fixtures::BuildPackage(package("-rf .png", png)), png,
         "Output18.png", "_rf .png"},
        {"label of blanks and a point", fixtures::BuildPackage(package(" . ", text)), text,
         "Output19.bin", "attachment"},
    };
    const Bytes* documents[] = {nullptr, &word, &excel, &powerPoint, &visio};
    std::vector<testing::PictureRow> values;
    for (const Row& row : rows)
        values.push_back({row.value, row.what});
    testing::WritePictureDatabase(db, values);
    for (const bool own : {false, true}) {
        SCOPED_TRACE(own ? "--name original" : "numbered");
        Reset();
        std::vector<std::string> args{"--format", "original", "--json"};
        if (own)
            args.insert(args.end(), {"--name", "original"});
        Outcome o = Extract(args);
        EXPECT_EQ(o.status, 0) << o.err;
        const auto json = nlohmann::json::parse(o.out);
        ASSERT_EQ(json["records"].size(), std::size(rows));
        std::set<std::string> names;
        for (std::size_t i = 0; i < std::size(rows); ++i) {
            const Row& row = rows[i];
            SCOPED_TRACE(row.what);
            const std::string name = own ? row.own : row.numbered;
            names.insert(name);
            const auto& record = json["records"][i];
            EXPECT_EQ(record["file"], (out / name).string());
            EXPECT_EQ(record.contains("stored_preview"), row.preview);
            Bytes expected;
            if (row.file) {
                expected = *row.file;
            } else if (i >= 1 && i <= 4) {
                expected = *documents[i];
            } else {
                ole::DecodeResult decoded = ole::DecodeOleObject(row.value);
                ASSERT_TRUE(decoded.ok());
                expected = std::move(decoded.payload);
            }
            const std::string written = ReadText(out / name);
            EXPECT_EQ(written, std::string(expected.begin(), expected.end()));
        }
        EXPECT_EQ(OutputFiles(), names);
    }
    // The last line counts files; with --method raw every value is written as it was stored.
    Reset();
    EXPECT_EQ(Extract({"--format", "original"}).out,
              "Done. 19 files from 19 records (1 from a stored preview).\n");
    Reset();
    Outcome raw = Extract({"--format", "original", "--method", "raw"});
    EXPECT_EQ(raw.status, 0) << raw.err;
    EXPECT_EQ(ReadText(out / "Output15.png"), std::string(png.begin(), png.end()));
    EXPECT_EQ(ReadText(out / "Output1.bin"),
              std::string(rows[0].value.begin(), rows[0].value.end()));
    EXPECT_EQ(OutputFiles().size(), std::size(rows));
}

// Enhanced metafiles in packages, and stored as the presentation (clipboard format 14) after an
// object whose own data gives no picture, go through the loader and the drawing program to
// picture files; a damaged one costs its own record only.
TEST_F(CliTest, PackagedAndPresentedEnhancedMetafilesComeOutAsPictures) {
    auto packaged = [](Bytes emf) {
        fixtures::PackageContents contents;
        contents.label = "drawing.emf";
        contents.file = std::move(emf);
        return fixtures::BuildPackage(contents);
    };
    using fixtures::EmfContent;
    Bytes damaged = fixtures::MakeEnhancedMetafile(50, 50, EmfContent::Polygon);
    damaged.at(160 + 3) = 0x40;  // the polygon counts far more points than its record holds
    auto presented = [](Bytes emf) {
        return fixtures::BuildUnsupportedObject(
            "Acme.Drawing.1", fixtures::MakeClipboardPresentation("ENHMETAFILE", 14, emf));
    };
    testing::WritePictureDatabase(
        db, {{packaged(fixtures::MakeEnhancedMetafile(120, 80, EmfContent::Rectangles)), "a"},
             {packaged(fixtures::MakeEnhancedMetafile(40, 24, EmfContent::Bitmap)), "b"},
             {packaged(damaged), "c"},
             {presented(fixtures::MakeEnhancedMetafile(120, 80, EmfContent::Rectangles)), "d"},
             {fixtures::BuildOpenXmlWordObject(fixtures::MakeClipboardPresentation(
                  "ENHMETAFILE", 14, fixtures::MakeEnhancedMetafile(40, 24, EmfContent::Bitmap))),
              "e"},
             {presented(damaged), "f"}});
    const struct {
        const char* file;
        int width, height;
        int x, y;
        fixtures::Rgb colour;
    } probes[] = {
        {"Output1", 120, 80, 30, 40, fixtures::kEmfRed},
        {"Output1", 120, 80, 100, 60, fixtures::kEmfGreen},
        {"Output1", 120, 80, 100, 10, {255, 255, 255}},  // unpainted: white
        {"Output2", 40, 24, 17, 9, fixtures::PatternColour(17, 9)},
        {"Output2", 40, 24, 39, 23, fixtures::PatternColour(39, 23)},
        {"Output4", 120, 80, 30, 40, fixtures::kEmfRed},
        {"Output4", 120, 80, 100, 60, fixtures::kEmfGreen},
        {"Output4", 120, 80, 100, 10, {255, 255, 255}},  // unpainted: white
        {"Output5", 40, 24, 17, 9, fixtures::PatternColour(17, 9)},
        {"Output5", 40, 24, 0, 0, fixtures::PatternColour(0, 0)},
    };
    // In this process, through the external converter, and as BMP (no conversion at all).
    const std::string converter = (testing::BinDir() / "pictrova-convert").string();
    const struct {
        std::vector<std::string> options;
        const char* extension;
    } runs[] = {
        {{"--format", "png"}, ".png"},
        {{"--format", "png", "--converter", converter}, ".png"},
        {{"--format", "bmp", "--jobs", "1", "--json"}, ".bmp"},
    };
    for (const auto& run : runs) {
        SCOPED_TRACE(run.options.size() > 2 ? run.options[2] : run.options[1]);
        Reset();
        Outcome o = Extract(run.options);
        EXPECT_EQ(o.status, 0) << o.err;
        std::set<std::string> expected;
        for (const char* name : {"Output1", "Output2", "Output4", "Output5"})
            expected.insert(name + std::string(run.extension));
        EXPECT_EQ(OutputFiles(), expected);
        for (const auto& p : probes) {
            SCOPED_TRACE(std::string(p.file) + " " + std::to_string(p.x) + "," +
                         std::to_string(p.y));
            const testing::DecodedPicture pixels =
                testing::DecodeWithImageMagick(out / (p.file + std::string(run.extension)));
            ASSERT_EQ(pixels.width, p.width);
            ASSERT_EQ(pixels.height, p.height);
            EXPECT_EQ(pixels.Rgb(p.x, p.y), static_cast<std::uint32_t>(p.colour.red) << 16 |
                                                p.colour.green << 8 | p.colour.blue);
        }
    }
}

// A batch from our writer: a catalogue (Access 2007) with two OLE Object tables, an Attachment
// table and a table without pictures, a database locked with a password, a damaged one (cut
// after its header page) and a second catalogue of the same file name in another folder.
class CliBatchTest : public CliTest {
  protected:
    void SetUp() override {
        CliTest::SetUp();
        fs::create_directories(archive / "old");
        using jet::ColumnType;
        jet::DatabasePlan plan;
        plan.format = jet::Format::Ace12;
        fixtures::PackageContents package;
        package.label = "badge.bmp";
        package.file = fixtures::MakeBmpFile(6, 6);
        plan.tables.push_back(
            {"Pictures",
             {{"ID", ColumnType::Long, 0},
              {"Caption", ColumnType::Text, 50},
              {"Picture", ColumnType::OleObject, 0}},
             {{std::int64_t{1}, std::string("a"), PaintPicture()},
              {std::int64_t{2}, std::string("b"), PaintPicture(1)},
              {std::int64_t{3}, std::string("c"), jet::Null},
              {std::int64_t{4}, std::string("d"),
               fixtures::BuildStaticDib(fixtures::MakePackedDib(8, 8, 24))},
              {std::int64_t{5}, std::string("e"), Bytes{1, 2, 3}},
              {std::int64_t{6}, std::string("f"), fixtures::BuildPackage(package)}}});
        plan.tables.push_back(
            {"Staff/Photos",
             {{"Name", ColumnType::Text, 50},
              {"Photo", ColumnType::OleObject, 0},
              {"Badge", ColumnType::OleObject, 0}},
             {{std::string("x"), fixtures::MakePngFile(5, 5), fixtures::BuildPackage(package)},
              {std::string("y"), fixtures::MakePngFile(6, 6), jet::Null},
              {std::string("z"), jet::Null, jet::Null}}});
        plan.tables.push_back(
            {"Notes", {{"Text", ColumnType::Memo, 0}}, {{std::string("no pictures")}}});
        // Attached files: a deflated PNG, a BMP whose stored type is in capitals, a text file, a
        // record whose key has no files, a Null key, and a BMP stored without a type.
        const std::string notes = "not a picture";
        plan.tables.push_back(
            {"Visits",
             {{"Visit", ColumnType::Text, 50}, {"Photos", ColumnType::Attachment, 0}},
             {{std::string("a"),
               jet::Attachments{
                   {"photo.png", "png", fixtures::MakePngFile(7, 5), true, std::nullopt},
                   {"scan.BMP", "BMP", fixtures::MakeBmpFile(4, 4), false, std::nullopt},
                   {"notes.txt", "txt", Bytes(notes.begin(), notes.end()), true, std::nullopt}}},
              {std::string("b"), jet::Attachments{}},
              {std::string("c"), jet::Null},
              {std::string("d"), jet::Attachments{{"untyped", "", fixtures::MakeBmpFile(3, 3),
                                                   false, std::nullopt}}}}});
        jet::WriteDatabase(catalogue, plan);
        testing::WritePictureDatabase(locked, {{PaintPicture(), "a"}}, "Pictures", "secret");
        testing::WritePictureDatabase(sameName, {{PaintPicture(), "a"}});
        fs::copy_file(catalogue, damaged);
        fs::resize_file(damaged, 4096);
    }

    void PasswordFile(const std::string& lockedPassword) {
        std::ofstream(passwords) << "# path, tab, password\n"
                                 << locked.string() << '\t' << lockedPassword << "\r\n";
    }

    nlohmann::json Manifest() const {
        std::ifstream in(out / "manifest.json");
        return nlohmann::json::parse(in);
    }

    // Every database's status in the manifest by its file's path relative to the archive.
    std::map<std::string, std::string> Statuses() const {
        std::map<std::string, std::string> statuses;
        const auto manifest = Manifest();
        for (const auto& entry : manifest["databases"])
            statuses
                [fs::path(entry["path"].get<std::string>()).lexically_relative(archive).string()] =
                    entry["status"];
        return statuses;
    }

    fs::path archive = dir / "archive";
    fs::path catalogue = archive / "catalogue.mdb";
    fs::path locked = archive / "locked.mdb";
    fs::path damaged = archive / "damaged.mdb";
    fs::path sameName = archive / "old" / "catalogue.mdb";
    fs::path passwords = dir / "passwords.txt";
};

TEST_F(CliBatchTest, ScanCountsWhatEveryPictureFieldHolds) {
    PasswordFile("secret");
    Outcome o = Cli({"scan", catalogue.string(), locked.string(), damaged.string(), "--json",
                     "--password-file", passwords.string()});
    EXPECT_EQ(o.status, 3) << o.err;  // the damaged database
    const auto scan = nlohmann::json::parse(o.out);
    ASSERT_EQ(scan["databases"].size(), 3u);
    struct Expected {
        std::size_t database, table, field;
        std::string tableName, fieldName, kind;
        int records, values;
        std::map<std::string, int> classes, kinds;
        int unknown;
        int files;
        std::map<std::string, int> fileTypes;
    };
    const Expected rows[] = {
        {0,
         1,
         0,
         "Pictures",
         "Picture",
         "OLE Object",
         6,
         5,
         {{"Paint.Picture", 2}, {"OT_STATIC", 1}, {"Package", 1}},
         {},
         1,
         0,
         {}},
        {0, 2, 0, "Staff/Photos", "Photo", "OLE Object", 3, 2, {}, {{"png", 2}}, 0, 0, {}},
        {0, 2, 1, "Staff/Photos", "Badge", "OLE Object", 3, 1, {{"Package", 1}}, {}, 0, 0, {}},
        // Attached files by their stored type (lower case); a key without files is no value.
        {0,
         3,
         0,
         "Visits",
         "Photos",
         "Attachment",
         4,
         2,
         {},
         {},
         0,
         4,
         {{"png", 1}, {"bmp", 1}, {"txt", 1}, {"(no type)", 1}}},
        {1, 0, 0, "Pictures", "Picture", "OLE Object", 1, 1, {{"Paint.Picture", 1}}, {}, 0, 0, {}},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.tableName + "." + row.fieldName);
        const auto& table = scan["databases"][row.database]["tables"][row.table];
        const auto& field = table["fields"][row.field];
        EXPECT_EQ(table["name"], row.tableName);
        EXPECT_EQ(table["records"], row.records);
        EXPECT_EQ(field["name"], row.fieldName);
        EXPECT_EQ(field["kind"], row.kind);
        EXPECT_EQ(field["values"], row.values);
        EXPECT_EQ((field["object_classes"].get<std::map<std::string, int>>()), row.classes);
        EXPECT_EQ((field["picture_kinds"].get<std::map<std::string, int>>()), row.kinds);
        EXPECT_EQ(field["unknown"], row.unknown);
        EXPECT_EQ(field["unreadable"], 0);
        EXPECT_EQ(field["files"], row.files);
        EXPECT_EQ((field["file_types"].get<std::map<std::string, int>>()), row.fileTypes);
        // Stored sizes are summed without reading the values: at least the files' own bytes
        // (the text is deflated, the pictures are not).
        EXPECT_GT(field["value_bytes"].get<int>(), row.files ? 100 : 0);
    }
    // The table without picture fields is listed with none; the damaged database is reported.
    EXPECT_EQ(scan["databases"][0]["tables"][0]["name"], "Notes");
    EXPECT_EQ(scan["databases"][0]["tables"][0]["fields"].size(), 0u);
    EXPECT_FALSE(scan["databases"][2]["error"].get<std::string>().empty());

    // Without the password file the locked database cannot be opened; the table on the terminal.
    Outcome text = Cli({"scan", catalogue.string(), locked.string()});
    EXPECT_EQ(text.status, 3);
    // Paths outside the current folder are shown whole.
    const std::string header = text.out.substr(0, text.out.find('\n'));
    EXPECT_EQ(header.substr(header.find("TABLE")),
              "TABLE         FIELD    RECORDS  VALUES   MB  CONTENTS");
    EXPECT_EQ(header.find("TABLE"), catalogue.string().size() + 2);
    EXPECT_NE(text.out.find("OT_STATIC 1, Package 1, Paint.Picture 2, unknown 1\n"),
              std::string::npos)
        << text.out;
    EXPECT_NE(text.out.find("  4 files: (no type) 1, bmp 1, png 1, txt 1\n"), std::string::npos)
        << text.out;
    EXPECT_NE(text.out.find(locked.string() +
                            "     -             -              -       -    -  cannot open: "
                            "Not a valid password.\n"),
              std::string::npos)
        << text.out;
    EXPECT_EQ(Cli({"scan", catalogue.string()}).status, 0);
}

TEST_F(CliBatchTest, ExtractAllGoesOnPastDatabasesThatCannotBeOpenedAndResumes) {
    const std::vector<std::string> all{catalogue.string(), locked.string(), damaged.string(),
                                       sameName.string()};
    auto extractAll = [&](std::vector<std::string> more) {
        std::vector<std::string> args{"extract-all"};
        args.insert(args.end(), all.begin(), all.end());
        args.insert(args.end(), {"--out", out.string(), "--password-file", passwords.string()});
        args.insert(args.end(), more.begin(), more.end());
        return Cli(args);
    };
    struct Step {
        std::string lockedPassword;
        std::vector<std::string> more;
        int status;
        std::map<std::string, std::string> statuses;
        std::vector<std::string> saidOnStdout;
    };
    const Step steps[] = {
        {"wrong",
         {},
         3,
         {{"catalogue.mdb", "complete"},
          {"locked.mdb", "failed"},
          {"damaged.mdb", "failed"},
          {"old/catalogue.mdb", "complete"}},
         {"[1/4] " + catalogue.string() + ": 10 pictures written from 4 picture fields in 4 tables",
          "4 databases: 2 extracted, 0 skipped, 2 could not be opened; 11 pictures written."}},
        // Complete ones are skipped; the locked one opens with its password now.
        {"secret",
         {},
         3,
         {{"catalogue.mdb", "complete"},
          {"locked.mdb", "complete"},
          {"damaged.mdb", "failed"},
          {"old/catalogue.mdb", "complete"}},
         {"[1/4] " + catalogue.string() + ": skipped, complete in the manifest",
          "4 databases: 1 extracted, 2 skipped, 1 could not be opened; 1 picture written."}},
        // --jobs reaches every field's run (the output is the same for any number).
        {"secret",
         {"--force", "--format", "png", "--jobs", "3"},
         3,
         {},
         {"4 databases: 3 extracted, 0 skipped, 1 could not be opened; 12 pictures written."}},
    };
    for (const auto& step : steps) {
        SCOPED_TRACE(step.lockedPassword + " " + std::to_string(step.more.size()));
        PasswordFile(step.lockedPassword);
        Outcome o = extractAll(step.more);
        EXPECT_EQ(o.status, step.status) << o.err;
        for (const auto& line : step.saidOnStdout)
            EXPECT_NE(o.out.find(line), std::string::npos) << o.out;
        EXPECT_NE(o.err.find("[3/4] " + damaged.string() + ": cannot open: "), std::string::npos)
            << o.err;
        if (!step.statuses.empty()) {
            EXPECT_EQ(Statuses(), step.statuses);
        }
        EXPECT_FALSE(fs::exists(out / "manifest.json.lock")) << "left after the batch ended";
    }

    // One folder per database (the second catalogue gets its own), table and field; every file
    // the manifest names is there, and every record without one says why.
    std::set<std::string> files;
    const auto manifest = Manifest();
    for (const auto& entry : manifest["databases"]) {
        for (const auto& field : entry["fields"]) {
            for (const auto& record : field["records"]) {
                if (record["file"].is_null()) {
                    EXPECT_FALSE(record["skipped"]["reason"].get<std::string>().empty());
                    continue;
                }
                EXPECT_FALSE(record.contains("skipped"));
                std::vector<std::string> written{record["file"]};
                for (const auto& attached : record.value("attachments", nlohmann::json::array()))
                    if (!attached["file"].is_null())
                        written.push_back(attached["file"]);
                for (const std::string& file : written) {
                    EXPECT_TRUE(fs::exists(out / file)) << file;
                    files.insert(file);
                }
            }
        }
    }
    EXPECT_EQ(files, (std::set<std::string>{
                         "catalogue.mdb/Pictures/Picture/Output1.png",
                         "catalogue.mdb/Pictures/Picture/Output2.png",
                         "catalogue.mdb/Pictures/Picture/Output4.png",
                         "catalogue.mdb/Pictures/Picture/Output6.png",
                         "catalogue.mdb/Staff_Photos/Badge/Output1.png",
                         // PNG files stored without a wrapper.
                         "catalogue.mdb/Staff_Photos/Photo/Output1.png",
                         "catalogue.mdb/Staff_Photos/Photo/Output2.png",
                         // Attached pictures; the text file gives none.
                         "catalogue.mdb/Visits/Photos/Output1-1.png",
                         "catalogue.mdb/Visits/Photos/Output1-2.png",
                         "catalogue.mdb/Visits/Photos/Output4.png",
                         "catalogue.mdb-2/Pictures/Picture/Output1.png",
                         "locked.mdb/Pictures/Picture/Output1.png",
                     }));
    const auto& first = manifest["databases"][0]["fields"][0];
    EXPECT_EQ(first["table"], "Pictures");
    // The same record as extract --json writes it.
    EXPECT_EQ(first["records"][2]["number"], 3);
    EXPECT_EQ(first["records"][2]["skipped"],
              nlohmann::json::parse(R"({"reason": "no value", "detail": ""})"));
    // An attachment field's record lists every attached file with its output.
    const auto& visits = manifest["databases"][0]["fields"][3];
    EXPECT_EQ(visits["field"], "Photos");
    EXPECT_EQ(visits["records"][0]["attachments"],
              nlohmann::json::parse(
                  R"([{"name": "photo.png", "file": "catalogue.mdb/Visits/Photos/Output1-1.png"},
                                        {"name": "scan.BMP", "file": "catalogue.mdb/Visits/Photos/Output1-2.png"},
                                        {"name": "notes.txt", "file": null}])"));
    EXPECT_TRUE(fs::is_directory(out / "catalogue.mdb" / "Staff_Photos" / "Photo"));
}

// A database's folder under --out that is a link: its tables' folders were made through it,
// and the pictures went wherever it led. Each field now fails with the link named.
// A pile of databases given as folders: every one listed on the terminal, the path as the
// current folder sees it, columns aligned however many columns a name's characters take.
TEST_F(CliBatchTest, ScanAndExtractAllWalkFoldersAndListEveryDatabase) {
    // Beside the archive's own: an upper-case extension and a name of wide characters, a
    // database without picture fields, a file that is no database, and links leading out of
    // the folder (to a database and to a folder of them), which are not followed.
    fs::copy_file(sameName, archive / "\xE5\x86\x99\xE7\x9C\x9F.MDB");
    jet::DatabasePlan plan;
    plan.tables.push_back(
        {"Notes", {{"Text", jet::ColumnType::Memo, 0}}, {{std::string("no pictures")}}});
    jet::WriteDatabase(archive / "empty.accdb", plan);
    std::ofstream(archive / "notes.txt") << "not a database\n";
    fs::create_directory(dir / "elsewhere");
    fs::copy_file(sameName, dir / "elsewhere" / "outside.mdb");
    fs::create_symlink(dir / "elsewhere" / "outside.mdb", archive / "link.mdb");
    fs::create_directory_symlink(dir / "elsewhere", archive / "linked folder");
    // Run from the folder that holds the archive.
    auto inDir = [&](const std::string& command) {
        return RunProgram("/bin/sh", {"-c", "cd '" + dir.path().string() + "' && exec " + command},
                          scratch.path());
    };
    Outcome scan = inDir(cli.string() + " scan archive");
    EXPECT_EQ(scan.status, 3) << scan.err;  // the damaged and the locked database
    EXPECT_EQ(
        scan.out,
        "DATABASE                   TABLE         FIELD    RECORDS  VALUES   MB  CONTENTS\n"
        "archive/catalogue.mdb      Pictures      Picture        6       5  0.0  OT_STATIC 1, "
        "Package 1, Paint.Picture 2, unknown 1\n"
        "archive/catalogue.mdb      Staff/Photos  Photo          3       2  0.0  png 2\n"
        "archive/catalogue.mdb      Staff/Photos  Badge          3       1  0.0  Package 1\n"
        "archive/catalogue.mdb      Visits        Photos         4       2  0.0  4 files: (no "
        "type) 1, bmp 1, png 1, txt 1\n"
        "archive/damaged.mdb        -             -              -       -    -  cannot open: "
        "Unrecognized database format 'archive/damaged.mdb'.\n"
        "archive/empty.accdb        -             -              -       -    -  no picture "
        "fields\n"
        "archive/locked.mdb         -             -              -       -    -  cannot open: "
        "Not a valid password.\n"
        "archive/old/catalogue.mdb  Pictures      Picture        1       1  0.0  Paint.Picture 1\n"
        // Two characters that take two columns each: four columns, six bytes.
        "archive/\xE5\x86\x99\xE7\x9C\x9F.MDB           Pictures      Picture        1       1  "
        "0.0  Paint.Picture 1\n"
        "6 databases (2 could not be opened, 1 without picture fields): 6 picture fields, 12 "
        "values, 0.0 MB.\n");

    // extract-all takes the same folders: the same six databases, in the same order.
    Outcome all = inDir(cli.string() + " extract-all archive --out '" + out.string() + "'");
    EXPECT_NE(all.out.find("[6/6] archive/\xE5\x86\x99\xE7\x9C\x9F.MDB"), std::string::npos)
        << all.out << all.err;
    EXPECT_EQ(all.out.find("outside"), std::string::npos) << all.out;
}

TEST_F(CliBatchTest, ExtractAllMakesNoFolderThroughALink) {
    const fs::path elsewhere = dir / "elsewhere";
    fs::create_directory(elsewhere);
    fs::create_directory_symlink(elsewhere, out / "catalogue.mdb");
    Outcome o = Cli({"extract-all", catalogue.string(), "--out", out.string()});
    EXPECT_EQ(o.status, 3) << o.err;
    EXPECT_EQ(std::distance(fs::directory_iterator(elsewhere), {}), 0);
    const auto fields = Manifest()["databases"][0]["fields"];
    ASSERT_EQ(fields.size(), 4u);
    for (const auto& field : fields)
        EXPECT_NE(field.value("error", "")
                      .find((out / "catalogue.mdb").string() +
                            " is a link, and nothing is written through a link"),
                  std::string::npos)
            << field;
}

// Sets an environment variable for the life of the object.
// Sets a variable (unsets it for null) until the end of the scope, then restores it.
class ScopedEnvironment {
  public:
    ScopedEnvironment(const char* name, const char* value) : name_(name) {
        if (const char* old = std::getenv(name))
            old_ = old;
        if (value != nullptr)
            setenv(name, value, 1);
        else
            unsetenv(name);
    }
    ScopedEnvironment(const char* name, const std::string& value)
        : ScopedEnvironment(name, value.c_str()) {}
    ScopedEnvironment(const ScopedEnvironment&) = delete;
    ScopedEnvironment& operator=(const ScopedEnvironment&) = delete;
    ~ScopedEnvironment() {
        if (old_)
            setenv(name_, old_->c_str(), 1);
        else
            unsetenv(name_);
    }

  private:
    const char* name_;
    std::optional<std::string> old_;
};

std::size_t Occurrences(const std::string& text, const std::string& part) {
    std::size_t count = 0;
    for (auto at = text.find(part); at != std::string::npos; at = text.find(part, at + 1))
        ++count;
    return count;
}

// --converter reaches every field's run, and a signal in the middle of a batch (sent here by the
// converter on the call a row names) stops it. SIGTERM: the files written are whole, the work
// folder is gone, the database stopped stays incomplete in the manifest, the ones before it
// complete, the next one is not started. SIGKILL leaves no summary and the dead batch's work
// folder, which the next batch sweeps. Either way a second batch skips exactly the databases
// completed before and finishes the rest. An entry file left by an index since replaced (planted
// here for the database stopped) never speaks for a database of the new index.
TEST_F(CliBatchTest, ExtractAllStopsOnSignalLeavingNothingPartial) {
    struct Stop {
        const char* signal;
        std::vector<fs::path> databases;
        int stopAtCall;  // the converter call that sends the signal
        int status;
        // After the stop; empty: no summary was written.
        std::map<std::string, std::string> statuses;
        std::string summary;
    };
    const Stop stops[] = {
        {"TERM",
         {catalogue, sameName},
         2,
         143,  // 128 + SIGTERM, as extract gives
         {{"catalogue.mdb", "incomplete"}},
         "Stopped. 1 database: 0 extracted"},
        // Stopped in the second database of the pile: the first stays complete.
        {"TERM",
         {sameName, catalogue},
         3,
         143,
         {{"old/catalogue.mdb", "complete"}, {"catalogue.mdb", "incomplete"}},
         "Stopped. 2 databases: 1 extracted"},
        {"KILL", {sameName, catalogue}, 3, 137, {}, ""},
    };
    const fs::path calls = dir / "calls";
    const fs::path converter = dir / "converter.sh";
    const fs::path work = dir / "tmp";
    ScopedEnvironment tmp("TMPDIR", work.string());
    for (const Stop& stop : stops) {
        SCOPED_TRACE(std::string(stop.signal) + " at call " + std::to_string(stop.stopAtCall));
        fs::remove_all(out);
        fs::remove_all(work);
        fs::remove(calls);
        fs::create_directories(out / ".manifest");
        fs::create_directory(work);
        std::ofstream(out / ".manifest" / "2.json")
            << nlohmann::json{{"path", "elsewhere.mdb"}, {"status", "complete"}}.dump();
        std::ofstream(converter, std::ios::trunc)
            << "#!/bin/sh\n"
            << "n=$(( $(cat '" << calls.string() << "' 2>/dev/null || echo 0) + 1 ))\n"
            << "echo $n > '" << calls.string() << "'\n"
            << "if [ $n -ge " << stop.stopAtCall << " ]; then kill -" << stop.signal
            << " $PPID; exit 1; fi\n"
            << "exec '" << (testing::BinDir() / "pictrova-convert").string() << "' \"$@\"\n";
        fs::permissions(converter, fs::perms::owner_all);
        std::vector<std::string> args{"extract-all"};
        for (const fs::path& database : stop.databases)
            args.push_back(database.string());
        args.insert(args.end(), {"--out", out.string(), "--format", "tiff", "--jobs", "1",
                                 "--converter", converter.string()});
        Outcome stopped = Cli(args);

        EXPECT_EQ(stopped.status, stop.status) << stopped.err;
        EXPECT_EQ(ReadText(calls), std::to_string(stop.stopAtCall) + "\n");
        if (!stop.statuses.empty()) {
            EXPECT_NE(stopped.out.find(stop.summary), std::string::npos) << stopped.out;
            EXPECT_EQ(Statuses(), stop.statuses);
            EXPECT_TRUE(fs::is_empty(work));
        } else {
            EXPECT_FALSE(fs::exists(out / "manifest.json"));
        }
        const fs::path pictures = out / "catalogue.mdb" / "Pictures" / "Picture";
        for (const auto& e : fs::directory_iterator(pictures)) {
            EXPECT_EQ(e.path().filename(), "Output1.tif");
            const testing::DecodedPicture pixels = testing::DecodeWithImageMagick(e.path());
            EXPECT_EQ(pixels.width, 24);
            EXPECT_EQ(pixels.height, 16);
        }

        Outcome resumed =
            Cli({"extract-all", catalogue.string(), sameName.string(), "--out", out.string()});
        EXPECT_EQ(resumed.status, 0) << resumed.err;
        const bool firstDone = stop.databases.front() == sameName;
        EXPECT_EQ(Occurrences(resumed.out, "skipped, complete in the manifest"), firstDone ? 1 : 0)
            << resumed.out;
        EXPECT_NE(resumed.out.find(firstDone ? "1 extracted, 1 skipped" : "2 extracted, 0 skipped"),
                  std::string::npos)
            << resumed.out;
        EXPECT_EQ(Statuses(),
                  (std::map<std::string, std::string>{{"catalogue.mdb", "complete"},
                                                      {"old/catalogue.mdb", "complete"}}));
        EXPECT_TRUE(fs::is_empty(work));
    }
}

// Without the image engine module, or without libgsf, only the pictures that need it fail, each
// with the reason among its messages; the run goes on and writes the rest. With both (the engine
// found beside the program, libgsf by its soname) every one comes out.
TEST_F(CliTest, PicturesThatNeedALibraryFailAloneWhenItCannotBeLoaded) {
    fixtures::PackageContents icon;
    icon.label = "icon.ico";
    icon.file = fixtures::MakeIcoFile(16, 16);
    enum class Needs { Nothing, Engine, Gsf };
    struct Row {
        Bytes field;
        Needs needs;
    };
    const Row rows[] = {
        {PaintPicture(), Needs::Nothing},
        {fixtures::BuildStaticMetafile(fixtures::MakeMetafile(40, 30), 8, 1000, 750),
         Needs::Engine},
        {fixtures::BuildPackage(icon), Needs::Engine},
        {fixtures::BuildPaintPicture(fixtures::MakeBmpFile(20, 10)), Needs::Nothing},
        // A compound document: its CONTENTS stream is read with libgsf.
        {fixtures::BuildPhotoEditorObject(fixtures::MakePhotoEditorStream(3, 20, 15)), Needs::Gsf},
    };
    std::vector<testing::PictureRow> fields;
    for (const Row& row : rows)
        fields.push_back({row.field, "r"});
    testing::WritePictureDatabase(db, fields);

    const fs::path notAModule = dir / "text.so";
    std::ofstream(notAModule) << std::string(4096, 'x');  // longer than any ELF header
    const std::string missing = (dir / "nowhere" / "pictrova-engine.so").string();
    const std::string missingGsf = (dir / "nowhere" / "libgsf-1.so").string();
    const std::string engineFailed = "pictrova: the image engine could not be loaded: ";
    const std::string gsfFailed = "pictrova: libgsf could not be loaded: ";
    struct Library {
        const char* name;
        Needs library;
        const char* variable;             // names the file to open; unset: found as installed
        std::optional<std::string> file;  // the variable's value
        std::string message;              // why it cannot be loaded; empty: it loads
    };
    const Library libraries[] = {
        {"engine missing", Needs::Engine, "PICTROVA_ENGINE_MODULE", missing,
         engineFailed + missing + ": cannot open shared object file: No such file or directory"},
        {"engine not a shared object", Needs::Engine, "PICTROVA_ENGINE_MODULE", notAModule.string(),
         engineFailed + notAModule.string() + ": invalid ELF header"},
        {"libgsf missing", Needs::Gsf, "PICTROVA_GSF_LIBRARY", missingGsf,
         gsfFailed + missingGsf + ": cannot open shared object file: No such file or directory"},
        {"libgsf without its functions", Needs::Gsf, "PICTROVA_GSF_LIBRARY", "libz.so.1",
         gsfFailed + "libz.so.1: no function gsf_init"},
        {"both as installed", Needs::Nothing, "PICTROVA_GSF_LIBRARY", std::nullopt, ""},
    };
    for (const Library& l : libraries) {
        SCOPED_TRACE(l.name);
        ScopedEnvironment variable(l.variable, l.file ? l.file->c_str() : nullptr);
        Reset();
        const Outcome o = Extract({"--json"});
        EXPECT_EQ(o.status, 0) << o.err;
        const auto records = nlohmann::json::parse(o.out)["records"];
        ASSERT_EQ(records.size(), std::size(rows));
        for (std::size_t i = 0; i < std::size(rows); ++i) {
            SCOPED_TRACE(i + 1);
            const auto& record = records[i];
            const bool fails = rows[i].needs == l.library && !l.message.empty();
            EXPECT_EQ(record["file"].is_null(), fails) << record;
            if (fails) {
                ASSERT_EQ(record["program_messages"].size(), 1U) << record;
                EXPECT_EQ(record["program_messages"][0], l.message);
            } else {
                EXPECT_FALSE(record.contains("program_messages")) << record;
            }
        }
    }
}

// A disk that fills in the middle of a database (the output folder's, or the work folder's
// under TMPDIR) stops the batch there: the database stays incomplete with the reason on stderr,
// exit 3, and once there is room the same command extracts it and marks it complete. `extract`
// on the full disk stops at its first picture with one report.
TEST_F(CliBatchTest, FullDiskLeavesTheDatabaseIncompleteAndARunWithRoomCompletesIt) {
    // Six 24 KB pictures; 64 KB take two of them and the manifest's files.
    const fs::path big = archive / "big.mdb";
    std::vector<testing::PictureRow> rows;
    for (int i = 0; i < 6; ++i)
        rows.push_back({fixtures::BuildPaintPicture(fixtures::MakeBmpFile(100 + i, 80)), "a"});
    testing::WritePictureDatabase(big, rows);
    struct Case {
        const char* name;
        bool workFolder;  // the small disk is TMPDIR's, else the output folder's
        std::vector<std::string> options;
        std::string reason;
        std::string extension;  // of the output files
    };
    const Case cases[] = {
        {"output folder",
         false,
         {},
         "the output folder " + out.string() + "/big.mdb/Pictures/",
         ".bmp"},
        // An external converter reads the picture it converts from a work file.
        {"work folder",
         true,
         {"--converter", (testing::BinDir() / "pictrova-convert").string(), "--format", "png"},
         "Cannot write the work file intermediate-1.bmp",
         ".png"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const fs::path tmp = dir / "tmp";
        fs::remove_all(out);
        fs::create_directories(out);
        fs::create_directories(tmp);
        testing::SmallFileSystem small(c.workFolder ? tmp : out, c.workFolder ? 16384 : 65536);
        if (!small.mounted())
            GTEST_SKIP() << "cannot mount a small file system here (needs root)";
        ScopedEnvironment tmpdir("TMPDIR", tmp.string());
        std::vector<std::string> batch{"extract-all", big.string(), sameName.string(), "--out",
                                       out.string()};
        batch.insert(batch.end(), c.options.begin(), c.options.end());

        Outcome full = Cli(batch);
        EXPECT_EQ(full.status, 3) << full.err;
        EXPECT_NE(full.err.find("[1/2] " + big.string() + ": incomplete"), std::string::npos)
            << full.err;
        EXPECT_NE(full.err.find(c.reason), std::string::npos) << full.err;
        EXPECT_NE(full.err.find("is on a full disk"), std::string::npos) << full.err;
        EXPECT_NE(full.out.find("Stopped. 1 database: 0 extracted"), std::string::npos) << full.out;
        EXPECT_EQ(Statuses(), (std::map<std::string, std::string>{{"big.mdb", "incomplete"}}));

        std::vector<std::string> single{"extract", big.string(), "--table", "Pictures",
                                        "--field", "Picture",    "--out",   out.string()};
        single.insert(single.end(), c.options.begin(), c.options.end());
        Outcome one = Cli(single);
        EXPECT_EQ(one.status, 3) << one.err;
        EXPECT_EQ(Occurrences(one.err, "Cannot write"), 1u) << one.err;

        ASSERT_TRUE(small.Resize(4 * 1024 * 1024));
        Outcome resumed = Cli(batch);
        EXPECT_EQ(resumed.status, 0) << resumed.err;
        EXPECT_EQ(Statuses(), (std::map<std::string, std::string>{
                                  {"big.mdb", "complete"}, {"old/catalogue.mdb", "complete"}}));
        for (int i = 1; i <= 6; ++i)
            EXPECT_TRUE(fs::exists(out / "big.mdb" / "Pictures" / "Picture" /
                                   ("Output" + std::to_string(i) + c.extension)))
                << i;
    }
}

// Entries planted in the manifest (in manifest.json of an older batch, or in the index) whose
// folder is not a name inside the output folder are reported, and their databases are
// extracted again into folders of their own inside it; the batch goes on.
TEST_F(CliBatchTest, PlantedManifestFoldersOutsideTheOutputFolderAreReportedAndRedone) {
    PasswordFile("secret");
    struct Planted {
        fs::path database;
        nlohmann::json folder;
        std::string reported;
    };
    const Planted planted[] = {
        {catalogue, "../x", "names the folder \"../x\""},
        {sameName, (dir / "abs").string(), "names the folder \"" + (dir / "abs").string()},
        {locked, 7, "names no folder (its \"folder\" is a number)"},
    };
    nlohmann::json databases = nlohmann::json::array();
    for (const auto& p : planted)
        databases.push_back({{"path", p.database.string()},
                             {"folder", p.folder},
                             {"status", "complete"},
                             {"fields", nlohmann::json::array()}});
    std::ofstream(out / "manifest.json") << nlohmann::json{{"databases", databases}}.dump();
    // A hard link planted where an entry is first written is replaced, never written through.
    const fs::path victim = dir / "victim.txt";
    std::ofstream(victim) << "kept";
    fs::create_directory(out / ".manifest");
    fs::create_hard_link(victim, out / ".manifest" / "1.json.new");
    Outcome o =
        Cli({"extract-all", catalogue.string(), sameName.string(), locked.string(),
             damaged.string(), "--out", out.string(), "--password-file", passwords.string()});
    EXPECT_EQ(o.status, 3) << o.err;
    for (const auto& p : planted) {
        SCOPED_TRACE(p.folder.dump());
        EXPECT_NE(o.err.find("the entry of " + p.database.string() + " " + p.reported),
                  std::string::npos)
            << o.err;
    }
    EXPECT_NE(o.err.find("[4/4] " + damaged.string() + ": cannot open"), std::string::npos);
    EXPECT_FALSE(fs::exists(dir / "x"));
    EXPECT_FALSE(fs::exists(dir / "abs"));
    EXPECT_EQ(ReadText(victim), "kept");
    EXPECT_EQ(Statuses(), (std::map<std::string, std::string>{{"catalogue.mdb", "complete"},
                                                              {"old/catalogue.mdb", "complete"},
                                                              {"locked.mdb", "complete"},
                                                              {"damaged.mdb", "failed"}}));
    std::set<std::string> folders;
    const auto manifest = Manifest();
    for (const auto& entry : manifest["databases"])
        folders.insert(entry["folder"].get<std::string>());
    EXPECT_EQ(folders, (std::set<std::string>{"catalogue.mdb", "catalogue.mdb-2", "locked.mdb",
                                              "damaged.mdb"}));
    EXPECT_TRUE(fs::exists(out / "locked.mdb" / "Pictures" / "Picture" / "Output1.bmp"));

    // Lines planted in the index: one leaving the folder, one that is no entry.
    const fs::path extra = archive / "extra.mdb";
    fs::copy_file(sameName, extra);
    std::ofstream(out / ".manifest" / "index", std::ios::app)
        << nlohmann::json{{"path", extra.string()}, {"folder", "../y"}}.dump() << "\n[1]\n";
    Outcome again = Cli({"extract-all", extra.string(), "--out", out.string()});
    EXPECT_EQ(again.status, 3) << again.err;
    EXPECT_NE(again.err.find("the entry of " + extra.string() + " names the folder \"../y\""),
              std::string::npos)
        << again.err;
    EXPECT_NE(again.err.find("not an entry of a database"), std::string::npos) << again.err;
    EXPECT_FALSE(fs::exists(dir / "y"));
    EXPECT_EQ(Statuses()["extra.mdb"], "complete");
    EXPECT_TRUE(fs::exists(out / "extra.mdb" / "Pictures" / "Picture" / "Output1.bmp"));
}

// Two batches into one output folder at the same time: each database gets a folder of its own
// (the two catalogue.mdb files too), the summary lists both, and the lock file goes at the end.
TEST_F(CliBatchTest, TwoBatchesShareOneOutputFolder) {
    const std::string batch = cli.string() + " extract-all '%s' --out '" + out.string() + "'";
    auto one = [&](const fs::path& database) {
        std::string command = batch;
        return command.replace(command.find("%s"), 2, database.string());
    };
    for (int round = 0; round < 3; ++round) {
        SCOPED_TRACE(round);
        fs::remove_all(out);
        Outcome o = RunProgram(
            "/bin/sh",
            {"-c", one(catalogue) + " & a=$!; " + one(sameName) + " & b=$!; wait $a && wait $b"},
            scratch.path());
        EXPECT_EQ(o.status, 0) << o.err;
        EXPECT_EQ(Statuses(),
                  (std::map<std::string, std::string>{{"catalogue.mdb", "complete"},
                                                      {"old/catalogue.mdb", "complete"}}));
        std::set<std::string> folders;
        const auto manifest = Manifest();
        for (const auto& entry : manifest["databases"])
            folders.insert(entry["folder"].get<std::string>());
        EXPECT_EQ(folders, (std::set<std::string>{"catalogue.mdb", "catalogue.mdb-2"}));
        EXPECT_FALSE(fs::exists(out / "manifest.json.lock"));
    }
}

TEST_F(CliBatchTest, ProgressLineAcrossTheBatchOnATerminal) {
    if (!fs::exists("/usr/bin/script"))
        GTEST_SKIP() << "no script(1) to give the batch a terminal";
    std::string command = "stty cols 300; " + cli.string() + " extract-all " + catalogue.string() +
                          " " + sameName.string() + " --out " + out.string();
    Outcome o = RunProgram("/usr/bin/script", {"-qec", command, "/dev/null"}, scratch.path());
    EXPECT_EQ(o.status, 0);
    // The line names the database's place in the batch, its table and field, and counts the
    // pictures of the whole batch; it is wiped before each database's summary.
    EXPECT_NE(o.out.find("[2/2] " + sameName.string() + " Pictures.Picture: "), std::string::npos)
        << o.out;
    EXPECT_NE(o.out.find("pictures written in all"), std::string::npos) << o.out;
    EXPECT_NE(o.out.find("\r\033[K[2/2] " + sameName.string() + ": 1 picture written"),
              std::string::npos)
        << o.out;
}

TEST_F(CliBatchTest, BatchUsageErrors) {
    std::ofstream(dir / "no-tab.txt") << locked.string() << " secret\n";
    // A line with no end (once grown to 4 GB and then ignored), as a second line.
    std::ofstream(dir / "long.txt") << "# passwords\n" << std::string(100'000, 'x') << "\tsecret\n";
    struct Case {
        std::vector<std::string> args;
        std::string err;             // the start of the message, when it matters
        const char* jobs = nullptr;  // PICTROVA_JOBS
    };
    const Case cases[] = {
        // A mistyped subcommand is named, with the nearest one.
        {{"extrct", catalogue.string()},
         "pictrova-cli: unknown subcommand 'extrct'; did you mean 'extract'?"},
        {{"scna", catalogue.string()},
         "pictrova-cli: unknown subcommand 'scna'; did you mean 'scan'?"},
        {{"--help", "extrct"},
         "pictrova-cli: unknown subcommand 'extrct'; did you mean 'extract'?"},
        {{"--help-all", "scna"}, "pictrova-cli: unknown subcommand 'scna'; did you mean 'scan'?"},
        // A variable is checked as the option it stands for.
        {{"scan", catalogue.string()},
         "pictrova-cli: PICTROVA_JOBS must be a number from 1 to 1024 (like --jobs), not 'abc'",
         "abc"},
        {{"extract-all", catalogue.string(), "--out", out.string()},
         "pictrova-cli: PICTROVA_JOBS must be a number from 1 to 1024 (like --jobs), not '0'",
         "0"},
        {{"scan", catalogue.string(), "--password-file", (dir / "missing.txt").string()}, ""},
        {{"extract-all", catalogue.string(), "--out", out.string(), "--password-file",
          (dir / "no-tab.txt").string()},
         (dir / "no-tab.txt").string() + ":1: expected PATH<TAB>PASSWORD"},
        {{"extract-all", catalogue.string(), "--out", out.string(), "--format", "webp"}, ""},
        {{"extract-all", catalogue.string(), "--out", out.string(), "--jobs", "0"}, ""},
        {{"extract-all", catalogue.string()}, ""},
        {{"scan"}, ""},
        // Only a regular file is a password file: no device, no folder.
        {{"scan", catalogue.string(), "--password-file", "/dev/zero"},
         "The password file '/dev/zero' is not a regular file."},
        {{"extract-all", catalogue.string(), "--out", out.string(), "--password-file",
          dir.path().string()},
         "The password file '" + dir.path().string() + "' is not a regular file."},
        {{"scan", catalogue.string(), "--password-file", (dir / "long.txt").string()},
         (dir / "long.txt").string() + ":2: line longer than 65536 bytes"},
        {{"extract", catalogue.string(), "--table", "Pictures", "--field", "Picture", "--out",
          out.string(), "--password-file", (dir / "long.txt").string()},
         "--password-file: " + (dir / "long.txt").string() + ":2: line longer than 65536 bytes"},
        {{"tables", catalogue.string(), "--password-file", "/dev/zero"},
         "--password-file: The password file '/dev/zero' is not a regular file."},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.args.front() + " " + c.args.back());
        std::optional<ScopedEnvironment> jobs;
        if (c.jobs)
            jobs.emplace("PICTROVA_JOBS", c.jobs);
        Outcome o = Cli(c.args);
        EXPECT_EQ(o.status, 2) << o.out;
        EXPECT_EQ(o.err.find(c.err), 0u) << o.err;
    }
    EXPECT_FALSE(fs::exists(out / "manifest.json"));

    // A manifest.json this program did not write is left as it is, and nothing is extracted.
    std::ofstream(out / "manifest.json") << "[1, 2]";
    Outcome foreign = Cli({"extract-all", catalogue.string(), "--out", out.string()});
    EXPECT_EQ(foreign.status, 3);
    EXPECT_NE(foreign.err.find("is not a manifest of this program"), std::string::npos)
        << foreign.err;
    EXPECT_EQ(ReadText(out / "manifest.json"), "[1, 2]");
    EXPECT_FALSE(fs::exists(out / "catalogue.mdb"));
}

// --password - reads the password from the first line of standard input, for every command that
// takes a password (scan and extract-all once took "-" as the password itself).
TEST_F(CliBatchTest, PasswordFromStandardInput) {
    const fs::path input = dir / "input.txt";
    std::ofstream(input) << "secret\n";
    const std::string path = locked.string();
    const std::vector<std::string> cases[] = {
        {"tables", path},
        {"fields", path, "Pictures"},
        {"scan", path},
        {"extract", path, "--table", "Pictures", "--field", "Picture", "--out", out.string()},
        {"extract-all", path, "--out", (dir / "all").string()},
    };
    for (const auto& args : cases) {
        SCOPED_TRACE(args.front());
        std::vector<std::string> withPassword = args;
        withPassword.insert(withPassword.end(), {"--password", "-"});
        Outcome o = Cli(withPassword, input);
        EXPECT_EQ(o.status, 0) << o.err;
    }
}

// The database password given in the environment is not handed on to the programs the run
// starts: a converter that writes out its environment finds none, and the run still opens the
// locked database with it.
TEST_F(CliBatchTest, NoPasswordInAConvertersEnvironment) {
    const fs::path seen = dir / "environment.txt";
    const fs::path converter = dir / "converter.sh";
    std::ofstream(converter) << "#!/bin/sh\nenv > '" << seen.string() << "'\nexec '"
                             << (testing::BinDir() / "pictrova-convert").string() << "' \"$@\"\n";
    fs::permissions(converter, fs::perms::owner_all);
    setenv("PICTROVA_PASSWORD", "secret", 1);
    Outcome o = Cli({"extract", locked.string(), "--table", "Pictures", "--field", "Picture",
                     "--out", out.string(), "--format", "tiff", "--converter", converter.string()});
    unsetenv("PICTROVA_PASSWORD");
    EXPECT_EQ(o.status, 0) << o.err;
    EXPECT_EQ(OutputFiles(), (std::set<std::string>{"Output1.tif"}));
    const std::string environment = ReadText(seen);
    EXPECT_NE(environment.find("PATH="), std::string::npos) << environment;
    EXPECT_EQ(environment.find("PICTROVA_PASSWORD"), std::string::npos) << environment;
    EXPECT_EQ(environment.find("secret"), std::string::npos) << environment;
}

// The workers share records out in any order; files, names, reports and the JSON must be the
// same as one worker's. Rows: pictures of several sizes, a record without a value, a value that
// is no object (a report-free skip for decode, a picture for raw), metafiles, a name that
// collides, a name that would leave the folder (a report).
TEST_F(CliTest, OneWorkerAndFourWriteTheSameFilesAndReports) {
    std::vector<testing::PictureRow> rows;
    for (int i = 0; i < 14; ++i) {
        const std::string caption = i == 5   ? "../outside"
                                    : i == 7 ? "same"
                                    : i == 8 ? "same"
                                             : "pic" + std::to_string(i);
        if (i == 3)
            rows.push_back({std::nullopt, caption});
        else if (i == 4)
            rows.push_back({fixtures::MakeBmpFile(9, 7), caption});
        // Metafiles render in a forked child while the other workers use the engine.
        else if (i % 3 == 0)
            rows.push_back(
                {fixtures::BuildStaticMetafile(fixtures::MakeMetafile(60 + i, 40), 8, 1270, 846),
                 caption});
        else
            rows.push_back({PaintPicture(i * 13), caption});
    }
    testing::WritePictureDatabase(db, rows);
    for (const char* format : {"bmp", "jpg", "png", "gif", "tiff", "pcx", "original"}) {
        for (const char* method : {"decode", "raw"}) {
            SCOPED_TRACE(std::string(format) + " " + method);
            std::map<std::string, std::string> files[3];
            std::string json[3];
            int index = 0;
            for (const char* jobs : {"1", "4", "64"}) {
                Reset();
                Outcome o = Extract({"--format", format, "--method", method, "--name",
                                     "text=Caption", "--jobs", jobs, "--json"});
                EXPECT_EQ(o.err, "");
                json[index] = o.out;
                for (const auto& e : fs::directory_iterator(out))
                    files[index][e.path().filename().string()] = ReadText(e.path());
                ++index;
            }
            EXPECT_FALSE(files[0].empty());
            EXPECT_EQ(files[0], files[1]);
            EXPECT_EQ(json[0], json[1]);
            EXPECT_EQ(files[0], files[2]);
            EXPECT_EQ(json[0], json[2]);
        }
    }
}

// Sets an environment variable for the programs a test starts, and takes it back.
// Large pictures and metafiles with big frames come out the same at 1, 2 and 64 workers, none
// lost: neither when the pictures the workers hold together exceed the engine's memory limit (a
// picture refused meanwhile is worked again alone), nor when the bytes of the records in flight
// are held to a budget of a few records or of less than one (each such record runs alone). The
// limits are lowered through the environment so that moderate pictures reach them.
TEST_F(CliTest, LargePicturesComeOutTheSameAtAnyNumberOfWorkers) {
    std::vector<testing::PictureRow> rows;
    for (int i = 0; i < 8; ++i)
        rows.push_back({fixtures::BuildPaintPicture(fixtures::MakeDrawnBmpFile(1300, 1300, i)),
                        "paint" + std::to_string(i)});
    for (int i = 0; i < 3; ++i) {
        fixtures::PackageContents drawing;
        drawing.label = "drawing.emf";
        drawing.file =
            fixtures::MakeEnhancedMetafile(1200 + 50 * i, 1200, fixtures::EmfContent::Rectangles);
        rows.push_back({fixtures::BuildPackage(drawing), "drawing" + std::to_string(i)});
    }
    fixtures::PackageContents scan;
    scan.label = "scan.tif";
    scan.file = fixtures::MakeTiffFile(1000, 800);
    rows.push_back({fixtures::BuildPackage(scan), "scan"});
    // Bare pictures: what --method raw loads too (from the field streamed to a work file).
    for (int i = 0; i < 4; ++i)
        rows.push_back(
            {fixtures::MakeDrawnBmpFile(1300, 1300, 10 + i), "bare" + std::to_string(i)});
    testing::WritePictureDatabase(db, rows);

    struct Outputs {
        std::map<std::string, std::string> files;
        std::string json;
    };
    auto extract = [&](const char* method, const char* jobs) {
        Reset();
        Outcome o = Extract({"--format", "png", "--method", method, "--name", "text=Caption",
                             "--jobs", jobs, "--json"});
        EXPECT_EQ(o.err, "");
        Outputs outputs{{}, o.out};
        for (const auto& e : fs::directory_iterator(out))
            outputs.files[e.path().filename().string()] = ReadText(e.path());
        return outputs;
    };
    std::map<std::string, Outputs> alone{{"decode", extract("decode", "1")},
                                         {"raw", extract("raw", "1")}};
    EXPECT_EQ(alone["decode"].files.size(), rows.size());
    EXPECT_EQ(alone["raw"].files.size(), 4u);

    struct Case {
        const char* name;
        const char* method;
        const char* engineMiB;    // PICTROVA_ENGINE_MEMORY_MIB
        const char* budgetBytes;  // PICTROVA_RECORDS_IN_FLIGHT_BYTES
    };
    const Case cases[] = {
        // One picture's pixels in the engine (8 bytes a pixel) fit, two of them do not.
        {"engine limit shared by the workers", "decode", "24", nullptr},
        {"engine limit shared, fields streamed to files", "raw", "24", nullptr},
        {"budget of a few records", "decode", nullptr, "80000000"},
        {"budget below one record", "decode", nullptr, "100000"},
    };
    for (const Case& c : cases) {
        const ScopedEnvironment engine("PICTROVA_ENGINE_MEMORY_MIB", c.engineMiB);
        const ScopedEnvironment budget("PICTROVA_RECORDS_IN_FLIGHT_BYTES", c.budgetBytes);
        const Outputs& expected = alone[c.method];
        for (const char* jobs : {"1", "2", "64"}) {
            SCOPED_TRACE(std::string(c.name) + ", --jobs " + jobs);
            const Outputs outputs = extract(c.method, jobs);
            EXPECT_EQ(outputs.json, expected.json);
            EXPECT_EQ(outputs.files.size(), expected.files.size());
            EXPECT_TRUE(outputs.files == expected.files);
        }
    }
}

TEST_F(CliTest, Unwrap) {
    fixtures::PackageContents contents;
    contents.label = "holiday.bmp";
    contents.file = fixtures::MakeBmpFile(4, 4);
    fs::path field = dir / "value.bin";
    {
        Bytes bytes = fixtures::BuildPackage(contents);
        std::ofstream(field, std::ios::binary)
            .write(reinterpret_cast<const char*>(bytes.data()),
                   static_cast<std::streamsize>(bytes.size()));
    }
    Outcome o = Cli({"unwrap", field.string()});
    EXPECT_EQ(o.status, 0) << o.err;
    EXPECT_EQ(o.out, "pak\nholiday.bmp\n");
    std::string written = ReadText(dir / "value.pak");
    EXPECT_EQ(written, std::string(contents.file.begin(), contents.file.end()));

    Outcome named = Cli({"unwrap", field.string(), "-o", (dir / "x.bmp").string()});
    EXPECT_EQ(named.status, 0);
    EXPECT_TRUE(fs::exists(dir / "x.bmp"));

    std::ofstream(dir / "junk.bin") << "not an object";
    Outcome bad = Cli({"unwrap", (dir / "junk.bin").string()});
    EXPECT_EQ(bad.status, 1);
    EXPECT_FALSE(bad.err.empty());

    // A document whose own data gives nothing: its stored preview, and a word saying so.
    {
        Bytes bytes = fixtures::BuildOpenXmlWordObject(
            fixtures::MakeDibPresentation(fixtures::MakePackedDib(3, 2, 24)));
        std::ofstream(dir / "report.bin", std::ios::binary)
            .write(reinterpret_cast<const char*>(bytes.data()),
                   static_cast<std::streamsize>(bytes.size()));
    }
    Outcome preview = Cli({"unwrap", (dir / "report.bin").string()});
    EXPECT_EQ(preview.status, 0) << preview.err;
    EXPECT_EQ(preview.out, "bmp\n");
    EXPECT_NE(preview.err.find("preview stored with it"), std::string::npos) << preview.err;
    EXPECT_EQ(ReadText(dir / "report.bmp").substr(0, 2), "BM");
}

TEST_F(CliTest, HelpForEveryCommand) {
    struct Case {
        std::vector<std::string> args;
        std::string says;  // a part of the help that matters
    };
    const Case cases[] = {
        {{"--help"}, "the OLE Object and Attachment fields"},
        {{"--help"}, "128 + the signal's number when stopped by a signal: 130 for SIGINT, 143"},
        {{"tables", "--help"}, "Usage"},
        // The three columns the output has.
        {{"fields", "--help"}, "NAME<TAB>CODE<TAB>TYPE"},
        {{"extract", "--help"}, "Usage"},
        {{"scan", "--help"}, "folders searched for them"},
        {{"extract-all", "--help"}, "folders searched for them"},
        {{"unwrap", "--help"}, "Usage"},
    };
    for (const Case& c : cases) {
        Outcome o = Cli(c.args);
        EXPECT_EQ(o.status, 0) << c.args.front();
        EXPECT_NE(o.out.find(c.says), std::string::npos) << o.out;
    }
    EXPECT_EQ(Cli({}).status, 2);
    Outcome version = Cli({"--version"});
    EXPECT_EQ(version.status, 0);
    EXPECT_EQ(version.out, "pictrova-cli " PICTROVA_VERSION "\n");
    // The wizard answers both before it opens a window, so they work without a display.
    const fs::path wizard = testing::BinDir() / "pictrova";
    if (fs::exists(wizard)) {
        for (const char* word : {"--help", "--version"}) {
            Outcome o = RunProgram(wizard, {word}, scratch.path());
            EXPECT_EQ(o.status, 0) << word;
            EXPECT_EQ(o.err, "") << word;
            EXPECT_EQ(
                o.out.rfind(
                    std::string(word) == "--help" ? "Usage: pictrova [DATABASE]" : "pictrova ", 0),
                0u)
                << o.out;
        }
    }
}

// The options a text names: words that start with - or -- after a blank or a bracket.
std::set<std::string> OptionsIn(const std::string& text) {
    static const std::regex option(R"((^|[\s\[|,])(--?[a-z][a-z-]*))");
    std::set<std::string> names;
    for (auto it = std::sregex_iterator(text.begin(), text.end(), option);
         it != std::sregex_iterator(); ++it)
        names.insert((*it)[2]);
    return names;
}

// The README's synopsis lines of `command`: its own line and the indented ones after it, without
// the comments.
std::string ReadmeSynopsis(const std::string& command) {
    std::istringstream readme(ReadText(PICTROVA_README));
    std::string line, synopsis;
    bool inside = false;
    while (std::getline(readme, line)) {
        if (line.starts_with("pictrova-cli "))
            inside = line.starts_with("pictrova-cli " + command + " ");
        else if (!line.starts_with("    "))
            inside = false;
        if (inside)
            synopsis += line.substr(0, line.find(" #")) + "\n";
    }
    return synopsis;
}

// Every option a subcommand's --help lists is in the README's synopsis, and no other.
TEST_F(CliTest, HelpAndReadmeListTheSameOptions) {
    for (const char* command : {"tables", "fields", "extract", "unwrap", "scan", "extract-all"}) {
        SCOPED_TRACE(command);
        std::string help = Cli({command, "--help"}).out;
        // The option lines only: the description above them and the footer after them name
        // options too.
        const std::size_t options = help.find("\nOptions:");
        ASSERT_NE(options, std::string::npos) << help;
        help = help.substr(options, help.find("\n\n", options + 1) - options);
        std::set<std::string> listed = OptionsIn(help);
        listed.erase("-h");
        listed.erase("--help");
        listed.erase("--help-all");
        const std::set<std::string> documented = OptionsIn(ReadmeSynopsis(command));
        EXPECT_FALSE(documented.empty());
        EXPECT_EQ(listed, documented);
    }
}

// What the browser makes of a contact sheet: its pictures, counts, names and links.
constexpr const char* kSheetFacts = R"(
    const images = Array.from(d.images);
    return {images: images.length,
            loaded: images.filter(i => i.complete && i.naturalWidth > 0).length,
            written: Number(d.getElementById('written-count').textContent),
            skipped: Number(d.getElementById('skipped-count').textContent),
            names: Array.from(d.querySelectorAll('a.name')).map(a => a.textContent),
            keys: Array.from(d.querySelectorAll('.key')).map(k => k.textContent),
            reasons: Array.from(d.querySelectorAll('li.skipped .reason')).map(r => r.textContent),
            links: Array.from(d.querySelectorAll('a[href]:not([href^="#"])')).map(a => a.href),
            sections: d.querySelectorAll('section').length};
)";

// The contact sheet of extract and of extract-all, opened in a real browser: every thumbnail
// shows, every link reaches its file, the counts are the JSON's, names with markup characters
// and letters beyond ASCII read as written; index.csv has a row per entry with the key field.
TEST_F(CliTest, ContactSheetOpensInABrowserAndAgreesWithTheJson) {
    if (!testing::BrowserProgram())
        GTEST_SKIP() << "no browser installed (scripts/install-deps installs chromium)";
    const std::string tricky = "Nancy <b>&amp; \"O'Hara\" caf\xC3\xA9 \xE6\x97\xA5";
    testing::WritePictureDatabase(db, {{PaintPicture(), tricky},
                                       {std::nullopt, "nothing"},
                                       {PaintPicture(1), "#2 100%"},
                                       {PaintPicture(2), "third"}});
    const Outcome o = Extract({"--name", "text=Caption", "--format", "png", "--report", "--key",
                               "ID", "--key", "Caption", "--json"});
    ASSERT_EQ(o.status, 0) << o.err;
    const auto json = nlohmann::json::parse(o.out);
    std::vector<std::string> names;
    for (const auto& record : json["records"])
        if (!record["file"].is_null())
            names.push_back(fs::path(record["file"].get<std::string>()).filename().string());

    const auto sheet =
        nlohmann::json::parse(testing::ValueInBrowser(out / "index.html", kSheetFacts));
    ASSERT_FALSE(sheet.contains("error")) << sheet.dump();
    EXPECT_EQ(sheet["written"], json["pictures_written"]);
    EXPECT_EQ(sheet["skipped"], json["records"].size() - names.size());
    EXPECT_EQ(sheet["images"], names.size());
    EXPECT_EQ(sheet["loaded"], names.size());
    EXPECT_EQ(sheet["names"], nlohmann::json(names));
    // The file name leaves out what a file name may not hold; the key shows the text whole.
    EXPECT_EQ(sheet["names"][0], "Nancy b&amp; O'Hara caf\xC3\xA9 \xE6\x97\xA5.png");
    EXPECT_EQ(sheet["keys"][1], "Caption: " + tricky);
    EXPECT_EQ(sheet["reasons"], nlohmann::json({"no value"}));
    EXPECT_EQ(sheet["links"].size(), 2 * names.size());
    for (const auto& link : sheet["links"])
        EXPECT_TRUE(fs::is_regular_file(testing::PathOfFileUrl(link.get<std::string>()))) << link;

    const std::string csv = ReadText(out / "index.csv");
    EXPECT_EQ(
        csv.substr(0, csv.find("\r\n")),
        "record,ID,Caption,file,kind,width,height,bytes,stored_preview,outcome,reason,detail");
    EXPECT_NE(csv.find("\r\n2,2,nothing,,,,,,,skipped,no value,\r\n"), std::string::npos) << csv;
    EXPECT_NE(csv.find("\r\n3,3,#2 100%,#2 100%.png,BMP,25,16,"), std::string::npos) << csv;
    EXPECT_NE(csv.find("\r\n1,1,\"" + std::string("Nancy <b>&amp; \"\"O'Hara\"\"")),
              std::string::npos)
        << csv;

    // One sheet for a batch, a section per field, its links relative to the batch's folder.
    const fs::path batch = dir / "batch";
    const Outcome all = Cli({"extract-all", db.string(), "--out", batch.string(), "--report"});
    ASSERT_EQ(all.status, 0) << all.err;
    const auto batchSheet =
        nlohmann::json::parse(testing::ValueInBrowser(batch / "index.html", kSheetFacts));
    EXPECT_EQ(batchSheet["sections"], 1);
    EXPECT_EQ(batchSheet["written"], 3);
    EXPECT_EQ(batchSheet["loaded"], 3);
    for (const auto& link : batchSheet["links"])
        EXPECT_TRUE(fs::is_regular_file(testing::PathOfFileUrl(link.get<std::string>()))) << link;

    // --key without --report, or naming a field the table lacks, is refused before the run.
    EXPECT_EQ(Extract({"--key", "ID"}).status, 2);
    EXPECT_EQ(Extract({"--report", "--key", "Nope"}).status, 2);
}

}  // namespace
}  // namespace pictrova::cli
