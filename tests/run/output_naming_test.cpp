// SPDX-License-Identifier: GPL-3.0-or-later
#include "run/output_naming.h"
#include "run/output_formats.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "common/error.h"
#include "test_paths.h"

namespace pictrova::run {
namespace {

TEST(ApplyCounter, PadsToTheTrailingRunOfHashes) {
    struct Case {
        const char* templateText;
        std::int64_t number;
        const char* expected;
    };
    const Case cases[] = {
        {"Output#", 1, "Output1"},
        {"Output#", 2, "Output2"},
        {"Output#", 12, "Output12"},
        {"Img##", 5, "Img05"},
        {"Img##", 123, "Img123"},
        {"A#B#", 7, "A#B7"},
        {"Photos#", 3, "Photos3"},
        {"Photos_Pic#", 3, "Photos_Pic3"},
        {"", 1, "1"},
        {"NoHash", 4, "NoHash4"},
        {"###", 9, "009"},
        {"#", 0, "0"},
        {"Output#", 32768, "Output32768"},  // past the 16-bit counter
        {"Output####", 100000, "Output100000"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(ApplyCounter(c.templateText, c.number), c.expected) << c.templateText;
    }
}

TEST(CleanBackslashes, CollapsesPairsAndKeepsTwoLeading) {
    const std::pair<const char*, const char*> cases[] = {
        {"a\\\\b", "a\\b"},        // a, two backslashes, b
        {"a\\\\\\b", "a\\\\b"},    // three in a row become two
        {"a\\\\\\\\b", "a\\\\b"},  // four become two
        {"\\a", "\\\\a"},          // a single leading backslash comes back as two
        {"\\\\\\\\a", "\\\\a"},    // a leading run of four becomes two
        {"\\\\", "\\\\"},          // nothing but backslashes
        {"\\x\\\\y", "\\\\x\\y"}, {"plain.bmp", "plain.bmp"}, {"", ""},
    };
    for (const auto& [in, out] : cases)
        EXPECT_EQ(CleanBackslashes(in), out) << in;
}

TEST(StripExtension, CutsAtTheLastPointUnlessFirst) {
    const std::pair<const char*, const char*> cases[] = {
        {"Output1.bmp", "Output1"},
        {"photo.jpg.bmp", "photo.jpg"},
        {".bmp", ".bmp"},
        {"noext", "noext"},
        {"", ""},
        {"a.", "a"},
        {"x.y.z", "x.y"},
    };
    for (const auto& [in, out] : cases)
        EXPECT_EQ(StripExtension(in), out) << in;
}

TEST(RunPrefix, FromEachNamingChoice) {
    EXPECT_EQ(RunPrefix(Naming::FixedPrefix, "Img##", "Photos", "Pic"), "Img##");
    EXPECT_EQ(RunPrefix(Naming::TableName, "Img##", "Photos", "Pic"), "Photos#");
    EXPECT_EQ(RunPrefix(Naming::FieldName, "Img##", "Photos", "Pic"), "Pic#");
    EXPECT_EQ(RunPrefix(Naming::TableAndFieldName, "Img##", "Photos", "Pic"), "Photos_Pic#");
    EXPECT_EQ(RunPrefix(Naming::FieldText, "Img##", "Photos", "Pic"), "");
    EXPECT_EQ(RunPrefix(Naming::None, "Img##", "Photos", "Pic"), "");
    EXPECT_EQ(RunPrefix(Naming::OriginalName, "Img##", "Photos", "Pic"), "Output#");
    // Names are used as they are: nothing removed from a table name with odd characters.
    EXPECT_EQ(RunPrefix(Naming::TableName, "", "My: Table", "P"), "My: Table#");
}

TEST(FieldTextPrefix, ByteToByteMarksEmptyAndRemovesForbiddenCharacters) {
    const std::pair<std::optional<std::string>, const char*> cases[] = {
        {std::string("a/b:c?"), "abc"},
        {std::nullopt, "FIELDNOCONTENT"},
        {std::string("   "), "FIELDNOCONTENT"},
        {std::string(""), "FIELDNOCONTENT"},
        {std::string(" x "), " x "},  // untrimmed when not blank
        {std::string("photo.jpg"), "photo.jpg"},
        {std::string("/\\:*?\"<>|k"), "k"},
        {std::string("\t"), "_"},  // only spaces count as blank; control characters become "_"
        {std::string("a\x01\x7f"
                     "b"),
         "a__b"},
    };
    for (const auto& [value, expected] : cases) {
        EXPECT_EQ(FieldTextPrefixByteToByte(value), expected) << value.value_or("(null)");
    }
}

TEST(FieldTextPrefix, RecordsetUsesTheTextAsItIs) {
    // Apart from "/" and control characters, which would make another folder or a junk name.
    EXPECT_EQ(FieldTextPrefixRecordset(std::string("a/b\nc")), "a_b_c");
    EXPECT_EQ(FieldTextPrefixRecordset(std::string("a\\b:c")), "a\\b:c");
    EXPECT_EQ(FieldTextPrefixRecordset(std::nullopt), "");
    EXPECT_EQ(FieldTextPrefixRecordset(std::string("  ")), "  ");
}

// Name base = StripExtension(OutputName(...)): the examples of each naming choice.
TEST(OutputName, NameBases) {
    struct Case {
        Naming naming;
        const char* prefix;
        std::int64_t record;
        const char* extension;
        const char* name;
        const char* base;
    };
    const Case cases[] = {
        {Naming::FixedPrefix, "Output#", 1, "bmp", "Output1.bmp", "Output1"},
        {Naming::FixedPrefix, "Output#", 12, "pak", "Output12.pak", "Output12"},
        {Naming::FixedPrefix, "Img##", 5, "jpg", "Img05.jpg", "Img05"},
        {Naming::TableName, "Photos#", 3, "bmp", "Photos3.bmp", "Photos3"},
        {Naming::FieldText, "abc", 9, "bmp", "abc.bmp", "abc"},
        {Naming::FieldText, "photo.jpg", 1, "bmp", "photo.jpg.bmp", "photo.jpg"},
        {Naming::FieldText, "", 1, "bmp", ".bmp", ".bmp"},  // method 2, null text
        {Naming::None, "", 2, "bmp", "2.bmp", "2"},
        {Naming::FieldText, "a\\\\b", 1, "bmp", "a\\b.bmp", "a\\b"},
        {Naming::FixedPrefix, "Output#", 40000, "bmp", "Output40000.bmp", "Output40000"},
    };
    for (const auto& c : cases) {
        std::string name = OutputName(c.naming, c.prefix, c.record, c.extension);
        EXPECT_EQ(name, c.name);
        EXPECT_EQ(StripExtension(name), c.base);
    }
}

TEST(AttachmentOutputName, IndexAfterTheCounterOrTheFilesOwnName) {
    struct Case {
        Naming naming;
        const char* prefix;
        std::size_t index, count;
        const char* fileName;
        const char* extension;
        const char* expected;
    };
    const Case cases[] = {
        {Naming::FixedPrefix, "Output#", 0, 1, "a.png", "png",
         "Output12.png"},  // one file: no index
        {Naming::FixedPrefix, "Output#", 1, 3, "a.png", "png", "Output12-2.png"},
        {Naming::FixedPrefix, "Img###", 2, 3, "a.png", "", "Img012-3."},
        {Naming::FieldText, "Harbour", 0, 2, "a.png", "jpg", "Harbour-1.jpg"},
        {Naming::OriginalName, "", 1, 2, "harbour.jpg", "jpg", "harbour.jpg"},
        {Naming::OriginalName, "", 0, 1, "C:\\Users\\x\\photo.png", "png", "photo.png"},
        {Naming::OriginalName, "", 0, 1, "../../etc/passwd", "", "passwd"},
        {Naming::OriginalName, "", 0, 1, "tab\there\n.png", "png", "tab_here_.png"},
        {Naming::OriginalName, "", 0, 1, "..", "", "attachment"},
        {Naming::OriginalName, "", 0, 1, "", "", "attachment"},
        {Naming::OriginalName, "", 0, 1, "dir/", "", "attachment"},
        {Naming::OriginalName, "", 0, 1, ".bashrc", "", "_bashrc"},
        {Naming::OriginalName, "", 0, 1, "-rf .png", "png", "_rf .png"},
        {Naming::OriginalName, "", 0, 1, "--.-x", "", "____x"},
        {Naming::OriginalName, "", 0, 1, "a-b.png", "png", "a-b.png"},  // only leading ones
        {Naming::OriginalName, "", 0, 1, "   ", "", "attachment"},
        {Naming::OriginalName, "", 0, 1, " . ", "", "attachment"},
        {Naming::OriginalName, "", 0, 1, "a\xE2\x80\xAEgnp.exe", "exe", "a_gnp.exe"},
        {Naming::OriginalName, "", 0, 1, "\xE2\x81\xA6x\xE2\x81\xA9\xD8\x9C.png", "png",
         "_x__.png"},
        {Naming::OriginalName, "", 0, 1,
         "b\xC2\x9B"
         "2J\xC2\x85.png",
         "png", "b_2J_.png"},
        {Naming::OriginalName, "", 0, 1, "caf\xC3\xA9 \xC2\xA0.png", "png",
         "caf\xC3\xA9 \xC2\xA0.png"},  // é and a no-break space stay
    };
    for (const Case& c : cases)
        EXPECT_EQ(
            AttachmentOutputName(c.naming, c.prefix, 12, c.index, c.count, c.fileName, c.extension),
            c.expected)
            << c.fileName << " " << c.index;

    // Long names are cut at a character boundary and keep their extension.
    std::string longName;
    for (int i = 0; i < 150; ++i)
        longName += "\xC3\xA9";  // é, two bytes each
    std::string safe = SafeAttachmentName("x" + longName + ".jpeg");
    EXPECT_LE(safe.size(), kMaxAttachmentNameBytes);
    EXPECT_TRUE(safe.ends_with("\xC3\xA9.jpeg")) << safe;
    EXPECT_EQ(NumberedName("same.png", 2), "same (2).png");
    EXPECT_EQ(NumberedName("README", 3), "README (3)");
}

// A package's label as a file name (--name original) and the extension the Original format
// gives its file.
TEST(PackageFileName, LabelMadeSafeAndItsExtension) {
    struct Case {
        std::string label;  // as the decoder gives it, up to and with its zero byte
        const char* name;
        const char* extension;
    };
    const Case cases[] = {
        {std::string("photo.jpg\0", 10), "photo.jpg", "jpg"},
        {std::string("Report.PDF\0after", 16), "Report.PDF", "PDF"},
        {"Caf\xE9 \x80.doc", "Caf\xC3\xA9 \xE2\x82\xAC.doc",
         "doc"},  // Windows-1252, the euro sign too
        {"C:\\Users\\x\\notes.txt", "notes.txt", "txt"},
        {"../../etc/passwd", "passwd", ""},
        {"a\tb\x7F.rtf", "a_b_.rtf", "rtf"},
        {"Dr. Smith's photo", "Dr. Smith's photo", ""},  // no plain extension
        {"archive.tar.gz", "archive.tar.gz", "gz"},
        {"README", "README", ""},
        {"..", "attachment", ""},
        {"   ", "", ""},
        {std::string("\0", 1), "", ""},
        {"", "", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        EXPECT_EQ(PackageFileName(c.label), c.name);
        EXPECT_EQ(FileNameExtension(PackageFileName(c.label)), c.extension);
    }
}

TEST(FormatExtension, OnePerFormat) {
    EXPECT_EQ(FormatExtension(OutputFormat::None), "");
    EXPECT_EQ(FormatExtension(OutputFormat::BMP), ".bmp");
    EXPECT_EQ(FormatExtension(OutputFormat::JPG), ".jpg");
    EXPECT_EQ(FormatExtension(OutputFormat::PNG), ".png");
    EXPECT_EQ(FormatExtension(OutputFormat::GIF), ".gif");
    EXPECT_EQ(FormatExtension(OutputFormat::TIFF), ".tif");
    EXPECT_EQ(FormatExtension(OutputFormat::TGA), ".tga");
    EXPECT_EQ(FormatExtension(OutputFormat::PCX), ".pcx");
    EXPECT_EQ(FormatExtension(OutputFormat::Original), "");  // each file keeps its kind's
}

// The words that choose a format: the command line's (any case) and the converter program's
// (exactly as the run writes them; JPEG never goes through the converter).
TEST(OutputFormatRows, EachWordChoosesItsFormat) {
    const struct {
        const char* word;
        OutputFormat commandLine;  // None: not a --format word
        OutputFormat converter;    // None: the converter refuses it
    } cases[] = {
        {"bmp", OutputFormat::BMP, OutputFormat::BMP},
        {"jpg", OutputFormat::JPG, OutputFormat::None},
        {"JPEG", OutputFormat::JPG, OutputFormat::None},
        {"png", OutputFormat::PNG, OutputFormat::PNG},
        {"gif", OutputFormat::GIF, OutputFormat::GIF},
        {"tiff", OutputFormat::TIFF, OutputFormat::TIFF},
        {"Tif", OutputFormat::TIFF, OutputFormat::None},
        {"tga", OutputFormat::TGA, OutputFormat::TGA},
        {"PCX", OutputFormat::PCX, OutputFormat::None},
        {"original", OutputFormat::Original, OutputFormat::None},
        {"webp", OutputFormat::None, OutputFormat::None},
        {"", OutputFormat::None, OutputFormat::None},
    };
    auto formatOf = [](const OutputFormatRow* row) {
        return row ? row->format : OutputFormat::None;
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.word);
        EXPECT_EQ(formatOf(FindOutputFormatByWord(c.word)), c.commandLine);
        EXPECT_EQ(formatOf(FindConverterFormat(c.word)), c.converter);
    }
}

// One row a format, in the options page's order, each with its own option and labels (a copied
// row would send two choices to one format, or one format's failures under another's labels).
TEST(OutputFormatRows, OneRowAFormatWithItsOwnOptionAndLabels) {
    const auto rows = OutputFormatRows();
    ASSERT_EQ(rows.size(), 8u);
    for (std::size_t i = 0; i < rows.size(); ++i) {
        SCOPED_TRACE(rows[i].name);
        EXPECT_EQ(rows[i].format, static_cast<OutputFormat>(i + 1));
        EXPECT_EQ(rows[i].wizardChoice, "Option" + std::to_string(8 + i));
        EXPECT_EQ(FindOutputFormat(rows[i].format), &rows[i]);
        for (std::size_t j = 0; j < i; ++j) {
            if (rows[i].firstLabel != 0) {
                EXPECT_GE(rows[i].firstLabel - rows[j].firstLabel, 6);
            }
        }
    }
    EXPECT_EQ(FindOutputFormat(OutputFormat::None), nullptr);
}

TEST(OutputPathInFolder, StaysInsideTheFolder) {
    testing::TempDir dir;
    std::filesystem::create_directory(dir / "sub");
    std::filesystem::create_directory_symlink(dir / "sub", dir / "linked");
    std::filesystem::create_directory_symlink("sub", dir / "inner");
    EXPECT_EQ(OutputPathInFolder(dir.path(), "Output1", ".png"), dir / "Output1.png");
    EXPECT_EQ(OutputPathInFolder(dir.path(), ".bmp", ".jpg"), dir / ".bmp.jpg");
    EXPECT_EQ(OutputPathInFolder(dir.path(), "sub\\x", ".bmp"), dir / "sub/x.bmp");
    EXPECT_EQ(OutputPathInFolder(dir.path(), "a/b", ".bmp"), dir / "a/b.bmp");
    EXPECT_EQ(OutputPathInFolder(dir.path(), "\\\\srv\\x", ".bmp"), dir / "srv/x.bmp");
    EXPECT_EQ(OutputPathInFolder(dir.path(), "..", ".bmp"), dir / "...bmp");
    // Links: the output folder itself reached through one, a subfolder that leads back inside.
    EXPECT_EQ(OutputPathInFolder(dir / "linked", "Output1", ".png"), dir / "linked/Output1.png");
    EXPECT_EQ(OutputPathInFolder(dir / "linked", "x/y", ".png"), dir / "linked/x/y.png");
    EXPECT_EQ(OutputPathInFolder(dir.path(), "inner/x", ".bmp"), dir / "inner/x.bmp");
}

TEST(OutputPathInFolder, NamesThatWouldLeaveAreRefused) {
    testing::TempDir dir;
    std::filesystem::create_directory_symlink("/", dir / "root");
    std::filesystem::create_directory(dir / "out");
    std::filesystem::create_directory_symlink("..", dir / "out/up");
    for (const char* base : {"../x", "..\\..\\etc\\passwd", "sub/../../x", "root/tmp/x"}) {
        EXPECT_THROW(OutputPathInFolder(dir.path(), base, ".png"), Error) << base;
    }
    // A link in the output folder that leads to the folder above it, by its relative target.
    EXPECT_THROW(OutputPathInFolder(dir / "out", "up/x", ".png"), Error);
}

}  // namespace
}  // namespace pictrova::run
