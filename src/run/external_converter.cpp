// SPDX-License-Identifier: GPL-3.0-or-later
#include "run/external_converter.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <system_error>

#include "common/error.h"
#include "common/program_paths.h"
#include "run/output_formats.h"

namespace pictrova::run {
namespace {

char LowerAscii(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

// The formats whose output the run takes from the converter.
const OutputFormatRow* FindConvertedFormat(OutputFormat format) {
    const OutputFormatRow* row = FindOutputFormat(format);
    return row && row->route == OutputRoute::Converter ? row : nullptr;
}

constexpr std::size_t kTgaHeaderSize = 18;

bool TgaHeaderLooksRight(std::string_view head) {
    if (head.size() < kTgaHeaderSize)
        return false;
    const auto imageType = static_cast<unsigned char>(head[2]);
    const auto pixelBits = static_cast<unsigned char>(head[16]);
    const bool knownType =
        (imageType >= 1 && imageType <= 3) || (imageType >= 9 && imageType <= 11);
    return knownType && (pixelBits == 8 || pixelBits == 15 || pixelBits == 16 || pixelBits == 24 ||
                         pixelBits == 32);
}

}  // namespace

std::string ConverterFormatWords(OutputFormat format, std::int32_t quality) {
    const OutputFormatRow* row = FindOutputFormat(format);
    if (row == nullptr || row->converterWords.empty())
        return {};
    std::string words(row->converterWords);
    if (row->qualityFollows) {
        // The quality is written as an unsigned 32-bit whole number.
        words += std::to_string(static_cast<std::uint32_t>(quality));
    }
    return words;
}

std::string ConverterOutputExtension(OutputFormat format) {
    const OutputFormatRow* row = FindOutputFormat(format);
    return row && !row->converterWords.empty() ? std::string(row->extension) : std::string();
}

std::string ConverterFormatName(OutputFormat format) {
    const OutputFormatRow* row = FindConvertedFormat(format);
    return row ? std::string(row->name) : std::string();
}

bool ConverterOutputLooksRight(OutputFormat format, const std::filesystem::path& path) {
    const OutputFormatRow* row = FindConvertedFormat(format);
    if (row == nullptr)
        return false;
    std::ifstream in(path, std::ios::binary);
    std::string head(kTgaHeaderSize, '\0');
    in.read(head.data(), static_cast<std::streamsize>(head.size()));
    head.resize(static_cast<std::size_t>(in.gcount()));
    if (row->kind == imaging::PictureKind::Tga)
        return TgaHeaderLooksRight(head);
    return std::any_of(row->signatures.begin(), row->signatures.end(), [&](std::string_view magic) {
        return !magic.empty() && head.starts_with(magic);
    });
}

std::string ConverterArguments(std::string_view formatWords, const std::string& outputPath,
                               const std::string& inputPath) {
    std::string args = " -out ";
    args += formatWords;
    args += " -o \"";
    args += outputPath;
    args += "\" \"";
    args += inputPath;
    args += '"';
    return args;
}

std::string ConverterCommandLine(const std::string& converterPath, std::string_view arguments) {
    std::string line = "\"";
    line += converterPath;
    line += "\" ";
    line += arguments;
    return line;
}

std::vector<std::string> ConverterArgumentVector(const std::string& converterPath,
                                                 std::string_view formatWords,
                                                 const std::string& outputPath,
                                                 const std::string& inputPath) {
    std::vector<std::string> argv = {converterPath, "-out"};
    for (std::string& word : SplitCommandLine(formatWords))
        argv.push_back(std::move(word));
    argv.push_back("-o");
    argv.push_back(outputPath);
    argv.push_back(inputPath);
    return argv;
}

std::string ReplaceExtensionWithBmp(std::string_view workFilePath, std::string_view extension) {
    std::string needle = ".";
    needle += extension;
    for (char& c : needle)
        c = LowerAscii(c);
    std::string result;
    std::size_t i = 0;
    while (i < workFilePath.size()) {
        bool match = i + needle.size() <= workFilePath.size();
        for (std::size_t k = 0; match && k < needle.size(); ++k) {
            match = LowerAscii(workFilePath[i + k]) == needle[k];
        }
        if (match && needle.size() > 1) {
            result += ".bmp";
            i += needle.size();
        } else {
            result.push_back(workFilePath[i++]);
        }
    }
    return result;
}

void KillFile(Host& host, const std::filesystem::path& path) noexcept {
    try {
        host.Yield();
    } catch (...) {
    }
    std::error_code ec;
    if (std::filesystem::remove(path, ec) || !ec)
        return;
    try {
        ForceDeleteFile(path);
    } catch (...) {
    }
}

void ForceDeleteFile(const std::filesystem::path& path) {
    namespace fs = std::filesystem;
    std::error_code ec;
    fs::permissions(path, fs::perms::owner_write,
                    fs::perm_options::add | fs::perm_options::nofollow, ec);
    if (fs::remove(path, ec))
        return;
    if (!ec && !fs::exists(fs::symlink_status(path, ec)))
        return;
    throw Error("Cannot delete " + path.string() + ": " + (ec ? ec.message() : "still present"));
}

std::filesystem::path ExternalConverterFromEnvironment() {
    const char* value = std::getenv(kConverterVariable);
    return value ? std::filesystem::path(value) : std::filesystem::path();
}

std::optional<std::filesystem::path> LocateConverter() {
    return LocateConverter(ProgramDirectory());
}

std::optional<std::filesystem::path> LocateConverter(
    const std::filesystem::path& programDirectory) {
    if (programDirectory.empty())
        return std::nullopt;
    const std::filesystem::path candidates[] = {
        programDirectory / kConverterProgramName,
        programDirectory / ".." / "libexec" / "pictrova" / kConverterProgramName,
    };
    for (const auto& candidate : candidates) {
        if (access(candidate.c_str(), X_OK) == 0)
            return candidate.lexically_normal();
    }
    return std::nullopt;
}

}  // namespace pictrova::run
