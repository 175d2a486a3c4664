// SPDX-License-Identifier: GPL-3.0-or-later
// Writes the extraction benchmark's database: one table "Pictures" (ID, Picture) whose records
// cycle through a packaged 1600 x 1200 JPEG, an 800 x 600 paint picture and a 640 x 480 static
// DIB; with a SHAPE of small or large, only paint pictures of 200 x 260 or 1600 x 1200 (the
// common case, and the one where encoding dominates); with "photos", every record is a paint
// picture of a different 1024 x 768 photo-like bitmap (the table the output formats are compared
// on); with "documents", records cycle through Word, Excel, PowerPoint and Visio objects (each with
// the small metafile preview Office stores), a PDF object and a packaged text file (the table the
// Original format and the preview fallback are measured on); with "huge", every record is a
// 7000 x 7000 24-bit paint picture (147 MB of pixels, the table one picture's peak memory is
// measured on), with "big" a 2000 x 2000 one (the table peak memory over worker counts is
// measured on); with "portraits", paint pictures of 193 x 264 photo-like bitmaps with mild noise,
// every third reduced to 252 colours (a table of staff photos, the PNG encoder's real-like set);
// with "metafiles", every record a 400 x 300 static metafile with text (drawn by the image
// engine: the table its loading is measured on); with "encrypted", the "photos" table in an Access
// 2016 .accdb encrypted with the password "bench" (Agile, AES-256, SHA-512, 100,000 key rounds:
// what Access writes). Usage: bench_extract_bench_db OUTPUT.mdb
//            [RECORDS [mixed|small|large|big|photos|documents|huge|portraits|metafiles|encrypted]]
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>

#include "common/host.h"
#include "imaging/image_engine.h"
#include "imaging/jpeg_encoder.h"
#include "imaging/picture_files.h"
#include "imaging/picture_holder.h"
#include "jet_writer/accdb_encrypt.h"
#include "jet_writer/jet_writer.h"
#include "ole_builder/ole_fields.h"
#include "ole_builder/pictures.h"
#include "photo_picture.h"

