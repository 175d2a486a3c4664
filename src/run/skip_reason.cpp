// SPDX-License-Identifier: GPL-3.0-or-later
#include "run/skip_reason.h"

#include <array>
#include <utility>

#include "ole/class_table.h"
#include "ole/object_header.h"

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
    if (!ole::FindClassRow(className))
        return {std::string(kSkipUnsupportedClass), className};
    return {std::string(kSkipDamaged), "a " + className + " object that could not be read"};
}

SkipReason WhyNotLoaded(std::string_view extension, imaging::PictureKind packaged) {
    if (extension == "pak" && packaged != imaging::PictureKind::Unknown)
        return {std::string(kSkipNotLoaded), "a packaged " + std::string(imaging::EngineCoderName(packaged)) + " file"};
    for (const auto& [kind, words] : kDocumentKinds) {
        if (extension == kind)
            return {std::string(kSkipNotPicture), std::string(words)};
    }
    return {std::string(kSkipNotLoaded), std::string(extension)};
}

}  // namespace pictrova::run
