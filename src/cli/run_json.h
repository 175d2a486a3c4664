// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string>
#include <string_view>

#include "run/extraction_run.h"

namespace pictrova::cli {

// A JSON string literal for `text` (UTF-8 passed through, control characters escaped).
std::string JsonString(std::string_view text);

// One JSON object: the final message, records read, pictures written, every record with its
// number, the file written (or null), for an attachment field every attached file with its
// stored name and output file (or null), its error reports, and the reports outside records.
std::string RunResultJson(const run::RunResult& result, int exitStatus);

}  // namespace pictrova::cli
