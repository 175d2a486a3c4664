// SPDX-License-Identifier: GPL-3.0-or-later
#include "sample_database.h"

#include "drawn_pictures.h"
#include "ole_builder/ole_fields.h"
#include "ole_builder/pictures.h"

namespace pictrova::sample {

namespace {

using jet::ColumnType;
using jet::Value;

constexpr std::size_t kBmpFileHeaderSize = 14;
constexpr std::uint16_t kAnisotropic = 8;  // metafile mapping mode MM_ANISOTROPIC

Bytes PackedDib(const Bytes& bmpFile) {
    return Bytes(bmpFile.begin() + kBmpFileHeaderSize, bmpFile.end());
}

struct Entry {
    const char* caption;
    Value picture;
};

std::vector<Entry> Pictures() {
    DrawnPicture sunset{320, 240, "#1e3c78", "#f0a040", 0, "Sunset"};
    DrawnPicture sea{320, 240, "#003049", "#90e0ef", 1, "Sea"};
    DrawnPicture meadow{240, 180, "#a8dadc", "#2d6a4f", 2, "Meadow"};
    DrawnPicture night{300, 200, "#03045e", "#7209b7", 3, "Night"};
    DrawnPicture dawn{200, 200, "#ffafcc", "#ffd166", 4, "Dawn"};
    DrawnPicture storm{256, 192, "#343a40", "#adb5bd", 5, "Storm"};

    fixtures::PackageContents png;
    png.label = "sea.png";
    png.sourcePath = "C:\\Pictures\\sea.png";
    png.tempPath = "C:\\Users\\Sample\\AppData\\Local\\Temp\\sea.png";
    png.file = DrawPicture(sea, "PNG");
    fixtures::PackageContents jpeg;
    jpeg.label = "meadow.jpg";
    jpeg.sourcePath = "C:\\Pictures\\meadow.jpg";
    jpeg.tempPath = "C:\\Users\\Sample\\AppData\\Local\\Temp\\meadow.jpg";
    jpeg.file = DrawPicture(meadow, "JPEG");
    fixtures::PackageContents gif;
    gif.label = "dawn.gif";
    gif.sourcePath = "C:\\Pictures\\dawn.gif";
    gif.tempPath = "C:\\Users\\Sample\\AppData\\Local\\Temp\\dawn.gif";
    gif.file = DrawPicture(dawn, "GIF");
    DrawnPicture harbour{280, 210, "#0b3954", "#bfd7ea", 3, "Hafen"};
    fixtures::PackageContents german;
    german.displayName = "Objekt-Manager-Shellobjekt";  // a package saved by a German system
    german.label = "Hafen.jpg";
    german.sourcePath = "C:\\Bilder\\Hafen.jpg";
    german.tempPath = "C:\\Users\\Beispiel\\AppData\\Local\\Temp\\Hafen.jpg";
    german.file = DrawPicture(harbour, "JPEG");
    DrawnPicture beach{240, 160, "#48cae4", "#ffe8a3", 1, "Beach"};

    return {
        {"Sunset (paint picture)", fixtures::BuildPaintPicture(DrawPicture(sunset, "BMP3"))},
        {"Night (bitmap, 24 bits)",
         fixtures::BuildStaticDib(PackedDib(DrawPicture(night, "BMP3")))},
        {"Pattern (bitmap, 256 colours)",
         fixtures::BuildStaticDib(fixtures::MakePackedDib(160, 120, 8))},
        {"Pattern (bitmap, 16 colours)",
         fixtures::BuildStaticDib(fixtures::MakePackedDib(160, 120, 4))},
        {"Shapes (metafile drawing)",
         fixtures::BuildStaticMetafile(fixtures::MakeMetafile(400, 300, true), kAnisotropic, 8000,
                                       6000)},
        {"Sea (packaged PNG file)", fixtures::BuildPackage(png)},
        {"Meadow (packaged JPEG file)", fixtures::BuildPackage(jpeg)},
        {"Dawn (packaged GIF file)", fixtures::BuildPackage(gif)},
        {"Colour photo (photo editor)",
         fixtures::BuildPhotoEditorObject(fixtures::MakePhotoEditorStream(3, 200, 150))},
        {"Grey photo (photo editor)",
         fixtures::BuildPhotoEditorObject(fixtures::MakePhotoEditorStream(1, 200, 150))},
        {"Storm (scanned TIFF document)", fixtures::BuildImagingObject(DrawPicture(storm, "TIFF"))},
        {"Desk scan (scanner image)",
         fixtures::BuildDeskImageObject(fixtures::MakeDrawnBmpFile(200, 150, 2))},
        {"Harbour (packaged JPEG file, German system)", fixtures::BuildPackage(german)},
        {"Report (Word 2007 document, its stored preview)",
         fixtures::BuildOpenXmlWordObject(
             fixtures::MakeMetafilePresentation(fixtures::MakeMetafile(400, 300), 8000, 6000))},
        {"Beach (JPEG file without a wrapper)", DrawPicture(beach, "JPEG")},
        {"No picture", jet::Null},
        {"Drawing of an unknown kind", fixtures::BuildUnsupportedObject()},
        {"Linked picture", fixtures::BuildLinkedObject()},
    };
}

std::vector<Entry> RawPhotos() {
    return {
        {"Evening sky (JPEG)",
         DrawPicture({640, 480, "#14213d", "#fca311", 0, "Evening sky"}, "JPEG")},
        {"Shapes (PNG)", DrawPicture({320, 240, "#e9ecef", "#6c757d", 1, "Shapes"}, "PNG")},
        {"Thumbnail (JPEG)", DrawPicture({160, 120, "#264653", "#e9c46a", 2, ""}, "JPEG")},
        {"Icon (PNG)", DrawPicture({64, 64, "#ffffff", "#118ab2", 3, ""}, "PNG")},
    };
}

jet::TablePlan Table(const char* name, const char* pictureColumn, std::vector<Entry> entries) {
    jet::TablePlan table{name,
                         {{"ID", ColumnType::Long},
                          {"Caption", ColumnType::Text, 100},
                          {pictureColumn, ColumnType::OleObject}},
                         {}};
    std::int64_t id = 1;
    for (Entry& entry : entries)
        table.rows.push_back({id++, std::string(entry.caption), std::move(entry.picture)});
    return table;
}

jet::AttachmentPlan Attached(const char* name, const char* type, Bytes content) {
    // Stored as Access stores them: files of kinds that are compressed already as they are,
    // everything else deflated.
    std::string kind = type;
    bool compressed = kind == "jpg" || kind == "png" || kind == "gif";
    return {name, type, std::move(content), !compressed, std::nullopt};
}

jet::TablePlan AttachedPhotos() {
    jet::TablePlan table{"Attached Photos",
                         {{"ID", ColumnType::Long},
                          {"Caption", ColumnType::Text, 100},
                          {"Photos", ColumnType::Attachment}},
                         {}};
    table.rows.push_back(
        {std::int64_t{1}, std::string("Three pictures"),
         jet::Attachments{
             Attached("harbour.jpg", "jpg",
                      DrawPicture({400, 300, "#023e8a", "#caf0f8", 0, "Harbour"}, "JPEG")),
             Attached("hills.png", "png",
                      DrawPicture({320, 240, "#d8f3dc", "#40916c", 1, "Hills"}, "PNG")),
             Attached("lantern.bmp", "bmp",
                      DrawPicture({160, 120, "#240046", "#ff9e00", 2, ""}, "BMP3"))}});
    table.rows.push_back({std::int64_t{2}, std::string("No attachments"), jet::Attachments{}});
    const std::string notes = "Notes about the pictures in this table.\n";
    table.rows.push_back(
        {std::int64_t{3}, std::string("A document"),
         jet::Attachments{Attached("notes.txt", "txt", Bytes(notes.begin(), notes.end()))}});
    table.rows.push_back(
        {std::int64_t{4}, std::string("One picture"),
         jet::Attachments{Attached("field.gif", "gif",
                                   DrawPicture({200, 150, "#fefae0", "#bc6c25", 3, ""}, "GIF"))}});
    return table;
}

}  // namespace

jet::DatabasePlan SampleAccdb() {
    jet::DatabasePlan plan = SampleDatabase();
    plan.format = jet::Format::Ace12;
    plan.tables.push_back(AttachedPhotos());
    return plan;
}

jet::DatabasePlan SampleDatabase() {
    jet::DatabasePlan plan;
    plan.format = jet::Format::Jet4;
    plan.tables.push_back(Table("Pictures", "Picture", Pictures()));
    plan.tables.push_back(Table("Raw Photos", "Photo", RawPhotos()));
    return plan;
}

}  // namespace pictrova::sample
