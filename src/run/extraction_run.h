// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The extraction run: what "Start Extracting" does, from its checks to the final message. It
// reads the user's choices through ExtractionOptions at the moments they matter, reads every
// record's picture field (whole and decoded, or streamed raw), loads the picture into the
// picture holder and writes it in the chosen format under a name from the naming rules. It runs
// as one guarded procedure (location Form2.PushButton6_Click): a failing step is reported with
// its line label and the run goes on.
//
// The run is the checks, then a loop over the records in which each record is a fresh
// RecordWork passed through three phases: read (on the calling thread: the only place that
// touches the recordset), work (decode, load, encode: no host, no output folder) and commit
// (on the calling thread, in record order: the output file written and renamed into place, the
// record's reports shown, progress). Options are read when a record is read.
//
// Where this run differs from the program it reproduces, by design:
// - record numbers of any size are named (no 16-bit counter);
// - the work files and the intermediate BMP of the converter formats live in a private folder
//   made for the run and removed after it; nothing but output files is written to the output
//   folder;
// - an output file is written under a temporary name in its folder and renamed into place;
// - a converter format whose output file does not appear is reported;
// - a name that would put the file outside the output folder is reported as a failed save;
// - an output folder or work folder whose file system takes no more files (full, over quota,
//   read-only) ends the run with one report naming the file and the folder, instead of one per
//   record;
// - state from the previous record (its bytes, name, result) never carries into the next;
// - the record loop ends when the recordset's end test or its move to the next record fails;
// - a run never replaces a file it wrote itself: a name used earlier in the run is numbered
//   (" (2)", " (3)", ... before the extension), decided in record order; a file there before
//   the run is replaced (and the record says so) unless keepExistingFiles numbers the new one;
// - a name field whose value is not text names no file; every record without a picture says
//   why.

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "common/error_report.h"
#include "common/folder_beneath.h"
#include "common/host.h"
#include "common/limits.h"
#include "run/extraction_options.h"
#include "run/skip_reason.h"

namespace pictrova::database {
class DatabaseSelection;
}
namespace pictrova::imaging {
class PictureHolder;
}

