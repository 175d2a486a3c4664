// SPDX-License-Identifier: GPL-3.0-or-later
#include "run/record_preview.h"

#include <algorithm>

#include "common/error.h"
#include "common/host.h"
#include "database/database_selection.h"
#include "imaging/image_engine.h"
#include "imaging/picture_holder.h"
#include "run/external_converter.h"
#include "run/extraction_run.h"
#include "run/output_naming.h"
#include "run/record_work.h"

namespace pictrova::run {

namespace {

// The name the run gives the record's file, relative to the output folder: the encoded
// picture's name for a picture loaded, the object's own name for one kept as stored. Throws
// Error for a name the run refuses.
std::string OutputFileName(const RecordWork& work) {
    const std::string& outputName = work.result.outputName;
    const std::string nameBase = StripExtension(outputName);
    if (work.result.stage == RecordStage::KeptAsIs)
        return OutputNameInFolder(nameBase, std::string_view(outputName).substr(nameBase.size()))
            .string();
    return OutputNameInFolder(nameBase, FormatExtension(work.read.choices.format)).string();
}

bool StoppedAtItsChecks(RunEnd end) {
    return end == RunEnd::FolderMissing || end == RunEnd::PrefixWithoutCounter ||
           end == RunEnd::NoFieldSelected || end == RunEnd::NotPictureField;
}

}  // namespace

PreviewedRecord PreviewOf(RecordWork& work, const std::vector<ReportedError>& reports,
                          std::map<std::int64_t, std::string>& names) {
    PreviewedRecord previewed;
    RecordResult& worked = work.result;
    previewed.number = work.read.number;
    previewed.kind = RecordFileKind(work);
    previewed.objectClass = worked.objectClass;
    previewed.width = worked.pictureWidth;
    previewed.height = worked.pictureHeight;
    previewed.thumbnail = std::move(worked.previewThumbnail);
    if (worked.picture.HasPicture())
        previewed.picture = std::move(worked.picture.Image());

    std::vector<ReportedError> errors = reports;
    const bool loaded = worked.stage == RecordStage::Loaded;
    const OutputFormat format = work.read.choices.format;
    const bool encoded = loaded && format != OutputFormat::None && !worked.outputName.empty();
    const bool kept = worked.stage == RecordStage::KeptAsIs && !worked.outputName.empty();
    if (encoded || kept) {
        try {
            if (const auto known = names.find(work.read.number); known != names.end()) {
                previewed.fileName = known->second;
                return previewed;
            }
            auto taken = [&](const std::string& name) {
                return std::any_of(names.begin(), names.end(),
                                   [&](const auto& entry) { return entry.second == name; });
            };
            std::string name = OutputFileName(work);
            const std::filesystem::path first = name;
            for (int n = 2; taken(name); ++n)
                name = NumberedPath(first, n).string();
            names.emplace(work.read.number, name);
            previewed.fileName = std::move(name);
            return previewed;
        } catch (const Error& e) {
            errors.push_back({e.description(), std::string(kRunLocation), 0});
        }
    }
    // A picture read with no format chosen is neither named nor skipped, as in the run.
    if (!(loaded && format == OutputFormat::None && !work.skip() && errors.empty()))
        previewed.skip = WhyNoOutput(work, errors);
    return previewed;
}

RecordPreview::RecordPreview(database::Database database, ExtractionChoices choices)
    : database_(std::move(database)), choices_(std::move(choices)) {
    // Started here, before the thread: its start sets the environment.
    imaging::StartImageEngine();
    thread_ = std::thread([this] { Work(); });
}

RecordPreview::~RecordPreview() {
    Cancel();
    {
        std::lock_guard lock(mutex_);
        ending_ = true;
    }
    queued_.notify_all();
    thread_.join();
}

void RecordPreview::Request(std::int64_t first, std::int64_t count, bool fullPictures) {
    {
        std::lock_guard lock(mutex_);
        ranges_.push_back({first, count, fullPictures, generation_.load()});
    }
    queued_.notify_all();
}

std::vector<PreviewedRecord> RecordPreview::Take() {
    std::lock_guard lock(mutex_);
    std::vector<PreviewedRecord> taken;
    taken.swap(results_);
    return taken;
}

void RecordPreview::Cancel() {
    std::lock_guard lock(mutex_);
    ++generation_;
    ranges_.clear();
    results_.clear();
}

void RecordPreview::Stop() {
    Cancel();
    std::unique_lock lock(mutex_);
    idle_.wait(lock, [&] { return !inWork_; });
}

bool RecordPreview::Idle() const {
    std::lock_guard lock(mutex_);
    return !inWork_ && ranges_.empty();
}

bool RecordPreview::ResultsWaiting() const {
    std::lock_guard lock(mutex_);
    return !results_.empty();
}

std::string RecordPreview::Message() const {
    std::lock_guard lock(mutex_);
    return message_;
}

void RecordPreview::Work() {
    while (true) {
        Range range{};
        {
            std::unique_lock lock(mutex_);
            queued_.wait(lock, [&] { return ending_ || !ranges_.empty(); });
            if (ending_)
                return;
            range = ranges_.front();
            ranges_.pop_front();
            inWork_ = true;
        }
        PreviewRangeNow(range);
        {
            std::lock_guard lock(mutex_);
            inWork_ = false;
        }
        idle_.notify_all();
    }
}

void RecordPreview::PreviewRangeNow(const Range& range) {
    auto current = [&] { return range.generation == generation_.load(); };
    FixedExtractionOptions options(choices_);
    const database::OpenedDatabaseSelection selection(database_);
    // What the preview's run would report is in its records.
    SilentHost host;
    imaging::PictureHolder creator;
    PreviewRange preview{range.first, range.count, range.fullPictures,
                         [&](PreviewedRecord previewed) {
                             std::lock_guard lock(mutex_);
                             if (current())
                                 results_.push_back(std::move(previewed));
                         },
                         &names_};
    RunSurroundings surroundings{host, selection, creator, {}, ExternalConverterFromEnvironment(),
                                 {}};
    surroundings.stopRequested = [&] { return !current(); };
    // One core fewer than a run takes: the page the preview is shown on keeps one.
    surroundings.jobs = std::max(1u, DefaultJobs() - 1);
    surroundings.preview = &preview;
    RunResult result;
    std::string failure;
    try {
        result = RunExtraction(options, surroundings);
    } catch (const std::exception& e) {
        failure = e.what();
    }
    std::lock_guard lock(mutex_);
    if (!current())
        return;
    if (result.recordsRead < range.first - 1 + range.count)
        reachedEnd_ = true;
    if (!failure.empty())
        message_ = failure;
    else if (StoppedAtItsChecks(result.end))
        message_ = result.message;
    else if (result.recordsRead == 0 && !result.errors.empty())
        message_ = result.errors.front().description;
}

}  // namespace pictrova::run
