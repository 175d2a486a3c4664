// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/run_json.h"

#include <cstdio>

namespace pictrova::cli {

std::string JsonString(std::string_view text) {
    std::string out = "\"";
    for (char c : text) {
        switch (c) {
            case '"':
                out += "\\\"";
                break;
            case '\\':
                out += "\\\\";
                break;
            case '\n':
                out += "\\n";
                break;
            case '\r':
                out += "\\r";
                break;
            case '\t':
                out += "\\t";
                break;
            default:
                if (static_cast<unsigned char>(c) < 0x20) {
                    char buffer[8];
                    std::snprintf(buffer, sizeof buffer, "\\u%04x", c);
                    out += buffer;
                } else {
                    out += c;
                }
        }
    }
    return out + "\"";
}

namespace {

std::string ErrorsJson(const std::vector<ReportedError>& errors) {
    std::string out = "[";
    for (std::size_t i = 0; i < errors.size(); ++i) {
        if (i)
            out += ",";
        out += "{\"description\":" + JsonString(errors[i].description) +
               ",\"location\":" + JsonString(errors[i].location) +
               ",\"label\":" + std::to_string(errors[i].label) + "}";
    }
    return out + "]";
}

}  // namespace

std::string RunResultJson(const run::RunResult& result, int exitStatus) {
    std::string out = "{\"message\":" + JsonString(result.message);
    out += ",\"exit_status\":" + std::to_string(exitStatus);
    out += ",\"records_read\":" + std::to_string(result.recordsRead);
    out += ",\"pictures_written\":" + std::to_string(result.picturesWritten);
    out += ",\"records\":[";
    for (std::size_t i = 0; i < result.records.size(); ++i) {
        const auto& r = result.records[i];
        if (i)
            out += ",";
        out += "{\"number\":" + std::to_string(r.number) +
               ",\"file\":" + (r.written ? JsonString(r.written->string()) : std::string("null"));
        if (!r.attachments.empty()) {
            out += ",\"attachments\":[";
            for (std::size_t k = 0; k < r.attachments.size(); ++k) {
                const auto& a = r.attachments[k];
                out += std::string(k ? "," : "") + "{\"name\":" + JsonString(a.fileName) +
                       ",\"file\":" +
                       (a.written ? JsonString(a.written->string()) : std::string("null")) + "}";
            }
            out += "]";
        }
        out += ",\"errors\":" + ErrorsJson(r.errors);
        if (r.written)
            out += std::string(",\"replaced\":") + (r.replaced ? "true" : "false");
        if (r.storedPreview)
            out += ",\"stored_preview\":true";
        if (!r.libraryMessages.empty()) {
            out += ",\"library_messages\":[";
            for (std::size_t k = 0; k < r.libraryMessages.size(); ++k)
                out += std::string(k ? "," : "") + JsonString(r.libraryMessages[k]);
            out += "]";
        }
        if (r.skipped)
            out += ",\"skipped\":{\"reason\":" + JsonString(r.skipped->reason) +
                   ",\"detail\":" + JsonString(r.skipped->detail) + "}";
        out += "}";
    }
    out += "],\"errors\":" + ErrorsJson(result.errors) + "}";
    return out;
}

}  // namespace pictrova::cli
