// SPDX-License-Identifier: GPL-3.0-or-later
#include "run/skip_reason.h"

#include <algorithm>
#include <array>
#include <utility>

#include "ole/class_table.h"
#include "ole/object_header.h"
#include "ole/ole_object_decoder.h"
#include "run/extraction_run.h"

namespace pictrova::run {

namespace {

constexpr std::uint16_t kObjectSignature = 0x1C15;

// The kinds of document the decoder takes out that are not pictures.
constexpr std::array<std::pair<std::string_view, std::string_view>, 8> kDocumentKinds{{
    {"pdf", "a PDF document"},
    {"doc", "a Word document"},
    {"xls", "an Excel workbook"},
    {"ppt", "a PowerPoint presentation"},
    {"vsd", "a Visio drawing"},
    {"rtf", "an RTF document"},
    {"pak", "a packaged file"},
    {"max", "a scanned-paper document"},
}};

// How each reason is counted in a run's summary; a reason not listed counts under its own text.
struct CountRow {
    std::string_view reason;
    std::string_view word;
    bool namesDetail;  // the word is followed by the detail in quotes
};
constexpr std::array<CountRow, 10> kCountRows{{
    {kSkipNoValue, "empty", false},
    {kSkipLinked, "linked", false},
    {kSkipUnsupportedClass, "unsupported class", true},
    {kSkipNotPicture, "not a picture", false},
    {kSkipDamaged, "damaged", false},
    {kSkipNotLoaded, "not loaded", false},
    {kSkipNotRendered, "not rendered", false},
    {kSkipTooLarge, "too large", false},
    {kSkipNameNotText, "name not text", false},
    {kSkipError, "error", false},
}};

// A static object holds its picture as a presentation: a bitmap that could not be read is
// damaged; a metafile is drawn by the renderer, which may refuse it or give up on it.
SkipReason WhyStaticNotDecoded(std::span<const std::uint8_t> value) {
    std::string format;
    try {
        format = ole::StaticPresentationFormat(value);
    } catch (const std::exception&) {
        return {std::string(kSkipDamaged), "a static picture shorter than its presentation header"};
    }
    if (format == "DIB")
        return {std::string(kSkipDamaged), "a static bitmap that could not be read"};
    return {std::string(kSkipNotRendered),
            "a static metafile (" + format + ") the renderer refused or gave up on"};
}

}  // namespace

SkipReason WhyNotDecoded(std::span<const std::uint8_t> value) {
    if (value.empty())
        return {std::string(kSkipNoValue), {}};
    ole::ObjectHeader header;
    try {
        header = ole::ReadObjectHeader(value);
    } catch (const std::exception&) {
        return {std::string(kSkipDamaged), "shorter than an object header"};
    }
    if (header.signature != kObjectSignature)
        return {std::string(kSkipDamaged),
                "no object header (a picture stored without one needs --method raw)"};
    std::string className;
    try {
        className = ole::ReadClassName(value, header);
    } catch (const std::exception&) {
        return {std::string(kSkipDamaged), "the class name lies outside the value"};
    }
    if (header.objectType == static_cast<std::int32_t>(ole::ObjectType::Linked))
        return {std::string(kSkipLinked), className};
    // Static objects are decoded by their object type, whatever class name they carry.
    if (header.objectType == static_cast<std::int32_t>(ole::ObjectType::Static))
        return WhyStaticNotDecoded(value);
    if (!ole::FindClassRow(className))
        return {std::string(kSkipUnsupportedClass), className};
    return {std::string(kSkipDamaged), "a " + className + " object that could not be read"};
}

SkipReason WhyNotLoaded(std::string_view extension, imaging::PictureKind packaged) {
    if (extension == "pak" && packaged != imaging::PictureKind::Unknown)
        return {std::string(kSkipNotLoaded),
                "a packaged " + std::string(imaging::EngineCoderName(packaged)) + " file"};
    for (const auto& [kind, words] : kDocumentKinds) {
        if (extension == kind)
            return {std::string(kSkipNotPicture), std::string(words)};
    }
    return {std::string(kSkipNotLoaded), std::string(extension)};
}

std::string CountWord(const SkipReason& skip) {
    for (const CountRow& row : kCountRows) {
        if (skip.reason == row.reason)
            return std::string(row.word) + (row.namesDetail ? " \"" + skip.detail + "\"" : "");
    }
    return skip.reason;
}

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
        const std::string error = CountWord({std::string(kSkipError), {}});
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
