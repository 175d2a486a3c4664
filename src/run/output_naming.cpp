// SPDX-License-Identifier: GPL-3.0-or-later
#include "run/output_naming.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <system_error>

#include "common/error.h"
#include "database/jet_header.h"
#include "run/output_formats.h"

namespace pictrova::run {

namespace {

// The longest extension taken from a stored name; a longer "extension" is more likely part of
// the name ("Dr. Smith's photo").
constexpr std::size_t kMaxExtensionLength = 10;

// Removed from a method-1 text prefix, one after the other in this order.
constexpr std::array<char, 9> kCharactersNotInNames{'/', '\\', ':', '*', '?', '"', '<', '>', '|'};

std::string CollapseBackslashPairs(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        out += text[i];
        if (text[i] == '\\' && i + 1 < text.size() && text[i + 1] == '\\')
            ++i;
    }
    return out;
}

bool IsBlank(std::string_view text) {
    return std::all_of(text.begin(), text.end(), [](char c) { return c == ' '; });
}

// Control characters would make names a shell or file manager shows wrongly or not at all.
void ReplaceControlCharacters(std::string& text) {
    for (char& c : text) {
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f)
            c = '_';
    }
}

// Characters a terminal or file manager obeys rather than shows, as UTF-8: the C1 controls
// (C2 80..C2 9F, matched by their first two bytes' range below) and the bidirectional controls,
// which reorder what follows them ("photo\u202Egnp.exe" is shown as "photoexe.png").
constexpr std::array<std::string_view, 12> kBidirectionalControls{
    "\xD8\x9C",     "\xE2\x80\x8E", "\xE2\x80\x8F", "\xE2\x80\xAA", "\xE2\x80\xAB", "\xE2\x80\xAC",
    "\xE2\x80\xAD", "\xE2\x80\xAE", "\xE2\x81\xA6", "\xE2\x81\xA7", "\xE2\x81\xA8", "\xE2\x81\xA9",
};

// The length of the obeyed character at `at` (0 when there is none): C0 controls, DEL, C1
// controls and bidirectional controls.
std::size_t ObeyedCharacterAt(std::string_view text, std::size_t at) {
    const auto c = static_cast<unsigned char>(text[at]);
    if (c < 0x20 || c == 0x7F)
        return 1;
    if (c == 0xC2 && at + 1 < text.size() && static_cast<unsigned char>(text[at + 1]) >= 0x80 &&
        static_cast<unsigned char>(text[at + 1]) <= 0x9F)
        return 2;
    for (std::string_view control : kBidirectionalControls)
        if (text.substr(at, control.size()) == control)
            return control.size();
    return 0;
}

bool StartsWithParent(const std::filesystem::path& relative) {
    return !relative.empty() && *relative.begin() == "..";
}

Error OutsideTheFolder(const std::string& name) {
    return Error("The file name '" + name + "' would place the picture outside the output folder.");
}

}  // namespace

std::string_view FormatExtension(OutputFormat format) {
    const OutputFormatRow* row = FindOutputFormat(format);
    return row ? row->extension : std::string_view();
}

std::string ApplyCounter(std::string_view templateText, std::int64_t number) {
    std::size_t n = 0;
    while (n < templateText.size() && templateText[templateText.size() - 1 - n] == '#')
        ++n;
    std::string digits = std::to_string(number);
    if (digits.size() < n)
        digits.insert(0, n - digits.size(), '0');
    return std::string(templateText.substr(0, templateText.size() - n)) + digits;
}

std::string CleanBackslashes(std::string_view name) {
    if (name.empty() || name.front() != '\\')
        return CollapseBackslashPairs(name);
    std::size_t p = name.find_first_not_of('\\', 1);
    if (p == std::string_view::npos)
        p = name.size();
    return "\\\\" + CollapseBackslashPairs(name.substr(p));
}

std::string StripExtension(std::string_view name) {
    std::size_t point = name.rfind('.');
    if (point == std::string_view::npos || point == 0)
        return std::string(name);
    return std::string(name.substr(0, point));
}

std::string RunPrefix(Naming naming, std::string_view prefixText, std::string_view table,
                      std::string_view field) {
    switch (naming) {
        case Naming::FixedPrefix:
            return std::string(prefixText);
        case Naming::TableName:
            return std::string(table) + "#";
        case Naming::FieldName:
            return std::string(field) + "#";
        case Naming::TableAndFieldName:
            return std::string(table) + "_" + std::string(field) + "#";
        case Naming::OriginalName:
            // Attached files and packages take their own names; anything else the default prefix.
            return "Output#";
        case Naming::FieldText:
        case Naming::None:
            break;
    }
    return {};
}

std::string FieldTextPrefixByteToByte(const std::optional<std::string>& value) {
    std::string prefix = !value || IsBlank(*value) ? std::string(kFieldNoContent) : *value;
    for (char c : kCharactersNotInNames)
        std::erase(prefix, c);
    ReplaceControlCharacters(prefix);
    return prefix;
}

std::string FieldTextPrefixRecordset(const std::optional<std::string>& value) {
    std::string prefix = value.value_or(std::string());
    ReplaceControlCharacters(prefix);
    std::replace(prefix.begin(), prefix.end(), '/', '_');
    return prefix;
}

std::string FitFileName(std::string_view stem, std::string_view extension) {
    if (stem.size() + extension.size() > kMaxFileNameBytes) {
        std::size_t keep =
            kMaxFileNameBytes > extension.size() ? kMaxFileNameBytes - extension.size() : 0;
        // Back up over continuation bytes so no character is cut in two.
        while (keep > 0 && keep < stem.size() &&
               (static_cast<unsigned char>(stem[keep]) & 0xC0) == 0x80)
            --keep;
        stem = stem.substr(0, keep);
    }
    return std::string(stem) + std::string(extension);
}

