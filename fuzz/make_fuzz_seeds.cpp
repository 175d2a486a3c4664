// SPDX-License-Identifier: GPL-3.0-or-later
// Writes the seed corpus of every fuzz target from our own builders, one folder per target:
//   make_fuzz_seeds OUTDIR
// Seeds are small valid inputs of each format, so fuzzing starts from deep inside the parsers.

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <span>
#include <string>
#include <vector>

#include "imaging/gif_encoder.h"
#include "imaging/jpeg_encoder.h"
#include "imaging/picture_holder.h"
#include "jet_writer/accdb_encrypt.h"
#include "jet_writer/jet_writer.h"
#include "ole/compound_document.h"
#include "ole_builder/enhanced_metafiles.h"
#include "ole_builder/ole_fields.h"
#include "ole_builder/pictures.h"
#include "ole_builder/sample_objects.h"

namespace fs = std::filesystem;
using pictrova::fixtures::Bytes;
namespace fx = pictrova::fixtures;
namespace jet = pictrova::jet;

namespace {

class Corpus {
  public:
    Corpus(const fs::path& root, const std::string& target) : dir_(root / target) {
        fs::create_directories(dir_);
    }
    void Add(const std::string& name, std::span<const std::uint8_t> bytes) {
        std::ofstream out(dir_ / name, std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(bytes.data()),
                  static_cast<std::streamsize>(bytes.size()));
        if (!out)
            throw std::runtime_error("cannot write " + (dir_ / name).string());
    }
    void Add(const std::string& name, const std::string& text) {
        Add(name, std::span(reinterpret_cast<const std::uint8_t*>(text.data()), text.size()));
    }

