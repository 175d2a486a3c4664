// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Builders of OLE Object field values, laid out the way the database engine stores them, for
// every class the decoder knows (and a few it must refuse).
//
// Embedded object (object type 2):
//    0  u16 signature 0x1C15
//    2  i16 header size = 20 + object name length + class name length
//    4  i32 object type
//    8  i16 object name length (with its zero)    10  i16 class name length (with its zero)
//   12  i16 object name offset (20)               14  i16 class name offset (20 + object name
//   length) 16  i16 width -1, i16 height -1 20  object name, zero; class name, zero then the
//   OLE 1.0 object:
//       u32 version 0x0501, u32 format id (2 embedded), u32 OLE 1.0 class name length,
//       OLE 1.0 class name with its zero, u32 topic name length 0, u32 item name length 0,
//       u32 native data size, native data
//   then, optionally, a presentation object (the Make...Presentation builders below).
// The native data starts at header size + class name length + 24 when the OLE 1.0 class name is
// the header's class name. Some classes use a different OLE 1.0 class name, which moves it:
//   "Paint.Picture" is stored with "PBrush" (native data at header size + 31);
//   "MSPhotoEdScan.3" is stored with "MSPhotoEd.3" (4 bytes earlier than the sum says).
//
// Static picture (object type 3): object and class name "Pic" (header size 28), then the
// presentation object: u32 version 0x0501, u32 format id 3, u32 format name length, format name
// with its zero at offset 40 ("DIB" or "METAFILEPICT"), i32 width, i32 height (HIMETRIC),
// i32 data size, data. DIB data is a packed DIB; metafile data is u16 mapping mode,
// u16 x extent, u16 y extent, u16 handle 0, then the metafile bits.
//
// Package: class name "Package", object (display) name "Package" as an English system stores
// it (header size 36, native data size at 64) or the name of another language; native data: u16
// type 2, label, zero, source path, zero, u16 0, u16 3 (4 bytes), u32 temporary-path length,
// temporary path with its zero, u32 file size, the file.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "ole_builder/compound_writer.h"
#include "ole_builder/pictures.h"

