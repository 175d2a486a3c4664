// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The JSON of a run's records, the same for `extract --json` and the extract-all manifest. Every
// string in it has been through DatabaseText, so the output is valid UTF-8 whatever the
// database holds.

#include <nlohmann/json.hpp>

#include <filesystem>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "common/error_report.h"
#include "run/extraction_run.h"

namespace pictrova::cli {

using Json = nlohmann::ordered_json;

// A JSON string of text from a database, a file name or a message: valid UTF-8.
Json JsonText(std::string_view text);

// A written file as the JSON shows it: absolute for extract, relative to the batch's folder in
// the manifest.
using FileShown = std::function<std::string(const std::filesystem::path&)>;

// The JSON text to write out: the DEL, C1 and bidirectional controls inside its strings as
// \uNNNN escapes, so that JSON shown on a terminal is never obeyed either.
std::string JsonOutput(const Json& json, int indent = -1);

// [{description, location, label}, ...].
Json ErrorsJson(const std::vector<ReportedError>& errors);

// One record: {number, file (or null), attachments (attachment fields: every file's stored name
// and output or null), errors, replaced (when a file was written), stored_preview (when true),
// library_messages and program_messages (when any), skipped (when no file was written)}. skipped is
// {reason, detail}: the run's reason, else "error reported" and the first report's description.
Json RecordJson(const run::RecordOutcome& record, const FileShown& fileShown);

// A run's message as the terminal shows it: for a run that went through the records the line
// that counts them ("Done. 12 pictures from 15 records; ..."), else why it stopped before.
std::string RunMessage(const run::RunResult& result);

// `extract --json`: {message (RunMessage), exit_status, records_read, pictures_written, records,
// errors (the reports outside records)}.
Json RunResultJson(const run::RunResult& result, int exitStatus);

}  // namespace pictrova::cli
