// SPDX-License-Identifier: GPL-3.0-or-later
// Faults that strike while the extraction runs: the output folder removed or made read-only
// after a few records, a full disk under the output or the work folder, a converter that
// crashes, hangs or writes garbage, a work folder that cannot be made, and a picture field
// whose declared size does not match its pages. Each must end with the right reports, every
// other record extracted, and no partial file left anywhere.

#include <gtest/gtest.h>
#include <sys/mount.h>
#include <unistd.h>

#include <algorithm>
#include <fstream>
#include <functional>
#include <set>

#include "database/connection_string.h"
#include "folder_snapshot.h"
#include "imaging/image_engine.h"
#include "imaging/picture_holder.h"
#include "jet_writer/jet_writer.h"
#include "ole_builder/ole_fields.h"
#include "ole_builder/pictures.h"
#include "recording_host.h"
#include "run/extraction_run.h"
#include "small_file_system.h"
#include "test_paths.h"

namespace pictrova::reliability {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using pictrova::testing::BinDir;
using pictrova::testing::RecordingHost;
using pictrova::testing::SmallFileSystem;
using pictrova::testing::TempDir;
using run::OutputFormat;

constexpr int kRecords = 4;
// 24-bit paint pictures of about 24 KB each, so a small file system fills after a few.
constexpr int kPictureWidth = 100;
constexpr int kPictureHeight = 80;

fixtures::Bytes Picture(int record) {
    return fixtures::BuildPaintPicture(
        fixtures::MakeBmpFile(kPictureWidth + record, kPictureHeight));
}

void WriteScript(const fs::path& path, const std::string& body) {
    std::ofstream(path) << "#!/bin/sh\n" << body;
    fs::permissions(path, fs::perms::owner_all);
}

// The converter's output path: the argument after "-o".
constexpr char kOutputArgument[] =
    "prev=; for a in \"$@\"; do [ \"$prev\" = -o ] && out=$a; prev=$a; done\n";

// Makes a folder refuse new files: the immutable attribute for the superuser (who ignores
// permissions), a mode without write bits for anyone else. Undone when the object goes.
class ReadOnlyFolder {
  public:
    explicit ReadOnlyFolder(const fs::path& folder) : folder_(folder) {}
    bool Apply() {
        if (geteuid() != 0) {
            fs::permissions(folder_, fs::perms::owner_read | fs::perms::owner_exec);
            return applied_ = true;
        }
        return applied_ =
                   std::system(("chattr +i '" + folder_.string() + "' 2>/dev/null").c_str()) == 0;
    }
    ~ReadOnlyFolder() {
        if (!applied_)
            return;
        if (geteuid() == 0)
            std::system(("chattr -i '" + folder_.string() + "' 2>/dev/null").c_str());
        std::error_code ec;
        fs::permissions(folder_, fs::perms::owner_all, ec);
    }

  private:
    fs::path folder_;
    bool applied_ = false;
};

class RunFaultTest : public ::testing::Test {
  protected:
    void SetUp() override {
        imaging::StartImageEngine();
        fs::create_directories(out);
        fs::create_directories(work);
        jet::DatabasePlan plan;
        jet::TablePlan table{
            "Pictures",
            {{"ID", jet::ColumnType::Long}, {"Picture", jet::ColumnType::OleObject}},
            {}};
        for (int record = 1; record <= kRecords; ++record)
            table.rows.push_back({std::int64_t(record), Picture(record)});
        plan.tables.push_back(std::move(table));
        jet::WriteDatabase(db, plan);
    }

    run::RunResult Run(OutputFormat format, run::ReadMethod method = run::ReadMethod::ByteToByte) {
        run::ExtractionChoices choices;
        choices.table = "Pictures";
        choices.pictureField = "Picture";
        choices.outputFolder = out.string();
        choices.format = format;
        choices.readMethod = method;
        run::FixedExtractionOptions options(choices);
        database::FixedDatabaseSelection selection(db.string(), "");
        run::RunSurroundings surroundings{
            .host = host,
            .database = selection,
            .creator = creator,
            .progress =
                [this](const run::RunProgress& p) {
                    if (afterRecord)
                        afterRecord(p.recordsDone);
                },
            .converter = converter,
            .workRoot = work,
            .converterTimeout = converterTimeout,
        };
        return run::RunExtraction(options, surroundings);
    }

