// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// One record's way through the run. The reader fills the RecordRead half of a fresh RecordWork
// from the recordset (choices, name text, field bytes or the streamed work file), WorkOnRecord
// decodes, loads and encodes it into the RecordResult half without touching the host or the
// output folder, and the commit writes the encoded output into the output folder. The record's
// RecordStage says how far it came. Each phase reports through the record's guard with the run's
// labels; the reports are kept with the record and shown when it is committed, so they come in
// record order however the work was spread. A record is worked again from its RecordRead half
// with a fresh result.

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <filesystem>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "common/error_report.h"
#include "common/host.h"
#include "imaging/picture_holder.h"
#include "run/extraction_options.h"
#include "run/skip_reason.h"

namespace pictrova::run {

// Where the run's reports say they come from.
inline constexpr std::string_view kRunLocation = "Form2.PushButton6_Click";

// What stays the same for every record once the checks have passed.
struct RunSetup {
    std::string tableName;
    std::string fieldName;
    std::string namePrefix;  // the run's prefix; FieldText naming sets one per record instead
    std::filesystem::path workFolder;
    // An external converter program; empty: conversions run in this process.
    std::filesystem::path converter;
    std::chrono::milliseconds converterTimeout{0};
    // Each output's thumbnail is made from the picture loaded (RunSurroundings::reportFacts).
    bool thumbnails = false;
    // A preview (run/record_preview.h): each record's work ends once its picture is loaded and
    // scaled down to a thumbnail; nothing is encoded. The picture loaded is kept only with
    // previewFullPicture.
    bool previewOnly = false;
    bool previewFullPicture = false;
};

// The options as they were when the record was read.
struct RecordChoices {
    ReadMethod method = ReadMethod::None;
    Naming naming = Naming::None;
    OutputFormat format = OutputFormat::None;
    int quality = 0;
    std::string outputFolder;
};

// How the commit writes an encoded output.
enum class OutputWriting {
    Bytes,      // `bytes` written as they are
    Jpeg,       // `bytes` written by the JPEG encoder's writer (its error texts)
    CopyOfFile  // `file`, made by an external converter in the work folder, copied
};

// An output ready to be written, with the labels under which its write and its rename are
// reported.
struct EncodedOutput {
    std::filesystem::path finalPath;
    // The same name relative to the output folder: what the commit creates beneath the
    // folder's descriptor.
    std::filesystem::path pathInFolder;
    OutputWriting writing = OutputWriting::Bytes;
    std::vector<std::uint8_t> bytes;
    std::filesystem::path file;
    int writeLabel = 0;
    int renameLabel = 0;
};

// Attachment fields: which attached file of its record a work is. Each file is worked on and
// committed on its own, one at a time, while the recordset still stands on its record.
struct AttachmentPart {
    std::size_t index = 0;  // 0-based, in stored order
    std::size_t count = 0;  // files of the record
    std::string fileName;   // as stored
};

// Where a record stands. The reader leaves it NotFound or Read; the work takes a Read record on.
enum class RecordStage {
    NotFound,  // nothing to work on (no value, or it could not be read), or no content found in it
    Read,      // the reader left a value, or a streamed work file, to work on
    Found,     // the work found content in it, which gave no picture
    Loaded,    // its picture is loaded
    KeptAsIs,  // the Original format: its file is the output as it is (nothing loaded)
};

// The record found content: a picture, a file kept as it is, or content that gave neither.
bool ContentFound(RecordStage stage);

// Keeps `reason` unless a reason is kept already: a record gives the first reason found.
inline void KeepFirstReason(std::optional<SkipReason>& kept, SkipReason reason) {
    if (!kept)
        kept = std::move(reason);
}

// The record as the reader hands it out. The work reads it and leaves it as it is, except that
// it takes the field value for itself when the record will not be worked again.
struct RecordRead {
    std::int64_t number = 0;  // 1-based position in the table
    RecordChoices choices;
    RecordStage stage = RecordStage::NotFound;

    // Reports of the read, in the order they happened; then the report of the move to the next
    // record, which comes after the record's save.
    std::vector<ReportedError> reports;
    std::vector<ReportedError> reportsAfterSave;
    // What the database library warned of while the record was read; shown after its reports.
    std::vector<std::string> libraryMessages;
    // For a contact sheet: the values of its key fields.
    std::vector<std::string> reportKeys;

    bool fieldTextNaming = false;
    // The FieldText prefix; none when the name field could not be read, so a record never
    // takes another record's name.
    std::optional<std::string> fieldTextPrefix;
    // Method 1: the field's size as the recordset gives it; method 2: the bytes streamed to the
    // record's work file.
    std::int64_t fieldSize = 0;
    // Method 1: the field's value; an attached file: its decoded bytes.
    std::vector<std::uint8_t> value;
    // Attachment fields: the record's attached files (by name), and for the work on one of
    // them, which one.
    std::vector<std::string> attachedFiles;
    std::optional<AttachmentPart> attachment;
    // Why the record gives no picture, when the read knows.
    std::optional<SkipReason> skip;
    void Skip(SkipReason reason) { KeepFirstReason(skip, std::move(reason)); }
    // The streamed field did not fit in the work folder (see RecordResult::outOfRoom).
    bool outOfRoom = false;
};

// What the work gives back.
struct RecordResult {
    RecordStage stage = RecordStage::NotFound;
    // Reports of the work, after the read's.
    std::vector<ReportedError> reports;
    // What the programs the work started wrote (common/child_output.h).
    std::vector<std::string> programMessages;

