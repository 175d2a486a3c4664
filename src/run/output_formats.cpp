// SPDX-License-Identifier: GPL-3.0-or-later
#include "run/output_formats.h"

#include <algorithm>
#include <cctype>

namespace pictrova::run {
namespace {

using namespace std::string_view_literals;
using imaging::EncodedFormat;
using imaging::PictureKind;

// The labels: 360 BMP's test, 362 its path, 364 its bytes; 366 JPG's test, 368 its path, 370 its
// encoding; each converter format sixteen from its first (see RecordSteps::SaveThroughConverter).
constexpr OutputFormatRow kRows[] = {
    {OutputFormat::BMP,
     OutputRoute::Bitmap,
     "BMP",
     {"bmp", ""},
     "Option8",
     ".bmp",
     "bmp ",
     false,
     {"BM"sv, ""sv},
     EncodedFormat::Bmp,
     false,
     0,
     360,
     PictureKind::Bmp},
    {OutputFormat::JPG,
     OutputRoute::Jpeg,
     "JPG",
     {"jpg", "jpeg"},
     "Option9",
     ".jpg",
     "",
     false,
     {"\xFF\xD8\xFF"sv, ""sv},
     EncodedFormat::Jpeg,
     false,
     0,
     366,
     PictureKind::Jpeg},
    {OutputFormat::PNG,
     OutputRoute::Converter,
     "PNG",
     {"png", ""},
     "Option10",
     ".png",
     "png -q ",
     true,
     {"\x89PNG\r\n\x1a\n"sv, ""sv},
     EncodedFormat::Png,
     false,
     0,
     376,
     PictureKind::Png},
    {OutputFormat::GIF,
     OutputRoute::Converter,
     "GIF",
     {"gif", ""},
     "Option11",
     ".gif",
     "gif  -dither -colors 256 ",
     false,
     {"GIF87a"sv, "GIF89a"sv},
     EncodedFormat::Gif,
     true,
     256,
     392,
     PictureKind::Gif},
    {OutputFormat::TIFF,
     OutputRoute::Converter,
     "TIFF",
     {"tiff", "tif"},
     "Option12",
     ".tif",
     "tiff ",
     false,
     {"II*\0"sv, "MM\0*"sv},
     EncodedFormat::Tiff,
     false,
     0,
     408,
     PictureKind::Tiff},
    {OutputFormat::TGA,
     OutputRoute::Converter,
     "TGA",
     {"tga", ""},
     "Option13",
     ".tga",
     "tga ",
     false,
     {""sv, ""sv},
     EncodedFormat::Tga,
     false,
     0,
     424,
     PictureKind::Tga},
    {OutputFormat::PCX,
     OutputRoute::Converter,
     "PCX",
     {"pcx", ""},
     "Option14",
     ".pcx",
     "pcx ",
     false,
     {"\x0a"sv, ""sv},
     EncodedFormat::Pcx,
     false,
     0,
     440,
     PictureKind::Pcx},
    {OutputFormat::Original,
     OutputRoute::AsStored,
     "Original",
     {"original", ""},
     "Option15",
     "",
     "",
     false,
     {""sv, ""sv},
     std::nullopt,
     false,
     0,
     0,
     PictureKind::Unknown},
};

bool SameWordIgnoringCase(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) ==
                      std::tolower(static_cast<unsigned char>(y));
           });
}

}  // namespace

std::span<const OutputFormatRow> OutputFormatRows() {
    return kRows;
}

const OutputFormatRow* FindOutputFormat(OutputFormat format) {
    for (const auto& row : kRows) {
        if (row.format == format)
            return &row;
    }
    return nullptr;
}

const OutputFormatRow* FindOutputFormatByWord(std::string_view word) {
    for (const auto& row : kRows) {
        for (std::string_view w : row.commandWords) {
            if (!w.empty() && SameWordIgnoringCase(w, word))
                return &row;
        }
    }
    return nullptr;
}

std::string_view ConverterWord(const OutputFormatRow& row) {
    return row.converterWords.substr(0, row.converterWords.find(' '));
}

const OutputFormatRow* FindConverterFormat(std::string_view word) {
    for (const auto& row : kRows) {
        if (!row.converterWords.empty() && ConverterWord(row) == word)
            return &row;
    }
    return nullptr;
}

imaging::EncodeSettings RunEncodeSettings(const OutputFormatRow& row, int quality) {
    imaging::EncodeSettings settings;
    settings.format = row.encoder.value_or(EncodedFormat::Bmp);
    if (row.qualityFollows || row.route == OutputRoute::Jpeg)
        settings.quality = static_cast<std::uint32_t>(quality);
    settings.dither = row.dither;
    if (row.colours != 0)
        settings.colours = row.colours;
    return settings;
}

}  // namespace pictrova::run