    // Records (1-based) whose output file was written.
    static std::set<std::int64_t> Written(const run::RunResult& result) {
        std::set<std::int64_t> written;
        for (const auto& record : result.records) {
            if (record.written)
                written.insert(record.number);
        }
        return written;
    }
    static std::set<std::int64_t> Reported(const run::RunResult& result) {
        std::set<std::int64_t> reported;
        for (const auto& record : result.records) {
            if (!record.errors.empty())
                reported.insert(record.number);
        }
        return reported;
    }
    static std::string FirstReport(const run::RunResult& result, std::int64_t number) {
        for (const auto& record : result.records) {
            if (record.number == number && !record.errors.empty())
                return record.errors.front().description;
        }
        return {};
    }

    // What the run must leave in every case: exactly the written records' files, complete, in
    // the output folder, and nothing in the work root.
    void ExpectOnlyCompleteOutput(const run::RunResult& result, const std::string& extension) {
        std::set<std::string> expected;
        for (std::int64_t n : Written(result))
            expected.insert("Output" + std::to_string(n) + extension);
        std::set<std::string> present;
        if (fs::exists(out)) {
            for (const auto& entry : fs::directory_iterator(out)) {
                present.insert(entry.path().filename().string());
                if (extension == ".bmp") {
                    EXPECT_TRUE(IsCompleteBmp(entry.path())) << entry.path();
                } else {
                    EXPECT_GT(fs::file_size(entry.path()), 8u) << entry.path();
                }
            }
        }
        EXPECT_EQ(present, expected);
        EXPECT_TRUE(fs::is_empty(work)) << "the work folder was left behind";
    }