  private:
    fs::path dir_;
};

Bytes WithSelector(std::uint8_t selector, const Bytes& rest) {
    Bytes out{selector};
    out.insert(out.end(), rest.begin(), rest.end());
    return out;
}

void OleDecoderSeeds(const fs::path& root) {
    Corpus corpus(root, "ole_decoder");
    for (const fx::SampleObject& sample : fx::AllSampleObjects())
        corpus.Add(sample.name, sample.field);
}

void PhotoEditorSeeds(const fs::path& root) {
    Corpus corpus(root, "photo_editor");
    for (std::int16_t type : {1, 2, 3}) {
        corpus.Add("type" + std::to_string(type) + "-5x3", fx::MakePhotoEditorStream(type, 5, 3));
        corpus.Add("type" + std::to_string(type) + "-1x1", fx::MakePhotoEditorStream(type, 1, 1));
    }
}

void CompoundDocumentSeeds(const fs::path& root) {
    // Selector: bits 0-1 the operation (0 root stream, 1 child storage, 2 office document),
    // bits 2.. the stream name index of the fuzz target's list.
    Corpus corpus(root, "compound_document");
    const Bytes contents = fx::MakeContentsDocument(fx::MakeBmpFile(4, 4));
    corpus.Add("contents-root", WithSelector(0 << 2 | 0, contents));
    corpus.Add("contents-child", WithSelector(0 << 2 | 1, contents));
    corpus.Add("ole10native-child",
               WithSelector(1 << 2 | 1, fx::MakeOle10NativeDocument(fx::MakeBmpFile(3, 2))));
    corpus.Add("ole10native-root",
               WithSelector(1 << 2 | 1, fx::MakeOle10NativeDocument(fx::MakeBmpFile(3, 2), false)));
    const Bytes bytes{1, 2, 3, 4, 5, 6, 7, 8};
    corpus.Add("office-workbook",
               WithSelector(2 << 2 | 2, fx::MakeOfficeDocument("WorkBook", bytes)));
    corpus.Add("office-word",
               WithSelector(3 << 2 | 2, fx::MakeOfficeDocument("WordDocument", bytes)));
    corpus.Add("office-powerpoint",
               WithSelector(4 << 2 | 2, fx::MakeOfficeDocument("PowerPoint Document", bytes)));
}

void PictureRepairSeeds(const fs::path& root) {
    Corpus corpus(root, "picture_repair");
    corpus.Add("bmp-24", fx::MakeBmpFile(6, 4, 24));
    corpus.Add("bmp-8", fx::MakeBmpFile(5, 3, 8));
    corpus.Add("bmp-4", fx::MakeBmpFile(5, 3, 4));
    corpus.Add("bmp-1", fx::MakeBmpFile(9, 2, 1));
    corpus.Add("bmp-8-100-colours", fx::MakeBmpFile(7, 3, 8, 100));
    corpus.Add("bmp-32", fx::MakeBmpFile(5, 3, 32));
    corpus.Add("bmp-rle8", fx::MakeRunLengthBmpFile(23, 4, 8));
    corpus.Add("bmp-rle4", fx::MakeRunLengthBmpFile(23, 4, 4));
    pictrova::imaging::PictureHolder photo;
    photo.LoadFromMemory(fx::MakeBmpFile(19, 11, 24));
    corpus.Add("jpeg", pictrova::imaging::EncodeJPG(photo, 80));
    corpus.Add("wmf", fx::MakeMetafile(40, 30));
    // The wrapped form the repair undoes: "Picture" at 20, "DIB" at 41, the bitmap from 45.
    Bytes wrapped(45, 0);
    const std::string picture = "Picture";
    const std::string dib = "DIB";
    std::copy(picture.begin(), picture.end(), wrapped.begin() + 20);
    std::copy(dib.begin(), dib.end(), wrapped.begin() + 41);
    const Bytes bmp = fx::MakeBmpFile(4, 4);
    wrapped.insert(wrapped.end(), bmp.begin() + 2, bmp.end());
    corpus.Add("dib-wrapped", wrapped);
}

// One file of each layout the loader's own readers take.
void PictureDecoderSeeds(const fs::path& root) {
    Corpus corpus(root, "picture_decoders");
    corpus.Add("bmp-1", fx::MakeBmpFile(9, 2, 1));
    corpus.Add("bmp-8", fx::MakeBmpFile(5, 3, 8, 100));
    corpus.Add("bmp-16", fx::MakeBmpFile(5, 3, 16));
    corpus.Add("bmp-32", fx::MakeBmpFile(5, 3, 32));
    corpus.Add("bmp-rle8", fx::MakeRunLengthBmpFile(23, 4, 8));
    corpus.Add("bmp-rle4", fx::MakeRunLengthBmpFile(23, 4, 4));
    corpus.Add("png", fx::MakePngFile(7, 5));
    pictrova::imaging::PictureHolder photo;
    photo.LoadFromMemory(fx::MakeBmpFile(19, 11, 24));
    corpus.Add("jpeg", pictrova::imaging::EncodeJPG(photo, 80));
    corpus.Add("gif", pictrova::imaging::EncodeGif(photo.Image(), {.colours = 16}));
}

// Page 0 of writer databases for the header target, and the encryption descriptions they carry
// for the description target.
void HeaderSeeds(const fs::path& root) {
    Corpus corpus(root, "jet_header");
    Corpus descriptions(root, "accdb_encryption");
    auto firstPage = [](const Bytes& file) {
        return Bytes(file.begin(), file.begin() + std::min<std::size_t>(file.size(), 4096));
    };
    jet::DatabasePlan plan;
    plan.tables.push_back(
        {"Pictures", {{"ID", jet::ColumnType::Long}, {"Picture", jet::ColumnType::OleObject}}, {}});
    corpus.Add("jet4", WithSelector(0, firstPage(jet::WriteDatabaseToMemory(plan))));
    plan.password = "secret";
    corpus.Add("jet4-password", WithSelector(1, firstPage(jet::WriteDatabaseToMemory(plan))));
    plan.password.clear();
    plan.encodingKey = 0x12345678;
    corpus.Add("jet4-encoded", WithSelector(0, firstPage(jet::WriteDatabaseToMemory(plan))));
    plan.encodingKey = 0;
    plan.format = jet::Format::Ace12;
    const Bytes plainAce = jet::WriteDatabaseToMemory(plan);
    corpus.Add("ace12", WithSelector(0, firstPage(plainAce)));

    struct Kind {
        const char* name;
        jet::AccdbEncryptionSettings plan;
    };
    const Kind kinds[] = {
        {"rc4", {pictrova::database::AccdbEncryption::Rc4CryptoApi, 128, {}, 0, 0}},
        {"cryptoapi-aes", {pictrova::database::AccdbEncryption::CryptoApiAes, 128, {}, 0, 0}},
        {"standard-aes", {pictrova::database::AccdbEncryption::StandardAes, 128, {}, 0, 0}},
        {"agile-sha512",
         {pictrova::database::AccdbEncryption::Agile, 256,
          pictrova::database::HashAlgorithm::Sha512, 1000, 0}},
        {"agile-sha1",
         {pictrova::database::AccdbEncryption::Agile, 128, pictrova::database::HashAlgorithm::Sha1,
          1000, 0}},
    };
    for (const Kind& kind : kinds) {
        corpus.Add(
            std::string("ace-") + kind.name,
            WithSelector(1, firstPage(jet::EncryptAccdbImage(plainAce, kind.plan, "secret"))));
        descriptions.Add(kind.name, jet::SerializeEncryptionDescription(
                                        jet::MakeEncryptionDescription(kind.plan, "secret")));
    }
}

void ConverterArgumentSeeds(const fs::path& root) {
    // Zero bytes separate arguments; a seed without one is the whole-line form.
    Corpus corpus(root, "converter_arguments");
    const std::string words[] = {"bmp",  "png -q 85", "gif -dither -colors 256",
                                 "tiff", "tga",       "pcx"};
    int n = 0;
    for (const std::string& w : words) {
        const std::string line = "-out " + w + " -o \"/tmp/out/Output1\" \"/tmp/work/temp.bmp\"";
        corpus.Add("line-" + std::to_string(n), line);
        std::string split = line;
        for (char& c : split) {
            if (c == ' ')
                c = '\0';
        }
        corpus.Add("split-" + std::to_string(n), split);
        ++n;
    }
}

}  // namespace

