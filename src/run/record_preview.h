// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// A look at a field's records before any run: records first..first+count go through the run
// itself (its checks, its reader, its workers with their limits and isolation, its naming and
// its reasons) with the work of each record ending once its picture is loaded and scaled down.
// Nothing is encoded and nothing is written into the output folder; the output folder need not
// exist. Each record comes back as a PreviewedRecord: the name the run would give its file, or
// the reason it would give none.
//
// RecordPreview does that on a thread of its own, over a database already open, and keeps the
// results for the caller to take (the wizard polls from its own thread).

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "common/error_report.h"
#include "common/skip_reasons.h"
#include "database/opened_database.h"
#include "imaging/dib_section.h"
#include "run/extraction_options.h"

namespace pictrova::run {

struct RecordWork;

struct PreviewedRecord {
    std::int64_t number = 0;  // 1-based position in the table
    // The output file's name, relative to the output folder ("Output3.png"), as the run would
    // name it; empty when the run would write no file (then `skip` says why).
    std::string fileName;
    std::optional<SkipReason> skip;
    std::string kind;         // the kind of file the record held ("JPG", "Package", "PNG")
    std::string objectClass;  // the OLE object's class; empty for other values
    std::int32_t width = 0;   // of the picture loaded; 0 when none was
    std::int32_t height = 0;
    imaging::cDIBSection thumbnail;  // the picture scaled down; empty when none was loaded
    imaging::cDIBSection picture;    // the picture loaded, when full pictures were asked for
};

// What a run previews instead of writing (RunSurroundings::preview).
struct PreviewRange {
    std::int64_t first = 1;  // 1-based
    std::int64_t count = 0;
    bool fullPictures = false;
    // Called on the run's thread, in record order, once per record previewed.
    std::function<void(PreviewedRecord)> deliver;
    // The names given to the records previewed so far, by record number, kept from range to
    // range so that a name taken by an earlier record is numbered in a later range too; null:
    // this range's own.
    std::map<std::int64_t, std::string>* names = nullptr;
};

// The record's preview, from its work and the reports its work made. A record previewed before
// keeps its name; a name an earlier record took (`names`) is numbered as the run numbers it.
PreviewedRecord PreviewOf(RecordWork& work, const std::vector<ReportedError>& reports,
                          std::map<std::int64_t, std::string>& names);

// Previews of one field with fixed choices, worked on a thread of its own, one range after the
// other. Destroying it cancels the work and waits for the record in work.
class RecordPreview {
  public:
    // `choices`: the table, field, read method, naming and format (the output folder is not
    // needed). `database` is an open database; it is not opened again.
    RecordPreview(database::Database database, ExtractionChoices choices);
    ~RecordPreview();
    RecordPreview(const RecordPreview&) = delete;
    RecordPreview& operator=(const RecordPreview&) = delete;

    // Queues records first..first+count (1-based).
    void Request(std::int64_t first, std::int64_t count, bool fullPictures = false);
    // The records previewed since the last call, in record order.
    std::vector<PreviewedRecord> Take();
    // Stops the range in work (its records in work are given up) and drops those queued.
    void Cancel();
    // Cancels and waits until the thread has nothing in work.
    void Stop();

    // No range is queued or in work.
    bool Idle() const;
    // Records previewed and not yet taken.
    bool ResultsWaiting() const;
    // A range ended before its last record: the table has no more.
    bool ReachedEnd() const { return reachedEnd_; }
    // The run's own message when its checks stopped it ("No picture field selected."); empty
    // otherwise.
    std::string Message() const;

  private:
    struct Range {
        std::int64_t first;
        std::int64_t count;
        bool fullPictures;
        std::uint64_t generation;  // a range of an earlier generation was cancelled
    };
    void Work();
    void PreviewRangeNow(const Range& range);

    const database::Database database_;
    const ExtractionChoices choices_;
    mutable std::mutex mutex_;
    std::condition_variable queued_;
    std::condition_variable idle_;
    std::deque<Range> ranges_;
    std::vector<PreviewedRecord> results_;
    std::map<std::int64_t, std::string> names_;  // only the thread touches it
    std::string message_;
    bool inWork_ = false;
    bool ending_ = false;
    std::atomic<std::uint64_t> generation_{0};
    std::atomic<bool> reachedEnd_{false};
    std::thread thread_;
};

}  // namespace pictrova::run