std::filesystem::path NumberedPath(const std::filesystem::path& path, int n) {
    const std::string name = path.filename().string();
    const std::string extension = path.extension().string();
    const std::string stem = name.substr(0, name.size() - extension.size());
    const std::string suffix = " (" + std::to_string(n) + ")";
    // The number stays whole: the stem gives way to it.
    std::string fitted = FitFileName(stem, suffix + extension);
    return path.parent_path() / fitted;
}

std::string OutputName(Naming naming, std::string_view prefix, std::int64_t recordNumber,
                       std::string_view objectExtension) {
    std::string name =
        naming == Naming::FieldText ? std::string(prefix) : ApplyCounter(prefix, recordNumber);
    name += '.';
    name += objectExtension;
    return CleanBackslashes(name);
}

std::string SafeAttachmentName(std::string_view fileName) {
    std::size_t lastSeparator = fileName.find_last_of("/\\");
    const std::string_view stored =
        lastSeparator == std::string_view::npos ? fileName : fileName.substr(lastSeparator + 1);
    // Each obeyed character becomes one "_".
    std::string name;
    name.reserve(stored.size());
    for (std::size_t i = 0; i < stored.size();) {
        const std::size_t obeyed = ObeyedCharacterAt(stored, i);
        name += obeyed ? std::string_view("_") : stored.substr(i, 1);
        i += obeyed ? obeyed : 1;
    }
    if (name.size() > kMaxAttachmentNameBytes) {
        std::string extension = name.substr(StripExtension(name).size());
        if (extension.size() > kMaxAttachmentNameBytes / 2)
            extension.clear();
        std::size_t keep = kMaxAttachmentNameBytes - extension.size();
        // Back to the first byte of a UTF-8 character.
        while (keep > 0 && (static_cast<unsigned char>(name[keep]) & 0xC0) == 0x80)
            --keep;
        name = name.substr(0, keep) + extension;
    }
    if (name.find_first_not_of(". ") == std::string::npos)
        return "attachment";
    // A leading point hides the file (.bashrc); a leading dash makes it an option to the commands
    // that are given it (-rf .png).
    for (char& c : name) {
        if (c != '.' && c != '-')
            break;
        c = '_';
    }
    return name;
}

std::string FileNameExtension(std::string_view fileName) {
    const std::string name = SafeAttachmentName(fileName);
    const std::string base = StripExtension(name);
    if (base.size() == name.size())
        return {};
    std::string extension = name.substr(base.size() + 1);
    const bool plain = !extension.empty() && extension.size() <= kMaxExtensionLength &&
                       std::all_of(extension.begin(), extension.end(),
                                   [](unsigned char c) { return std::isalnum(c) != 0; });
    return plain ? extension : std::string();
}

std::string PackageFileName(std::string_view label) {
    const std::string_view text = label.substr(0, label.find('\0'));
    if (text.find_first_not_of(' ') == std::string_view::npos)
        return {};
    return SafeAttachmentName(database::Cp1252ToUtf8(text));
}

std::string NumberedName(std::string_view name, int n) {
    std::string base = StripExtension(name);
    return base + " (" + std::to_string(n) + ")" + std::string(name.substr(base.size()));
}

std::string AttachmentOutputName(Naming naming, std::string_view prefix, std::int64_t recordNumber,
                                 std::size_t index, std::size_t count, std::string_view fileName,
                                 std::string_view fileExtension) {
    if (naming == Naming::OriginalName)
        return SafeAttachmentName(fileName);
    std::string name = OutputName(naming, prefix, recordNumber, fileExtension);
    if (count < 2)
        return name;
    std::string base = StripExtension(name);
    return base + "-" + std::to_string(index + 1) + name.substr(base.size());
}

std::filesystem::path OutputNameInFolder(std::string_view nameBase, std::string_view extension) {
    std::string name = std::string(nameBase) + std::string(extension);
    std::replace(name.begin(), name.end(), '\\', '/');
    const std::size_t lastSeparator = name.rfind('/');
    const std::size_t fileNameStart = lastSeparator == std::string::npos ? 0 : lastSeparator + 1;
    if (name.size() - fileNameStart > kMaxFileNameBytes &&
        name.size() - fileNameStart >= extension.size()) {
        const std::string_view stem(name.data() + fileNameStart,
                                    name.size() - fileNameStart - extension.size());
        name = name.substr(0, fileNameStart) + FitFileName(stem, extension);
    }
    std::filesystem::path relative = std::filesystem::path(name).relative_path().lexically_normal();
    if (relative.empty() || StartsWithParent(relative) || !relative.has_filename())
        throw OutsideTheFolder(name);
    return relative;
}

std::filesystem::path OutputPathInFolder(const std::filesystem::path& folder,
                                         std::string_view nameBase, std::string_view extension) {
    const std::filesystem::path relative = OutputNameInFolder(nameBase, extension);
    std::filesystem::path path = folder / relative;
    // A name without a folder part lands in `folder` itself; only a subfolder that exists may be
    // a link leading elsewhere. Resolving the paths costs a lookup per component (and the working
    // directory for a relative folder), so a run's plain names never pay for it.
    if (!relative.has_parent_path())
        return path;
    std::error_code folderError, parentError;
    auto realFolder = std::filesystem::canonical(folder, folderError);
    auto realParent = std::filesystem::canonical(path.parent_path(), parentError);
    if (!folderError && !parentError) {
        auto inside = realParent.lexically_relative(realFolder);
        if (inside.empty() || StartsWithParent(inside))
            throw OutsideTheFolder(relative.string());
    }
    return path;
}

}  // namespace pictrova::run