namespace pictrova::fixtures {

struct EmbeddedObject {
    std::string className;                  // in the object header
    std::string ole1ClassName;              // in the OLE 1.0 header; empty means className
    std::optional<std::string> objectName;  // the display name; none means className
    std::int32_t objectType = 2;
    Bytes nativeData;
    Bytes presentation;  // appended after the native data
};

// The generic layout above; every builder below is one of these.
Bytes BuildEmbeddedObject(const EmbeddedObject& object);

// OLE 1.0 presentation objects (what the engine stores after native data so that forms can show
// the object without its server): u32 version 0x0501, u32 format id 5, the class name as a u32
// count and the name with its zero, then
//   "METAFILEPICT": i32 width, i32 -height, u32 size + 8, u16 mapping mode 8, u16 x extent,
//                   u16 y extent, u16 handle 0, the metafile;
//   "DIB", "BITMAP": i32 width, i32 height, u32 size, the packed DIB or the Bitmap16;
//   any other class (a generic presentation): u32 clipboard format, u32 size, the data.
// Width and height are in hundredths of a millimetre.
Bytes MakeMetafilePresentation(const Bytes& metafile, std::uint16_t xExtent, std::uint16_t yExtent);
Bytes MakeDibPresentation(const Bytes& packedDib, std::int32_t width = 2540,
                          std::int32_t height = 2540);
Bytes MakeBitmapPresentation(const Bytes& bitmap16, std::int32_t width = 2540,
                             std::int32_t height = 2540);
Bytes MakeClipboardPresentation(const std::string& className, std::uint32_t clipboardFormat,
                                const Bytes& data);
// The four bytes a value carries when the object stores no presentation (format id 0).
Bytes MakeNoPresentation();

// Static pictures (dispatch row "OT_STAT").
Bytes BuildStaticDib(const Bytes& packedDib);
Bytes BuildStaticMetafile(const Bytes& metafile, std::uint16_t mappingMode, std::uint16_t xExtent,
                          std::uint16_t yExtent);
// The general static form, for any presentation format name and data.
Bytes BuildStaticPresentation(const std::string& formatName, const Bytes& data);

struct PackageContents {
    std::optional<std::string> displayName;  // the object header's name; none means "Package"
    std::string label = "photo.png";
    std::string sourcePath = "C:\\Pictures\\photo.png";
    std::string tempPath = "C:\\Temp\\photo.png";
    Bytes file;
};
Bytes BuildPackage(const PackageContents& contents);

// A paint picture: the BMP file as native data (dispatch row "Paint.P").
Bytes BuildPaintPicture(const Bytes& bmpFile);

// A compound-document object: `className` in the headers, `document` as native data.
Bytes BuildCompoundObject(const std::string& className, const Bytes& document,
                          const std::string& ole1ClassName = "");

// Compound documents as each class keeps its data.
//   CONTENTS classes: the root holds "CONTENTS" (plus "\x01CompObj" like real objects).
Bytes MakeContentsDocument(const Bytes& contents);
//   "HP.Desk": a child storage holding "\x01Ole10Native" = u32 size + data.
Bytes MakeOle10NativeDocument(const Bytes& data, bool inChildStorage = true);
//   Office documents: the root holds `mainStream` plus a second stream, as real ones do.
Bytes MakeOfficeDocument(const std::string& mainStream, const Bytes& mainData);

// The streams the fix-ups expect, wrapping a file:
Bytes MakeImagingContents(const Bytes& tiffFile);         // 234-byte prefix + file
Bytes MakePaperContents(const Bytes& maxFile, bool vig);  // "ViG" file whole, or 64-byte prefix
Bytes MakePspContents(const Bytes& pspFile, std::size_t zeroPadding = 100);  // 36-byte prefix

// Objects of each compound class, ready to decode. The photo-editor scan class uses the
// shortened OLE 1.0 class name.
Bytes BuildPdfObject(const Bytes& pdfFile, bool foxit = false);
Bytes BuildSnapshotObject(const Bytes& snapshotFile);
Bytes BuildPspObject(const Bytes& pspFile);
Bytes BuildImagingObject(const Bytes& tiffFile);
Bytes BuildPaperObject(const Bytes& maxFile, bool vig);
Bytes BuildDeskImageObject(const Bytes& bmpFile);
Bytes BuildWordPadObject(const Bytes& rtfFile);
Bytes BuildPhotoEditorObject(const Bytes& stream, bool scan = false);
// Office objects: class "Excel.Sheet.8" + "Workbook", "Word.Document.8" + "WordDocument",
// "Word.Picture.8", "PowerPoint.Show.8" + "PowerPoint Document", "Visio.Drawing.11" +
// "VisioDocument". `document` receives the compound document the object carries.
enum class OfficeKind { Excel, Word, WordPicture, PowerPoint, Visio };
Bytes BuildOfficeObject(OfficeKind kind, Bytes* document = nullptr);

// A Word 2007 document object ("Word.Document.12"): its compound document keeps the document as
// a zip package in a "Package" stream, with no "WordDocument" stream for the decoder to take,
// followed by `presentation`.
Bytes BuildOpenXmlWordObject(const Bytes& presentation);

// Objects the decoder refuses.
Bytes BuildLinkedObject(const std::string& className = "Paint.Picture",
                        const std::string& path = "C:\\Pictures\\linked.bmp");
Bytes BuildUnsupportedObject(const std::string& className = "Acme.Drawing.1",
                             const Bytes& presentation = {});

// Placeholder file contents for formats we do not draw (snapshot, PSP, MAX): a recognisable
// signature followed by `size` bytes of a non-zero pattern.
Bytes MakeOpaqueFile(const std::string& signature, std::size_t size);

}  // namespace pictrova::fixtures
