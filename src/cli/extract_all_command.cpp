// SPDX-License-Identifier: GPL-3.0-or-later
// extract-all: every picture field of every table of every database, each through the same run
// as `extract`, into OUT/<database>/<table>/<field>/, with one manifest for the batch.
//
// The manifest (cli/manifest.h) holds one entry per database, keyed by its absolute path. An
// entry is written as "incomplete" before the database is opened and rewritten after it: as
// "complete" only when every record of every picture field was read and every picture made was
// written, as "failed" when the database cannot be opened, else it stays "incomplete" with the
// reason, and the next batch extracts the database again. A file system that takes no more
// files (full, over quota, read-only) ends the batch at the field it struck.
#include <unistd.h>

#include <nlohmann/json.hpp>

#include <chrono>
#include <cstdio>
#include <iostream>

#include "cli/batch.h"
#include "cli/cli_host.h"
#include "cli/commands.h"
#include "cli/display_width.h"
#include "cli/manifest.h"
#include "cli/record_json.h"
#include "cli/stop_signals.h"
#include "common/error.h"
#include "common/file_io.h"
#include "common/printable_text.h"
#include "database/ado_types.h"
#include "database/connection_string.h"
#include "database/schema_listing.h"
#include "imaging/image_engine.h"
#include "imaging/picture_holder.h"
#include "report/run_report.h"
#include "run/extraction_run.h"
#include "run/work_files.h"

namespace pictrova::cli {

namespace {

namespace fs = std::filesystem;

std::string Describe(const std::exception& e) {
    if (const auto* error = dynamic_cast<const Error*>(&e))
        return error->description();
    return e.what();
}

// One line on stderr while both outputs are terminals, redrawn at most ten times a second and
// wiped before anything else is printed.
class BatchProgress {
  public:
    BatchProgress() : shown_(isatty(STDOUT_FILENO) && isatty(STDERR_FILENO)) {}
    ~BatchProgress() { Clear(); }

    void Draw(const std::string& where, const run::RunProgress& p, std::int64_t writtenBefore) {
        if (!shown_)
            return;
        auto now = std::chrono::steady_clock::now();
        if (drawn_ && now - last_ < std::chrono::milliseconds(100))
            return;
        last_ = now;
        // Through std::cerr, never C's stderr: the data layer points that at a buffer while libmdb
        // runs on the reader thread. The database path is shown escaped.
        char counts[128];
        std::snprintf(counts, sizeof counts, ": %lld of %lld records, %lld pictures written in all",
                      static_cast<long long>(p.recordsDone), static_cast<long long>(p.recordsTotal),
                      static_cast<long long>(writtenBefore + p.picturesWritten));
        // Narrower than the terminal: a line that wrapped could not be wiped and would pile up.
        std::cerr << "\r\033[K" << FitToWidth(PrintableText(where) + counts, TerminalColumns() - 1)
                  << std::flush;
        drawn_ = true;
    }

    void Clear() {
        if (!drawn_)
            return;
        std::cerr << "\r\033[K" << std::flush;
        drawn_ = false;
    }

  private:
    bool shown_;
    bool drawn_ = false;
    std::chrono::steady_clock::time_point last_;
};

struct BatchTotals {
    int databases = 0, done = 0, failed = 0, skipped = 0, incomplete = 0;
    std::int64_t pictures = 0;
    bool errorsReported = false;
    bool stopped = false;    // SIGINT or SIGTERM: the batch ends after the records written
    bool outOfRoom = false;  // a file system took no more files: the batch ends there
};

// Why a field's run did not read every record and write every picture it made; empty when it
// did. An output or work folder out of room ends the run with one report, which says why.
std::string UnfinishedBecause(const run::RunResult& result) {
    if (result.outOfRoom) {
        for (auto record = result.records.rbegin(); record != result.records.rend(); ++record)
            if (!record->errors.empty())
                return record->errors.back().description;
        return "the disk took no more files";
    }
    if (result.stopped)
        return "stopped by a signal";
    if (!result.errors.empty())
        return result.errors.front().description;
    if (result.end != run::RunEnd::Done && result.end != run::RunEnd::NoImages)
        return result.message.empty() ? "the run ended before the records" : result.message;
    if (result.recordsLeftUnread)
        return "the records after record " + std::to_string(result.recordsRead) +
               " could not be read";
    if (result.outputsNotWritten > 0)
        return std::to_string(result.outputsNotWritten) +
               (result.outputsNotWritten == 1 ? " picture" : " pictures") + " could not be written";
    return {};
}

class Batch {
  public:
    Batch(const ExtractAllArguments& arguments, const BatchPasswords& passwords,
          FolderHandle outFolder)
        : arguments_(arguments),
          passwords_(passwords),
          out_(outFolder.path()),
          outFolder_(std::move(outFolder)),
          manifest_(out_, [this](const std::string& line) { Warn(line); }) {}

