// SPDX-License-Identifier: GPL-3.0-or-later
#include "ole_builder/ole_fields.h"

#include <stdexcept>

#include "ole_builder/byte_appender.h"

namespace pictrova::fixtures {

namespace {

constexpr std::uint16_t kObjectSignature = 0x1C15;
constexpr std::uint32_t kOle1Version = 0x0501;
constexpr std::uint32_t kFormatEmbedded = 2;
constexpr std::uint32_t kFormatStatic = 3;
constexpr std::uint32_t kFormatPresentation = 5;

void AppendObjectHeader(ByteAppender& out, const std::string& objectName,
                        const std::string& className, std::int32_t objectType) {
    const auto objectNameLength = static_cast<std::int16_t>(objectName.size() + 1);
    const auto classNameLength = static_cast<std::int16_t>(className.size() + 1);
    out.u16(kObjectSignature);
    out.i16(static_cast<std::int16_t>(20 + objectNameLength + classNameLength));
    out.i32(objectType);
    out.i16(objectNameLength);
    out.i16(classNameLength);
    out.i16(20);
    out.i16(static_cast<std::int16_t>(20 + objectNameLength));
    out.i16(-1);
    out.i16(-1);
    out.zeroTerminated(objectName);
    out.zeroTerminated(className);
}

// A compound-document stream of the kind real objects carry beside their data; its content is
// not read by anyone.
CompoundNode CompObjStream() {
    Bytes data = {1, 0, 0xFE, 0xFF, 3, 0x0A, 0, 0};
    data.resize(28, 0xFF);
    return CompoundNode::Stream(
        "\x01"
        "CompObj",
        data);
}

Bytes NonZeroPattern(std::size_t size, std::uint8_t seed) {
    Bytes bytes(size);
    for (std::size_t i = 0; i < size; ++i)
        bytes[i] = static_cast<std::uint8_t>((i * 31 + seed) % 251 + 1);
    return bytes;
}

void AppendPresentationHeader(ByteAppender& out, const std::string& className) {
    out.u32(kOle1Version);
    out.u32(kFormatPresentation);
    out.u32(static_cast<std::uint32_t>(className.size() + 1));
    out.zeroTerminated(className);
}

Bytes SizedPresentation(const std::string& className, const Bytes& data, std::int32_t width,
                        std::int32_t height) {
    Bytes block;
    ByteAppender out(block);
    AppendPresentationHeader(out, className);
    out.i32(width);
    out.i32(height);
    out.u32(static_cast<std::uint32_t>(data.size()));
    out.bytes(data);
    return block;
}

}  // namespace

Bytes BuildEmbeddedObject(const EmbeddedObject& object) {
    const std::string& objectName = object.objectName ? *object.objectName : object.className;
    const std::string& ole1Name =
        object.ole1ClassName.empty() ? object.className : object.ole1ClassName;
    Bytes field;
    ByteAppender out(field);
    AppendObjectHeader(out, objectName, object.className, object.objectType);
    out.u32(kOle1Version);
    out.u32(kFormatEmbedded);
    out.u32(static_cast<std::uint32_t>(ole1Name.size() + 1));
    out.zeroTerminated(ole1Name);
    out.u32(0);  // topic name length
    out.u32(0);  // item name length
    out.u32(static_cast<std::uint32_t>(object.nativeData.size()));
    out.bytes(object.nativeData);
    out.bytes(object.presentation);
    return field;
}

Bytes MakeMetafilePresentation(const Bytes& metafile, std::uint16_t xExtent,
                               std::uint16_t yExtent) {
    Bytes block;
    ByteAppender out(block);
    AppendPresentationHeader(out, "METAFILEPICT");
    out.i32(xExtent);
    out.i32(-static_cast<std::int32_t>(yExtent));
    out.u32(static_cast<std::uint32_t>(metafile.size() + 8));
    out.u16(8);  // MM_ANISOTROPIC
    out.u16(xExtent);
    out.u16(yExtent);
    out.u16(0);
    out.bytes(metafile);
    return block;
}

Bytes MakeDibPresentation(const Bytes& packedDib, std::int32_t width, std::int32_t height) {
    return SizedPresentation("DIB", packedDib, width, height);
}

Bytes MakeBitmapPresentation(const Bytes& bitmap16, std::int32_t width, std::int32_t height) {
    return SizedPresentation("BITMAP", bitmap16, width, height);
}

Bytes MakeClipboardPresentation(const std::string& className, std::uint32_t clipboardFormat,
                                const Bytes& data) {
    Bytes block;
    ByteAppender out(block);
    AppendPresentationHeader(out, className);
    out.u32(clipboardFormat);
    out.u32(static_cast<std::uint32_t>(data.size()));
    out.bytes(data);
    return block;
}

Bytes MakeNoPresentation() {
    Bytes block;
    ByteAppender out(block);
    out.u32(kOle1Version);
    out.u32(0);
    return block;
}

Bytes BuildStaticPresentation(const std::string& formatName, const Bytes& data) {
    Bytes field;
    ByteAppender out(field);
    AppendObjectHeader(out, "Pic", "Pic", 3);
    out.u32(kOle1Version);
    out.u32(kFormatStatic);
    out.u32(static_cast<std::uint32_t>(formatName.size() + 1));
    out.zeroTerminated(formatName);
    out.i32(2540);  // width and height in HIMETRIC: not read by the decoder
    out.i32(2540);
    out.u32(static_cast<std::uint32_t>(data.size()));
    out.bytes(data);
    return field;
}

Bytes BuildStaticDib(const Bytes& packedDib) {
    return BuildStaticPresentation("DIB", packedDib);
}

Bytes BuildStaticMetafile(const Bytes& metafile, std::uint16_t mappingMode, std::uint16_t xExtent,
                          std::uint16_t yExtent) {
    Bytes data;
    ByteAppender out(data);
    out.u16(mappingMode);
    out.u16(xExtent);
    out.u16(yExtent);
    out.u16(0);
    out.bytes(metafile);
    return BuildStaticPresentation("METAFILEPICT", data);
}

Bytes BuildPackage(const PackageContents& contents) {
    Bytes native;
    ByteAppender out(native);
    out.u16(2);
    out.zeroTerminated(contents.label);
    out.zeroTerminated(contents.sourcePath);
    out.u16(0);
    out.u16(3);
    out.u32(static_cast<std::uint32_t>(contents.tempPath.size() + 1));
    out.zeroTerminated(contents.tempPath);
    out.u32(static_cast<std::uint32_t>(contents.file.size()));
    out.bytes(contents.file);
    return BuildEmbeddedObject({"Package", "", contents.displayName, 2, native, {}});
}

Bytes BuildPaintPicture(const Bytes& bmpFile) {
    return BuildEmbeddedObject({"Paint.Picture", "PBrush", {}, 2, bmpFile, {}});
}

Bytes BuildCompoundObject(const std::string& className, const Bytes& document,
                          const std::string& ole1ClassName) {
    return BuildEmbeddedObject({className, ole1ClassName, {}, 2, document, {}});
}

Bytes MakeContentsDocument(const Bytes& contents) {
    return WriteCompoundDocument(CompoundNode::Storage(
        "Root Entry", {CompObjStream(), CompoundNode::Stream("CONTENTS", contents)}));
}

Bytes MakeOle10NativeDocument(const Bytes& data, bool inChildStorage) {
    Bytes native;
    ByteAppender out(native);
    out.u32(static_cast<std::uint32_t>(data.size()));
    out.bytes(data);
    auto stream = CompoundNode::Stream("\x01Ole10Native", native);
    if (!inChildStorage)
        return WriteCompoundDocument(
            CompoundNode::Storage("Root Entry", {CompObjStream(), stream}));
    auto child = CompoundNode::Storage("Image", {CompObjStream(), stream});
    return WriteCompoundDocument(CompoundNode::Storage("Root Entry", {CompObjStream(), child}));
}

Bytes MakeOfficeDocument(const std::string& mainStream, const Bytes& mainData) {
    return WriteCompoundDocument(CompoundNode::Storage(
        "Root Entry", {CompObjStream(), CompoundNode::Stream(mainStream, mainData),
                       CompoundNode::Stream("\x05SummaryInformation", NonZeroPattern(200, 7))}));
}

Bytes MakeImagingContents(const Bytes& tiffFile) {
    Bytes contents = NonZeroPattern(234, 3);
    contents.insert(contents.end(), tiffFile.begin(), tiffFile.end());
    return contents;
}

Bytes MakePaperContents(const Bytes& maxFile, bool vig) {
    if (vig)
        return maxFile;
    Bytes contents = NonZeroPattern(64, 5);
    contents.insert(contents.end(), maxFile.begin(), maxFile.end());
    return contents;
}

Bytes MakePspContents(const Bytes& pspFile, std::size_t zeroPadding) {
    Bytes contents = NonZeroPattern(36, 9);
    contents.insert(contents.end(), pspFile.begin(), pspFile.end());
    contents.resize(contents.size() + zeroPadding, 0);
    return contents;
}

Bytes BuildPdfObject(const Bytes& pdfFile, bool foxit) {
    return BuildCompoundObject(foxit ? "FoxitReader.Document" : "AcroExch.Document.7",
                               MakeContentsDocument(pdfFile));
}
Bytes BuildSnapshotObject(const Bytes& snapshotFile) {
    return BuildCompoundObject("SnapshotFile", MakeContentsDocument(snapshotFile));
}
Bytes BuildPspObject(const Bytes& pspFile) {
    return BuildCompoundObject("PSP7.Image", MakeContentsDocument(MakePspContents(pspFile)));
}
Bytes BuildImagingObject(const Bytes& tiffFile) {
    return BuildCompoundObject("Imaging.Document",
                               MakeContentsDocument(MakeImagingContents(tiffFile)));
}
Bytes BuildPaperObject(const Bytes& maxFile, bool vig) {
    return BuildCompoundObject("Paper.document",
                               MakeContentsDocument(MakePaperContents(maxFile, vig)));
}
Bytes BuildDeskImageObject(const Bytes& bmpFile) {
    return BuildCompoundObject("HP.DeskImage.1", MakeOle10NativeDocument(bmpFile));
}
Bytes BuildWordPadObject(const Bytes& rtfFile) {
    return BuildCompoundObject("Wordpad.Document.1", MakeContentsDocument(rtfFile));
}
Bytes BuildPhotoEditorObject(const Bytes& stream, bool scan) {
    return BuildCompoundObject(scan ? "MSPhotoEdScan.3" : "MSPhotoEd.3",
                               MakeContentsDocument(stream), scan ? "MSPhotoEd.3" : "");
}

Bytes BuildOfficeObject(OfficeKind kind, Bytes* document) {
    struct Office {
        const char* className;
        const char* stream;
    };
    static constexpr Office kOffice[] = {
        {"Excel.Sheet.8", "Workbook"},         {"Word.Document.8", "WordDocument"},
        {"Word.Picture.8", "WordDocument"},    {"PowerPoint.Show.8", "PowerPoint Document"},
        {"Visio.Drawing.11", "VisioDocument"},
    };
    const Office& office = kOffice[static_cast<int>(kind)];
    Bytes doc =
        MakeOfficeDocument(office.stream, NonZeroPattern(3000, static_cast<std::uint8_t>(kind)));
    if (document)
        *document = doc;
    // Office objects carry a presentation after the document; the extracted file must not.
    return BuildEmbeddedObject({office.className,
                                "",
                                {},
                                2,
                                doc,
                                MakeMetafilePresentation(MakeMetafile(64, 32), 1693, 847)});
}

Bytes BuildLinkedObject(const std::string& className, const std::string& path) {
    Bytes native(path.begin(), path.end());
    native.push_back(0);
    return BuildEmbeddedObject({className, "", {}, 1, native, {}});
}

Bytes BuildOpenXmlWordObject(const Bytes& presentation) {
    Bytes zip = {'P', 'K', 3, 4};
    const Bytes body = NonZeroPattern(400, 17);
    zip.insert(zip.end(), body.begin(), body.end());
    const Bytes document = WriteCompoundDocument(CompoundNode::Storage(
        "Root Entry", {CompObjStream(), CompoundNode::Stream("Package", zip)}));
    return BuildEmbeddedObject({"Word.Document.12", "", {}, 2, document, presentation});
}

Bytes BuildUnsupportedObject(const std::string& className, const Bytes& presentation) {
    return BuildEmbeddedObject({className, "", {}, 2, NonZeroPattern(100, 11), presentation});
}

Bytes MakeOpaqueFile(const std::string& signature, std::size_t size) {
    Bytes file(signature.begin(), signature.end());
    const Bytes body = NonZeroPattern(size, 13);
    file.insert(file.end(), body.begin(), body.end());
    return file;
}

}  // namespace pictrova::fixtures
