// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The decoder's dispatch table: the first seven characters of the class name select how the
// object's data becomes a file. Rows are tested in order; the comparison is exact and
// case-sensitive, and a class name matches a row when it begins with the row's prefix.

#include <array>
#include <optional>
#include <string_view>

namespace pictrova::ole {

enum class ClassFamily { StaticPresentation, Package, CompoundDocument, PaintPicture };

struct ClassRow {
    std::string_view prefix;  // seven characters
    ClassFamily family;
    std::string_view extension;   // for "PSP7.Im" assigned only by its fix-up
    std::string_view fixUpKey;    // how the extracted stream becomes the file
    std::string_view streamName;  // the compound-document stream that holds the data
};

inline constexpr std::size_t kClassPrefixLength = 7;

inline constexpr std::array<ClassRow, 17> kClassTable = {{
    {"OT_STAT", ClassFamily::StaticPresentation, "bmp", "", ""},
    {"Package", ClassFamily::Package, "pak", "", ""},
    {"AcroExc", ClassFamily::CompoundDocument, "pdf", "pdf", "CONTENTS"},
    {"FoxitRe", ClassFamily::CompoundDocument, "pdf", "pdf", "CONTENTS"},
    {"Snapsho", ClassFamily::CompoundDocument, "snp", "snp", "CONTENTS"},
    {"PSP7.Im", ClassFamily::CompoundDocument, "psp", "psp", "CONTENTS"},
    {"Imaging", ClassFamily::CompoundDocument, "tiff", "tiff", "CONTENTS"},
    {"Paper.d", ClassFamily::CompoundDocument, "max", "max", "CONTENTS"},
    {"HP.Desk", ClassFamily::CompoundDocument, "bmp", "hpd", "Ole10Native"},
    {"Excel.S", ClassFamily::CompoundDocument, "xls", "xls", "WorkBook"},
    {"Word.Do", ClassFamily::CompoundDocument, "doc", "doc", "WordDocument"},
    {"Word.Pi", ClassFamily::CompoundDocument, "doc", "doc", "WordDocument"},
    {"PowerPo", ClassFamily::CompoundDocument, "ppt", "ppt", "PowerPoint Document"},
    {"Visio.D", ClassFamily::CompoundDocument, "vsd", "vsd", "VisioDocument"},
    {"Wordpad", ClassFamily::CompoundDocument, "rtf", "rtf", "CONTENTS"},
    {"MSPhoto", ClassFamily::CompoundDocument, "bmp", "bmp", "CONTENTS"},
    {"Paint.P", ClassFamily::PaintPicture, "bmp", "", ""},
}};

// The row whose prefix equals the first seven characters of `className` (all of it if shorter).
inline std::optional<ClassRow> FindClassRow(std::string_view className) {
    const std::string_view key = className.substr(0, kClassPrefixLength);
    for (const ClassRow& row : kClassTable) {
        if (row.prefix == key)
            return row;
    }
    return std::nullopt;
}

}  // namespace pictrova::ole
