// SPDX-License-Identifier: GPL-3.0-or-later
#include "ole_builder/sample_objects.h"

#include <algorithm>
#include <tuple>

#include "ole_builder/enhanced_metafiles.h"

#include "ole_builder/byte_appender.h"

namespace pictrova::fixtures {

namespace {

SampleObject Decodes(std::string name, Bytes field, std::string extension, Bytes expected) {
    SampleObject s;
    s.name = std::move(name);
    s.field = std::move(field);
    s.extension = std::move(extension);
    s.expectedFile = std::move(expected);
    return s;
}

}  // namespace

std::vector<SampleObject> AllSampleObjects() {
    std::vector<SampleObject> samples;

    struct DibVariant {
        int bits;
        std::uint32_t coloursUsed;
    };
    for (DibVariant v : {DibVariant{1, 0},
                         {4, 0},
                         {4, 5},
                         {8, 0},
                         {8, 255},
                         {8, 256},
                         {8, 17},
                         {16, 0},
                         {24, 0},
                         {32, 0}}) {
        samples.push_back(Decodes("static-dib-" + std::to_string(v.bits) + "bit-" +
                                      std::to_string(v.coloursUsed) + "-colours",
                                  BuildStaticDib(MakePackedDib(7, 5, v.bits, v.coloursUsed)), "bmp",
                                  MakeBmpFile(7, 5, v.bits, v.coloursUsed)));
    }

    // 2540 x 1270 HIMETRIC (1 x 0.5 inch) at 96 dpi: 96 x 48 pixels.
    SampleObject metafile = Decodes(
        "static-metafile", BuildStaticMetafile(MakeMetafile(200, 100), 8, 2540, 1270), "bmp", {});
    metafile.rendered = true;
    metafile.renderedWidth = 96;
    metafile.renderedHeight = 48;
    samples.push_back(metafile);
    SampleObject metafileText = metafile;
    metafileText.name = "static-metafile-text";
    metafileText.field = BuildStaticMetafile(MakeMetafile(200, 100, true), 8, 2540, 1270);
    samples.push_back(metafileText);

    PackageContents package;
    package.label = "photo";
    package.file = MakeBmpFile(9, 4);
    SampleObject packaged = Decodes("package", BuildPackage(package), "pak", package.file);
    packaged.label = "photo";
    samples.push_back(packaged);
    // The same package as systems in other languages name it: the display name in the object
    // header moves everything after it.
    struct DisplayName {
        const char* sample;
        std::string name;
    };
    for (const DisplayName& n : {DisplayName{"package-german", "Objekt-Manager-Shellobjekt"},
                                 {"package-french", "Objet Gestionnaire de paquets"},
                                 {"package-empty-name", ""},
                                 {"package-long-name", std::string(300, 'N')}}) {
        PackageContents named = package;
        named.displayName = n.name;
        SampleObject localized = packaged;
        localized.name = n.sample;
        localized.field = BuildPackage(named);
        samples.push_back(localized);
    }
    PackageContents drawing;
    drawing.label = "drawing.emf";
    drawing.file = MakeEnhancedMetafile(60, 40, EmfContent::Rectangles);
    SampleObject packagedEmf = Decodes("package-emf", BuildPackage(drawing), "pak", drawing.file);
    packagedEmf.label = drawing.label;
    samples.push_back(packagedEmf);

    const Bytes paintBmp = MakeBmpFile(11, 6);
    samples.push_back(Decodes("paint-picture", BuildPaintPicture(paintBmp), "bmp", paintBmp));

    const Bytes pdf = MakePdfFile("Pictrova");
    samples.push_back(Decodes("pdf-acrobat", BuildPdfObject(pdf), "pdf", pdf));
    samples.push_back(Decodes("pdf-foxit", BuildPdfObject(pdf, true), "pdf", pdf));
    const Bytes snapshot = MakeOpaqueFile("SNP", 500);
    samples.push_back(Decodes("snapshot", BuildSnapshotObject(snapshot), "snp", snapshot));
    const Bytes psp = MakeOpaqueFile("Paint Shop Pro Image File\n\x1a", 700);
    Bytes pspExpected = psp;
    pspExpected.resize(psp.size() + 4, 0);
    samples.push_back(Decodes("psp", BuildPspObject(psp), "psp", pspExpected));
    const Bytes tiff = MakeTiffFile(6, 4);
    samples.push_back(Decodes("imaging-tiff", BuildImagingObject(tiff), "tiff", tiff));
    const Bytes vig = MakeOpaqueFile("ViG", 300);
    samples.push_back(Decodes("paper-max-vig", BuildPaperObject(vig, true), "max", vig));
    const Bytes max = MakeOpaqueFile("MAX", 300);
    samples.push_back(Decodes("paper-max", BuildPaperObject(max, false), "max", max));
    const Bytes deskBmp = MakeBmpFile(5, 3);
    samples.push_back(Decodes("hp-desk", BuildDeskImageObject(deskBmp), "bmp", deskBmp));

    struct OfficeSample {
        OfficeKind kind;
        const char* name;
        const char* extension;
    };
    for (OfficeSample o : {OfficeSample{OfficeKind::Excel, "excel", "xls"},
                           {OfficeKind::Word, "word", "doc"},
                           {OfficeKind::WordPicture, "word-picture", "doc"},
                           {OfficeKind::PowerPoint, "powerpoint", "ppt"},
                           {OfficeKind::Visio, "visio", "vsd"}}) {
        Bytes document;
        Bytes field = BuildOfficeObject(o.kind, &document);
        samples.push_back(Decodes(o.name, std::move(field), o.extension, document));
        samples.back().storesMetafile = true;
    }

    const Bytes rtf = MakeRtfFile("Pictrova sample text");
    samples.push_back(Decodes("wordpad", BuildWordPadObject(rtf), "rtf", rtf));

    // Photo-editor pictures: the BMP files they become, built independently of the conversion.
    const std::int16_t w = 5, h = 3;
    Bytes grey = MakePhotoEditorStream(1, w, h);
    Bytes paletted = MakePhotoEditorStream(2, w, h);
    Bytes colour = MakePhotoEditorStream(3, w, h);
    auto bmpOf = [&](int type) {
        const int bits = type == 3 ? 24 : 8;
        const int stride = (bits * w / 8 + 3) / 4 * 4;
        const int table = bits == 8 ? 1024 : 0;
        Bytes file;
        ByteAppender out(file);
        out.text("BM");
        out.u32(static_cast<std::uint32_t>(54 + table + stride * h));
        out.u32(0);
        out.u32(static_cast<std::uint32_t>(54 + table));
        out.u32(40);
        out.i32(w);
        out.i32(h);
        out.u16(1);
        out.u16(static_cast<std::uint16_t>(bits));
        out.u32(0);
        out.u32(static_cast<std::uint32_t>(stride * h));
        out.zeros(16);
        for (int k = 0; bits == 8 && k < 256; ++k) {
            const Rgb c = type == 2
                              ? PaletteColour(k)
                              : Rgb{static_cast<std::uint8_t>(k), static_cast<std::uint8_t>(k),
                                    static_cast<std::uint8_t>(k)};
            out.u8(c.blue);
            out.u8(c.green);
            out.u8(c.red);
            out.u8(0);
        }
        for (int y = h - 1; y >= 0; --y) {
            for (int x = 0; x < w; ++x) {
                if (bits == 24) {
                    const Rgb c = PatternColour(x, y);
                    out.u8(c.blue);
                    out.u8(c.green);
                    out.u8(c.red);
                } else {
                    out.u8(PaletteIndex(x, y, 256));
                }
            }
            out.zeros(static_cast<std::size_t>(stride - bits * w / 8));
        }
        return file;
    };
    samples.push_back(Decodes("photo-editor-grey", BuildPhotoEditorObject(grey), "bmp", bmpOf(1)));
    samples.push_back(
        Decodes("photo-editor-paletted", BuildPhotoEditorObject(paletted), "bmp", bmpOf(2)));
    samples.push_back(
        Decodes("photo-editor-colour", BuildPhotoEditorObject(colour), "bmp", bmpOf(3)));
    samples.push_back(
        Decodes("photo-editor-scan", BuildPhotoEditorObject(colour, true), "bmp", bmpOf(3)));

    // Picture files stored without any wrapper.
    const Bytes jpeg = MakeOpaqueFile("\xFF\xD8\xFF\xE0", 200);
    const Bytes gif = MakeOpaqueFile("GIF89a", 100);
    const Bytes bigEndianTiff = MakeOpaqueFile(std::string("MM\0*", 4), 100);
    for (auto [name, file, extension] : {std::tuple{"bare-jpeg", jpeg, "jpg"},
                                         {"bare-png", MakePngFile(4, 3), "png"},
                                         {"bare-gif", gif, "gif"},
                                         {"bare-bmp", MakeBmpFile(4, 3), "bmp"},
                                         {"bare-tiff-little-endian", MakeTiffFile(4, 3), "tiff"},
                                         {"bare-tiff-big-endian", bigEndianTiff, "tiff"},
                                         {"bare-ico", MakeIcoFile(4, 4), "ico"}}) {
        SampleObject bare = Decodes(name, file, extension, file);
        bare.barePicture = true;
        samples.push_back(bare);
    }

    // Objects whose own data gives no file, with the picture stored for display after it. The
    // BMP files a DIB or a bitmap becomes carry no resolution (our builder's BMP files say 72 dpi).
    auto withoutResolution = [](Bytes bmp) {
        std::fill(bmp.begin() + 38, bmp.begin() + 46, std::uint8_t{0});
        return bmp;
    };
    auto preview = [](SampleObject s) {
        s.storedPreview = true;
        return s;
    };
    samples.push_back(
        preview(Decodes("preview-dib-word-2007",
                        BuildOpenXmlWordObject(MakeDibPresentation(MakePackedDib(6, 4, 8))), "bmp",
                        MakeBmpFile(6, 4, 8))));
    samples.push_back(preview(Decodes(
        "preview-bitmap-24bit",
        BuildUnsupportedObject("Acme.Drawing.1", MakeBitmapPresentation(MakeBitmap16(5, 3, 24))),
        "bmp", withoutResolution(MakeBmpFile(5, 3, 24)))));
    samples.push_back(
        preview(Decodes("preview-bitmap-32bit-with-pointer",
                        BuildUnsupportedObject(
                            "Acme.Drawing.1", MakeBitmapPresentation(MakeBitmap16(5, 3, 32, true))),
                        "bmp", withoutResolution(MakeBmpFile(5, 3, 32)))));
    samples.push_back(preview(Decodes(
        "preview-clipboard-dib",
        BuildUnsupportedObject("Acme.Drawing.1",
                               MakeClipboardPresentation("DIBSECTION", 8, MakePackedDib(3, 3, 4))),
        "bmp", MakeBmpFile(3, 3, 4))));
    const Bytes emf = MakeEnhancedMetafile(2540, 1270);
    samples.push_back(preview(Decodes(
        "preview-clipboard-emf",
        BuildUnsupportedObject("Acme.Drawing.1", MakeClipboardPresentation("ENHMETAFILE", 14, emf)),
        "emf", emf)));
    // A package whose file size (the four bytes before its file) claims one byte more than its
    // native data holds; the presentation follows.
    PackageContents damaged = package;
    damaged.file = Bytes(40, 0x42);
    Bytes damagedPackage = BuildPackage(damaged);
    damagedPackage[damagedPackage.size() - damaged.file.size() - 4] = 41;
    const Bytes dibPresentation = MakeDibPresentation(MakePackedDib(4, 2, 24));
    damagedPackage.insert(damagedPackage.end(), dibPresentation.begin(), dibPresentation.end());
    samples.push_back(preview(
        Decodes("preview-dib-damaged-package", damagedPackage, "bmp", MakeBmpFile(4, 2, 24))));
    // 2540 x 1270 HIMETRIC (1 x 0.5 inch) at 96 dpi: 96 x 48 pixels, as the static metafile.
    SampleObject chart = preview(Decodes(
        "preview-metafile-chart",
        BuildUnsupportedObject("MSGraph.Chart.8",
                               MakeMetafilePresentation(MakeMetafile(200, 100), 2540, 1270)),
        "bmp", {}));
    chart.rendered = true;
    chart.renderedWidth = 96;
    chart.renderedHeight = 48;
    samples.push_back(chart);

    SampleObject linked;
    linked.name = "linked";
    linked.field = BuildLinkedObject();
    linked.decodes = false;
    samples.push_back(linked);
    SampleObject unsupported;
    unsupported.name = "unsupported";
    unsupported.field = BuildUnsupportedObject();
    unsupported.decodes = false;
    samples.push_back(unsupported);
    return samples;
}

}  // namespace pictrova::fixtures