namespace {

using pictrova::fixtures::Bytes;

Bytes ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// A 1600 x 1200 photo-like JPEG, encoded by our own encoder from a drawn bitmap.
Bytes MakeJpeg(const std::string& scratch) {
    Bytes bmp = pictrova::fixtures::MakeDrawnBmpFile(1600, 1200, 1);
    std::ofstream(scratch + ".bmp", std::ios::binary)
        .write(reinterpret_cast<const char*>(bmp.data()), static_cast<std::streamsize>(bmp.size()));
    pictrova::SilentHost host;
    pictrova::imaging::PictureHolder holder;
    std::string message;
    bool tooBig = false;
    if (!pictrova::imaging::LoadPictureFile(host, holder, scratch + ".bmp", message, false,
                                            tooBig)) {
        throw std::runtime_error("cannot load the drawn bitmap");
    }
    pictrova::imaging::SaveJPG(holder, scratch + ".jpg", 85);
    Bytes jpeg = ReadFile(scratch + ".jpg");
    std::remove((scratch + ".bmp").c_str());
    std::remove((scratch + ".jpg").c_str());
    return jpeg;
}

// A 1024 x 768 photo-like bitmap as a BMP file, different for every `seed`; with `portrait`, a
// 193 x 264 one with less noise, every third of 252 colours.
Bytes MakePhotoBmp(const std::string& scratch, unsigned seed, bool portrait = false) {
    pictrova::imaging::PictureHolder holder;
    if (portrait) {
        pictrova::bench::MakePhoto(holder.Image(), 193, 264, seed, 2.5);
        if (seed % 3 == 2)
            pictrova::bench::PosterizePhoto(holder.Image());
    } else {
        pictrova::bench::MakePhoto(holder.Image(), 1024, 768, seed);
    }
    holder.SaveAsBmp(scratch + ".bmp");
    Bytes bmp = ReadFile(scratch + ".bmp");
    std::remove((scratch + ".bmp").c_str());
    return bmp;
}

// A table "Pictures" (ID, Picture) of `records` rows; row i (0-based) holds picture(i).
template <typename Picture>
void WritePictures(const std::string& path, long records, Picture picture) {
    pictrova::jet::DatabasePlan plan;
    plan.tables.push_back({"Pictures",
                           {{"ID", pictrova::jet::ColumnType::Long, 0},
                            {"Picture", pictrova::jet::ColumnType::OleObject, 0}},
                           {}});
    pictrova::jet::DatabaseWriter writer(path, plan);
    for (long i = 0; i < records; ++i) {
        pictrova::jet::Value row[] = {static_cast<std::int64_t>(i + 1), picture(i)};
        writer.AddRow(0, row);
    }
    writer.Finish();
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr,
                     "usage: %s OUTPUT.mdb [RECORDS [mixed|small|large|big|photos|documents|huge|"
                     "portraits|metafiles|encrypted]]\n",
                     argv[0]);
        return 2;
    }
    const std::string path = argv[1];
    const long records = argc > 2 ? std::strtol(argv[2], nullptr, 10) : 501;
    const bool photos = argc > 3 && std::string(argv[3]) == "photos";
    pictrova::imaging::StartImageEngine();

    const std::string shape = argc > 3 ? argv[3] : "mixed";
    if (shape == "encrypted") {
        pictrova::jet::DatabasePlan plan;
        plan.format = pictrova::jet::Format::Ace16;
        plan.tables.push_back({"Pictures",
                               {{"ID", pictrova::jet::ColumnType::Long, 0},
                                {"Picture", pictrova::jet::ColumnType::OleObject, 0}},
                               {}});
        for (long i = 0; i < records; ++i)
            plan.tables[0].rows.push_back({static_cast<std::int64_t>(i + 1),
                                           pictrova::fixtures::BuildPaintPicture(
                                               MakePhotoBmp(path, static_cast<unsigned>(i)))});
        const Bytes encrypted =
            pictrova::jet::EncryptAccdbImage(pictrova::jet::WriteDatabaseToMemory(plan),
                                             pictrova::jet::AccdbEncryptionSettings{}, "bench");
        std::ofstream(path, std::ios::binary)
            .write(reinterpret_cast<const char*>(encrypted.data()),
                   static_cast<std::streamsize>(encrypted.size()));
        std::printf("%ld records of 1024 x 768 photos, %zu bytes encrypted\n", records,
                    encrypted.size());
        return 0;
    }
    if (shape == "documents") {
        using pictrova::fixtures::OfficeKind;
        pictrova::fixtures::PackageContents notes;
        notes.label = "notes.txt";
        notes.file = pictrova::fixtures::MakeOpaqueFile("text ", 20000);
        const Bytes documents[] = {
            pictrova::fixtures::BuildOfficeObject(OfficeKind::Word),
            pictrova::fixtures::BuildOfficeObject(OfficeKind::Excel),
            pictrova::fixtures::BuildOfficeObject(OfficeKind::PowerPoint),
            pictrova::fixtures::BuildOfficeObject(OfficeKind::Visio),
            pictrova::fixtures::BuildPdfObject(pictrova::fixtures::MakePdfFile("invoice")),
            pictrova::fixtures::BuildPackage(notes),
        };
        WritePictures(path, records,
                      [&](long i) { return pictrova::jet::ByteView(documents[i % 6]); });
        std::printf("%ld records of documents\n", records);
        return 0;
    }
    if (shape == "metafiles") {
        const Bytes field = pictrova::fixtures::BuildStaticMetafile(
            pictrova::fixtures::MakeMetafile(400, 300, true), 8, 8000, 6000);
        WritePictures(path, records, [&](long) { return pictrova::jet::ByteView(field); });
        std::printf("%ld records of 400 x 300 static metafiles\n", records);
        return 0;
    }
    if (shape == "portraits") {
        WritePictures(path, records, [&](long i) {
            return pictrova::fixtures::BuildPaintPicture(
                MakePhotoBmp(path, static_cast<unsigned>(i), true));
        });
        std::printf("%ld records of 193 x 264 portraits\n", records);
        return 0;
    }
    if (shape == "small" || shape == "large" || shape == "big" || shape == "huge") {
        const int width = shape == "huge"    ? 7000
                          : shape == "big"   ? 2000
                          : shape == "small" ? 200
                                             : 1600;
        const int height = shape == "huge"    ? 7000
                           : shape == "big"   ? 2000
                           : shape == "small" ? 260
                                              : 1200;
        const Bytes field = pictrova::fixtures::BuildPaintPicture(
            pictrova::fixtures::MakeDrawnBmpFile(width, height, 3));
        WritePictures(path, records, [&](long) { return pictrova::jet::ByteView(field); });
        std::printf("%ld records, paint pictures of %zu bytes\n", records, field.size());
        return 0;
    }

    pictrova::fixtures::PackageContents package;
    package.label = "photo.jpg";
    package.sourcePath = "C:\\Photos\\photo.jpg";
    package.tempPath = "C:\\Temp\\photo.jpg";
    package.file = MakeJpeg(path);
    const Bytes kinds[] = {
        pictrova::fixtures::BuildPackage(package),
        pictrova::fixtures::BuildPaintPicture(pictrova::fixtures::MakeDrawnBmpFile(800, 600, 2)),
        pictrova::fixtures::BuildStaticDib(pictrova::fixtures::MakePackedDib(640, 480, 24)),
    };

    pictrova::jet::DatabasePlan plan;
    plan.tables.push_back({"Pictures",
                           {{"ID", pictrova::jet::ColumnType::Long, 0},
                            {"Picture", pictrova::jet::ColumnType::OleObject, 0}},
                           {}});
    pictrova::jet::DatabaseWriter writer(path, plan);
    for (long i = 0; i < records; ++i) {
        const Bytes field = photos ? pictrova::fixtures::BuildPaintPicture(
                                         MakePhotoBmp(path, static_cast<unsigned>(i)))
                                   : kinds[i % 3];
        pictrova::jet::Value row[] = {static_cast<std::int64_t>(i + 1),
                                      pictrova::jet::ByteView(field)};
        writer.AddRow(0, row);
    }
    auto summary = writer.Finish();
    std::printf("%ld records, %llu bytes (JPEG %zu, paint %zu, DIB %zu bytes a field)\n", records,
                static_cast<unsigned long long>(summary.fileBytes), kinds[0].size(),
                kinds[1].size(), kinds[2].size());
    return 0;
}
