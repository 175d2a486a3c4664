// SPDX-License-Identifier: GPL-3.0-or-later
#include "ole_builder/sample_objects.h"

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
    for (DibVariant v : {DibVariant{1, 0}, {4, 0}, {4, 5}, {8, 0}, {8, 255}, {8, 256}, {8, 17}, {16, 0}, {24, 0}, {32, 0}}) {
        samples.push_back(Decodes("static-dib-" + std::to_string(v.bits) + "bit-" + std::to_string(v.coloursUsed) + "-colours",
                                  BuildStaticDib(MakePackedDib(7, 5, v.bits, v.coloursUsed)), "bmp",
                                  MakeBmpFile(7, 5, v.bits, v.coloursUsed)));
    }

    // 2540 x 1270 HIMETRIC (1 x 0.5 inch) at 96 dpi: 96 x 48 pixels.
    SampleObject metafile = Decodes("static-metafile", BuildStaticMetafile(MakeMetafile(200, 100), 8, 2540, 1270), "bmp", {});
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
    packaged.label = std::string("photo") + '\0';
    samples.push_back(packaged);
    PackageContents drawing;
    drawing.label = "drawing.emf";
    drawing.file = MakeEnhancedMetafile(60, 40, EmfContent::Rectangles);
    SampleObject packagedEmf = Decodes("package-emf", BuildPackage(drawing), "pak", drawing.file);
    packagedEmf.label = drawing.label + '\0';
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
    for (OfficeSample o : {OfficeSample{OfficeKind::Excel, "excel", "xls"}, {OfficeKind::Word, "word", "doc"},
                           {OfficeKind::WordPicture, "word-picture", "doc"}, {OfficeKind::PowerPoint, "powerpoint", "ppt"},
                           {OfficeKind::Visio, "visio", "vsd"}}) {
        Bytes document;
        Bytes field = BuildOfficeObject(o.kind, &document);
        samples.push_back(Decodes(o.name, std::move(field), o.extension, document));
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
            const Rgb c = type == 2 ? PaletteColour(k) : Rgb{static_cast<std::uint8_t>(k), static_cast<std::uint8_t>(k), static_cast<std::uint8_t>(k)};
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
    samples.push_back(Decodes("photo-editor-paletted", BuildPhotoEditorObject(paletted), "bmp", bmpOf(2)));
    samples.push_back(Decodes("photo-editor-colour", BuildPhotoEditorObject(colour), "bmp", bmpOf(3)));
    samples.push_back(Decodes("photo-editor-scan", BuildPhotoEditorObject(colour, true), "bmp", bmpOf(3)));

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
