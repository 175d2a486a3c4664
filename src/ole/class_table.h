// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The decoder's dispatch table: the first seven characters of the class name select how the
// object's data becomes a file. Rows are tested in order; the comparison is exact and
// case-sensitive, and a class name matches a row when it begins with the row's prefix.

#include <array>
#include <optional>
#include <string_view>

#include "ole/object_kind.h"

namespace pictrova::ole {

enum class ClassFamily { StaticPresentation, Package, CompoundDocument, PaintPicture };

struct ClassRow {
    std::string_view prefix;  // seven characters
    ClassFamily family;
    ObjectKind kind;              // for "PSP7.Im" assigned only by its fix-up
    std::string_view fixUpKey;    // how the extracted stream becomes the file
    std::string_view streamName;  // the compound-document stream that holds the data
};

inline constexpr std::size_t kClassPrefixLength = 7;

inline constexpr std::array<ClassRow, 17> kClassTable = {{
    {"OT_STAT", ClassFamily::StaticPresentation, ObjectKind::Bmp, "", ""},
    {"Package", ClassFamily::Package, ObjectKind::Package, "", ""},
    {"AcroExc", ClassFamily::CompoundDocument, ObjectKind::Pdf, "pdf", "CONTENTS"},
    {"FoxitRe", ClassFamily::CompoundDocument, ObjectKind::Pdf, "pdf", "CONTENTS"},
    {"Snapsho", ClassFamily::CompoundDocument, ObjectKind::Snapshot, "snp", "CONTENTS"},
    {"PSP7.Im", ClassFamily::CompoundDocument, ObjectKind::PaintShopPro, "psp", "CONTENTS"},
    {"Imaging", ClassFamily::CompoundDocument, ObjectKind::Tiff, "tiff", "CONTENTS"},
    {"Paper.d", ClassFamily::CompoundDocument, ObjectKind::ScannedPaper, "max", "CONTENTS"},
    {"HP.Desk", ClassFamily::CompoundDocument, ObjectKind::Bmp, "hpd", "Ole10Native"},
    {"Excel.S", ClassFamily::CompoundDocument, ObjectKind::Workbook, "xls", "WorkBook"},
    {"Word.Do", ClassFamily::CompoundDocument, ObjectKind::WordDocument, "doc", "WordDocument"},
    {"Word.Pi", ClassFamily::CompoundDocument, ObjectKind::WordDocument, "doc", "WordDocument"},
    {"PowerPo", ClassFamily::CompoundDocument, ObjectKind::Presentation, "ppt",
     "PowerPoint Document"},
    {"Visio.D", ClassFamily::CompoundDocument, ObjectKind::VisioDrawing, "vsd", "VisioDocument"},
    {"Wordpad", ClassFamily::CompoundDocument, ObjectKind::Rtf, "rtf", "CONTENTS"},
    {"MSPhoto", ClassFamily::CompoundDocument, ObjectKind::Bmp, "bmp", "CONTENTS"},
    {"Paint.P", ClassFamily::PaintPicture, ObjectKind::Bmp, "", ""},
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
