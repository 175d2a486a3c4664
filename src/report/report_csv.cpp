// SPDX-License-Identifier: GPL-3.0-or-later
#include "report/report_csv.h"

#include <algorithm>
#include <string_view>

#include "common/printable_text.h"

namespace pictrova::report {
namespace {

// Text cells keep every character a spreadsheet can hold; bytes that are not UTF-8 become \xNN.
std::string Cell(std::string_view bytes) {
    std::string text = DatabaseText(bytes, TextUse::Json);
    if (text.find_first_of(",\"\r\n") == std::string::npos)
        return text;
    std::string quoted = "\"";
    for (const char c : text) {
        if (c == '"')
            quoted += '"';
        quoted += c;
    }
    return quoted + '"';
}

void AppendRow(std::string& out, const std::vector<std::string>& cells) {
    for (std::size_t i = 0; i < cells.size(); ++i) {
        if (i > 0)
            out += ',';
        out += cells[i];
    }
    out += "\r\n";
}

}  // namespace

std::string ReportCsv(const std::vector<ReportSection>& sections, bool withSource) {
    // Key fields by name across the sections: a batch's tables may name different ones.
    std::vector<std::string> keyNames;
    for (const auto& section : sections)
        for (const auto& name : section.keyNames)
            if (std::find(keyNames.begin(), keyNames.end(), name) == keyNames.end())
                keyNames.push_back(name);

    std::string out;
    std::vector<std::string> header;
    if (withSource)
        header = {"database", "table", "field"};
    header.push_back("record");
    for (const auto& name : keyNames)
        header.push_back(Cell(name));
    for (const char* name : {"file", "kind", "width", "height", "bytes", "stored_preview",
                             "outcome", "reason", "detail"})
        header.push_back(name);
    AppendRow(out, header);

    for (const auto& section : sections) {
        for (const auto& entry : section.entries) {
            const bool written = entry.outcome == EntryOutcome::Written;
            std::vector<std::string> row;
            if (withSource)
                row = {Cell(section.database), Cell(section.table), Cell(section.field)};
            row.push_back(std::to_string(entry.number));
            for (const auto& name : keyNames) {
                const auto at = std::find(section.keyNames.begin(), section.keyNames.end(), name);
                const auto index = static_cast<std::size_t>(at - section.keyNames.begin());
                row.push_back(at != section.keyNames.end() && index < entry.keys.size()
                                  ? Cell(entry.keys[index])
                                  : std::string());
            }
            row.push_back(written ? Cell(entry.file) : std::string());
            row.push_back(Cell(entry.kind));
            row.push_back(written && entry.width > 0 ? std::to_string(entry.width) : "");
            row.push_back(written && entry.height > 0 ? std::to_string(entry.height) : "");
            row.push_back(written ? std::to_string(entry.bytes) : "");
            row.push_back(written ? (entry.storedPreview ? "yes" : "no") : "");
            row.push_back(written ? "written" : "skipped");
            row.push_back(Cell(entry.reason));
            row.push_back(Cell(entry.detail));
            AppendRow(out, row);
        }
    }
    return out;
}

}  // namespace pictrova::report
