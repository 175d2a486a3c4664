// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The external converter as the run uses it: the converter program (pictrova-convert, found
// beside this program or in ../libexec/pictrova/), the exact command lines of every use and the
// file deletion routines. Starting and waiting for the process is run/process.h.
//
// Command line of every call: the quoted converter path, one space, then the converter
// arguments " -out " + format words + " -o " + quoted output + " " + quoted input. The process
// is never started through a shell: the command line is split into an argument vector (quoted
// parts are taken verbatim) and started with posix_spawn, so a path can never be read as a
// command. A path holding a double quote cannot be written into the text form; build the
// vector with ConverterArgumentVector for such paths.

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "common/host.h"
#include "common/limits.h"
#include "run/extraction_options.h"
#include "run/process.h"

namespace pictrova::run {

// File name of the converter program.
inline constexpr std::string_view kConverterProgramName = "pictrova-convert";

// The format words of each use (the converter words of the format's row, run/output_formats.h):
//   BMP (both conversions into BMP) "bmp ", PNG "png -q " + quality, GIF "gif  -dither -colors 256
//   ", TIFF "tiff ", TGA "tga ", PCX "pcx ". Quality is written in decimal without sign or padding.
// Empty for None and JPG, which never go through the converter.
std::string ConverterFormatWords(OutputFormat format, std::int32_t quality);

// The output file's extension for a converter format: ".bmp", ".png", ".gif", ".tif", ".tga",
// ".pcx" (empty for None and JPG).
std::string ConverterOutputExtension(OutputFormat format);

// "PNG", "GIF", "TIFF", "TGA", "PCX" (empty for None, BMP and JPG).
std::string ConverterFormatName(OutputFormat format);

// Whether the file at `path` starts the way files of the converter format do (TGA, which has no
// signature: a header whose image type is colour-mapped, true-colour or grey, raw or RLE). A
// converter that reports success must still have written one.
bool ConverterOutputLooksRight(OutputFormat format, const std::filesystem::path& path);

// " -out " + formatWords + " -o \"" + output + "\" \"" + input + "\"".
std::string ConverterArguments(std::string_view formatWords, const std::string& outputPath,
                               const std::string& inputPath);

// "\"" + converter + "\" " + arguments (two spaces before "-out").
std::string ConverterCommandLine(const std::string& converterPath, std::string_view arguments);

// The argument vector for the same call, built from its parts (no splitting): converter,
// the format words split at spaces, "-o", output, input.
std::vector<std::string> ConverterArgumentVector(const std::string& converterPath,
                                                 std::string_view formatWords,
                                                 const std::string& outputPath,
                                                 const std::string& inputPath);

// The method-1 output path: `workFilePath` with every "." + `extension` replaced by ".bmp",
// ignoring case.
std::string ReplaceExtensionWithBmp(std::string_view workFilePath, std::string_view extension);

// Yields to the host, then deletes the file; when that fails, ForceDeleteFile. Never fails and
// never reports: a missing or undeletable file is left as it is.
void KillFile(Host& host, const std::filesystem::path& path) noexcept;

// Makes the file writable and removes it (the folder's permissions are left as they are).
// Throws Error when the file remains.
void ForceDeleteFile(const std::filesystem::path& path);

// The converter program: beside the running program, else in ../libexec/pictrova/ from it.
// Nullopt when neither exists (conversions then fail quietly: the output files do not appear).
// The external converter the user plugged in through the environment (PICTROVA_CONVERTER);
// empty when none.
inline constexpr char kConverterVariable[] = "PICTROVA_CONVERTER";
std::filesystem::path ExternalConverterFromEnvironment();

std::optional<std::filesystem::path> LocateConverter();
std::optional<std::filesystem::path> LocateConverter(const std::filesystem::path& programDirectory);

}  // namespace pictrova::run
