// SPDX-License-Identifier: GPL-3.0-or-later
#include "converter/converter.h"

#include <array>
#include <charconv>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <string_view>

#include "common/command_line.h"
#include "common/file_io.h"
#include "imaging/engine_io.h"
#include "imaging/picture_encoder.h"
#include "run/output_formats.h"

namespace pictrova::converter {
namespace {

std::uint32_t ParseNumber(const std::string& text, const char* what) {
    std::uint32_t value = 0;
    auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size()) {
        throw UsageError(std::string(what) + " is not a whole number: \"" + text + "\"");
    }
    return value;
}

constexpr char kUsage[] =
    "Usage: pictrova-convert -out FORMAT [-q QUALITY] [-dither] [-colors N] -o OUTPUT INPUT\n"
    "       pictrova-convert 'LINE'   (the same words as one argument, paths in double quotes)\n"
    "Reads the picture INPUT (BMP, JPEG, GIF, PNG, TIFF, ICO, CUR, TGA, WMF, EMF, ...) and\n"
    "writes it to OUTPUT as FORMAT. The run calls the same conversion in its own process; this\n"
    "program takes the command lines it builds, for use as an external converter.\n"
    "\n"
    "  -out FORMAT   bmp, png, gif, tiff, tga or pcx (lower case)\n"
    "  -q QUALITY    png: zlib level x 10 + filter (0-99)\n"
    "  -dither       gif: dither while reducing the colours\n"
    "  -colors N     gif: at most N colours (2-256)\n"
    "  -o OUTPUT     the file to write; written whole or not at all\n"
    "  --help        this text;  --version  the version\n"
    "\n"
    "Exit status: 0 written, 1 the input could not be read or the output not written,\n"
    "2 the arguments are wrong. Every message goes to stderr, one line.\n";

}  // namespace

ConversionRequest ParseConverterArguments(const std::vector<std::string>& given) {
    std::vector<std::string> args = given;
    if (args.size() == 1)
        args = SplitCommandLine(args.front());
    // The whole command line, program path included, may come as the one argument.
    if (args.size() >= 2 && args[0] != "-out" && args[1] == "-out")
        args.erase(args.begin());

    ConversionRequest request;
    std::size_t i = 0;
    auto next = [&](const char* what) -> const std::string& {
        if (i >= args.size())
            throw UsageError(std::string("missing ") + what);
        return args[i++];
    };
    if (next("-out") != "-out")
        throw UsageError("arguments must start with -out");
    const std::string& format = next("output format");
    const run::OutputFormatRow* row = run::FindConverterFormat(format);
    if (row == nullptr || !row->encoder)
        throw UsageError("unknown output format \"" + format + "\"");
    request.output = *row->encoder;

    while (true) {
        const std::string& word = next("-o");
        if (word == "-o")
            break;
        if (word == "-q") {
            request.quality = ParseNumber(next("quality"), "quality");
        } else if (word == "-dither") {
            request.dither = true;
        } else if (word == "-colors") {
            request.colours = ParseNumber(next("colour count"), "colour count");
            if (*request.colours < 2 || *request.colours > 256)
                throw UsageError("colour count must be 2 to 256");
        } else {
            throw UsageError("unknown option \"" + word + "\"");
        }
    }
    request.outputPath = next("output path");
    request.inputPath = next("input path");
    if (i != args.size())
        throw UsageError("unexpected argument \"" + args[i] + "\"");
    if (request.outputPath.empty() || request.inputPath.empty())
        throw UsageError("empty path");
    return request;
}

void Convert(const ConversionRequest& request) {
    imaging::EncodeSettings settings;
    settings.format = request.output;
    settings.quality = request.quality;
    settings.dither = request.dither;
    settings.colours = request.colours;
    WriteFileAtomically(
        imaging::ConvertPictureBytes(imaging::ReadWholeFile(request.inputPath), settings),
        request.outputPath);
}

int ConverterMain(const std::vector<std::string>& args) {
    if (args.size() == 1 && (args[0] == "--help" || args[0] == "-h")) {
        std::fputs(kUsage, stdout);
        return 0;
    }
    try {
        Convert(ParseConverterArguments(args));
        return 0;
    } catch (const UsageError& e) {
        std::fprintf(stderr, "pictrova-convert: %s (--help shows the syntax)\n", e.what());
        return 2;
    } catch (const std::exception& e) {
        std::string reason = e.what();
        for (char& c : reason) {
            if (c == '\n' || c == '\r')
                c = ' ';
        }
        std::fprintf(stderr, "pictrova-convert: %s\n", reason.c_str());
        return 1;
    }
}

}  // namespace pictrova::converter