namespace pictrova::run {

class WorkFolder;
struct PreviewRange;
struct RecordWork;

inline constexpr std::string_view kFolderMissingMessage =
    "Folder does not exist. Please select another folder.";
inline constexpr std::string_view kPrefixWithoutCounterMessage =
    "Filename prefix must contain # at the end.";
inline constexpr std::string_view kNoFieldSelectedMessage =
    "Please select the field that contains the images.";
inline constexpr std::string_view kNotPictureFieldMessage = "No picture field selected.";
inline constexpr std::string_view kDoneMessage = "Done.";

// "No images were found in database to be extracted. Please email <support> if you think ..."
std::string NoImagesMessage();

// How the run ended, by the message it showed.
enum class RunEnd {
    None,  // no final message (a step that shows one failed)
    FolderMissing,
    PrefixWithoutCounter,
    NoFieldSelected,
    NotPictureField,
    Done,
    NoImages,
};

// What a contact sheet shows of a written file (RunSurroundings::reportFacts).
struct WrittenFacts {
    // The kind of file the record held, as the sheet names it ("JPG", "BMP", "Package"; an
    // attached file by its extension).
    std::string kind;
    std::int64_t width = 0, height = 0;  // of the picture loaded; 0 for a file kept as stored
    std::int64_t bytes = 0;              // of the file written
    // Its thumbnail beneath the output folder (ThumbnailPath), when one was made and written.
    std::optional<std::filesystem::path> thumbnail;
};

// One attached file of a record of an attachment field.
struct AttachmentOutcome {
    std::string fileName;                          // as stored
    std::optional<std::filesystem::path> written;  // its output file, when one was written
    std::optional<WrittenFacts> facts;             // when written and facts were asked for
};

struct RecordOutcome {
    std::int64_t number = 0;                       // 1-based position in the table
    std::optional<std::filesystem::path> written;  // the (first) output file, when one was written
    std::vector<AttachmentOutcome> attachments;    // attachment fields: every file, in stored order
    std::vector<ReportedError> errors;
    bool replaced = false;              // `written` replaced a file that was there before the run
    std::optional<SkipReason> skipped;  // why no file was written
    bool storedPreview = false;         // `written` is the object's stored preview
    // The picture was read, and no output format was chosen to write it (the wizard with every
    // format button off): neither written nor skipped.
    bool readWithoutFormat = false;
    // What the database library warned of while the record was read (not errors).
    std::vector<std::string> libraryMessages;
    // What the programs its work started (converter, renderers, Ghostscript) wrote, the end of
    // each, one message a line ("gs: Error: ...").
    std::vector<std::string> programMessages;
    // Asked for by RunSurroundings::reportFacts: the written file's facts, and the values of the
    // key fields as text (empty for Null or a value that is not text), in their order.
    std::optional<WrittenFacts> facts;
    std::vector<std::string> keys;
};

struct RunResult {
    RunEnd end = RunEnd::None;
    std::string message;           // the final message as shown
    std::int64_t recordsRead = 0;  // records the loop went through
    std::int64_t picturesWritten = 0;
    std::int64_t filesReplaced = 0;  // files written over ones that were there before the run
    std::vector<RecordOutcome> records;
    std::vector<ReportedError> errors;  // reports outside any record
    int errorCount = 0;                 // every report, records' ones included
    bool stopped = false;               // stopRequested ended the record loop early
    bool originalFiles = false;         // records were written as the files they hold (Original)
    // The output folder's or the work folder's file system took no more files (full, over
    // quota, read-only): one report, on the record whose file it refused, and the record loop
    // ended there.
    bool outOfRoom = false;
    // Outputs made but not written into the output folder (each one's report says why).
    std::int64_t outputsNotWritten = 0;
    // The record loop ended before the end of the table: the recordset could not be read on.
    bool recordsLeftUnread = false;
};

struct RunProgress {
    std::int64_t recordsDone = 0;
    std::int64_t recordsTotal = 0;  // the table's record count (0 when unknown)
    std::int64_t picturesWritten = 0;
};

// What the run works with besides the options.
struct RunSurroundings {
    Host& host;
    // The database page's selection: the run takes its database from it when it opens the
    // table (the one the selection keeps for its path and password, else opened then).
    const database::DatabaseSelection& database;
    // Creator: receives each record's picture; output is saved from it.
    imaging::PictureHolder& creator;
    // Called after every record (and once before the first).
    std::function<void(const RunProgress&)> progress;
    // An external converter program run once per conversion instead of the converter in this
    // process (the user's escape hatch); empty: in this process.
    std::filesystem::path converter;
    // Where the private work folder is made; empty: $TMPDIR, else /tmp.
    std::filesystem::path workRoot;
    // A work folder already made, for runs one after another (extract-all makes one per batch):
    // the run works in it instead of making its own, and empties it when it ends.
    WorkFolder* workFolder = nullptr;
    // How long one converter call may take before it is killed and reported.
    std::chrono::milliseconds converterTimeout = kDefaultConverterTimeout;
    // Threads that decode, load and encode records; 0: DefaultJobs(). Outputs, names and
    // reports are the same for any number.
    unsigned jobs = 0;
    // Asked between records (and while waiting for one): true stops the run after the records
    // already written; records in work are dropped and leave nothing behind.
    std::function<bool()> stopRequested = nullptr;
    // A file that was in the output folder before the run is kept, and the new picture takes
    // the next free numbered name instead of replacing it.
    bool keepExistingFiles = false;
    // The output folder already open (extract-all makes it); when its path is the options'
    // folder the run uses it instead of opening that path.
    const FolderHandle* outputFolder = nullptr;
    // For a contact sheet: each written file's facts, with a thumbnail made from the picture in
    // memory by the record's worker and written beneath the output folder's .thumbnails/; and
    // the values of these fields of every record.
    bool reportFacts = false;
    std::vector<std::string> reportKeyFields = {};
    // A preview instead of a run (run/record_preview.h): only the records of the range are
    // read, each is handed to the range's callback instead of being written, and the output
    // folder is neither needed nor touched.
    const PreviewRange* preview = nullptr;
};

// The kind of file the record held, as a contact sheet names it ("JPG", "BMP", "Package"; an
// attached file by its extension).
std::string RecordFileKind(const RecordWork& work);

// Why a record that gave no output file gave none: the reason its work found, else its first
// report, else a picture without a name, else a picture not loaded.
SkipReason WhyNoOutput(const RecordWork& work, const std::vector<ReportedError>& errors);

// Where the thumbnail of the output file `pathInFolder` goes, relative to the output folder:
// .thumbnails/<pathInFolder>.jpg.
std::filesystem::path ThumbnailPath(const std::filesystem::path& pathInFolder);

// PushButton6_Click. Shows its messages and error reports through the host and returns what
// happened. Never throws for a failing step (each is reported); errors of the host itself pass.
RunResult RunExtraction(const ExtractionOptions& options, RunSurroundings& surroundings);

}  // namespace pictrova::run
