// SPDX-License-Identifier: GPL-3.0-or-later
// The extraction run over databases from our writer, with the real decoder, picture loader and
// converter program.
#include "run/extraction_run.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <functional>
#include <set>
#include <thread>

#include "common/limits.h"
#include "database/connection_string.h"
#include "imaging/image_engine.h"
#include "imaging/picture_holder.h"
#include "ole_builder/ole_fields.h"
#include "ole_builder/pictures.h"
#include "picture_database.h"
#include "recording_host.h"
#include "run/output_naming.h"
#include "run/record_preview.h"
#include "run/record_work.h"
#include "test_paths.h"

namespace pictrova::run {
namespace {

namespace fs = std::filesystem;
using fixtures::Bytes;
using testing::PictureRow;

Bytes PaintPicture(int variant = 0) {
    return fixtures::BuildPaintPicture(fixtures::MakeBmpFile(24 + variant, 16));
}
Bytes PackagedBmp() {
    fixtures::PackageContents contents;
    contents.label = "photo.bmp";
    contents.file = fixtures::MakeBmpFile(20, 10);
    return fixtures::BuildPackage(contents);
}
Bytes NotAnObject() {
    return Bytes{'n', 'o', 't', ' ', 'o', 'l', 'e'};
}

Bytes ReadFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// Whether the file starts the way files of the format do (TGA has no signature: its header's
// image type byte says uncompressed or RLE true colour).
bool LooksLike(OutputFormat format, const Bytes& b) {
    auto starts = [&](std::initializer_list<int> magic) {
        if (b.size() < magic.size())
            return false;
        std::size_t i = 0;
        for (int m : magic) {
            if (b[i++] != m)
                return false;
        }
        return true;
    };
    switch (format) {
        case OutputFormat::BMP:
            return starts({'B', 'M'});
        case OutputFormat::JPG:
            return starts({0xFF, 0xD8, 0xFF});
        case OutputFormat::PNG:
            return starts({0x89, 'P', 'N', 'G'});
        case OutputFormat::GIF:
            return starts({'G', 'I', 'F', '8'});
        case OutputFormat::TIFF:
            return starts({'I', 'I', 42, 0}) || starts({'M', 'M', 0, 42});
        case OutputFormat::TGA:
            return b.size() > 18 && (b[2] == 2 || b[2] == 10);
        case OutputFormat::PCX:
            return starts({0x0A});
        case OutputFormat::None:
        case OutputFormat::Original:
            break;
    }
    return false;
}

// Options whose format the test changes while the run goes on, as the wizard's controls can be.
class LiveOptions : public FixedExtractionOptions {
  public:
    using FixedExtractionOptions::FixedExtractionOptions;
    OutputFormat format() const override {
        if (onFormatRead)
            onFormatRead(++formatReads);
        return currentFormat;
    }
    OutputFormat currentFormat = OutputFormat::PNG;
    mutable int formatReads = 0;
    std::function<void(int)> onFormatRead;
};

class ExtractionRunTest : public ::testing::Test {
  protected:
    void SetUp() override {
        imaging::StartImageEngine();
        fs::create_directory(out);
        fs::create_directory(work);
    }

    ExtractionChoices Choices() const {
        ExtractionChoices c;
        c.table = "Pictures";
        c.pictureField = "Picture";
        c.outputFolder = out.string();
        return c;
    }

    RunResult Run(const ExtractionOptions& options, const std::string& password = {}) {
        database::FixedDatabaseSelection selection(db.string(), password);
        RunSurroundings surroundings{
            .host = host,
            .database = selection,
            .creator = creator,
            .progress =
                [this](const RunProgress& p) {
                    progress.push_back(p);
                    if (afterRecord)
                        afterRecord(p);
                },
            .converter = converter,
            .workRoot = work,
            .stopRequested = stopRequested,
        };
        return RunExtraction(options, surroundings);
    }
    RunResult Run(const ExtractionChoices& choices) {
        FixedExtractionOptions options(choices);
        return Run(options);
    }

    // The records a preview of `choices` gives, waited for.
    std::vector<PreviewedRecord> Preview(const ExtractionChoices& choices,
                                         const std::string& password = {}) {
        RecordPreview preview(database::OpenDatabase(db.string(), password), choices);
        preview.Request(1, 1000);
        std::vector<PreviewedRecord> records;
        while (!preview.Idle())
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        for (PreviewedRecord& record : preview.Take())
            records.push_back(std::move(record));
        EXPECT_TRUE(preview.ReachedEnd());
        return records;
    }

    // The preview of the run's choices names each record's (first) file as the run named it, or
    // gives the run's reason for none, and writes nothing, needing no output folder.
    void ExpectPreviewOfTheRun(const ExtractionChoices& choices, const RunResult& run) {
        fs::remove_all(out);
        const std::vector<PreviewedRecord> previewed = Preview(choices);
        EXPECT_FALSE(fs::exists(out));
        fs::create_directory(out);
        ASSERT_EQ(previewed.size(), run.records.size());
        for (std::size_t i = 0; i < previewed.size(); ++i) {
            const RecordOutcome& record = run.records[i];
            SCOPED_TRACE(record.number);
            EXPECT_EQ(previewed[i].number, record.number);
            EXPECT_EQ(previewed[i].fileName,
                      record.written ? record.written->lexically_relative(out).string() : "");
            EXPECT_EQ(previewed[i].skip, record.skipped);
            EXPECT_EQ(previewed[i].thumbnail.dib_width() > 0, record.written && !run.originalFiles);
        }
    }