    void Database(const std::string& given, int index) {
        std::error_code ec;
        const fs::path absolute = fs::absolute(given, ec);
        const fs::path canonical = fs::weakly_canonical(absolute, ec);
        // The manifest's key, as it shows the path (valid UTF-8 whatever the file name's bytes).
        const std::string path = DatabaseText((ec ? absolute : canonical).string(), TextUse::Json);
        const std::string label = "[" + std::to_string(index) + "/" +
                                  std::to_string(arguments_.databases.paths.size()) + "] " + given;
        if (!arguments_.force && manifest_.Status(path) == "complete") {
            ++totals.skipped;
            Say(label + ": skipped, complete in the manifest (--force extracts it again)");
            if (arguments_.report) {
                report::ReportSection section;
                section.database = given;
                section.countingLine =
                    "extracted by an earlier run; not in this sheet (--force extracts it again)";
                sections_.push_back(std::move(section));
            }
            return;
        }
        const std::string folder = manifest_.Begin(path);
        Json entry = {{"path", path},
                      {"folder", folder},
                      {"status", "incomplete"},
                      {"error", nullptr},
                      {"fields", Json::array()}};
        database::FixedDatabaseSelection selection(given, passwords_.For(given));
        std::vector<std::string> tables;
        try {
            auto listed = database::ListTables(given, selection);
            if (!listed)
                throw Error("Could not find file '" + given + "'.");
            tables = std::move(*listed);
        } catch (const std::exception& e) {
            entry["status"] = "failed";
            entry["error"] = JsonText(Describe(e));
            manifest_.Store(entry);
            ++totals.failed;
            progress_.Clear();
            std::cerr << PrintableText(label + ": cannot open: " + Describe(e)) << std::endl;
            return;
        }
        std::int64_t written = 0;
        int fields = 0;
        std::string unfinished;  // the first reason the database is not complete
        for (const auto& table : tables) {
            std::vector<database::FieldInfo> listed;
            try {
                listed = database::ListTableFields(selection, table);
            } catch (const std::exception& e) {
                entry["fields"].push_back(
                    {{"table", JsonText(table)}, {"error", JsonText(Describe(e))}});
                totals.errorsReported = true;
                if (unfinished.empty())
                    unfinished = "the fields of " + table + " could not be listed: " + Describe(e);
                continue;
            }
            for (const auto& field : listed) {
                // Picture fields: OLE Object fields and Attachment fields.
                if (field.type != database::kAdLongVarBinary && !field.attachment)
                    continue;
                ++fields;
                std::string fieldUnfinished;
                Json result = Field(selection, folder, table, field.name, label, fieldUnfinished);
                written += result.value("pictures_written", std::int64_t{0});
                entry["fields"].push_back(std::move(result));
                if (unfinished.empty() && !fieldUnfinished.empty())
                    unfinished = table + "." + field.name + ": " + fieldUnfinished;
                if (totals.stopped || totals.outOfRoom)
                    break;
            }
            if (totals.stopped || totals.outOfRoom)
                break;
        }
        if (!unfinished.empty()) {
            // What was written so far is recorded; the entry stays incomplete, so a re-run
            // extracts this database again.
            entry["error"] = unfinished;
            ++totals.incomplete;
            totals.errorsReported = true;
            progress_.Clear();
            std::cerr << PrintableText(label + ": incomplete (" +
                                       Counted(written, "picture", "pictures") +
                                       " written; the next run extracts it again): " + unfinished)
                      << std::endl;
            manifest_.Store(entry);
            return;
        }
        entry["status"] = "complete";
        manifest_.Store(entry);
        ++totals.done;
        Say(label + ": " + Counted(written, "picture", "pictures") + " written from " +
            Counted(fields, "picture field", "picture fields") + " in " +
            Counted(static_cast<std::int64_t>(tables.size()), "table", "tables"));
    }

