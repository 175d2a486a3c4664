// SPDX-License-Identifier: GPL-3.0-or-later
#include "run/extraction_run.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstring>
#include <deque>
#include <fstream>
#include <map>
#include <memory>
#include <set>
#include <system_error>

#include "common/error.h"
#include "common/file_io.h"
#include "common/guard.h"
#include "database/ado_types.h"
#include "database/database_selection.h"
#include "database/recordset.h"
#include "imaging/image_engine.h"
#include "imaging/isolated_work.h"
#include "imaging/jpeg_encoder.h"
#include "imaging/picture_holder.h"
#include "run/external_converter.h"
#include "run/field_reading.h"
#include "run/output_naming.h"
#include "run/record_preview.h"
#include "run/record_work.h"
#include "run/work_files.h"

namespace pictrova::run {

namespace fs = std::filesystem;

std::string NoImagesMessage() {
    return "No images were found in database to be extracted. Please email " +
           std::string(kSupportAddress) +
           " if you think that you have a mdb file with easily viewable images in an OLE Object "
           "in a table.";
}

namespace {

bool IsDirectory(const std::string& path) {
    std::error_code ec;
    return !path.empty() && fs::is_directory(path, ec);
}

// The table's record count for the progress report: the one its definition keeps, else counted
// by a walk over the table; 0 when it cannot be counted.
std::int64_t CountRecords(const database::Database& database, const database::Recordset& records,
                          const std::string& table) {
    try {
        if (const std::optional<std::int64_t> stored = records.StoredRecordCount())
            return *stored;
        database::Recordset counting = database.OpenTable(table);
        std::int64_t count = 0;
        for (; !counting.Eof(); counting.MoveNext())
            ++count;
        return count;
    } catch (const std::exception&) {
        return 0;
    }
}

// Writes the output into `file` and flushes it; a failure is reported in the words of the
// output's writer.
void WriteInto(AtomicFile& file, const EncodedOutput& output) {
    try {
        if (output.writing == OutputWriting::CopyOfFile)
            file.CopyFrom(output.file);
        else
            file.Write(output.bytes);
        file.Finish();
    } catch (const FileWriteError& e) {
        if (output.writing == OutputWriting::Jpeg && !e.outOfRoom())
            throw imaging::JpegWriteError(e.code());
        throw;
    }
}

// Thrown inside a naming step when the name field holds no text; the step is not a failure.
struct SkipNaming {};

// What the reader gives the loop: the next record, or the end of the records.
struct ReadOutcome {
    std::unique_ptr<RecordWork> record;  // null at the end
    bool lastRecord = false;             // the move past this record failed: the loop ends
};

class Run {
  public:
    Run(const ExtractionOptions& options, RunSurroundings& surroundings)
        : options_(options),
          s_(surroundings),
          host_(surroundings.host),
          guard_(host_, std::string(kRunLocation)) {
        guard_.SetReportObserver([this](const ReportedError& e) {
            ++result_.errorCount;
            result_.errors.push_back(e);
        });
    }

    RunResult Execute();

  private:
    RunEnd Checks();
    void RecordLoop();
    static std::uint64_t StreamedFieldBytes(const RecordRead& record);
    std::unique_ptr<RecordWork> ReadRecord(bool& lastRecord);
    bool MoveToNextRecord(RecordRead& record);
    void AttachedFiles(RecordWork& record, bool& lastRecord);
    void AttachmentLoop();
    void ShowEndReports();
    void Commit(RecordWork& record);
    void DeliverPreview(RecordWork& work, std::int64_t number);
    bool PreviewRangeRead() const;
    std::optional<fs::path> CommitWork(RecordWork& work, RecordOutcome& outcome,
                                       std::optional<WrittenFacts>* facts = nullptr);
    WrittenFacts FactsOf(const RecordWork& work, const fs::path& written);
    void ReadReportKeys(RecordRead& record);
    void FinishRecord(RecordWork& record, RecordOutcome& outcome);
    void ShowRecordReport(const ReportedError& e, RecordOutcome& outcome);
    void NameRecord(Guard& g, int label, RecordRead& r,
                    std::string (*prefixOf)(const std::optional<std::string>&));
    std::optional<fs::path> WriteOutput(const EncodedOutput& output, const std::string& folder,
                                        bool& replaced, std::vector<ReportedError>& commitReports);
    const FolderHandle& OutputFolder(const std::string& path);
    const FolderHandle* TryOutputFolder(const std::string& path) noexcept;
    template <typename Write>
    void EndRunWhenOutOfRoom(Write write);
    void EndOfRun();
    void EndWithoutRecords();

