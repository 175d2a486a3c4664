// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// pictrova-convert: converts one picture file into BMP, PNG, GIF, TIFF, TGA or PCX. It takes the
// converter arguments exactly as the run builds them:
//
//   -out FORMAT [format words] -o "OUTPUT" "INPUT"
//
// with the format words of the run's table: "bmp", "png -q N", "gif -dither -colors 256",
// "tiff", "tga", "pcx". The arguments come split (as the run starts the program) or as the
// whole line in one argument. The input's kind is found from its content. The output is
// written under a temporary name beside OUTPUT and renamed into place, so a failed conversion
// never leaves a partial file.
//
// Exit status: 0 converted; 1 the conversion failed; 2 the arguments are not understood. Every
// failure prints one line on standard error.

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "common/error.h"
#include "imaging/picture_encoder.h"

namespace pictrova::converter {

using OutputKind = imaging::EncodedFormat;

struct ConversionRequest {
    OutputKind output = OutputKind::Bmp;
    std::optional<std::uint32_t> quality;  // "-q N"
    bool dither = false;                   // "-dither"
    std::optional<std::uint32_t> colours;  // "-colors N"
    std::filesystem::path outputPath;
    std::filesystem::path inputPath;
};

// Arguments that do not follow the converter's grammar.
class UsageError : public Error {
  public:
    using Error::Error;
};

// Parses the arguments after the program name. A single argument is taken as the whole line
// and split the way the run splits it. Throws UsageError.
ConversionRequest ParseConverterArguments(const std::vector<std::string>& args);

// Reads the input, converts it through the core's encoder (the one the run calls in-process)
// and writes the output. Throws Error with a one-line reason;
// nothing is left at the output path then.
void Convert(const ConversionRequest& request);

// The program: parses, converts, reports. Returns the exit status.
int ConverterMain(const std::vector<std::string>& args);

}  // namespace pictrova::converter
