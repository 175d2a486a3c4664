// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Every output format declares itself here, once: the words that choose it on the command line,
// the wizard's option for it, the extension of its files, the converter's words and the check of
// what the converter wrote, the encoder that writes it from the loaded bitmap, the first label of
// its steps and the picture kind of its files. The naming, the run, the converter program, the
// command line and the wizard all read the row.

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "imaging/picture_encoder.h"
#include "imaging/picture_kind.h"
#include "run/extraction_options.h"

namespace pictrova::run {

// How the run writes a format: the bitmap's own BMP bytes, the JPEG encoder (with its own error
// texts), the converter's encoding (in this process, or by an external converter program), or
// every decoded object as the file it holds.
enum class OutputRoute { Bitmap, Jpeg, Converter, AsStored };

struct OutputFormatRow {
    OutputFormat format;
    OutputRoute route;
    std::string_view name;  // as messages name it ("TIFF")
    // Lower-case words that choose it on the command line (--format); the first is the usual one.
    std::array<std::string_view, 2> commandWords;
    std::string_view wizardChoice;  // the options page's radio button (object name)
    std::string_view extension;     // with its point; empty: each file keeps its own kind's
    // The converter's words after "-out" (the program's first word names the format); empty for
    // formats the run never hands to the converter. `qualityFollows`: the quality is appended.
    std::string_view converterWords;
    bool qualityFollows;
    // How files of the format begin (the converter's output is checked against them); TGA has
    // no signature and its header is checked instead.
    std::array<std::string_view, 2> signatures;
    // The encoder that writes it from our bitmap and the settings the run gives it (the quality
    // is the user's where `qualityFollows`, or for JPEG).
    std::optional<imaging::EncodedFormat> encoder;
    bool dither;
    std::uint32_t colours;  // 0: the encoder's own
    int firstLabel;         // the label of the run's test for the format; its steps follow it
    imaging::PictureKind kind;
};

// The rows, in the options page's order (Option8 .. Option15).
std::span<const OutputFormatRow> OutputFormatRows();

// The row of `format`; null for None.
const OutputFormatRow* FindOutputFormat(OutputFormat format);

// The row chosen by a command-line word (any case); null for an unknown word.
const OutputFormatRow* FindOutputFormatByWord(std::string_view word);

// The row whose converter words start with `word` ("png"); null for a format the converter
// does not write.
const OutputFormatRow* FindConverterFormat(std::string_view word);

// The converter program's word for a row ("tiff"); empty when it has none.
std::string_view ConverterWord(const OutputFormatRow& row);

// The settings the run encodes a row's format with at the user's `quality`.
imaging::EncodeSettings RunEncodeSettings(const OutputFormatRow& row, int quality);

}  // namespace pictrova::run
