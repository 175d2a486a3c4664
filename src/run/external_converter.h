// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The external converter as the run uses it: the converter program (pictrova-convert, found
// beside this program or in ../libexec/pictrova/), the exact command lines of every use, the
// run-and-wait routine and the file deletion routines.
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
#include "run/extraction_options.h"

namespace pictrova::run {

// File name of the converter program.
inline constexpr std::string_view kConverterProgramName = "pictrova-convert";

// ShellAndWait's result when the process cannot be started: the start error (an errno value)
// plus this base.
inline constexpr std::int32_t kStartErrorBase = -2147221504;

// ShellAndWait's result for a process ended by a signal: 128 + the signal number, as a shell
// reports it. A process killed at the time-out therefore gives 128 + 9.
inline constexpr std::int32_t kSignalExitBase = 128;

// The longest ShellAndWait goes without yielding to the host.
inline constexpr std::chrono::milliseconds kConverterPollInterval{100};
inline constexpr std::chrono::seconds kDefaultConverterTimeout{120};

// How much of a process's error output ShellAndWait keeps (the end of it).
inline constexpr std::size_t kCapturedErrorBytes = 4096;

// The format words of each use (the table of converter arguments):
//   BMP (both conversions into BMP) "bmp ", PNG "png -q " + quality, GIF "gif  -dither -colors 256 ",
//   TIFF "tiff ", TGA "tga ", PCX "pcx ". Quality is written in decimal without sign or padding.
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

// Splits a command line into arguments: runs of spaces separate them, a double quote starts or
// ends a quoted part that is taken verbatim (spaces included), the quotes themselves are dropped.
// No other character is special.
std::vector<std::string> SplitCommandLine(std::string_view commandLine);

// The method-1 output path: `workFilePath` with every "." + `extension` replaced by ".bmp",
// ignoring case.
std::string ReplaceExtensionWithBmp(std::string_view workFilePath, std::string_view extension);

// The window style rule: missing, below 0 or above 6 gives 6. The style is kept for the record:
// a process on this platform has no window to show or hide.
std::int32_t EffectiveWindowStyle(std::optional<std::int32_t> windowStyle);

// Starts the command line (split as above) as a new process, no shell, and waits for it,
// yielding to the host at least every 100 ms; the process's end is noticed as it happens, not
// at the next 100 ms mark. Returns the exit code; 128 + signal for a process ended by a signal;
// the start error + kStartErrorBase when it cannot be started (an empty command line gives
// EINVAL). A process still running after `timeout` is killed (SIGKILL) and reaped, so the result
// is then 137.
// The process reads nothing (standard input is /dev/null), its standard output is discarded and
// its error output is captured rather than passed on to ours: when `errorLine` is given, it
// receives the last non-empty line the process wrote there (of the last kCapturedErrorBytes),
// control characters as spaces, without a leading "<program file name>: "; empty when it wrote
// none or could not be started.
std::int32_t ShellAndWait(Host& host, const std::string& commandLine,
                          std::optional<std::int32_t> windowStyle = std::nullopt,
                          std::chrono::milliseconds timeout = kDefaultConverterTimeout,
                          std::string* errorLine = nullptr);

// The same with the argument vector given directly (argv[0] is the program path).
std::int32_t ShellAndWait(Host& host, const std::vector<std::string>& argv,
                          std::optional<std::int32_t> windowStyle = std::nullopt,
                          std::chrono::milliseconds timeout = kDefaultConverterTimeout,
                          std::string* errorLine = nullptr);

// The reason line ShellAndWait gives from a process's captured error output (see above).
std::string LastErrorLine(std::string_view errorOutput, std::string_view programPath);

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