    // Writes manifest.json, the batch's summary.
    void Summarize() { manifest_.Summarize(); }

    // Writes the batch's contact sheet (--report); false, with a line on stderr, when it cannot.
    bool WriteSheet() {
        try {
            report::WriteReportFiles(outFolder_, out_.string(), sections_, true);
            return true;
        } catch (const Error& e) {
            std::cerr << "pictrova-cli: cannot write the contact sheet: " << PrintableText(e.what())
                      << std::endl;
            return false;
        }
    }

    BatchTotals totals;
    const fs::path& out() const { return out_; }
    fs::path manifestPath() const { return manifest_.path(); }

  private:
    // Extracts one field; `unfinished` says why when not every record was read and every
    // picture written.
    Json Field(const database::DatabaseSelection& selection, const std::string& folder,
               const std::string& table, const std::string& field, const std::string& label,
               std::string& unfinished) {
        // Folders are named as the manifest shows the names, so its folders are the ones on disk.
        const std::string tableText = DatabaseText(table, TextUse::Json);
        const std::string fieldText = DatabaseText(field, TextUse::Json);
        const fs::path relative =
            fs::path(folder) / FolderNameFor(tableText) / FolderNameFor(fieldText);
        Json entry = {{"table", tableText}, {"field", fieldText}, {"folder", relative.string()}};
        // Made beneath the output folder's descriptor: a folder on the way that is a link is
        // refused, and the run writes into the very folder made here.
        FolderHandle fieldFolder;
        try {
            fieldFolder = outFolder_.MakeFolderBeneath(relative);
        } catch (const FileWriteError& e) {
            entry["error"] =
                JsonText("Could not create " + (out_ / relative).string() + ": " + e.reason());
            totals.errorsReported = true;
            unfinished = entry["error"];
            return entry;
        }
        run::ExtractionChoices choices = arguments_.choices;
        choices.table = table;
        choices.pictureField = field;
        choices.outputFolder = (out_ / relative).string();
        run::FixedExtractionOptions options(choices);
        CliHost host(/*quiet=*/true);
        imaging::PictureHolder creator;
        const std::string where = label + " " + table + "." + field;
        const std::int64_t before = totals.pictures;
        run::RunSurroundings surroundings{
            .host = host,
            .database = selection,
            .creator = creator,
            .progress = [&](const run::RunProgress& p) { progress_.Draw(where, p, before); },
            .converter = arguments_.converter,
            .workRoot = {},
            .workFolder = SharedWorkFolder(),
            .jobs = arguments_.jobs,
            .stopRequested = StopRequestedBySignal,
            .outputFolder = &fieldFolder,
            .reportFacts = arguments_.report,
        };
        const run::RunResult result = run::RunExtraction(options, surroundings);
        if (arguments_.report) {
            report::ReportSection section;
            section.database = label.substr(label.find(' ') + 1);
            section.table = table;
            section.field = field;
            section.countingLine = run::RunSummary(result);
            section.entries = report::EntriesOf(result, out_ / relative, out_);
            sections_.push_back(std::move(section));
        }
        totals.stopped = totals.stopped || result.stopped;
        totals.outOfRoom = totals.outOfRoom || result.outOfRoom;
        unfinished = UnfinishedBecause(result);
        totals.pictures += result.picturesWritten;
        totals.errorsReported = totals.errorsReported || result.errorCount > 0;
        Json records = Json::array();
        const FileShown inBatch = [this](const fs::path& p) { return Relative(p); };
        for (const auto& record : result.records)
            records.push_back(RecordJson(record, inBatch));
        entry["message"] = JsonText(RunMessage(result));
        entry["records_read"] = result.recordsRead;
        entry["pictures_written"] = result.picturesWritten;
        entry["error_count"] = result.errorCount;
        entry["errors"] = ErrorsJson(result.errors);
        entry["records"] = std::move(records);
        return entry;
    }