    std::set<std::string> OutputFiles() const {
        std::set<std::string> names;
        for (const auto& e : fs::recursive_directory_iterator(out)) {
            names.insert(fs::relative(e.path(), out).string());
        }
        return names;
    }

    std::vector<int> ReportedLabels(const RunResult& r) const {
        std::vector<int> labels;
        for (const auto& e : r.errors)
            labels.push_back(e.label);
        for (const auto& rec : r.records) {
            for (const auto& e : rec.errors)
                labels.push_back(e.label);
        }
        return labels;
    }

    testing::TempDir dir;
    fs::path db = dir / "pictures.mdb";
    fs::path out = dir / "out";
    fs::path work = dir / "work";
    fs::path converter;
    testing::RecordingHost host;
    imaging::PictureHolder creator;
    std::vector<RunProgress> progress;
    std::function<void(const RunProgress&)> afterRecord;
    std::function<bool()> stopRequested;
};

TEST_F(ExtractionRunTest, ChecksThatEndTheRunBeforeItStarts) {
    testing::WritePictureDatabase(db, {{PaintPicture(), "a"}});
    struct Case {
        const char* what;
        std::function<void(ExtractionChoices&)> change;
        std::string_view message;
        RunEnd end;
    };
    const Case cases[] = {
        {"folder missing", [&](auto& c) { c.outputFolder = (dir / "nope").string(); },
         kFolderMissingMessage, RunEnd::FolderMissing},
        {"folder is a file", [&](auto& c) { c.outputFolder = db.string(); }, kFolderMissingMessage,
         RunEnd::FolderMissing},
        {"prefix without #", [](auto& c) { c.prefix = "Output"; }, kPrefixWithoutCounterMessage,
         RunEnd::PrefixWithoutCounter},
        {"empty prefix", [](auto& c) { c.prefix = ""; }, kPrefixWithoutCounterMessage,
         RunEnd::PrefixWithoutCounter},
        {"no field selected", [](auto& c) { c.pictureField = ""; }, kNoFieldSelectedMessage,
         RunEnd::NoFieldSelected},
        {"text field", [](auto& c) { c.pictureField = "Caption"; }, kNotPictureFieldMessage,
         RunEnd::NotPictureField},
        {"number field", [](auto& c) { c.pictureField = "ID"; }, kNotPictureFieldMessage,
         RunEnd::NotPictureField},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        host = {};
        ExtractionChoices choices = Choices();
        c.change(choices);
        RunResult r = Run(choices);
        EXPECT_EQ(host.messages, std::vector<std::string>{std::string(c.message)});
        EXPECT_EQ(r.end, c.end);
        EXPECT_TRUE(host.errorReports.empty());
        EXPECT_TRUE(OutputFiles().empty());
        EXPECT_TRUE(fs::is_empty(work));
        // The pointer is never left busy.
        if (!host.busyChanges.empty()) {
            EXPECT_FALSE(host.busyChanges.back());
        }
    }
}

TEST_F(ExtractionRunTest, PrefixWithoutHashIsNotTestedForOtherNaming) {
    testing::WritePictureDatabase(db, {{PaintPicture(), "a"}});
    ExtractionChoices choices = Choices();
    choices.prefix = "Output";
    choices.naming = Naming::TableName;
    RunResult r = Run(choices);
    EXPECT_EQ(r.end, RunEnd::Done);
    EXPECT_EQ(OutputFiles(), (std::set<std::string>{"Pictures1.bmp"}));
}

TEST_F(ExtractionRunTest, EmptyTableShowsTheNoImagesMessage) {
    testing::WritePictureDatabase(db, {});
    RunResult r = Run(Choices());
    EXPECT_EQ(host.messages, std::vector<std::string>{NoImagesMessage()});
    EXPECT_EQ(NoImagesMessage(),
              "No images were found in database to be extracted. Please email "
              "support@quillmoor.com if you think that you have a mdb file with easily viewable "
              "images in an OLE Object in a table.");
    EXPECT_EQ(r.recordsRead, 0);
    EXPECT_TRUE(host.errorReports.empty());
    EXPECT_TRUE(OutputFiles().empty());
}

TEST_F(ExtractionRunTest, RecordsOneAndThreeOnlyHoldPictures) {
    testing::WritePictureDatabase(
        db,
        {{PaintPicture(), "a"}, {std::nullopt, "b"}, {PackagedBmp(), "c"}, {NotAnObject(), "d"}});
    for (auto method : {ReadMethod::ByteToByte, ReadMethod::Recordset}) {
        fs::remove_all(out);
        fs::create_directory(out);
        host = {};
        ExtractionChoices choices = Choices();
        choices.readMethod = method;
        RunResult r = Run(choices);
        EXPECT_TRUE(host.errorReports.empty());
        EXPECT_EQ(host.messages, std::vector<std::string>{"Done."});
        EXPECT_EQ(r.recordsRead, 4);
        if (method == ReadMethod::ByteToByte) {
            EXPECT_EQ(OutputFiles(), (std::set<std::string>{"Output1.bmp", "Output3.bmp"}));
        }
        ASSERT_EQ(r.records.size(), 4u);
        if (method == ReadMethod::ByteToByte) {
            EXPECT_EQ(r.records[0].written, out / "Output1.bmp");
        }
        EXPECT_FALSE(r.records[1].written);
        EXPECT_TRUE(fs::is_empty(work));
    }
}

TEST_F(ExtractionRunTest, EveryFormatWithBothMethods) {
    // Method 2 hands the raw field to the converter: raw picture bytes come out, wrapped ones
    // only when the converter can read through the wrapper. Method 1 unwraps objects and takes
    // bare picture files as they are.
    testing::WritePictureDatabase(
        db, {{PaintPicture(), "a"}, {fixtures::MakeBmpFile(30, 20), "b"}, {PackagedBmp(), "c"}});
    const OutputFormat formats[] = {OutputFormat::BMP, OutputFormat::JPG,  OutputFormat::PNG,
                                    OutputFormat::GIF, OutputFormat::TIFF, OutputFormat::TGA,
                                    OutputFormat::PCX};
    for (auto method : {ReadMethod::ByteToByte, ReadMethod::Recordset}) {
        for (OutputFormat format : formats) {
            std::string ext(FormatExtension(format));
            SCOPED_TRACE(ext + (method == ReadMethod::ByteToByte ? " decode" : " raw"));
            fs::remove_all(out);
            fs::create_directory(out);
            host = {};
            ExtractionChoices choices = Choices();
            choices.readMethod = method;
            choices.format = format;
            // A committed record's work files are gone (the streamed field too, which waits
            // for its worker's word while the record may be worked again).
            afterRecord = [&](const RunProgress& p) {
                for (const auto& e : fs::recursive_directory_iterator(work)) {
                    const std::string name = e.path().filename().string();
                    if (!name.starts_with("field-"))
                        continue;
                    EXPECT_GT(std::stoll(name.substr(6)), p.recordsDone) << name;
                }
            };
            RunResult r = Run(choices);
            afterRecord = nullptr;
            EXPECT_EQ(host.messages, std::vector<std::string>{"Done."});
            EXPECT_TRUE(host.errorReports.empty()) << host.errorReports.front();
            // Record 2 holds a bare BMP file: method 1 takes it as it is, and it is the only
            // picture method 2 can read.
            std::set<std::string> expected = {"Output1" + ext, "Output2" + ext, "Output3" + ext};
            if (method == ReadMethod::Recordset)
                expected = {"Output2" + ext};
            auto files = OutputFiles();
            for (const auto& name : expected) {
                EXPECT_TRUE(files.count(name)) << name;
                EXPECT_TRUE(LooksLike(format, ReadFile(out / name))) << name;
            }
            // Nothing but output files: no intermediate BMP, no temporary names.
            for (const auto& name : files)
                EXPECT_TRUE(name.ends_with(ext)) << name;
            EXPECT_TRUE(fs::is_empty(work));
        }
    }
}

// The run encodes the converter formats in its own process; each file must be the one the
// converter program writes from the same picture (the BMP the run writes of it), and the
// external converter, plugged in instead, must write the same again. Record 3, a workbook, gives
// the picture it stores for display (its metafile preview) both ways.
TEST_F(ExtractionRunTest, ConvertedFilesAreWhatTheConverterProgramWrites) {
    testing::WritePictureDatabase(
        db, {{PaintPicture(), "a"},
             {PackagedBmp(), "b"},
             {fixtures::BuildOfficeObject(fixtures::OfficeKind::Excel), "c"}});
    const fs::path bmps = dir / "bmps";
    fs::create_directory(bmps);
    ExtractionChoices choices = Choices();
    choices.outputFolder = bmps.string();
    const RunResult first = Run(choices);
    ASSERT_EQ(first.records.size(), 3u);
    EXPECT_TRUE(first.records[2].storedPreview);
    EXPECT_FALSE(first.records[0].storedPreview);
    struct Row {
        OutputFormat format;
        std::vector<std::string> words;  // the converter's format words
    };
    const Row rows[] = {
        {OutputFormat::PNG, {"png", "-q", "85"}},
        {OutputFormat::GIF, {"gif", "-dither", "-colors", "256"}},
        {OutputFormat::TIFF, {"tiff"}},
        {OutputFormat::TGA, {"tga"}},
        {OutputFormat::PCX, {"pcx"}},
    };
    for (const Row& row : rows) {
        const std::string ext(FormatExtension(row.format));
        SCOPED_TRACE(ext);
        for (const fs::path& external : {fs::path(), testing::BinDir() / "pictrova-convert"}) {
            fs::remove_all(out);
            fs::create_directory(out);
            converter = external;
            choices = Choices();
            choices.format = row.format;
            choices.quality = 85;
            const RunResult r = Run(choices);
            EXPECT_TRUE(r.records.at(2).storedPreview);
            EXPECT_TRUE(host.errorReports.empty()) << host.errorReports.front();
            for (const char* name : {"Output1", "Output2", "Output3"}) {
                const fs::path expected = dir / (std::string(name) + ".expected" + ext);
                std::string command =
                    "'" + (testing::BinDir() / "pictrova-convert").string() + "' -out";
                for (const auto& word : row.words)
                    command += " " + word;
                command += " -o '" + expected.string() + "' '" +
                           (bmps / (std::string(name) + ".bmp")).string() + "'";
                ASSERT_EQ(std::system(command.c_str()), 0) << command;
                EXPECT_EQ(ReadFile(out / (std::string(name) + ext)), ReadFile(expected))
                    << name << " " << external;
            }
        }
    }
}

TEST_F(ExtractionRunTest, NamingOptionsWithTheirExamples) {
    std::vector<PictureRow> rows;
    const char* captions[] = {"a/b:c?", nullptr, "   ", "photo.jpg", "x"};
    for (const char* c : captions) {
        rows.push_back({PaintPicture(), c ? std::optional<std::string>(c) : std::nullopt});
    }
    testing::WritePictureDatabase(db, rows, "Photos");
    struct Case {
        Naming naming;
        const char* prefix;
        ReadMethod method;
        OutputFormat format;
        std::set<std::string> files;
    };
    const Case cases[] = {
        {Naming::FixedPrefix,
         "Img##",
         ReadMethod::ByteToByte,
         OutputFormat::BMP,
         {"Img01.bmp", "Img02.bmp", "Img03.bmp", "Img04.bmp", "Img05.bmp"}},
        {Naming::FixedPrefix,
         "A#B#",
         ReadMethod::ByteToByte,
         OutputFormat::BMP,
         {"A#B1.bmp", "A#B2.bmp", "A#B3.bmp", "A#B4.bmp", "A#B5.bmp"}},
        {Naming::TableName,
         "",
         ReadMethod::ByteToByte,
         OutputFormat::BMP,
         {"Photos1.bmp", "Photos2.bmp", "Photos3.bmp", "Photos4.bmp", "Photos5.bmp"}},
        {Naming::FieldName,
         "",
         ReadMethod::ByteToByte,
         OutputFormat::BMP,
         {"Picture1.bmp", "Picture2.bmp", "Picture3.bmp", "Picture4.bmp", "Picture5.bmp"}},
        {Naming::TableAndFieldName,
         "",
         ReadMethod::ByteToByte,
         OutputFormat::BMP,
         {"Photos_Picture1.bmp", "Photos_Picture2.bmp", "Photos_Picture3.bmp",
          "Photos_Picture4.bmp", "Photos_Picture5.bmp"}},
        // Null and blank both give FIELDNOCONTENT: the second is numbered, never overwrites.
        {Naming::FieldText,
         "",
         ReadMethod::ByteToByte,
         OutputFormat::JPG,
         {"abc.jpg", "FIELDNOCONTENT.jpg", "FIELDNOCONTENT (2).jpg", "photo.jpg.jpg", "x.jpg"}},
        {Naming::None,
         "",
         ReadMethod::ByteToByte,
         OutputFormat::BMP,
         {"1.bmp", "2.bmp", "3.bmp", "4.bmp", "5.bmp"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(*c.files.begin());
        fs::remove_all(out);
        fs::create_directory(out);
        host = {};
        ExtractionChoices choices = Choices();
        choices.table = "Photos";
        choices.naming = c.naming;
        choices.prefix = c.prefix;
        choices.nameField = "Caption";
        choices.readMethod = c.method;
        choices.format = c.format;
        const RunResult r = Run(choices);
        EXPECT_TRUE(host.errorReports.empty());
        EXPECT_EQ(OutputFiles(), c.files);
        ExpectPreviewOfTheRun(choices, r);
    }
}

TEST_F(ExtractionRunTest, FieldTextWithRecordsetMethodUsesTheTextAsItIs) {
    // "a\\b" points into a folder that does not exist: that save fails and is reported; a null
    // text gives the name base ".bmp".
    testing::WritePictureDatabase(
        db, {{fixtures::MakeBmpFile(8, 8), "a\\b"}, {fixtures::MakeBmpFile(8, 8), std::nullopt}});
    ExtractionChoices choices = Choices();
    choices.readMethod = ReadMethod::Recordset;
    choices.naming = Naming::FieldText;
    choices.nameField = "Caption";
    choices.format = OutputFormat::JPG;
    RunResult r = Run(choices);
    EXPECT_EQ(OutputFiles(), (std::set<std::string>{".bmp.jpg"}));
    EXPECT_EQ(ReportedLabels(r), (std::vector<int>{370}));
    EXPECT_EQ(host.messages, std::vector<std::string>{"Done."});
}

TEST_F(ExtractionRunTest, FormatSwitchedBetweenRecordsThroughTheOptions) {
    testing::WritePictureDatabase(
        db, {{PaintPicture(), "a"}, {PaintPicture(1), "b"}, {PaintPicture(2), "c"}});
    LiveOptions options(Choices());
    // The choices are read when a record is read: the format chosen after the first record was
    // read applies from the second on, however far the workers are.
    options.onFormatRead = [&](int reads) {
        if (reads == 2)
            options.currentFormat = OutputFormat::JPG;
    };
    Run(options);
    EXPECT_EQ(OutputFiles(), (std::set<std::string>{"Output1.png", "Output2.jpg", "Output3.jpg"}));
    EXPECT_TRUE(LooksLike(OutputFormat::JPG, ReadFile(out / "Output3.jpg")));
}

TEST_F(ExtractionRunTest, NoMethodOrNoFormatChosen) {
    testing::WritePictureDatabase(db, {{PaintPicture(), "a"}});
    ExtractionChoices noMethod = Choices();
    noMethod.readMethod = ReadMethod::None;
    Run(noMethod);
    EXPECT_EQ(host.messages, std::vector<std::string>{NoImagesMessage()});

    host = {};
    ExtractionChoices noFormat = Choices();
    noFormat.format = OutputFormat::None;
    const RunResult read = Run(noFormat);
    EXPECT_EQ(host.messages, std::vector<std::string>{"Done."});
    EXPECT_TRUE(OutputFiles().empty());
    // The picture was loaded: the count says so instead of calling it "not loaded".
    EXPECT_EQ(RunCount(read),
              "0 pictures from 1 record; 1 picture read and not written (no output format is "
              "chosen).");
}

TEST_F(ExtractionRunTest, FailingConverterIsReportedAndLeavesNoPartialFile) {
    testing::WritePictureDatabase(db, {{PaintPicture(), "a"}, {PaintPicture(1), "b"}});
    // Writes half a file where it was told to, then fails.
    converter = dir / "broken-convert";
    {
        std::ofstream script(converter);
        script << "#!/bin/sh\nwhile [ \"$1\" != -o ]; do shift; done\necho partial > \"$2\"\n"
                  "echo 'broken-convert: no room left on the device' >&2\nexit 1\n";
    }
    fs::permissions(converter, fs::perms::owner_all);
    ExtractionChoices choices = Choices();
    choices.format = OutputFormat::PNG;
    RunResult r = Run(choices);
    EXPECT_EQ(ReportedLabels(r), (std::vector<int>{384, 384}));
    ASSERT_EQ(r.records.size(), 2u);
    EXPECT_EQ(r.records[0].errors.at(0).description, "The converter could not write " +
                                                         (out / "Output1.png").string() +
                                                         ": no room left on the device");
    ASSERT_EQ(host.errorReports.size(), 2u);
    EXPECT_NE(
        host.errorReports[0].find("in Pictrova2021/08/31.Form2.PushButton6_Click at line 384"),
        std::string::npos);
    EXPECT_EQ(host.messages, std::vector<std::string>{"Done."});
    EXPECT_TRUE(OutputFiles().empty());
    EXPECT_TRUE(fs::is_empty(work));
}

TEST_F(ExtractionRunTest, ConverterReasonAndHowItEndedInTheReport) {
    const struct {
        const char* body;
        const char* description;  // after "The converter could not write <file>"
    } cases[] = {
        {"echo 'conv: input is not a picture' >&2; exit 1", ": input is not a picture"},
        {"exit 2", " (exit status 2)."},
        {"echo 'conv: a warning' >&2; kill -KILL $$", ": a warning (exit status 137)."},
    };
    testing::WritePictureDatabase(db, {{PaintPicture(), "a"}});
    converter = dir / "conv";
    for (const auto& c : cases) {
        SCOPED_TRACE(c.body);
        std::ofstream(converter) << "#!/bin/sh\n" << c.body << "\n";
        fs::permissions(converter, fs::perms::owner_all);
        ExtractionChoices choices = Choices();
        choices.format = OutputFormat::GIF;
        RunResult r = Run(choices);
        ASSERT_EQ(r.records.size(), 1u);
        ASSERT_EQ(r.records[0].errors.size(), 1u);
        EXPECT_EQ(
            r.records[0].errors[0].description,
            "The converter could not write " + (out / "Output1.gif").string() + c.description);
    }
}

TEST_F(ExtractionRunTest, OutputFolderGoneMidRunReportsEachFailedSave) {
    testing::WritePictureDatabase(
        db, {{PaintPicture(), "a"}, {PaintPicture(1), "b"}, {PaintPicture(2), "c"}});
    afterRecord = [&](const RunProgress& p) {
        if (p.recordsDone == 1)
            fs::remove_all(out);
    };
    RunResult r = Run(Choices());
    EXPECT_EQ(ReportedLabels(r), (std::vector<int>{364, 364}));
    ASSERT_EQ(r.records.size(), 3u);
    EXPECT_TRUE(r.records[0].written);
    EXPECT_FALSE(r.records[1].written);
    EXPECT_EQ(r.records[2].errors.at(0).location, "Form2.PushButton6_Click");
    EXPECT_EQ(host.messages, std::vector<std::string>{"Done."});
}

// Makes a folder refuse new files. Permissions do not stop the superuser, the immutable
// attribute does (where the file system has one).
bool SetFolderReadOnly(const fs::path& folder, bool readOnly) {
    if (geteuid() != 0) {
        fs::permissions(folder, readOnly ? fs::perms::owner_read | fs::perms::owner_exec
                                         : fs::perms::owner_all);
        return true;
    }
    std::string command = std::string("chattr ") + (readOnly ? "+i" : "-i") + " '" +
                          folder.string() + "' 2>/dev/null";
    return std::system(command.c_str()) == 0;
}

TEST_F(ExtractionRunTest, OutputFolderTurnedReadOnlyMidRun) {
    testing::WritePictureDatabase(db, {{PaintPicture(), "a"}, {PaintPicture(1), "b"}});
    if (!SetFolderReadOnly(out, true))
        GTEST_SKIP() << "no way to make a folder read-only here";
    SetFolderReadOnly(out, false);
    for (OutputFormat format : {OutputFormat::BMP, OutputFormat::JPG, OutputFormat::GIF}) {
        SetFolderReadOnly(out, false);
        fs::remove_all(out);
        fs::create_directory(out);
        host = {};
        afterRecord = [&](const RunProgress& p) {
            if (p.recordsDone == 1)
                SetFolderReadOnly(out, true);
        };
        ExtractionChoices choices = Choices();
        choices.format = format;
        RunResult r = Run(choices);
        SetFolderReadOnly(out, false);
        std::string ext(FormatExtension(format));
        // The save step of each format: BMP 364, JPG 370, GIF's conversion 400.
        const int label = format == OutputFormat::BMP   ? 364
                          : format == OutputFormat::JPG ? 370
                                                        : 400;
        EXPECT_EQ(ReportedLabels(r), (std::vector<int>{label})) << ext;
        EXPECT_EQ(OutputFiles(), (std::set<std::string>{"Output1" + ext}));
        EXPECT_EQ(host.messages, std::vector<std::string>{"Done."});
    }
}

// A shared output folder where someone planted links at the names a run may write: the hidden
// temporaries of earlier versions (".pictrova-PID-RECORD.ext", "NAME.partPID",
// ".NAME.partPID"), one of the present form, and the final names. Nothing outside the folder may
// be written through them, and nothing may be made there.
TEST_F(ExtractionRunTest, LinksPlantedInTheOutputFolderAreNeverFollowed) {
    testing::WritePictureDatabase(db, {{PaintPicture(), "a"}, {PaintPicture(1), "b"}});
    const fs::path outside = dir / "outside";
    const std::string pid = std::to_string(getpid());
    for (OutputFormat format :
         {OutputFormat::BMP, OutputFormat::JPG, OutputFormat::PNG, OutputFormat::TIFF}) {
        const std::string ext(FormatExtension(format));
        SCOPED_TRACE(ext);
        fs::remove_all(out);
        fs::remove_all(outside);
        fs::create_directory(out);
        fs::create_directory(outside);
        std::ofstream(outside / "victim") << "keep me";
        std::vector<std::string> planted;
        for (int record : {1, 2}) {
            const std::string name = "Output" + std::to_string(record) + ext;
            planted.insert(planted.end(), {".pictrova-" + pid + "-" + std::to_string(record) + ext,
                                           name + ".part" + pid, "." + name + ".part" + pid, name});
        }
        planted.push_back(".pictrova-" + pid + "-0000000000000000.part");
        for (std::size_t i = 0; i < planted.size(); ++i) {
            // Half of the links point at a file that exists, half at names that do not.
            const fs::path target =
                i % 2 ? outside / "victim" : outside / ("created-" + std::to_string(i));
            fs::create_symlink(target, out / planted[i]);
        }
        ExtractionChoices choices = Choices();
        choices.format = format;
        RunResult r = Run(choices);
        EXPECT_EQ(r.picturesWritten, 2);
        // Every link stays where it was but those at the final names, which the files replaced.
        std::set<std::string> present;
        for (const auto& e : fs::directory_iterator(out))
            present.insert(e.path().filename().string());
        EXPECT_EQ(present, std::set<std::string>(planted.begin(), planted.end()));
        for (int record : {1, 2}) {
            const fs::path file = out / ("Output" + std::to_string(record) + ext);
            EXPECT_FALSE(fs::is_symlink(file));
            EXPECT_TRUE(LooksLike(format, ReadFile(file)));
        }
        EXPECT_EQ(std::distance(fs::directory_iterator(outside), {}), 1)
            << "a file was made outside";
        std::ifstream victim(outside / "victim");
        EXPECT_EQ(std::string(std::istreambuf_iterator<char>(victim), {}), "keep me");
    }
}

TEST_F(ExtractionRunTest, NameThatWouldLeaveTheOutputFolderIsAFailedSave) {
    testing::WritePictureDatabase(
        db, {{fixtures::MakeBmpFile(8, 8), "..\\escaped"}, {fixtures::MakeBmpFile(8, 8), "kept"}});
    ExtractionChoices choices = Choices();
    choices.readMethod = ReadMethod::Recordset;
    choices.naming = Naming::FieldText;
    choices.nameField = "Caption";
    RunResult r = Run(choices);
    EXPECT_EQ(ReportedLabels(r), (std::vector<int>{362}));
    EXPECT_FALSE(fs::exists(dir / "escaped.bmp"));
    EXPECT_EQ(OutputFiles(), (std::set<std::string>{"kept.bmp"}));
}

// Attachment fields through the whole run: one output per attached picture under each naming
// choice, files that are no picture left out, a damaged file reported alone (label 200) while
// the record's other files are written, repeated names numbered.
TEST_F(ExtractionRunTest, EveryAttachedPictureIsOneOutput) {
    auto file = [](const char* name, Bytes content, bool deflate = false) {
        return jet::AttachmentPlan{name, "", std::move(content), deflate, std::nullopt};
    };
    jet::AttachmentPlan damaged = file("broken.bmp", fixtures::MakeBmpFile(4, 4));
    damaged.storedData = Bytes{9, 0, 0, 0, 0, 0, 0, 0};
    jet::DatabasePlan plan;
    plan.format = jet::Format::Ace12;
    plan.tables.push_back({"Pictures",
                           {{"ID", jet::ColumnType::Long},
                            {"Caption", jet::ColumnType::Text, 40},
                            {"Picture", jet::ColumnType::Attachment}},
                           {}});
    auto& rows = plan.tables[0].rows;
    rows.push_back({std::int64_t{1}, std::string("two"),
                    jet::Attachments{file("same.png", fixtures::MakePngFile(6, 5)),
                                     file("same.png", fixtures::MakeBmpFile(7, 3), true)}});
    rows.push_back({std::int64_t{2}, std::string("none"), jet::Attachments{}});
    rows.push_back({std::int64_t{3}, std::string("text"),
                    jet::Attachments{file("a.txt", Bytes(50, 'a'), true)}});
    rows.push_back({std::int64_t{4}, std::string("mixed"),
                    jet::Attachments{damaged, file("dir\\good.bmp", fixtures::MakeBmpFile(5, 5))}});
    db = dir / "attachments.accdb";
    jet::WriteDatabase(db, plan);

    struct Case {
        Naming naming;
        OutputFormat format;
        std::set<std::string> files;
    };
    // Original writes every attached file as it is stored, the text file too, under its own
    // extension (a BMP stored as "same.png" stays both).
    const Case cases[] = {
        {Naming::FixedPrefix,
         OutputFormat::PNG,
         {"Output1-1.png", "Output1-2.png", "Output4-2.png"}},
        {Naming::OriginalName, OutputFormat::BMP, {"same.bmp", "same (2).bmp", "good.bmp"}},
        {Naming::FieldText, OutputFormat::JPG, {"two-1.jpg", "two-2.jpg", "mixed-2.jpg"}},
        {Naming::OriginalName,
         OutputFormat::Original,
         {"same.png", "same (2).png", "a.txt", "good.bmp"}},
        {Naming::FixedPrefix,
         OutputFormat::Original,
         {"Output1-1.png", "Output1-2.png", "Output3.txt", "Output4-2.bmp"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(static_cast<int>(c.naming));
        fs::remove_all(out);
        fs::create_directory(out);
        ExtractionChoices choices = Choices();
        choices.naming = c.naming;
        choices.nameField = "Caption";
        choices.format = c.format;
        RunResult r = Run(choices);
        EXPECT_EQ(OutputFiles(), c.files);
        EXPECT_EQ(ReportedLabels(r), (std::vector<int>{200}));
        ASSERT_EQ(r.records.size(), 4u);
        const bool original = c.format == OutputFormat::Original;
        EXPECT_EQ(r.picturesWritten, original ? 4 : 3);
        ASSERT_EQ(r.records[0].attachments.size(), 2u);
        EXPECT_EQ(r.records[0].attachments[1].fileName, "same.png");
        EXPECT_TRUE(r.records[0].attachments[1].written);
        EXPECT_EQ(r.records[0].written, r.records[0].attachments[0].written);
        EXPECT_TRUE(r.records[1].attachments.empty());
        ASSERT_EQ(r.records[2].attachments.size(), 1u);
        EXPECT_EQ(r.records[2].attachments[0].written.has_value(), original);
        if (original) {
            EXPECT_EQ(ReadFile(*r.records[2].attachments[0].written), Bytes(50, 'a'));
            EXPECT_EQ(ReadFile(*r.records[0].attachments[1].written), fixtures::MakeBmpFile(7, 3));
        }
        EXPECT_FALSE(r.records[3].attachments[0].written);
        EXPECT_NE(r.records[3].errors.at(0).description.find(
                      "'broken.bmp' of field 'Picture' is damaged"),
                  std::string::npos);
        EXPECT_TRUE(fs::is_empty(work));
        ExpectPreviewOfTheRun(choices, r);
    }
}

TEST_F(ExtractionRunTest, WrongPasswordIsReportedAtEachFailingStep) {
    testing::WritePictureDatabase(db, {{PaintPicture(), "a"}}, "Pictures", "secret");
    FixedExtractionOptions options(Choices());
    Run(options, "wrong");
    ASSERT_GE(host.errorReports.size(), 1u);
    EXPECT_EQ(host.errorReports[0].substr(0, 23), "Not a valid password.\r\n");
    EXPECT_NE(host.errorReports[0].find("at line 156"), std::string::npos);
    EXPECT_EQ(host.messages.back(), kNotPictureFieldMessage);
    EXPECT_FALSE(host.busyChanges.back());

    host = {};
    Run(options, "secret");
    EXPECT_TRUE(host.errorReports.empty());
    EXPECT_EQ(host.messages, std::vector<std::string>{"Done."});
}

// Sets the record count kept in the definition of the file's first user table (Jet 4: the
// 32-bit count at byte 16 of the table definition page, the first such page after the
// catalog's on page 2).
void SetStoredRecordCount(const fs::path& path, std::uint32_t count) {
    constexpr std::size_t kPage = 4096, kRowCountOffset = 16;
    std::fstream file(path, std::ios::binary | std::ios::in | std::ios::out);
    for (std::size_t page = 3;; ++page) {
        char type = 0;
        file.seekg(static_cast<std::streamoff>(page * kPage));
        ASSERT_TRUE(file.get(type));
        if (type != 0x02)
            continue;
        const char bytes[] = {static_cast<char>(count), static_cast<char>(count >> 8),
                              static_cast<char>(count >> 16), static_cast<char>(count >> 24)};
        file.seekp(static_cast<std::streamoff>(page * kPage + kRowCountOffset));
        file.write(bytes, sizeof bytes);
        return;
    }
}

// The progress total is the count the table's definition keeps, taken as it is (no walk over
// the table: a count of 5 shows as 5); a count that cannot be right (none on a table with
// records, more than the file can hold) gives way to counting the records.
TEST_F(ExtractionRunTest, BusyPointerYieldsAndProgress) {
    const struct {
        std::optional<std::uint32_t> stored;
        std::int64_t total;
    } cases[] = {{std::nullopt, 3}, {5, 5}, {0, 3}, {0xFFFFFFFF, 3}};
    for (const auto& [stored, total] : cases) {
        SCOPED_TRACE(stored ? std::to_string(*stored) : "as written");
        testing::WritePictureDatabase(
            db, {{PaintPicture(), "a"}, {std::nullopt, "b"}, {PaintPicture(1), "c"}});
        if (stored)
            SetStoredRecordCount(db, *stored);
        fs::remove_all(out);
        fs::create_directory(out);
        host.busyChanges.clear();
        host.yields = 0;
        progress.clear();
        Run(Choices());
        EXPECT_EQ(host.busyChanges, (std::vector<bool>{true, true, false, false}));
        EXPECT_GE(host.yields, 2 + 3);
        ASSERT_FALSE(progress.empty());
        EXPECT_EQ(progress.front().recordsDone, 0);
        EXPECT_EQ(progress.back().recordsDone, 3);
        EXPECT_EQ(progress.back().recordsTotal, total);
        EXPECT_EQ(progress.back().picturesWritten, 2);
    }
}

// Ctrl-C or closing the wizard: the records written stay, the ones in work leave nothing.
TEST_F(ExtractionRunTest, StopRequestedKeepsTheWrittenRecordsAndLeavesNothingElse) {
    testing::WritePictureDatabase(db, std::vector<PictureRow>(20, PictureRow{PaintPicture(), "a"}));
    bool stop = false;
    stopRequested = [&] { return stop; };
    afterRecord = [&](const RunProgress& p) {
        if (p.recordsDone == 2)
            stop = true;
    };
    for (OutputFormat format : {OutputFormat::BMP, OutputFormat::PNG}) {
        fs::remove_all(out);
        fs::create_directory(out);
        stop = false;
        ExtractionChoices choices = Choices();
        choices.format = format;
        RunResult r = Run(choices);
        const std::string ext(FormatExtension(format));
        EXPECT_TRUE(r.stopped);
        EXPECT_EQ(r.records.size(), 2u);
        EXPECT_EQ(OutputFiles(), (std::set<std::string>{"Output1" + ext, "Output2" + ext}));
        EXPECT_TRUE(fs::is_empty(work));
    }
}

TEST_F(ExtractionRunTest, RecordNumbersPast32767AreNamed) {
    std::vector<PictureRow> rows(32769);
    rows.back().picture = PaintPicture();
    testing::WritePictureDatabase(db, rows);
    RunResult r = Run(Choices());
    EXPECT_TRUE(host.errorReports.empty());
    EXPECT_EQ(OutputFiles(), (std::set<std::string>{"Output32769.bmp"}));
}

}  // namespace
}  // namespace pictrova::run

namespace pictrova::run {
namespace {

TEST_F(ExtractionRunTest, DatabaseCutShortMidRunEndsTheRun) {
    std::vector<PictureRow> rows(600, PictureRow{PaintPicture(), "a"});
    testing::WritePictureDatabase(db, rows);
    afterRecord = [&](const RunProgress& p) {
        if (p.recordsDone == 1)
            fs::resize_file(db, 4096 * 3);
    };
    RunResult r = Run(Choices());
    // Rows already read still come, their pictures do not; each is reported where the field is
    // read, and the run reaches its end instead of going round for ever.
    // Records already handed to the workers (two per worker) were read before the cut, and the
    // pictures in the pages read ahead of it are still read whole (how many depends on where
    // the cut fell in the read-ahead block).
    EXPECT_LT(r.recordsRead, 600);
    EXPECT_GE(r.picturesWritten, 1);
    const auto picturesReadAhead =
        static_cast<std::int64_t>(kPageReadAheadBytes / PaintPicture().size() + 1);
    EXPECT_LE(r.picturesWritten,
              1 + 2 * static_cast<std::int64_t>(DefaultJobs()) + picturesReadAhead);
    for (int label : ReportedLabels(r))
        EXPECT_EQ(label, 220);
    EXPECT_EQ(host.messages, std::vector<std::string>{"Done."});
    EXPECT_TRUE(fs::is_empty(work));
}

}  // namespace
}  // namespace pictrova::run

namespace pictrova::run {
namespace {

// A failing read of the name field used to leave the previous record's name in place, so the
// record's picture overwrote the previous record's file.
TEST_F(ExtractionRunTest, UnreadableNameFieldDoesNotReuseThePreviousName) {
    for (auto method : {ReadMethod::ByteToByte, ReadMethod::Recordset}) {
        // Method 2 reads raw pictures, method 1 wrapped ones.
        auto picture = [&](int variant) {
            return method == ReadMethod::Recordset ? fixtures::MakeBmpFile(8 + variant, 8)
                                                   : PaintPicture(variant);
        };
        testing::WritePictureDatabase(db, {{picture(0), "a"}, {picture(1), "b"}});
        host = {};
        ExtractionChoices choices = Choices();
        choices.readMethod = method;
        choices.naming = Naming::FieldText;
        choices.nameField = "NoSuchField";
        RunResult r = Run(choices);
        const int label = method == ReadMethod::ByteToByte ? 188 : 306;
        EXPECT_EQ(ReportedLabels(r), (std::vector<int>{label, label}));
        EXPECT_TRUE(OutputFiles().empty());
        EXPECT_EQ(host.messages, std::vector<std::string>{"Done."});
    }
}

}  // namespace
}  // namespace pictrova::run
