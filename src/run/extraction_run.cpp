// SPDX-License-Identifier: GPL-3.0-or-later
#include "run/extraction_run.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <fstream>
#include <memory>
#include <set>
#include <system_error>

#include "common/error.h"
#include "database/ado_types.h"
#include "database/connection.h"
#include "database/connection_string.h"
#include "database/recordset.h"
#include "database/schema_listing.h"
#include "imaging/jpeg_encoder.h"
#include "imaging/picture_files.h"
#include "imaging/picture_holder.h"
#include "imaging/picture_kind.h"
#include "ole/ole_object_decoder.h"
#include "run/external_converter.h"
#include "run/field_reading.h"
#include "run/output_naming.h"
#include "run/work_files.h"

namespace pictrova::run {

namespace fs = std::filesystem;
using ui::Do;
using ui::Flow;
using ui::GuardedStep;
using ui::If;
using ui::Jump;

std::string NoImagesMessage() {
    return "No images were found in database to be extracted. Please email " +
           std::string(ui::kSupportAddress) +
           " if you think that you have a mdb file with easily viewable images in an OLE Object "
           "in a table.";
}

namespace {

// Objects the picture loader reads itself; everything else goes through the converter first.
constexpr std::array<std::string_view, 9> kLoadableExtensions{"bmp", "jpg", "jpeg", "gif", "dib",
                                                              "wmf", "emf", "ico",  "cur"};

// Where a record's saving ends: the next attached file, or the move to the next record.
constexpr int kAfterSaving = 456;
// The head of the loop over a record's attached files, and its step to the next file.
constexpr int kNextAttachment = 198;
constexpr int kAttachmentDone = 212;

// The five formats the converter writes, with the first of their sixteen labels.
struct ConverterFormat {
    OutputFormat format;
    int firstLabel;
};
constexpr std::array<ConverterFormat, 5> kConverterFormats{{
    {OutputFormat::PNG, 376},
    {OutputFormat::GIF, 392},
    {OutputFormat::TIFF, 408},
    {OutputFormat::TGA, 424},
    {OutputFormat::PCX, 440},
}};

std::string Lower(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

// The description of a conversion that wrote nothing: the converter's own reason when it gave
// one, and how it ended unless that was an ordinary failure exit explaining itself.
std::string ConversionFailure(const fs::path& output, int code, const std::string& reason) {
    std::string text = "The converter could not write " + output.string();
    if (!reason.empty())
        text += ": " + reason;
    if (code < 0)
        return text + " (it could not be started).";
    if (reason.empty() || code >= kSignalExitBase)
        return text + " (exit status " + std::to_string(code) + ").";
    return text;
}

bool FileExists(const fs::path& path) {
    std::error_code ec;
    return !path.empty() && fs::exists(path, ec);
}

bool IsDirectory(const std::string& path) {
    std::error_code ec;
    return !path.empty() && fs::is_directory(path, ec);
}

// The table's record count for the progress report; 0 when it cannot be counted.
std::int64_t CountRecords(database::Connection& connection, const std::string& table) {
    try {
        database::Recordset counting;
        counting.Open(database::RunSource(table), connection);
        std::int64_t count = 0;
        for (; !counting.Eof(); counting.MoveNext())
            ++count;
        return count;
    } catch (const std::exception&) {
        return 0;
    }
}

class Run {
public:
    Run(const ExtractionOptions& options, RunSurroundings& surroundings)
        : options_(options), s_(surroundings), host_(surroundings.host) {}

    RunResult Execute();

private:
    std::vector<GuardedStep> Steps();
    void AddChecks(std::vector<GuardedStep>& steps);
    void AddRecordLoop(std::vector<GuardedStep>& steps);
    void AddMethod1(std::vector<GuardedStep>& steps);
    void AddMethod2(std::vector<GuardedStep>& steps);
    void AddAttachments(std::vector<GuardedStep>& steps);
    void AddSaving(std::vector<GuardedStep>& steps);
    void AddEnd(std::vector<GuardedStep>& steps);

    database::Connection& Conn();
    database::Recordset& Rs();
    database::Field PictureField() { return Rs().Fields().Item(fieldName_); }
    std::optional<std::string> NameFieldText();
    std::string RecordOutputName(const std::string& extension) const;
    bool LoadWorkFile();
    void WriteWorkFile();
    fs::path SavePath(OutputFormat format);
    void Written();
    void Show(RunEnd end, std::string text);
    void ReportProgress();

    const ExtractionOptions& options_;
    RunSurroundings& s_;
    Host& host_;
    RunResult result_;

    // Run state, empty at each click.
    std::string tableName_;
    std::string fieldName_;
    std::string namePrefix_;
    // The text-field prefix of the current record; none when its field could not be read, so a
    // record never takes the previous record's name.
    std::optional<std::string> recordPrefix_;
    WorkFolder workFolder_;
    fs::path workFile_;
    fs::path secondWorkFile_;
    fs::path converter_;
    std::int64_t recordIndex_ = -1;
    std::int64_t recordsTotal_ = 0;
    bool found_ = false;
    bool inLoop_ = false;
    // The picture field is an attachment field: every attached file of a record is one output.
    bool attachmentField_ = false;
    // Output paths given to attached files so far; a name used again is numbered " (2)", ...
    std::set<fs::path> attachmentPaths_;

    // Per record.
    bool loaded_ = false;
    std::int64_t fieldSize_ = 0;
    std::vector<std::uint8_t> bytes_;
    std::string objectExtension_;
    std::string label_;
    bool decoded_ = false;
    bool fieldRead_ = false;
    std::string outputName_;
    std::string nameBase_;
    fs::path intermediatePath_;
    fs::path outputPath_;
    PendingOutput pending_;
    // Attachment fields: the record's files (names only) and the one being worked on.
    std::vector<database::AttachedFile> attachments_;
    std::size_t attachmentIndex_ = 0;
    bool inAttachments_ = false;

    std::unique_ptr<database::Connection> connection_;
    std::unique_ptr<database::Recordset> recordset_;
};

// A step whose object was never created fails as the data-access code would.
database::Connection& Run::Conn() {
    if (!connection_)
        throw Error("Object variable or With block variable not set", 91);
    return *connection_;
}

database::Recordset& Run::Rs() {
    if (!recordset_)
        throw Error("Object variable or With block variable not set", 91);
    return *recordset_;
}

RunResult Run::Execute() {
    std::vector<GuardedStep> steps = Steps();
    ui::Guard guard(host_, std::string(kRunLocation));
    guard.SetReportObserver([this](const ui::ReportedError& e) {
        ++result_.errorCount;
        if (inLoop_ && !result_.records.empty()) {
            result_.records.back().errors.push_back(e);
        } else {
            result_.errors.push_back(e);
        }
    });
    guard.Run(steps);
    workFolder_.Remove();
    return std::move(result_);
}

std::vector<GuardedStep> Run::Steps() {
    std::vector<GuardedStep> steps;
    AddChecks(steps);
    AddRecordLoop(steps);
    AddMethod1(steps);
    AddMethod2(steps);
    AddAttachments(steps);
    AddSaving(steps);
    AddEnd(steps);
    return steps;
}

void Run::AddChecks(std::vector<GuardedStep>& steps) {
    steps.push_back(If(
        100, [this] { return !IsDirectory(options_.outputFolder()); }, 494));
    steps.push_back(If(
        102,
        [this] {
            std::string prefix = options_.prefix();
            return (prefix.empty() || prefix.back() != '#') &&
                   options_.naming() == Naming::FixedPrefix;
        },
        104, 106));
    steps.push_back(Jump(104, [this] {
        Show(RunEnd::PrefixWithoutCounter, std::string(kPrefixWithoutCounterMessage));
        return Flow::End();
    }));
    steps.push_back(Do(106, [this] { host_.SetBusy(true); }));
    steps.push_back(Do(108, [this] { connection_ = std::make_unique<database::Connection>(); }));
    steps.push_back(Do(110, [this] { recordset_ = std::make_unique<database::Recordset>(); }));
    // The converter is installed with the program; the run finds it instead of unpacking a copy.
    steps.push_back(Do(114, [this] {
        converter_ = s_.converter.empty() ? LocateConverter().value_or(fs::path()) : s_.converter;
    }));
    steps.push_back(Do(118, [this] { host_.Yield(); }));
    steps.push_back(Do(126, [this] { host_.Yield(); }));
    steps.push_back(Do(128, [this] { tableName_ = options_.table(); }));
    steps.push_back(Do(130, [this] { fieldName_ = options_.pictureField(); }));
    steps.push_back(If(
        134, [this] { return fieldName_.empty(); }, 490));
    steps.push_back(Do(136, [this] { host_.SetBusy(true); }));
    steps.push_back(Do(138, [this] { found_ = false; }));
    // The first chosen naming scheme gives the prefix; FieldText sets it per record.
    steps.push_back(Do(140, [this] {
        namePrefix_ = RunPrefix(options_.naming(), options_.prefix(), tableName_, fieldName_);
    }));
    steps.push_back(Do(156, [this] { Conn().Open(database::BuildConnectionString(s_.database)); }));
    // Without its work folder the run has nowhere to put a record: one report, and it ends.
    steps.push_back(Jump(
        158,
        [this] {
            workFolder_.Make(s_.workRoot);
            workFile_ = workFolder_.path() / "temp.bmp";
            return Flow::Next();
        },
        486));
    steps.push_back(Do(160, [this] { secondWorkFile_ = workFolder_.path() / "temp1.bmp"; }));
    steps.push_back(Do(162, [this] {
        Rs().Open(database::RunSource(tableName_), Conn(), database::kAdOpenStatic,
                  database::kAdLockOptimistic);
    }));
    steps.push_back(If(
        164,
        [this] {
            database::Field field = PictureField();
            attachmentField_ = field.IsAttachment();
            return field.Type() != database::kAdLongVarBinary && !attachmentField_;
        },
        482));
    steps.push_back(If(
        166, [this] { return Rs().Eof() || Rs().bof(); }, 462));
    steps.push_back(Do(168, [this] { Rs().movefirst(); }));
    steps.push_back(Do(172, [this] {
        recordIndex_ = -1;
        recordsTotal_ = CountRecords(Conn(), tableName_);
        ReportProgress();
    }));
}

void Run::AddRecordLoop(std::vector<GuardedStep>& steps) {
    // A failing end test means the recordset cannot be read: the loop ends.
    steps.push_back(Jump(
        174,
        [this] {
            inLoop_ = false;
            return Rs().Eof() ? Flow::GoTo(462) : Flow::Next();
        },
        462));
    steps.push_back(Do(176, [this] { host_.Yield(); }));
    steps.push_back(Do(178, [this] {
        loaded_ = false;
        fieldSize_ = 0;
        bytes_.clear();
        objectExtension_.clear();
        label_.clear();
        decoded_ = false;
        fieldRead_ = false;
        outputName_.clear();
        recordPrefix_.reset();
        nameBase_.clear();
        pending_.Discard();
        attachments_.clear();
        attachmentIndex_ = 0;
        inAttachments_ = false;
    }));
    steps.push_back(Do(180, [this] {
        ++recordIndex_;
        result_.records.push_back({recordIndex_ + 1, std::nullopt, {}, {}});
        result_.recordsRead = recordIndex_ + 1;
        inLoop_ = true;
    }));
    // An attachment field is read the same way whatever the read method.
    steps.push_back(If(
        190, [this] { return attachmentField_; }, 192));
    steps.push_back(If(
        182, [this] { return options_.readMethod() == ReadMethod::ByteToByte; }, 184, 302));
}

std::optional<std::string> Run::NameFieldText() {
    database::FieldValue value = Rs().Fields().Item(options_.nameField()).Value();
    if (value.IsNull())
        return std::nullopt;
    if (value.IsText())
        return value.text();
    const auto& bytes = value.bytes();
    return std::string(bytes.begin(), bytes.end());
}

// Empty when the record's name could not be built (its report was given where that failed).
std::string Run::RecordOutputName(const std::string& extension) const {
    Naming naming = options_.naming();
    if (naming != Naming::FieldText) {
        return OutputName(naming, namePrefix_, recordIndex_ + 1, extension);
    }
    return recordPrefix_ ? OutputName(naming, *recordPrefix_, recordIndex_ + 1, extension)
                         : std::string();
}

bool Run::LoadWorkFile() {
    std::string message;
    bool tooBig = false;
    return imaging::LoadPictureFile(host_, s_.creator, workFile_, message, false, tooBig);
}

void Run::AddMethod1(std::vector<GuardedStep>& steps) {
    steps.push_back(Do(184, [this] { fieldSize_ = PictureField().ActualSize(); }));
    steps.push_back(If(
        186, [this] { return options_.naming() == Naming::FieldText; }, 188, 216));
    steps.push_back(Do(188, [this] { recordPrefix_ = FieldTextPrefixByteToByte(NameFieldText()); }));
    steps.push_back(If(
        216, [this] { return fieldSize_ < 1; }, 354));
    steps.push_back(Do(218, [this] { bytes_.clear(); }));
    steps.push_back(Do(220, [this] { bytes_ = PictureField().Value().TakeBytes(); }));
    steps.push_back(Do(222, [this] { label_.clear(); }));
    steps.push_back(Do(224, [this] { objectExtension_.clear(); }));
    steps.push_back(
        Do(228, [this] { decoded_ = ole::fGetContentsStream(bytes_, objectExtension_, label_); }));
    steps.push_back(If(
        230, [this] { return !decoded_; }, 354));
    steps.push_back(Do(232, [this] { found_ = true; }));
    steps.push_back(Do(234, [this] {
        outputName_ = RecordOutputName(objectExtension_);
    }));
    steps.push_back(Do(256, [this] { WriteWorkFile(); }));
    steps.push_back(If(
        264,
        [this] {
            auto ext = Lower(objectExtension_);
            return std::find(kLoadableExtensions.begin(), kLoadableExtensions.end(), ext) !=
                   kLoadableExtensions.end();
        },
        266, 278));
    steps.push_back(If(
        266, [this] { return !FileExists(workFile_); }, 354));
    steps.push_back(Do(268, [this] { imaging::RepairPictureFile(workFile_); }));
    steps.push_back(Do(270, [this] { loaded_ = LoadWorkFile(); }));
    steps.push_back(Jump(276, [this] {
        KillFile(host_, workFile_);
        return Flow::GoTo(354);
    }));
    steps.push_back(Do(278, [this] {
        // Quiet on failure: the loader then decides whether the unconverted file is a picture.
        std::string converted = ReplaceExtensionWithBmp(workFile_.string(), objectExtension_);
        ShellAndWait(
            host_,
            ConverterArgumentVector(converter_.string(), ConverterFormatWords(OutputFormat::BMP, 0),
                                    converted, workFile_.string()),
            0, s_.converterTimeout);
    }));
    steps.push_back(Do(288, [this] {
        workFile_ = ReplaceExtensionWithBmp(workFile_.string(), objectExtension_);
    }));
    steps.push_back(If(
        290, [this] { return !FileExists(workFile_); }, 354));
    steps.push_back(Do(292, [this] { imaging::RepairPictureFile(workFile_); }));
    steps.push_back(Do(294, [this] { loaded_ = LoadWorkFile(); }));
    steps.push_back(Jump(300, [this] {
        KillFile(host_, workFile_);
        return Flow::GoTo(354);
    }));
}

void Run::WriteWorkFile() {
    std::ofstream out(workFile_, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes_.data()), static_cast<std::streamsize>(bytes_.size()));
    out.close();
    if (!out)
        throw Error("Cannot write the work file " + workFile_.string() + ".");
    // The decoded object is on disk; keep memory to one copy of the picture.
    bytes_ = {};
}

// An attachment field: each attached file of the record goes, one at a time, through the
// loading and saving steps of a decoded object (264 on), and from the end of its saving back
// here for the next file. A file that is no picture (by its content) gives no output.
void Run::AddAttachments(std::vector<GuardedStep>& steps) {
    steps.push_back(Do(192, [this] {
        inAttachments_ = true;
        attachments_ = PictureField().Attachments();
        for (const database::AttachedFile& file : attachments_)
            result_.records.back().attachments.push_back({file.fileName, std::nullopt});
    }));
    steps.push_back(If(
        194, [this] { return options_.naming() == Naming::FieldText; }, 196, kNextAttachment));
    steps.push_back(Do(196, [this] { recordPrefix_ = FieldTextPrefixByteToByte(NameFieldText()); }));
    steps.push_back(Jump(kNextAttachment, [this] {
        if (attachmentIndex_ >= attachments_.size()) {
            inAttachments_ = false;
            return Flow::GoTo(458);
        }
        loaded_ = false;
        bytes_.clear();
        objectExtension_.clear();
        outputName_.clear();
        nameBase_.clear();
        pending_.Discard();
        return Flow::Next();
    }));
    steps.push_back(Jump(
        200,
        [this] {
            bytes_ = PictureField().AttachmentBytes(attachmentIndex_);
            found_ = true;
            return Flow::Next();
        },
        kAttachmentDone));
    steps.push_back(Jump(
        202,
        [this] {
            imaging::PictureKind kind = imaging::SniffPictureKind(bytes_);
            if (kind == imaging::PictureKind::Unknown) return Flow::GoTo(kAttachmentDone);
            // Loaded directly, or through the converter first, as a decoded object of that kind.
            objectExtension_ =
                imaging::IsDirectlyLoadable(kind) ? "bmp" : Lower(std::string(imaging::EngineCoderName(kind)));
            const database::AttachedFile& file = attachments_[attachmentIndex_];
            if (options_.naming() != Naming::FieldText || recordPrefix_)
                outputName_ = AttachmentOutputName(options_.naming(),
                                                   options_.naming() == Naming::FieldText ? *recordPrefix_ : namePrefix_,
                                                   recordIndex_ + 1, attachmentIndex_, attachments_.size(),
                                                   file.fileName, objectExtension_);
            return Flow::Next();
        },
        kAttachmentDone));
    steps.push_back(Jump(
        204,
        [this] {
            WriteWorkFile();
            return Flow::GoTo(264);
        },
        kAttachmentDone));
    steps.push_back(Jump(kAttachmentDone, [this] {
        KillFile(host_, workFile_);
        ++attachmentIndex_;
        return Flow::GoTo(kNextAttachment);
    }));
}

void Run::AddMethod2(std::vector<GuardedStep>& steps) {
    steps.push_back(If(
        302, [this] { return options_.readMethod() == ReadMethod::Recordset; }, 304, 354));
    steps.push_back(If(
        304, [this] { return options_.naming() == Naming::FieldText; }, 306, 308));
    steps.push_back(Do(306, [this] { recordPrefix_ = FieldTextPrefixRecordset(NameFieldText()); }));
    // A field that cannot be read whole is reported here and yields nothing.
    steps.push_back(Jump(
        308,
        [this] {
            std::string failure;
            database::Field field = PictureField();
            fieldRead_ = FieldToFile(field, workFile_, host_, &failure);
            if (!fieldRead_ && !failure.empty())
                throw Error(failure);
            return Flow::Next();
        },
        354));
    steps.push_back(If(
        310, [this] { return fieldRead_ && FileSize2(workFile_) != 0; }, 314, 354));
    steps.push_back(Do(314, [this] { found_ = true; }));
    steps.push_back(Do(316, [this] {
        outputName_ = RecordOutputName("bmp");
    }));
    steps.push_back(If(
        322, [this] { return !FileExists(workFile_); }, 354));
    steps.push_back(Do(324, [this] { KillFile(host_, secondWorkFile_); }));
    steps.push_back(Do(326, [this] {
        ShellAndWait(
            host_,
            ConverterArgumentVector(converter_.string(), ConverterFormatWords(OutputFormat::BMP, 0),
                                    secondWorkFile_.string(), workFile_.string()),
            0, s_.converterTimeout);
    }));
    steps.push_back(If(
        336, [this] { return FileExists(secondWorkFile_); }, 338, 342));
    steps.push_back(Do(338, [this] { KillFile(host_, workFile_); }));
    steps.push_back(Do(340, [this] {
        fs::copy_file(secondWorkFile_, workFile_, fs::copy_options::overwrite_existing);
    }));
    steps.push_back(Do(342, [this] { imaging::RepairPictureFile(workFile_); }));
    steps.push_back(Do(344, [this] { loaded_ = LoadWorkFile(); }));
    steps.push_back(Do(350, [this] { KillFile(host_, workFile_); }));
    steps.push_back(Jump(352, [this] {
        KillFile(host_, secondWorkFile_);
        return Flow::GoTo(354);
    }));
}

fs::path Run::SavePath(OutputFormat format) {
    if (outputName_.empty())
        throw Error("The record has no output name.");
    fs::path path = OutputPathInFolder(options_.outputFolder(), nameBase_, FormatExtension(format));
    if (inAttachments_) {
        // Attached files may share a name (their own, or a text field's): never the same file twice.
        const std::string name = nameBase_ + std::string(FormatExtension(format));
        for (int n = 2; attachmentPaths_.contains(path); ++n)
            path = OutputPathInFolder(options_.outputFolder(), StripExtension(NumberedName(name, n)),
                                      FormatExtension(format));
        attachmentPaths_.insert(path);
    }
    pending_.Begin(path, recordIndex_ + 1);
    return path;
}

void Run::Written() {
    fs::path path = pending_.Commit();
    RecordOutcome& record = result_.records.back();
    if (inAttachments_ && attachmentIndex_ < record.attachments.size())
        record.attachments[attachmentIndex_].written = path;
    if (!record.written)
        record.written = path;
    ++result_.picturesWritten;
}

void Run::AddSaving(std::vector<GuardedStep>& steps) {
    steps.push_back(If(
        354, [this] { return loaded_ && !outputName_.empty(); }, 358, kAfterSaving));
    steps.push_back(Do(358, [this] { nameBase_ = StripExtension(outputName_); }));

    // A name that cannot be used skips the save of this record (after its report).
    steps.push_back(If(
        360, [this] { return options_.format() == OutputFormat::BMP; }, 362, 366));
    steps.push_back(Jump(
        362,
        [this] {
            outputPath_ = SavePath(OutputFormat::BMP);
            return Flow::Next();
        },
        kAfterSaving));
    steps.push_back(Jump(
        364,
        [this] {
            s_.creator.SaveAsBmp(pending_.temporary());
            Written();
            return Flow::GoTo(kAfterSaving);
        },
        kAfterSaving));

    steps.push_back(If(
        366, [this] { return options_.format() == OutputFormat::JPG; }, 368, 376));
    steps.push_back(Jump(
        368,
        [this] {
            outputPath_ = SavePath(OutputFormat::JPG);
            return Flow::Next();
        },
        kAfterSaving));
    steps.push_back(Jump(
        370,
        [this] {
            imaging::SaveJPG(s_.creator, pending_.temporary(),
                             static_cast<std::uint8_t>(std::clamp(options_.quality(), 0, 255)));
            Written();
            return Flow::GoTo(kAfterSaving);
        },
        kAfterSaving));

    for (const ConverterFormat& f : kConverterFormats) {
        const int l = f.firstLabel;
        const OutputFormat format = f.format;
        const int nextFormat = l + 16 <= 440 ? l + 16 : kAfterSaving;
        steps.push_back(If(
            l, [this, format] { return options_.format() == format; }, l + 2, nextFormat));
        // The intermediate BMP stays in the work folder: no file of the user's is touched.
        steps.push_back(
            Do(l + 2, [this] { intermediatePath_ = workFolder_.path() / "intermediate.bmp"; }));
        steps.push_back(Jump(
            l + 4,
            [this, format] {
                outputPath_ = SavePath(format);
                return Flow::Next();
            },
            kAfterSaving));
        steps.push_back(Jump(
            l + 6,
            [this] {
                s_.creator.SaveAsBmp(intermediatePath_);
                return Flow::Next();
            },
            l + 10));
        steps.push_back(Do(l + 8, [this, format] {
            // The converter writes into the work folder, so whatever a crashed or killed
            // converter leaves behind goes with that folder; only a checked picture is copied
            // to the pending output.
            const fs::path converted = workFolder_.path() / ("converted" + ConverterOutputExtension(format));
            std::error_code ec;
            fs::remove(converted, ec);
            std::string words = ConverterFormatWords(format, options_.quality());
            std::string reason;
            int code =
                ShellAndWait(host_,
                             ConverterArgumentVector(converter_.string(), words, converted.string(),
                                                     intermediatePath_.string()),
                             0, s_.converterTimeout, &reason);
            // A converter that fails may still leave a partial file: both must be right.
            if (code != 0 || !FileExists(converted)) {
                pending_.Discard();
                throw Error(ConversionFailure(outputPath_, code, reason));
            }
            if (!ConverterOutputLooksRight(format, converted)) {
                pending_.Discard();
                throw Error("The converter wrote " + outputPath_.string() + ", but it is not a " +
                            ConverterFormatName(format) + " file.");
            }
            try {
                fs::copy_file(converted, pending_.temporary(), fs::copy_options::overwrite_existing);
            } catch (...) {
                pending_.Discard();
                throw;
            }
        }));
        steps.push_back(Do(l + 10, [this] { KillFile(host_, intermediatePath_); }));
        steps.push_back(Jump(
            l + 14,
            [this] {
                if (pending_.active() && FileExists(pending_.temporary()))
                    Written();
                return Flow::GoTo(kAfterSaving);
            },
            kAfterSaving));
    }
}

void Run::AddEnd(std::vector<GuardedStep>& steps) {
    steps.push_back(Jump(kAfterSaving, [this] {
        return inAttachments_ ? Flow::GoTo(kAttachmentDone) : Flow::Next();
    }));
    // A move that fails leaves the recordset where it was: the loop ends instead of repeating.
    steps.push_back(Jump(
        458,
        [this] {
            pending_.Discard();
            Rs().MoveNext();
            return Flow::Next();
        },
        462));
    steps.push_back(Jump(460, [this] {
        KillFile(host_, workFile_);
        ReportProgress();
        return Flow::GoTo(174);
    }));
    steps.push_back(Do(462, [this] {
        inLoop_ = false;
        Rs().Close();
    }));
    steps.push_back(Do(464, [this] { workFolder_.Remove(); }));
    steps.push_back(Do(466, [this] { host_.SetBusy(false); }));
    steps.push_back(If(
        468, [this] { return found_; }, 478, 480));
    steps.push_back(Jump(478, [this] {
        Show(RunEnd::Done, std::string(kDoneMessage));
        return Flow::GoTo(486);
    }));
    steps.push_back(Jump(480, [this] {
        Show(RunEnd::NoImages, NoImagesMessage());
        return Flow::GoTo(486);
    }));
    steps.push_back(Do(482, [this] { host_.SetBusy(false); }));
    steps.push_back(
        Do(484, [this] { Show(RunEnd::NotPictureField, std::string(kNotPictureFieldMessage)); }));
    steps.push_back(Do(486, [this] { host_.SetBusy(false); }));
    steps.push_back(Jump(488, [this] {
        KillFile(host_, workFile_);
        return Flow::End();
    }));
    steps.push_back(Do(490, [this] { host_.SetBusy(false); }));
    steps.push_back(Jump(492, [this] {
        Show(RunEnd::NoFieldSelected, std::string(kNoFieldSelectedMessage));
        return Flow::End();
    }));
    steps.push_back(Jump(494, [this] {
        Show(RunEnd::FolderMissing, std::string(kFolderMissingMessage));
        return Flow::End();
    }));
}

void Run::Show(RunEnd end, std::string text) {
    result_.end = end;
    result_.message = text;
    host_.ShowMessage(text);
}

void Run::ReportProgress() {
    if (s_.progress)
        s_.progress({recordIndex_ + 1, recordsTotal_, result_.picturesWritten});
}

}  // namespace

RunResult RunExtraction(const ExtractionOptions& options, RunSurroundings& surroundings) {
    return Run(options, surroundings).Execute();
}

}  // namespace pictrova::run
