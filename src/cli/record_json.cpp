// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/record_json.h"

#include "common/printable_text.h"
#include "run/skip_reason.h"

namespace pictrova::cli {

namespace {

// A record without a file (none other has "skipped") always says why: a run that gave no reason
// reported an error on it, or found nothing to write.
Json SkippedJson(const run::RecordOutcome& record) {
    SkipReason skip;
    if (record.skipped)
        skip = *record.skipped;
    else if (!record.errors.empty())
        skip = {SkipCode::Error, record.errors.front().description};
    else
        skip = {SkipCode::NotLoaded, "no picture in the value"};
    return {{"reason", JsonText(SkipText(skip.code))}, {"detail", JsonText(skip.detail)}};
}

}  // namespace

Json JsonText(std::string_view text) {
    return DatabaseText(text, TextUse::Json);
}

std::string JsonOutput(const Json& json, int indent) {
    // Strings were made valid on the way in; `replace` only keeps a byte that slipped past from
    // ending the command.
    return DatabaseText(json.dump(indent, ' ', false, Json::error_handler_t::replace),
                        TextUse::JsonDocument);
}

Json ErrorsJson(const std::vector<ReportedError>& errors) {
    Json out = Json::array();
    for (const auto& e : errors)
        out.push_back({{"description", JsonText(e.description)},
                       {"location", JsonText(e.location)},
                       {"label", e.label}});
    return out;
}

Json RecordJson(const run::RecordOutcome& record, const FileShown& fileShown) {
    auto file = [&](const std::optional<std::filesystem::path>& written) {
        return written ? JsonText(fileShown(*written)) : Json();
    };
    Json out = {{"number", record.number}, {"file", file(record.written)}};
    if (!record.attachments.empty()) {
        Json files = Json::array();
        for (const auto& attached : record.attachments)
            files.push_back(
                {{"name", JsonText(attached.fileName)}, {"file", file(attached.written)}});
        out["attachments"] = std::move(files);
    }
    out["errors"] = ErrorsJson(record.errors);
    if (record.written)
        out["replaced"] = record.replaced;
    if (record.storedPreview)
        out["stored_preview"] = true;
    if (!record.libraryMessages.empty()) {
        Json messages = Json::array();
        for (const auto& message : record.libraryMessages)
            messages.push_back(JsonText(message));
        out["library_messages"] = std::move(messages);
    }
    if (!record.programMessages.empty()) {
        Json messages = Json::array();
        for (const auto& message : record.programMessages)
            messages.push_back(JsonText(message));
        out["program_messages"] = std::move(messages);
    }
    if (!record.written)
        out["skipped"] = SkippedJson(record);
    return out;
}

std::string RunMessage(const run::RunResult& result) {
    if (result.end == run::RunEnd::Done || result.end == run::RunEnd::NoImages)
        return run::RunSummary(result);
    return result.message;
}

Json RunResultJson(const run::RunResult& result, int exitStatus) {
    Json records = Json::array();
    const FileShown asWritten = [](const std::filesystem::path& p) { return p.string(); };
    for (const auto& record : result.records)
        records.push_back(RecordJson(record, asWritten));
    return {{"message", JsonText(RunMessage(result))}, {"exit_status", exitStatus},
            {"records_read", result.recordsRead},      {"pictures_written", result.picturesWritten},
            {"records", std::move(records)},           {"errors", ErrorsJson(result.errors)}};
}

}  // namespace pictrova::cli
