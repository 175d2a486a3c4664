// SPDX-License-Identifier: GPL-3.0-or-later
// The run counted by its reasons: skip_reason.h.
#include <algorithm>
#include <utility>
#include <vector>

#include "run/extraction_run.h"
#include "run/skip_reason.h"

namespace pictrova::run {

std::string RunCount(const RunResult& result) {
    std::vector<std::pair<std::string, int>> counts;  // in the order first met
    std::int64_t without = 0;
    std::int64_t previews = 0;
    std::int64_t readWithoutFormat = 0;
    for (const auto& record : result.records) {
        previews += record.storedPreview ? 1 : 0;
        readWithoutFormat += record.readWithoutFormat ? 1 : 0;
        if (record.written || !record.skipped)
            continue;
        ++without;
        const std::string word = CountWord(*record.skipped);
        auto it = std::find_if(counts.begin(), counts.end(),
                               [&](const auto& c) { return c.first == word; });
        if (it == counts.end())
            counts.emplace_back(word, 1);
        else
            ++it->second;
    }
    const std::string noun = result.originalFiles ? " file" : " picture";
    std::string line = std::to_string(result.picturesWritten) + noun +
                       (result.picturesWritten == 1 ? " from " : "s from ") +
                       std::to_string(result.recordsRead) +
                       (result.recordsRead == 1 ? " record" : " records");
    if (previews > 0)
        line += " (" + std::to_string(previews) +
                (previews == 1 ? " from a stored preview)" : " from stored previews)");
    if (readWithoutFormat > 0)
        line += "; " + std::to_string(readWithoutFormat) +
                (readWithoutFormat == 1 ? " picture" : " pictures") +
                " read and not written (no output format is chosen)";
    if (without > 0) {
        line += "; " + std::to_string(without) + " without a" + noun + " (";
        // The other words read the same for any count; "error" alone takes a plural.
        const std::string error = CountWord({SkipCode::Error, {}});
        for (std::size_t i = 0; i < counts.size(); ++i)
            line += (i ? ", " : "") + std::to_string(counts[i].second) + " " + counts[i].first +
                    (counts[i].first == error && counts[i].second > 1 ? "s" : "");
        line += ")";
    }
    if (result.filesReplaced > 0)
        line += "; " + std::to_string(result.filesReplaced) +
                (result.filesReplaced == 1 ? " replaced file that was already there"
                                           : " replaced files that were already there");
    return line + ".";
}

std::string RunSummary(const RunResult& result) {
    const char* start = result.stopped || result.outOfRoom ? "Stopped. "
                        : result.end == RunEnd::Done       ? "Done. "
                                                           : "";
    return start + RunCount(result);
}

}  // namespace pictrova::run