    // One work folder for every run of the batch, made at the first field: a folder per run
    // would cost a sweep of the temporary folder, a folder and a lock file made and removed for
    // each field. When it cannot be made, each run makes its own and reports why it cannot.
    run::WorkFolder* SharedWorkFolder() {
        if (!workFolderTried_) {
            workFolderTried_ = true;
            try {
                workFolder_.Make({});
            } catch (const std::exception&) {
            }
        }
        return workFolder_.path().empty() ? nullptr : &workFolder_;
    }

    std::string Relative(const fs::path& written) const {
        return written.lexically_relative(out_).string();
    }

    void Say(const std::string& line) {
        progress_.Clear();
        std::cout << PrintableText(line) << std::endl;
    }

    void Warn(const std::string& line) {
        progress_.Clear();
        std::cerr << PrintableText(line) << std::endl;
        totals.errorsReported = true;
    }

    const ExtractAllArguments& arguments_;
    const BatchPasswords& passwords_;
    fs::path out_;
    FolderHandle outFolder_;
    Manifest manifest_;
    BatchProgress progress_;
    std::vector<report::ReportSection> sections_;  // --report: one per field extracted
    run::WorkFolder workFolder_;
    bool workFolderTried_ = false;
};

}  // namespace

int ExtractAllCommand(const ExtractAllArguments& given) {
    ExtractAllArguments arguments = given;
    std::vector<std::string> notes;
    arguments.databases.paths = DatabasesIn(given.databases.paths, notes);
    for (const std::string& note : notes)
        std::cerr << note << std::endl;
    std::string error;
    auto passwords = BatchPasswords::Load(arguments.databases, error);
    if (!passwords) {
        std::cerr << error << std::endl;
        return kExitUsage;
    }
    std::error_code ec;
    fs::create_directories(arguments.outputFolder, ec);
    FolderHandle outFolder;
    if (!ec && fs::is_directory(arguments.outputFolder)) {
        try {
            outFolder = FolderHandle::Open(fs::absolute(arguments.outputFolder));
        } catch (const std::exception&) {
        }
    }
    if (!outFolder.valid()) {
        std::cerr << "Could not create the output folder '" << PrintableText(arguments.outputFolder)
                  << "'." << std::endl;
        return kExitUsage;
    }
    imaging::StartImageEngine();
    Batch batch(arguments, *passwords, std::move(outFolder));
    StopOnSignals stopOnSignals;
    try {
        int index = 0;
        for (const auto& path : arguments.databases.paths) {
            if (batch.totals.outOfRoom)
                break;
            if (batch.totals.stopped || StopRequestedBySignal()) {
                batch.totals.stopped = true;
                break;
            }
            ++batch.totals.databases;
            ++index;
            try {
                batch.Database(path, index);
            } catch (const nlohmann::json::exception& e) {
                // Nothing a database holds should get here; if it does, that database failed
                // and the batch goes on.
                ++batch.totals.failed;
                std::cerr << PrintableText(path + ": " + e.what()) << std::endl;
            }
        }
        batch.Summarize();
        if (arguments.report && !batch.WriteSheet())
            batch.totals.errorsReported = true;
    } catch (const std::exception& e) {
        // Only the manifest's own failures end the batch early: without it nothing is recorded.
        std::cerr << PrintableText(Describe(e)) << std::endl;
        return kExitErrorReported;
    }
    const auto& t = batch.totals;
    if (t.stopped || t.outOfRoom)
        std::cout << "Stopped. ";
    std::cout << Counted(t.databases, "database", "databases") << ": " << t.done << " extracted, "
              << t.skipped << " skipped, " << t.failed << " could not be opened"
              << (t.incomplete > 0 ? ", " + std::to_string(t.incomplete) + " incomplete" : "")
              << "; " << Counted(t.pictures, "picture", "pictures")
              << " written. Manifest: " << PrintableText(batch.manifestPath().string())
              << std::endl;
    if (t.stopped && !t.outOfRoom && StopSignal() != 0)
        return kExitSignalBase + StopSignal();
    return t.failed > 0 || t.errorsReported ? kExitErrorReported : kExitDone;
}

}  // namespace pictrova::cli