    TempDir dir;
    fs::path db = dir / "pictures.mdb";
    fs::path out = dir / "out";
    fs::path work = dir / "work";
    fs::path converter;  // empty: the run converts in its own process
    std::chrono::milliseconds converterTimeout = kDefaultConverterTimeout;
    std::function<void(std::int64_t recordsDone)> afterRecord;
    RecordingHost host;
    imaging::PictureHolder creator;
};

TEST_F(RunFaultTest, OutputFolderRemovedMidRunReportsTheRestAndRecreatesNothing) {
    for (OutputFormat format : {OutputFormat::BMP, OutputFormat::JPG, OutputFormat::PNG}) {
        SCOPED_TRACE(static_cast<int>(format));
        fs::create_directories(out);
        afterRecord = [this](std::int64_t done) {
            if (done == 2)
                fs::remove_all(out);
        };
        const run::RunResult result = Run(format);
        EXPECT_EQ(Written(result), (std::set<std::int64_t>{1, 2}));
        EXPECT_EQ(Reported(result), (std::set<std::int64_t>{3, 4}));
        EXPECT_EQ(result.end, run::RunEnd::Done);
        EXPECT_FALSE(fs::exists(out));
        EXPECT_TRUE(fs::is_empty(work));
    }
}

// One output format per case, so a case that cannot run here is reported as its own skip
// rather than ending the others. (.ci/run fails on skips: CI runs as root, where all of them run.)
struct FormatCase {
    OutputFormat format;
    const char* extension;
};

std::string FormatCaseName(const ::testing::TestParamInfo<FormatCase>& info) {
    return std::string(info.param.extension + 1);
}

class ReadOnlyOutputTest : public RunFaultTest, public ::testing::WithParamInterface<FormatCase> {};

TEST_P(ReadOnlyOutputTest, MadeReadOnlyMidRunKeepsTheWrittenFilesAndReportsTheRest) {
    const auto [format, extension] = GetParam();
    ReadOnlyFolder readOnly(out);
    bool applied = false;
    afterRecord = [&](std::int64_t done) {
        if (done == 2)
            applied = readOnly.Apply();
    };
    const run::RunResult result = Run(format);
    if (!applied)
        GTEST_SKIP() << "cannot make a folder read-only here";
    EXPECT_EQ(Written(result), (std::set<std::int64_t>{1, 2}));
    EXPECT_EQ(Reported(result), (std::set<std::int64_t>{3, 4}));
    ExpectOnlyCompleteOutput(result, extension);
}

INSTANTIATE_TEST_SUITE_P(Formats, ReadOnlyOutputTest,
                         ::testing::Values(FormatCase{OutputFormat::BMP, ".bmp"},
                                           FormatCase{OutputFormat::PNG, ".png"}),
                         FormatCaseName);

// A file system that takes no more files ends the run at the first file it refuses: one report
// naming that file (never the hidden temporary) and the folder, the files written before kept
// whole, no later record tried.
struct OutOfRoomCase {
    OutputFormat format;
    const char* extension;
    bool readOnly;  // made read-only after two records; else full after about two pictures
    const char* reason;
};

class OutOfRoomOutputTest : public RunFaultTest,
                            public ::testing::WithParamInterface<OutOfRoomCase> {};

TEST_P(OutOfRoomOutputTest, EndsTheRunWithOneReportNamingTheFile) {
    const auto [format, extension, readOnly, reason] = GetParam();
    // Full: room for two of the 24 KB pictures and part of the third.
    SmallFileSystem small(out, readOnly ? 1024 * 1024 : 64 * 1024);
    if (!small.mounted())
        GTEST_SKIP() << "cannot mount a small file system here (needs root)";
    if (readOnly) {
        afterRecord = [&](std::int64_t done) {
            if (done == 2)
                mount(nullptr, out.c_str(), nullptr, MS_REMOUNT | MS_RDONLY, nullptr);
        };
    }
    const run::RunResult result = Run(format);
    EXPECT_TRUE(result.outOfRoom);
    ASSERT_EQ(Reported(result).size(), 1u) << "the file system never refused a file";
    const std::int64_t refused = *Reported(result).begin();
    EXPECT_EQ(refused, static_cast<std::int64_t>(Written(result).size()) + 1);
    EXPECT_EQ(result.records.size(), static_cast<std::size_t>(refused))
        << "records after the refused one were tried";
    EXPECT_EQ(result.errorCount, 1);
    const std::string report = FirstReport(result, refused);
    EXPECT_NE(report.find("Cannot write Output" + std::to_string(refused) + extension +
                          ": the output folder " + out.string() + " " + reason),
              std::string::npos)
        << report;
    EXPECT_EQ(report.find(".pictrova-"), std::string::npos) << report;
    ExpectOnlyCompleteOutput(result, extension);
}

// Formats that write about the picture's size (a JPEG of these pictures is too small to fill).
INSTANTIATE_TEST_SUITE_P(
    Faults, OutOfRoomOutputTest,
    ::testing::Values(
        OutOfRoomCase{OutputFormat::BMP, ".bmp", false, "is on a full disk"},
        OutOfRoomCase{OutputFormat::TIFF, ".tif", false, "is on a full disk"},
        OutOfRoomCase{OutputFormat::TGA, ".tga", false, "is on a full disk"},
        OutOfRoomCase{OutputFormat::BMP, ".bmp", true, "is on a read-only file system"},
        OutOfRoomCase{OutputFormat::JPG, ".jpg", true, "is on a read-only file system"}),
    [](const auto& info) {
        return std::string(info.param.extension + 1) + (info.param.readOnly ? "ReadOnly" : "Full");
    });

// A work file that does not fit ends the run at the first record whose file it is, with one
// report naming the work folder: every later record's work file would not fit either.
TEST_F(RunFaultTest, FullDiskUnderTheWorkFolderEndsTheRunWithOneReport) {
    // Smaller than one record's work file.
    SmallFileSystem small(work, 16 * 1024);
    if (!small.mounted())
        GTEST_SKIP() << "cannot mount a small file system here (needs root)";
    // Decoded pictures are converted where they are in memory: the work folder is not needed.
    EXPECT_EQ(Written(Run(OutputFormat::PNG)).size(), static_cast<std::size_t>(kRecords));
    struct Case {
        const char* name;
        bool externalConverter;
        run::ReadMethod method;
        int label;         // the step that writes the work file
        const char* file;  // the work file
    };
    const Case cases[] = {
        // An external converter reads the picture it converts from a work file: the BMP the
        // PNG is made from (a decoded BMP is loaded where it is, in memory).
        {"external converter", true, run::ReadMethod::ByteToByte, 382, "intermediate-1.bmp"},
        // Method 2 streams every value into a work file while the record is read.
        {"raw", false, run::ReadMethod::Recordset, 308, "field-1.bmp"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        fs::remove_all(out);
        fs::create_directories(out);
        converter = c.externalConverter ? BinDir() / "pictrova-convert" : fs::path();
        const run::RunResult result = Run(OutputFormat::PNG, c.method);
        EXPECT_TRUE(result.outOfRoom);
        EXPECT_TRUE(Written(result).empty());
        EXPECT_EQ(result.records.size(), 1u) << "records after the first were tried";
        EXPECT_EQ(result.errorCount, 1) << "one report, not one per record";
        ASSERT_EQ(Reported(result), (std::set<std::int64_t>{1}));
        EXPECT_EQ(result.records.front().errors.front().label, c.label);
        const std::string report = FirstReport(result, 1);
        EXPECT_NE(report.find(std::string("Cannot write the work file ") + c.file +
                              ": the work folder " + work.string() + "/pictrova-run-"),
                  std::string::npos)
            << report;
        EXPECT_NE(report.find("is on a full disk"), std::string::npos) << report;
        ExpectOnlyCompleteOutput(result, ".png");
    }
}

// Converters that misbehave on record 2's picture only (these pictures are loaded without the
// converter, which runs once per record to write PNG) and run the real converter otherwise.
struct ConverterFault {
    std::string name;
    std::string onRecord2;     // shell commands; $out is the output path
    std::string reportedPart;  // in the report of record 2
};

class ConverterFaultTest : public RunFaultTest,
                           public ::testing::WithParamInterface<ConverterFault> {};

TEST_P(ConverterFaultTest, IsReportedForItsRecordAndTheOthersAreExtracted) {
    const fs::path real = BinDir() / "pictrova-convert";
    converter = dir / "converter";
    // Record 2's picture is the input whose name ends in "-2.bmp" (workers call in any order).
    WriteScript(converter, std::string(kOutputArgument) + "case \"$*\" in *-2.bmp)\n" +
                               GetParam().onRecord2 + "\n;; esac\nexec '" + real.string() +
                               "' \"$@\"\n");
    converterTimeout = 1s;
    const run::RunResult result = Run(OutputFormat::PNG);
    EXPECT_EQ(Written(result), (std::set<std::int64_t>{1, 3, 4}));
    EXPECT_EQ(Reported(result), (std::set<std::int64_t>{2}));
    EXPECT_NE(FirstReport(result, 2).find(GetParam().reportedPart), std::string::npos)
        << FirstReport(result, 2);
    ExpectOnlyCompleteOutput(result, ".png");
}

INSTANTIATE_TEST_SUITE_P(
    Faults, ConverterFaultTest,
    ::testing::Values(ConverterFault{"Crashes", "kill -SEGV $$", "exit status 139"},
                      ConverterFault{"CrashesAfterWritingHalf",
                                     "printf '\\211PNG\\r\\n\\032\\n' > \"$out\"; printf 'half' > "
                                     "\"$(dirname \"$out\")/.part\"; kill -SEGV $$",
                                     "exit status 139"},
                      ConverterFault{"Hangs", "exec sleep 30", "exit status 137"},
                      ConverterFault{"WritesGarbageAndSucceeds", "echo garbage > \"$out\"; exit 0",
                                     "is not a PNG file"},
                      ConverterFault{"WritesNothingAndSucceeds", "exit 0", "could not write"},
                      ConverterFault{"FailsAfterWritingAFile",
                                     "cp \"$(echo $* | sed 's/.* //')\" \"$out\"; exit 1",
                                     "exit status 1"}),
    [](const auto& info) { return info.param.name; });

TEST_F(RunFaultTest, WorkFolderThatCannotBeMadeIsReportedOnceAndWritesNothingElsewhere) {
    // A work root under a regular file: no folder can be made there, whoever runs the test.
    std::ofstream(dir / "file") << "x";
    work = dir / "file" / "work";
    const FolderSnapshot before = Snapshot(dir.path());
    const fs::path cwd = fs::current_path();
    const FolderSnapshot cwdBefore = Snapshot(cwd);
    const run::RunResult result = Run(OutputFormat::PNG);
    EXPECT_TRUE(Written(result).empty());
    ASSERT_FALSE(result.errors.empty());
    EXPECT_EQ(result.errors.front().label, 158);
    EXPECT_NE(result.errors.front().description.find("work folder"), std::string::npos);
    EXPECT_EQ(result.errorCount, 1) << "one report, not one per record";
    EXPECT_TRUE(Differences(before, Snapshot(dir.path())).empty());
    EXPECT_TRUE(Differences(cwdBefore, Snapshot(cwd)).empty());
}

// Record 2's value declares `declared` bytes where its pages hold its real size. Its 12-byte
// header in the row starts with the size (no flag bits for a chain of pages), unique in the
// file because the pictures' sizes differ.
void ChangeDeclaredSize(const fs::path& db, std::uint32_t size, std::uint32_t declared) {
    std::ifstream in(db, std::ios::binary);
    fixtures::Bytes file{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    const std::uint8_t header[] = {static_cast<std::uint8_t>(size),
                                   static_cast<std::uint8_t>(size >> 8),
                                   static_cast<std::uint8_t>(size >> 16), 0};
    auto at = std::search(file.begin(), file.end(), std::begin(header), std::end(header));
    ASSERT_NE(at, file.end());
    ASSERT_EQ(std::search(at + 1, file.end(), std::begin(header), std::end(header)), file.end());
    for (int i = 0; i < 4; ++i)
        at[i] = static_cast<std::uint8_t>(declared >> (8 * i));
    std::ofstream(db, std::ios::binary | std::ios::trunc)
        .write(reinterpret_cast<const char*>(file.data()),
               static_cast<std::streamsize>(file.size()));
}

TEST_F(RunFaultTest, FieldDeclaringMoreThanItsPagesHoldIsReportedAndTheOthersAreExtracted) {
    const auto size = static_cast<std::uint32_t>(Picture(2).size());
    ChangeDeclaredSize(db, size, size + 1000);
    for (auto [method, label] : {std::pair{run::ReadMethod::ByteToByte, 220},
                                 std::pair{run::ReadMethod::Recordset, 308}}) {
        SCOPED_TRACE(label);
        fs::remove_all(out);
        fs::create_directories(out);
        const run::RunResult result = Run(OutputFormat::BMP, method);
        if (method == run::ReadMethod::ByteToByte) {
            EXPECT_EQ(Written(result), (std::set<std::int64_t>{1, 3, 4}));
        }
        EXPECT_EQ(Reported(result), (std::set<std::int64_t>{2}));
        ASSERT_FALSE(result.records.at(1).errors.empty());
        EXPECT_EQ(result.records.at(1).errors.front().label, label);
        EXPECT_NE(FirstReport(result, 2).find("is damaged"), std::string::npos)
            << FirstReport(result, 2);
        ExpectOnlyCompleteOutput(result, ".bmp");
    }
}

TEST_F(RunFaultTest, FieldDeclaringLessThanItsPagesHoldYieldsNoPictureForThatRecord) {
    const auto size = static_cast<std::uint32_t>(Picture(2).size());
    ChangeDeclaredSize(db, size, size / 2);
    const run::RunResult result = Run(OutputFormat::BMP);
    EXPECT_EQ(Written(result), (std::set<std::int64_t>{1, 3, 4}));
    ExpectOnlyCompleteOutput(result, ".bmp");
}

}  // namespace
}  // namespace pictrova::reliability
