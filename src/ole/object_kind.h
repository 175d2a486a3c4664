// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The kinds of file the decoder takes out of an object, each with the extension its file is
// given and, for the kinds that are documents rather than pictures, how a report names them.

#include <cstddef>
#include <iterator>
#include <string_view>

namespace pictrova::ole {

enum class ObjectKind {
    None,  // no file
    Bmp,
    Emf,
    Jpeg,
    Png,
    Gif,
    Tiff,
    Ico,
    Pdf,
    Snapshot,
    PaintShopPro,
    ScannedPaper,
    Workbook,
    WordDocument,
    Presentation,
    VisioDrawing,
    Rtf,
    Package,  // any file, named by the package's own name
};

struct ObjectKindRow {
    ObjectKind kind;
    std::string_view extension;      // lower case, no point
    std::string_view documentWords;  // empty for kinds that may hold a picture
};

// In the order of the enum (checked by a static_assert below).
inline constexpr ObjectKindRow kObjectKinds[] = {
    {ObjectKind::None, "", ""},
    {ObjectKind::Bmp, "bmp", ""},
    {ObjectKind::Emf, "emf", ""},
    {ObjectKind::Jpeg, "jpg", ""},
    {ObjectKind::Png, "png", ""},
    {ObjectKind::Gif, "gif", ""},
    {ObjectKind::Tiff, "tiff", ""},
    {ObjectKind::Ico, "ico", ""},
    {ObjectKind::Pdf, "pdf", "a PDF document"},
    {ObjectKind::Snapshot, "snp", ""},
    {ObjectKind::PaintShopPro, "psp", ""},
    {ObjectKind::ScannedPaper, "max", "a scanned-paper document"},
    {ObjectKind::Workbook, "xls", "an Excel workbook"},
    {ObjectKind::WordDocument, "doc", "a Word document"},
    {ObjectKind::Presentation, "ppt", "a PowerPoint presentation"},
    {ObjectKind::VisioDrawing, "vsd", "a Visio drawing"},
    {ObjectKind::Rtf, "rtf", "an RTF document"},
    {ObjectKind::Package, "pak", "a packaged file"},
};

constexpr bool ObjectKindsFollowTheEnum() {
    for (std::size_t i = 0; i < std::size(kObjectKinds); ++i)
        if (static_cast<std::size_t>(kObjectKinds[i].kind) != i)
            return false;
    return std::size(kObjectKinds) == static_cast<std::size_t>(ObjectKind::Package) + 1;
}
static_assert(ObjectKindsFollowTheEnum(), "kObjectKinds must list every kind in the enum's order");

constexpr std::string_view KindExtension(ObjectKind kind) {
    return kObjectKinds[static_cast<std::size_t>(kind)].extension;
}

constexpr std::string_view DocumentWords(ObjectKind kind) {
    return kObjectKinds[static_cast<std::size_t>(kind)].documentWords;
}

}  // namespace pictrova::ole