    std::string objectExtension;
    std::string outputName;
    imaging::PictureHolder picture;
    // The file is the picture the object stores for display, not its own data: the decoder
    // fell back to it, or the object's own file held no picture.
    bool storedPreviewUsed = false;
    std::optional<EncodedOutput> output;
    // For a contact sheet: the output's thumbnail (JPEG).
    std::vector<std::uint8_t> thumbnail;
    // The class the decoder read from the object's header (empty for other values); for a
    // preview (RunSetup::previewOnly) also the loaded picture's size and the picture scaled down.
    std::string objectClass;
    std::int32_t pictureWidth = 0;
    std::int32_t pictureHeight = 0;
    imaging::cDIBSection previewThumbnail;
    // A work file of the record did not fit (the work folder's file system is full, over quota
    // or read-only): every later record's would not fit either, so the run ends at this one.
    bool outOfRoom = false;

    // Why the record gives no picture, when the work knows; the first reason found is kept.
    std::optional<SkipReason> skip;
    void Skip(SkipReason reason) { KeepFirstReason(skip, std::move(reason)); }

    // Its work ran short of a resource shared with other records in work (see
    // imaging::NoteResourceShortfall): the result may differ from one worked on alone.
    bool shortWhileShared = false;
};

// One record in the run: the reader's half and the work's.
struct RecordWork {
    RecordRead read;
    RecordResult result;
    // The run works the record again, alone, should its work run short while shared: the work
    // then copies the field value rather than take it, and leaves a streamed field to its
    // worker, which deletes it unless the record is worked again.
    bool mayWorkAgain = false;

    // The first reason found why the record gives no picture: the read's, else the work's.
    const std::optional<SkipReason>& skip() const { return read.skip ? read.skip : result.skip; }
    // A work file of the record did not fit: the run ends at it.
    bool outOfRoom() const { return read.outOfRoom || result.outOfRoom; }
};

// The bytes the record holds in memory now: its field value, its picture's rows and its encoded
// output.
std::uint64_t BytesHeld(const RecordWork& record);

// The workers of one run: N threads that take records in the order they are handed out and
// work on them. Each holds the image engine (imaging::EngineUse) while it works.
//
// They also keep the run's account of the bytes the records handed out hold: a record counts
// from its hand-out, at the weight the reader gives it, to its commit (Release), at what it
// holds once worked on. The reader hands out records while the account allows.
class RecordWorkers {
  public:
    RecordWorkers(unsigned count, const RunSetup& setup);
    ~RecordWorkers();
    RecordWorkers(const RecordWorkers&) = delete;
    RecordWorkers& operator=(const RecordWorkers&) = delete;

    // Hands the record out; `weight` is what it is expected to hold while it is worked on.
    void Submit(RecordWork& record, std::uint64_t weight);
    // Hands the record out again, ahead of the records waiting, to be worked on while no other
    // record is in work.
    void SubmitAlone(RecordWork& record, std::uint64_t weight);
    // True once `record` has been worked on; waits at most `timeout` for it.
    bool WaitDone(const RecordWork& record, std::chrono::milliseconds timeout);
    // The record was committed (or dropped): its bytes leave the account.
    void Release(const RecordWork& record);
    // The bytes the records handed out and not released hold (or are expected to hold).
    std::uint64_t BytesHeld();
    // The bytes a record of `fieldBytes` is expected to take while it is worked on: the most the
    // last records worked on took; nullopt before any record was worked on.
    std::optional<std::uint64_t> ExpectedWorkBytes(std::uint64_t fieldBytes);
    // Records not yet started are left as they are (and count as done); the workers finish the
    // records they are on.
    void Cancel();

  private:
    struct Queued {
        RecordWork* record;
        bool alone;
    };
    void Work();
    bool MayStart() const;
    void Finished(RecordWork& record, std::uint64_t workBytes);

    const RunSetup& setup_;
    std::mutex mutex_;
    std::condition_variable queued_;
    std::condition_variable finished_;
    std::deque<Queued> queue_;
    std::vector<const RecordWork*> done_;
    bool stopping_ = false;
    unsigned inWork_ = 0;
    bool aloneInWork_ = false;
    std::uint64_t starts_ = 0;  // records started so far, to tell whether others overlapped
    std::uint64_t held_ = 0;
    std::vector<std::pair<const RecordWork*, std::uint64_t>> weights_;
    std::deque<std::uint64_t> recentWorkBytes_;
    std::vector<std::thread> threads_;
};

// Why a file system takes no more files ("is on a full disk (No space left on device)"), in the
// words of a report.
std::string OutOfRoomReason(int code);

// The one report of a run that ends because a work file did not fit.
std::string WorkFolderFullReport(const std::filesystem::path& file, int code);

// The number of workers a run uses when none is asked for: $PICTROVA_JOBS when it is a number
// above 0, else one per core.
unsigned DefaultJobs();

// The bytes the records in flight may hold (kRecordsInFlightBytes), lowered to
// $PICTROVA_RECORDS_IN_FLIGHT_BYTES when that is a smaller number above 0 (for the tests).
std::uint64_t RecordsInFlightBudget();

// Decodes, loads and encodes the record (the steps from the decoder on to the encoded output).
// `host` is only yielded to (inside file deletion and converter waits).
void WorkOnRecord(const RunSetup& setup, RecordWork& record, Host& host);

// The record's work files: the field streamed by method 2, and the second file the converter
// writes; both in the run's work folder, named after the record.
std::filesystem::path RecordWorkFile(const RunSetup& setup, std::int64_t number);
std::filesystem::path RecordSecondWorkFile(const RunSetup& setup, std::int64_t number);

}  // namespace pictrova::run