void EnhancedMetafileSeeds(const fs::path& root) {
    Corpus corpus(root, "emf_records");
    const struct {
        const char* name;
        fx::EmfContent content;
    } kinds[] = {{"rectangles", fx::EmfContent::Rectangles},
                 {"polygon", fx::EmfContent::Polygon},
                 {"text", fx::EmfContent::Text},
                 {"bitmap", fx::EmfContent::Bitmap}};
    for (const auto& k : kinds) {
        corpus.Add(std::string(k.name) + "-12x8", fx::MakeEnhancedMetafile(12, 8, k.content));
        corpus.Add(std::string(k.name) + "-1x1", fx::MakeEnhancedMetafile(1, 1, k.content));
    }
}

// Small whole databases from our writer: one table of a few rows (numbers, text, a memo, an OLE
// object inline and one on a long-value page) in each page format, and a second table.
void DatabaseSeeds(const fs::path& root) {
    Corpus corpus(root, "database");
    jet::DatabasePlan plan;
    jet::TablePlan pictures{"Pictures",
                            {{"ID", jet::ColumnType::Long},
                             {"Title", jet::ColumnType::Text, 20},
                             {"Note", jet::ColumnType::Memo},
                             {"Picture", jet::ColumnType::OleObject}},
                            {}};
    pictures.rows.push_back(
        {std::int64_t{1}, std::string("one"), std::string("short"), Bytes{1, 2, 3}});
    pictures.rows.push_back({std::int64_t{2}, std::string("two"), std::string(300, 'n'),
                             fx::BuildPaintPicture(fx::MakeBmpFile(8, 8))});
    plan.tables.push_back(pictures);
    plan.tables.push_back({"Notes", {{"Body", jet::ColumnType::Memo}}, {{std::string("a note")}}});
    for (jet::Format format : {jet::Format::Jet4, jet::Format::Ace12}) {
        plan.format = format;
        corpus.Add(format == jet::Format::Jet4 ? "jet4.mdb" : "ace12.accdb",
                   jet::WriteDatabaseToMemory(plan));
    }
}

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: make_fuzz_seeds OUTDIR\n");
        return 2;
    }
    try {
        const fs::path root = argv[1];
        OleDecoderSeeds(root);
        PhotoEditorSeeds(root);
        CompoundDocumentSeeds(root);
        PictureRepairSeeds(root);
        PictureDecoderSeeds(root);
        HeaderSeeds(root);
        ConverterArgumentSeeds(root);
        EnhancedMetafileSeeds(root);
        DatabaseSeeds(root);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "make_fuzz_seeds: %s\n", e.what());
        return 1;
    }
    return 0;
}