    database::Recordset& Rs();
    database::Field PictureField() { return Rs().Fields().Item(setup_.fieldName); }
    std::optional<std::string> NameFieldText(RecordRead& record);
    void Show(RunEnd end, std::string text);
    void ReportProgress();

    const ExtractionOptions& options_;
    RunSurroundings& s_;
    Host& host_;
    Guard guard_;
    RunResult result_;

    RunSetup setup_;
    WorkFolder workFolder_;
    std::int64_t recordsTotal_ = 0;
    std::int64_t recordsHandedOut_ = 0;
    bool found_ = false;
    // The picture field is an attachment field: every attached file of a record is one output.
    bool attachmentField_ = false;
    std::vector<ReportedError> endReports_;
    std::set<fs::path> writtenInRun_;  // every output file this run has written
    // The output folders by the path the options gave, each opened once when first met.
    std::map<std::string, FolderHandle> outputFolders_;
    // The thumbnails' folders, each opened (and made) once: .thumbnails/ and its sub-folders.
    std::map<fs::path, FolderHandle> thumbnailFolders_;
    // A preview's names given so far, numbered as written files are (when its range keeps
    // none).
    std::map<std::int64_t, std::string> previewNames_;

    // The selection's database, opened once for the run; not open when opening failed.
    database::Database database_;
    std::unique_ptr<database::Recordset> recordset_;
};

// A step whose object was never created fails as the data-access code would.
database::Recordset& Run::Rs() {
    if (!recordset_)
        throw Error("Object variable or With block variable not set", 91);
    return *recordset_;
}

RunResult Run::Execute() {
    Checks();
    workFolder_.Remove();
    if (s_.workFolder)
        s_.workFolder->Empty();
    return std::move(result_);
}

// The checks and preparation, then the loop and the end. Returns how the run ended.
RunEnd Run::Checks() {
    Guard& g = guard_;
    const std::string outputFolder = options_.outputFolder();
    const bool preview = s_.preview != nullptr;
    if (!preview &&
        g.Test(100, [&] { return !IsDirectory(outputFolder) || !TryOutputFolder(outputFolder); })) {
        g.Step(494, [&] { Show(RunEnd::FolderMissing, std::string(kFolderMissingMessage)); });
        return result_.end;
    }
    const bool prefixWithoutCounter = g.Test(102, [&] {
        std::string prefix = options_.prefix();
        return (prefix.empty() || prefix.back() != '#') && options_.naming() == Naming::FixedPrefix;
    });
    if (prefixWithoutCounter && g.Step(104, [&] {
            Show(RunEnd::PrefixWithoutCounter, std::string(kPrefixWithoutCounterMessage));
        }))
        return result_.end;
    g.Step(106, [&] { host_.SetBusy(true); });
    g.Step(110, [&] { recordset_ = std::make_unique<database::Recordset>(); });
    // The converter is part of this program; an external one runs only when one is given.
    g.Step(114, [&] { setup_.converter = s_.converter; });
    setup_.thumbnails = s_.reportFacts;
    setup_.previewOnly = preview;
    setup_.previewFullPicture = preview && s_.preview->fullPictures;
    setup_.converterTimeout = s_.converterTimeout;
    g.Step(118, [&] { host_.Yield(); });
    g.Step(126, [&] { host_.Yield(); });
    g.Step(128, [&] { setup_.tableName = options_.table(); });
    g.Step(130, [&] { setup_.fieldName = options_.pictureField(); });
    if (g.Test(134, [&] { return setup_.fieldName.empty(); })) {
        g.Step(490, [&] { host_.SetBusy(false); });
        g.Step(492, [&] { Show(RunEnd::NoFieldSelected, std::string(kNoFieldSelectedMessage)); });
        return result_.end;
    }
    g.Step(136, [&] { host_.SetBusy(true); });
    g.Step(138, [&] { found_ = false; });
    // The first chosen naming scheme gives the prefix; FieldText sets it per record.
    g.Step(140, [&] {
        setup_.namePrefix =
            RunPrefix(options_.naming(), options_.prefix(), setup_.tableName, setup_.fieldName);
    });
    g.Step(156, [&] { database_ = s_.database.Opened(); });
    // Hidden temporaries that killed runs left in the output folder.
    if (!preview)
        RemoveLeftoverTemporaries(OutputFolder(outputFolder));
    // Without its work folder the run has nowhere to put a record: one report, and it ends.
    if (!g.Step(158, [&] {
            if (!s_.workFolder)
                workFolder_.Make(s_.workRoot);
            setup_.workFolder = s_.workFolder ? s_.workFolder->path() : workFolder_.path();
        })) {
        g.Step(486, [&] { host_.SetBusy(false); });
        return result_.end;
    }
    g.Step(162, [&] { Rs().Open(database_, setup_.tableName); });
    if (g.Test(164, [&] {
            database::Field field = PictureField();
            attachmentField_ = field.IsAttachment();
            return field.Type() != database::kAdLongVarBinary && !attachmentField_;
        })) {
        g.Step(482, [&] { host_.SetBusy(false); });
        g.Step(484, [&] { Show(RunEnd::NotPictureField, std::string(kNotPictureFieldMessage)); });
        g.Step(486, [&] { host_.SetBusy(false); });
        return result_.end;
    }
    if (!g.Test(166, [&] { return Rs().Eof() || Rs().bof(); })) {
        g.Step(168, [&] { Rs().movefirst(); });
        // A preview counts nothing: a table without a stored count would be walked whole for
        // every range.
        g.Step(172, [&] {
            if (!preview)
                recordsTotal_ = CountRecords(database_, Rs(), setup_.tableName);
            ReportProgress();
        });
        // A preview reads from its first record on: the records before it are passed over.
        g.Step(168, [&] {
            for (; preview && recordsHandedOut_ + 1 < s_.preview->first && !Rs().Eof();
                 ++recordsHandedOut_)
                Rs().MoveNext();
        });
        RecordLoop();
    }
    EndOfRun();
    return result_.end;
}

// The name field's text. A value that is not text (binary, an OLE object) names no file: the
// record is skipped with the reason, and nullopt is returned.
std::optional<std::string> Run::NameFieldText(RecordRead& record) {
    database::FieldValue value = Rs().Fields().Item(options_.nameField()).Value();
    if (value.IsNull())
        return std::nullopt;
    if (value.IsText())
        return value.text();
    record.Skip({SkipCode::NameNotText, "the value of " + options_.nameField() + " is not text"});
    throw SkipNaming{};
}

// The record loop. This thread reads records in table order and hands each to the workers,
// keeping at most two per worker in flight, and no more than the budget of bytes (a record that
// alone needs more is handed out once nothing else is in flight); it commits them in the same
// order as they are done, yielding to the host while it waits. A record whose work ran short of
// a resource the others shared is worked again alone when its turn to be committed comes. Files,
// names and reports therefore do not depend on the number of workers.
void Run::RecordLoop() {
    const unsigned jobs = s_.jobs > 0 ? s_.jobs : DefaultJobs();
    const std::size_t maxInFlight = 2 * static_cast<std::size_t>(jobs);
    const std::uint64_t budget = RecordsInFlightBudget();
    // Started here, before any worker: its start sets the environment.
    imaging::StartImageEngine();
    if (attachmentField_) {
        AttachmentLoop();
        ShowEndReports();
        return;
    }
    RecordWorkers workers(jobs, setup_);
    // This thread reads and commits inside the gate too; it gives its share up only while it
    // waits for a worker (see imaging::EngineUse).
    const imaging::EngineUse reading;
    std::deque<std::unique_ptr<RecordWork>> inFlight;
    // Read, waiting for room in the budget.
    std::unique_ptr<RecordWork> next;
    bool moreToRead = true;
    auto stopRequested = [&] { return s_.stopRequested && s_.stopRequested(); };
    // What a record is expected to hold in work: the most the last records took; before any
    // was worked on, nothing is known and it waits for the records in flight.
    auto weightOf = [&](RecordWork& record) -> std::optional<std::uint64_t> {
        const std::uint64_t fieldBytes = BytesHeld(record) + StreamedFieldBytes(record.read);
        if (inFlight.empty())
            return fieldBytes;
        return workers.ExpectedWorkBytes(fieldBytes);
    };
    while (true) {
        if (result_.outOfRoom || stopRequested()) {
            // Records in work are dropped; their work files go with the work folder.
            result_.stopped = !result_.outOfRoom;
            workers.Cancel();
            // Pictures being drawn are given up at once rather than waited for.
            imaging::StopIsolatedWork();
            for (const auto& record : inFlight)
                while (!workers.WaitDone(*record, std::chrono::milliseconds(100))) {
                }
            imaging::ResumeIsolatedWork();
            break;
        }
        while (inFlight.size() < maxInFlight) {
            if (!next) {
                if (!moreToRead || (!inFlight.empty() && workers.BytesHeld() >= budget))
                    break;
                bool lastRecord = false;
                next = ReadRecord(lastRecord);
                // After a work file that did not fit, no more records are read: the run ends at it.
                moreToRead = next && !lastRecord && !next->outOfRoom();
                if (!next)
                    break;
                // One worker always works alone.
                next->mayWorkAgain = jobs > 1;
            }
            const std::optional<std::uint64_t> weight = weightOf(*next);
            if (!weight ||
                (!inFlight.empty() && *weight > budget - std::min(budget, workers.BytesHeld())))
                break;
            workers.Submit(*next, *weight);
            inFlight.push_back(std::move(next));
        }
        if (inFlight.empty())
            break;
        RecordWork& front = *inFlight.front();
        if (!workers.WaitDone(front, std::chrono::milliseconds(50))) {
            host_.Yield();
            continue;
        }
        if (front.result.shortWhileShared && front.mayWorkAgain) {
            // Worked again from the record as read, alone.
            workers.Release(front);
            front.result = RecordResult{};
            front.mayWorkAgain = false;
            const std::uint64_t weight = BytesHeld(front) + StreamedFieldBytes(front.read);
            workers.SubmitAlone(front,
                                std::max(weight, workers.ExpectedWorkBytes(weight).value_or(0)));
            continue;
        }
        Commit(front);
        workers.Release(front);
        inFlight.pop_front();
    }
    ShowEndReports();
}

// The bytes of a field streamed to its work file (method 2), which its work reads back.
std::uint64_t Run::StreamedFieldBytes(const RecordRead& record) {
    if (record.choices.method != ReadMethod::Recordset || record.stage != RecordStage::Read)
        return 0;
    return static_cast<std::uint64_t>(std::max<std::int64_t>(record.fieldSize, 0));
}

// An attachment field's files are read one at a time on this thread, each before the move to
// the next record, so one attached file is in memory at a time.
void Run::AttachmentLoop() {
    bool lastRecord = false;
    while (!lastRecord) {
        if (result_.outOfRoom)
            break;
        if (s_.stopRequested && s_.stopRequested()) {
            result_.stopped = true;
            break;
        }
        std::unique_ptr<RecordWork> record = ReadRecord(lastRecord);
        if (!record)
            break;
        AttachedFiles(*record, lastRecord);
    }
}

// A failing end test is reported after the records read before it.
void Run::ShowEndReports() {
    result_.recordsLeftUnread = result_.recordsLeftUnread || !endReports_.empty();
    for (const ReportedError& e : endReports_) {
        ShowApplicationError(host_, e);
        result_.errors.push_back(e);
        ++result_.errorCount;
    }
}

// Step `label`: the record's name prefix from the name field's text.
void Run::NameRecord(Guard& g, int label, RecordRead& r,
                     std::string (*prefixOf)(const std::optional<std::string>&)) {
    g.Step(label, [&] {
        try {
            r.fieldTextPrefix = prefixOf(NameFieldText(r));
        } catch (const SkipNaming&) {
            r.fieldTextPrefix.reset();
        }
    });
}

// The steps that read one record from the recordset (174 to 220, 302 to 308) and the move to
// the next (458). Null at the end of the records; a failing end test also ends them.
std::unique_ptr<RecordWork> Run::ReadRecord(bool& lastRecord) {
    if (PreviewRangeRead())
        return nullptr;
    bool atEnd = true;
    Guard endTest(std::string(kRunLocation), endReports_);
    endTest.Step(174, [&] { atEnd = Rs().Eof(); });
    if (atEnd)
        return nullptr;
    guard_.Step(176, [&] { host_.Yield(); });

    auto record = std::make_unique<RecordWork>();
    RecordRead& r = record->read;
    r.number = ++recordsHandedOut_;
    Guard g(std::string(kRunLocation), r.reports);
    // The record's choices, read once now: a choice changed during the run applies from the
    // next record read.
    g.Step(178, [&] {
        r.choices.method = options_.readMethod();
        r.choices.naming = options_.naming();
        r.choices.format = options_.format();
        r.choices.quality = options_.quality();
        r.choices.outputFolder = options_.outputFolder();
        r.fieldTextNaming = r.choices.naming == Naming::FieldText;
    });
    ReadReportKeys(r);
    // An attachment field is read the same way whatever the read method: the names of the
    // record's files now, each file's bytes when its turn comes, before the move.
    if (attachmentField_) {
        g.Step(192, [&] {
            for (const database::AttachedFile& file : PictureField().Attachments())
                r.attachedFiles.push_back(file.fileName);
        });
        if (g.Test(194, [&] { return r.fieldTextNaming; }))
            NameRecord(g, 196, r, FieldTextPrefixByteToByte);
        return record;
    }
    if (g.Test(182, [&] { return r.choices.method == ReadMethod::ByteToByte; })) {
        r.choices.method = ReadMethod::ByteToByte;
        g.Step(184, [&] { r.fieldSize = PictureField().ActualSize(); });
        if (g.Test(186, [&] { return r.fieldTextNaming; }))
            NameRecord(g, 188, r, FieldTextPrefixByteToByte);
        if (g.Test(216, [&] { return r.fieldSize < 1; })) {
            r.Skip({SkipCode::NoValue, {}});
        } else {
            g.Step(218, [&] { r.value.clear(); });
            g.Step(220, [&] { r.value = PictureField().Value().TakeBytes(); });
            r.stage = RecordStage::Read;
        }
    } else if (g.Test(302, [&] { return r.choices.method == ReadMethod::Recordset; })) {
        r.choices.method = ReadMethod::Recordset;
        if (g.Test(304, [&] { return r.fieldTextNaming; }))
            NameRecord(g, 306, r, FieldTextPrefixRecordset);
        // A field that cannot be read whole is reported here and yields nothing.
        g.Step(308, [&] {
            std::string failure;
            int errorNumber = 0;
            database::Field field = PictureField();
            const fs::path workFile = RecordWorkFile(setup_, r.number);
            const std::optional<std::int64_t> streamed =
                FieldToFile(field, workFile, host_, &failure, &errorNumber);
            if (streamed) {
                r.fieldSize = *streamed;
                r.stage = RecordStage::Read;
                return;
            }
            if (errorNumber != 0 && FileWriteError(workFile, errorNumber).outOfRoom()) {
                r.outOfRoom = true;
                throw Error(WorkFolderFullReport(workFile, errorNumber));
            }
            if (!failure.empty())
                throw Error(failure);
        });
    }
    lastRecord = !MoveToNextRecord(r);
    return record;
}

// A move that fails leaves the recordset where it was: the loop ends after this record instead
// of repeating it. The database library's warnings while the record was read are taken before
// the move, whose fetch belongs to the next record; those of a move that finds no record after
// this one belong to this one.
bool Run::MoveToNextRecord(RecordRead& record) {
    if (recordset_)
        record.libraryMessages = recordset_->TakeLibraryMessages();
    Guard after(std::string(kRunLocation), record.reportsAfterSave);
    const bool moved = after.Step(458, [&] { Rs().MoveNext(); });
    result_.recordsLeftUnread = result_.recordsLeftUnread || !moved;
    if (moved && recordset_->Eof()) {
        std::vector<std::string> atEnd = recordset_->TakeLibraryMessages();
        record.libraryMessages.insert(record.libraryMessages.end(), atEnd.begin(), atEnd.end());
    }
    return moved;
}

// An attachment field's record: each attached file is read (200), worked on and committed in
// turn, so one file is in memory at a time; then the move to the next record.
void Run::AttachedFiles(RecordWork& record, bool& lastRecord) {
    RecordOutcome outcome;
    outcome.number = record.read.number;
    if (!s_.preview)
        CommitWork(record, outcome);
    const std::vector<std::string>& attachedFiles = record.read.attachedFiles;
    const std::size_t count = attachedFiles.size();
    // A record without any file has no value; one whose files gave nothing says why its first
    // such file did.
    if (count == 0)
        record.result.Skip({SkipCode::NoValue, {}});
    for (std::size_t i = 0; i < count && !result_.outOfRoom; ++i) {
        guard_.Step(176, [&] { host_.Yield(); });
        RecordWork file;
        file.read.number = record.read.number;
        file.read.choices = record.read.choices;
        file.read.fieldTextNaming = record.read.fieldTextNaming;
        file.read.fieldTextPrefix = record.read.fieldTextPrefix;
        file.read.attachment = AttachmentPart{i, count, attachedFiles[i]};
        Guard g(std::string(kRunLocation), file.read.reports);
        g.Step(200, [&] {
            file.read.value = PictureField().AttachmentBytes(i);
            file.read.stage = RecordStage::Read;
        });
        WorkOnRecord(setup_, file, host_);
        // A preview shows the record's first file that gives an output; the others' reports
        // and reasons stay the record's.
        if (s_.preview) {
            if (file.result.stage == RecordStage::Loaded ||
                file.result.stage == RecordStage::KeptAsIs) {
                lastRecord = !MoveToNextRecord(record.read);
                DeliverPreview(file, record.read.number);
                return;
            }
            std::vector<ReportedError>& reports = record.result.reports;
            reports.insert(reports.end(), file.read.reports.begin(), file.read.reports.end());
            reports.insert(reports.end(), file.result.reports.begin(), file.result.reports.end());
            if (file.skip())
                record.result.Skip(*file.skip());
            continue;
        }
        std::vector<std::string>& messages = record.result.programMessages;
        messages.insert(messages.end(), file.result.programMessages.begin(),
                        file.result.programMessages.end());
        AttachmentOutcome attached{attachedFiles[i], {}, {}};
        attached.written = CommitWork(file, outcome, &attached.facts);
        outcome.attachments.push_back(std::move(attached));
        if (file.skip())
            record.result.Skip(*file.skip());
    }
    lastRecord = !MoveToNextRecord(record.read);
    if (s_.preview) {
        DeliverPreview(record, record.read.number);
        return;
    }
    FinishRecord(record, outcome);
}

// The record's preview goes to the range's callback instead of the output folder.
void Run::DeliverPreview(RecordWork& work, std::int64_t number) {
    found_ = found_ || ContentFound(work.result.stage);
    result_.outOfRoom = result_.outOfRoom || work.outOfRoom();
    result_.recordsRead = number;
    std::vector<ReportedError> reports = work.read.reports;
    reports.insert(reports.end(), work.result.reports.begin(), work.result.reports.end());
    reports.insert(reports.end(), work.read.reportsAfterSave.begin(),
                   work.read.reportsAfterSave.end());
    result_.errorCount += static_cast<int>(reports.size());
    PreviewedRecord previewed =
        PreviewOf(work, reports, s_.preview->names ? *s_.preview->names : previewNames_);
    previewed.number = number;
    s_.preview->deliver(std::move(previewed));
    ReportProgress();
}

// A preview reads no record past its range.
bool Run::PreviewRangeRead() const {
    return s_.preview && recordsHandedOut_ >= s_.preview->first - 1 + s_.preview->count;
}

// Writes the record's encoded output under its final name, shows the record's reports in the
// order of its steps and reports progress.
void Run::Commit(RecordWork& record) {
    if (s_.preview) {
        DeliverPreview(record, record.read.number);
        return;
    }
    RecordOutcome outcome;
    outcome.number = record.read.number;
    CommitWork(record, outcome);
    FinishRecord(record, outcome);
}

void Run::ShowRecordReport(const ReportedError& e, RecordOutcome& outcome) {
    ShowApplicationError(host_, e, outcome.number);
    outcome.errors.push_back(e);
    ++result_.errorCount;
}

// Shows a work's reports and writes its output; returns the file written, if any. The
// record's first file is its outcome's file.
std::optional<fs::path> Run::CommitWork(RecordWork& work, RecordOutcome& outcome,
                                        std::optional<WrittenFacts>* facts) {
    for (const ReportedError& e : work.read.reports)
        ShowRecordReport(e, outcome);
    for (const ReportedError& e : work.result.reports)
        ShowRecordReport(e, outcome);
    result_.outOfRoom = result_.outOfRoom || work.outOfRoom();
    found_ = found_ || ContentFound(work.result.stage);
    std::optional<fs::path> writtenPath;

    if (work.result.output) {
        EncodedOutput& output = *work.result.output;
        std::vector<ReportedError> commitReports;
        bool replaced = false;
        writtenPath = WriteOutput(output, work.read.choices.outputFolder, replaced, commitReports);
        if (writtenPath && replaced)
            ++result_.filesReplaced;
        if (writtenPath && !outcome.written)
            outcome.replaced = replaced;
        if (output.writing == OutputWriting::CopyOfFile) {
            std::error_code ec;
            fs::remove(output.file, ec);
        }
        for (const ReportedError& e : commitReports)
            ShowRecordReport(e, outcome);
    }
    std::optional<WrittenFacts> written;
    if (writtenPath && s_.reportFacts)
        written = FactsOf(work, *writtenPath);
    if (facts)
        *facts = written;
    if (work.result.stage == RecordStage::Loaded)
        s_.creator = std::move(work.result.picture);
    if (!outcome.written) {
        outcome.written = writtenPath;
        outcome.storedPreview = writtenPath && work.result.storedPreviewUsed;
        outcome.facts = std::move(written);
    }
    if (writtenPath && work.result.stage == RecordStage::KeptAsIs)
        result_.originalFiles = true;
    return writtenPath;
}

// The written file's facts for a contact sheet; its thumbnail is written here, beneath the output
// folder, without the output's flush to disk (it is made again by the next run that asks).
WrittenFacts Run::FactsOf(const RecordWork& work, const fs::path& written) {
    WrittenFacts facts;
    facts.kind = RecordFileKind(work);
    const imaging::PictureHolder& picture = work.result.picture;
    if (picture.HasPicture()) {
        facts.width = picture.Image().dib_width();
        facts.height = picture.Image().dib_height();
    }
    std::error_code ec;
    const auto size = fs::file_size(written, ec);
    facts.bytes = ec ? 0 : static_cast<std::int64_t>(size);
    const std::vector<std::uint8_t>& thumbnailBytes = work.result.thumbnail;
    if (thumbnailBytes.empty())
        return facts;
    const FolderHandle* folder = TryOutputFolder(work.read.choices.outputFolder);
    if (!folder)
        return facts;
    const fs::path thumbnail = ThumbnailPath(written.lexically_relative(folder->path()));
    try {
        if (!IsNameBeneath(thumbnail))
            return facts;
        const fs::path parentPath = folder->path() / thumbnail.parent_path();
        auto parent = thumbnailFolders_.find(parentPath);
        if (parent == thumbnailFolders_.end())
            parent = thumbnailFolders_
                         .emplace(parentPath, folder->MakeFolderBeneath(thumbnail.parent_path()))
                         .first;
        UniqueFd fd =
            parent->second.OpenFileBeneath(thumbnail.filename(), O_WRONLY | O_CREAT | O_TRUNC);
        if (!fd)
            return facts;
        std::size_t done = 0;
        while (done < thumbnailBytes.size()) {
            const ssize_t n =
                ::write(fd.get(), thumbnailBytes.data() + done, thumbnailBytes.size() - done);
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0)
                return facts;
            done += static_cast<std::size_t>(n);
        }
        facts.thumbnail = thumbnail;
    } catch (const Error&) {
    }
    return facts;
}

// The values of the report's key fields on the current record, as text.
void Run::ReadReportKeys(RecordRead& record) {
    for (const std::string& name : s_.reportKeyFields) {
        std::string text;
        try {
            const database::FieldValue value = Rs().Fields().Item(name).Value();
            if (value.IsText())
                text = value.text();
        } catch (const Error&) {
        }
        record.reportKeys.push_back(std::move(text));
    }
}

void Run::FinishRecord(RecordWork& record, RecordOutcome& outcome) {
    RecordRead& read = record.read;
    RecordResult& worked = record.result;
    outcome.keys = std::move(read.reportKeys);
    for (const ReportedError& e : read.reportsAfterSave)
        ShowRecordReport(e, outcome);
    if (!read.libraryMessages.empty()) {
        outcome.libraryMessages = std::move(read.libraryMessages);
        host_.ShowLibraryWarnings(outcome.number, outcome.libraryMessages);
    }
    if (!worked.programMessages.empty()) {
        outcome.programMessages = std::move(worked.programMessages);
        host_.ShowProgramMessages(outcome.number, outcome.programMessages);
    }
    const bool loaded = worked.stage == RecordStage::Loaded;
    const bool readWithoutFormat = !outcome.written && loaded && !record.skip() &&
                                   outcome.errors.empty() &&
                                   read.choices.format == OutputFormat::None;
    outcome.readWithoutFormat = readWithoutFormat;
    if (!outcome.written && !readWithoutFormat)
        outcome.skipped = WhyNoOutput(record, outcome.errors);
    result_.records.push_back(std::move(outcome));
    result_.recordsRead = read.number;
    ReportProgress();
}

// Writes the output under a temporary name and gives it its final one. A name this run has
// already written is never used again: the picture takes the next numbered name, in record
// order. A file that was there before the run is replaced, or kept when the run keeps existing
// files (then the name is taken without replacing, so a run writing into the same folder at the
// same time loses nothing either).
std::optional<fs::path> Run::WriteOutput(const EncodedOutput& output, const std::string& folder,
                                         bool& replaced,
                                         std::vector<ReportedError>& commitReports) {
    Guard g(std::string(kRunLocation), commitReports);
    const FolderHandle* outputFolder = nullptr;
    if (!g.Step(output.writeLabel, [&] { outputFolder = &OutputFolder(folder); }))
        return std::nullopt;
    AtomicFile pending;
    fs::path target = output.finalPath;
    fs::path inFolder = output.pathInFolder;
    int number = 1;
    auto next = [&] {
        ++number;
        target = NumberedPath(output.finalPath, number);
        inFolder = NumberedPath(output.pathInFolder, number);
    };
    auto exists = [&] { return outputFolder->ExistsBeneath(inFolder); };
    while (writtenInRun_.contains(target.lexically_normal()) || (s_.keepExistingFiles && exists()))
        next();
    bool written = g.Step(output.writeLabel, [&] {
        EndRunWhenOutOfRoom([&] {
            pending.Begin(*outputFolder, inFolder);
            WriteInto(pending, output);
        });
    });
    if (!written) {
        ++result_.outputsNotWritten;
        return std::nullopt;
    }
    std::optional<fs::path> writtenPath;
    const bool renamed = g.Step(output.renameLabel, [&] {
        EndRunWhenOutOfRoom([&] {
            if (s_.keepExistingFiles) {
                while (writtenInRun_.contains(target.lexically_normal()) ||
                       !pending.CommitWithoutReplacing(target))
                    next();
                writtenPath = target;
            } else {
                replaced = exists();
                pending.Commit();
                writtenPath = target;
            }
        });
    });
    if (!renamed) {
        ++result_.outputsNotWritten;
        replaced = false;
        return std::nullopt;
    }
    writtenInRun_.insert(writtenPath->lexically_normal());
    ++result_.picturesWritten;
    return writtenPath;
}

// Runs a write of output. A file system that takes no more files (full, over quota, read-only)
// would fail every record after this one the same way: the run ends here with one report that
// names the file and the folder; the files written before stay.
template <typename Write>
void Run::EndRunWhenOutOfRoom(Write write) {
    try {
        write();
    } catch (const FileWriteError& e) {
        if (!e.outOfRoom())
            throw;
        result_.outOfRoom = true;
        const std::int64_t n = result_.picturesWritten;
        const std::string kept = n == 0 ? "no picture was written before"
                                 : n == 1
                                     ? "the picture written before stays"
                                     : "the " + std::to_string(n) + " pictures written before stay";
        throw Error("Cannot write " + e.file().filename().string() + ": the output folder " +
                    e.file().parent_path().string() + " " + OutOfRoomReason(e.code()) +
                    ". The extraction stopped; " + kept + ".");
    }
}

// The first ask opens the folder (following a link the user gave as the folder itself); every
// later one, and every file made in it, goes through that descriptor.
const FolderHandle& Run::OutputFolder(const std::string& path) {
    auto found = outputFolders_.find(path);
    if (found == outputFolders_.end()) {
        FolderHandle folder = s_.outputFolder && s_.outputFolder->path() == fs::path(path)
                                  ? s_.outputFolder->Duplicate()
                                  : FolderHandle::Open(path);
        found = outputFolders_.emplace(path, std::move(folder)).first;
    }
    return found->second;
}

const FolderHandle* Run::TryOutputFolder(const std::string& path) noexcept {
    try {
        return &OutputFolder(path);
    } catch (const std::exception&) {
        return nullptr;
    }
}

void Run::EndOfRun() {
    Guard& g = guard_;
    g.Step(462, [&] { Rs().Close(); });
    g.Step(464, [&] { workFolder_.Remove(); });
    g.Step(466, [&] { host_.SetBusy(false); });
    if (g.Test(468, [&] { return found_; }))
        g.Step(478, [&] { Show(RunEnd::Done, std::string(kDoneMessage)); });
    else
        g.Step(480, [&] { Show(RunEnd::NoImages, NoImagesMessage()); });
    g.Step(486, [&] { host_.SetBusy(false); });
}

void Run::Show(RunEnd end, std::string text) {
    result_.end = end;
    result_.message = text;
    host_.ShowMessage(text);
}

void Run::ReportProgress() {
    if (s_.progress)
        s_.progress({result_.recordsRead, recordsTotal_, result_.picturesWritten});
}

}  // namespace

RunResult RunExtraction(const ExtractionOptions& options, RunSurroundings& surroundings) {
    return Run(options, surroundings).Execute();
}

std::string RecordFileKind(const RecordWork& work) {
    std::string extension = work.read.attachment
                                ? fs::path(work.read.attachment->fileName).extension().string()
                                : work.result.objectExtension;
    if (!extension.empty() && extension.front() == '.')
        extension.erase(0, 1);
    for (char& c : extension)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return extension == "PAK" ? "Package" : extension;
}

SkipReason WhyNoOutput(const RecordWork& work, const std::vector<ReportedError>& errors) {
    if (work.skip())
        return *work.skip();
    if (!errors.empty())
        return {SkipCode::Error, errors.front().description};
    const RecordStage stage = work.result.stage;
    if ((stage == RecordStage::Loaded || stage == RecordStage::KeptAsIs) &&
        work.result.outputName.empty())
        return {SkipCode::NoName, "the name field is empty"};
    return {SkipCode::NotLoaded, {}};
}

fs::path ThumbnailPath(const fs::path& pathInFolder) {
    fs::path thumbnail = fs::path(".thumbnails") / pathInFolder;
    thumbnail += ".jpg";
    return thumbnail;
}

}  // namespace pictrova::run
