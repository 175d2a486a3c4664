// SPDX-License-Identifier: GPL-3.0-or-later
// The contact sheet's and its table's text: whatever bytes a database holds, they show as written
// and never as markup, links reach the file they name, and a spreadsheet reads one cell per fact.

#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include <fstream>
#include <string>
#include <vector>

#include "browser_page.h"
#include "image_oracle.h"
#include "imaging/jpeg_compression.h"
#include "imaging/thumbnail.h"
#include "report/contact_sheet.h"
#include "report/html_text.h"
#include "report/report_csv.h"
#include "test_paths.h"

namespace pictrova::report {
namespace {

TEST(ReportText, HtmlTextAndLinks) {
    struct Row {
        std::string bytes, html, link;
    };
    const std::vector<Row> rows = {
        {"Output1.png", "Output1.png", "Output1.png"},
        {"a<b>&\"c'.png", "a&lt;b&gt;&amp;&quot;c&#39;.png", "a%3Cb%3E%26%22c%27.png"},
        {"Ann Smith #2?.jpg", "Ann Smith #2?.jpg", "Ann%20Smith%20%232%3F.jpg"},
        {"caf\xC3\xA9/\xE6\x97\xA5.bmp", "caf\xC3\xA9/\xE6\x97\xA5.bmp", "caf%C3%A9/%E6%97%A5.bmp"},
        // Not UTF-8: shown as an escape, linked by the byte it is.
        {"caf\xE9.png", "caf\\xE9.png", "caf%E9.png"},
        // A scheme or a percent in a name stays part of the name.
        {"javascript:alert(1)", "javascript:alert(1)", "javascript%3Aalert%281%29"},
        {"100%.png", "100%.png", "100%25.png"},
        {"\x1B[2J", "\\x1B[2J", "%1B%5B2J"},
    };
    for (const auto& row : rows) {
        EXPECT_EQ(HtmlText(row.bytes), row.html) << row.bytes;
        EXPECT_EQ(RelativeLink(row.bytes), row.link) << row.bytes;
    }
}

ReportSection Section() {
    ReportSection section;
    section.database = "nwind.mdb";
    section.table = "Employees";
    section.field = "Photo";
    section.countingLine = "2 pictures from 3 records; 1 record without a picture.";
    section.keyNames = {"LastName"};
    ReportEntry written;
    written.number = 1;
    written.keys = {"Davolio, \"Nancy\""};
    written.outcome = EntryOutcome::Written;
    written.file = "Nancy <1>.png";
    written.thumbnail = ".thumbnails/Nancy <1>.png.jpg";
    written.kind = "Paint picture";
    written.width = 193;
    written.height = 264;
    written.bytes = 153'600;
    section.entries.push_back(written);
    written.number = 2;
    written.keys = {"Fuller"};
    written.file = "Output2.png";
    written.thumbnail.clear();
    written.storedPreview = true;
    section.entries.push_back(written);
    ReportEntry skipped;
    skipped.number = 3;
    skipped.keys = {"Leverling\nJanet"};
    skipped.reason = "not a picture";
    skipped.detail = "notes.txt (a txt file)";
    section.entries.push_back(skipped);
    return section;
}

TEST(ContactSheet, ShowsEveryEntryWithItsLinksAndCounts) {
    const std::string html = ContactSheetHtml("nwind.mdb <Employees>", {Section()});
    const std::vector<std::string> expected = {
        "<title>nwind.mdb &lt;Employees&gt;</title>",
        "<span id=\"written-count\">2</span>",
        "<span id=\"skipped-count\">1</span>",
        "2 pictures from 3 records; 1 record without a picture.",
        "href=\"Nancy%20%3C1%3E.png\"",
        "src=\".thumbnails/Nancy%20%3C1%3E.png.jpg\"",
        ">Nancy &lt;1&gt;.png</a>",
        "Paint picture &middot; 193 &times; 264 &middot; 153.6 KB",
        "the object's stored preview",
        "data-reason=\"not a picture\"",
        "<span class=\"detail\">notes.txt (a txt file)</span>",
        "<option value=\"not a picture\">",
        "<span class=\"key\">LastName: Davolio, &quot;Nancy&quot;</span>",
    };
    for (const auto& text : expected)
        EXPECT_NE(html.find(text), std::string::npos) << text;
    // Nothing from the network, nothing but the page's own script.
    EXPECT_EQ(html.find("http"), std::string::npos);
    EXPECT_EQ(html.find("<script src"), std::string::npos);
    // The entry without a thumbnail links its file all the same.
    EXPECT_NE(html.find("href=\"Output2.png\""), std::string::npos);
}

TEST(ContactSheet, BatchHasASectionPerFieldLinkedFromTheTop) {
    ReportSection second = Section();
    second.database = "xtreme.mdb";
    const std::string html = ContactSheetHtml("pile", {Section(), second});
    EXPECT_NE(html.find("<a href=\"#section-1\">nwind.mdb: Employees.Photo</a>"),
              std::string::npos);
    EXPECT_NE(html.find("<a href=\"#section-2\">xtreme.mdb: Employees.Photo</a>"),
              std::string::npos);
    EXPECT_NE(html.find("<section id=\"section-2\">"), std::string::npos);
    EXPECT_NE(html.find("<span id=\"written-count\">4</span>"), std::string::npos);
}

TEST(ReportCsv, OneCellPerFactQuotedWhereNeeded) {
    EXPECT_EQ(
        ReportCsv({Section()}, false),
        "record,LastName,file,kind,width,height,bytes,stored_preview,outcome,reason,detail\r\n"
        "1,\"Davolio, \"\"Nancy\"\"\",Nancy <1>.png,Paint picture,193,264,153600,no,"
        "written,,\r\n"
        "2,Fuller,Output2.png,Paint picture,193,264,153600,yes,written,,\r\n"
        "3,\"Leverling\nJanet\",,,,,,,skipped,not a picture,notes.txt (a txt file)\r\n");

    ReportSection other = Section();
    other.database = "caf\xE9.mdb";
    other.keyNames = {"EmployeeID"};
    other.entries.resize(1);
    other.entries[0].keys = {"7"};
    const std::string batch = ReportCsv({Section(), other}, true);
    EXPECT_EQ(batch.substr(0, batch.find("\r\n")),
              "database,table,field,record,LastName,EmployeeID,file,kind,width,height,bytes,"
              "stored_preview,outcome,reason,detail");
    EXPECT_NE(batch.find("\r\ncaf\\xE9.mdb,Employees,Photo,1,,7,Nancy <1>.png,"),
              std::string::npos);
}

TEST(Thumbnail, ScalesTheLongerSideDownAndAveragesTheArea) {
    struct Row {
        int width, height, longest, outWidth, outHeight;
    };
    const std::vector<Row> rows = {
        {1024, 768, 160, 160, 120}, {193, 264, 160, 117, 160}, {100, 50, 160, 100, 50},
        {5000, 1, 160, 160, 1},     {1, 5000, 160, 1, 160},    {161, 161, 160, 160, 160},
    };
    for (const auto& row : rows) {
        imaging::cDIBSection picture;
        ASSERT_TRUE(picture.Create(row.width, row.height, 3));
        // Left half black, right half white, so each side's average stays the colour.
        const int stride = picture.BytesPerScanLine();
        for (int y = 0; y < row.height; ++y)
            for (int x = row.width / 2; x < row.width; ++x)
                for (int c = 0; c < 3; ++c)
                    picture.DIBSectionBitsPtr()[y * stride + x * 3 + c] = 255;
        const imaging::cDIBSection thumb = imaging::ScaleDownToFit(picture, row.longest);
        EXPECT_EQ(thumb.dib_width(), row.outWidth) << row.width << "x" << row.height;
        EXPECT_EQ(thumb.dib_height(), row.outHeight) << row.width << "x" << row.height;
        if (row.outWidth >= 4) {
            EXPECT_EQ(thumb.DIBSectionBitsPtr()[0], 0);
            EXPECT_EQ(thumb.DIBSectionBitsPtr()[(row.outWidth - 1) * 3], 255);
        }
    }
    // The average rounds half up and is exact where the sum divides by the area: a picture of
    // one value keeps it whatever the scale, and black beside white gives 128.
    struct Average {
        int width, height, value, longest;
        std::uint8_t expected;
    };
    const Average averages[] = {
        {193, 264, 255, 160, 255}, {193, 264, 1, 160, 1},   {1024, 768, 128, 160, 128},
        {5000, 3, 254, 160, 254},  {32767, 2, 255, 1, 255}, {2, 1, -1, 1, 128},
    };
    for (const Average& a : averages) {
        imaging::cDIBSection picture;
        ASSERT_TRUE(picture.Create(a.width, a.height, 3));
        const int stride = picture.BytesPerScanLine();
        for (int y = 0; y < a.height; ++y)
            for (int x = 0; x < a.width; ++x)
                for (int c = 0; c < 3; ++c)
                    picture.DIBSectionBitsPtr()[y * stride + x * 3 + c] =
                        static_cast<std::uint8_t>(a.value >= 0 ? a.value : x % 2 * 255);
        const imaging::cDIBSection thumb = imaging::ScaleDownToFit(picture, a.longest);
        const int thumbStride = thumb.BytesPerScanLine();
        int wrong = 0;
        for (int y = 0; y < thumb.dib_height(); ++y)
            for (int x = 0; x < thumb.dib_width() * 3; ++x)
                wrong += thumb.DIBSectionBitsPtr()[y * thumbStride + x] != a.expected;
        EXPECT_EQ(wrong, 0) << a.width << "x" << a.height << " of " << a.value;
    }
    // The standard Huffman tables the thumbnails use code the same pixels as fitted ones.
    imaging::cDIBSection photo;
    ASSERT_TRUE(photo.Create(800, 600, 3));
    for (int i = 0; i < photo.BytesPerScanLine() * 600; ++i)
        photo.DIBSectionBitsPtr()[i] = static_cast<std::uint8_t>(i * 7 % 251);
    testing::TempDir folder;
    const std::vector<std::uint8_t> jpegs[] = {
        imaging::ThumbnailJpeg(photo),
        imaging::EncodeJpeg(imaging::ScaleDownToFit(photo, imaging::kThumbnailLongestSide),
                            imaging::kThumbnailJpegQuality, imaging::HuffmanTables::Fitted)};
    std::vector<testing::DecodedPicture> decoded;
    for (const auto& jpeg : jpegs) {
        ASSERT_GT(jpeg.size(), 4u);
        EXPECT_EQ(jpeg[0], 0xFF);
        EXPECT_EQ(jpeg[1], 0xD8);
        const auto file = folder / ("thumbnail" + std::to_string(decoded.size()) + ".jpg");
        std::ofstream(file, std::ios::binary)
            .write(reinterpret_cast<const char*>(jpeg.data()),
                   static_cast<std::streamsize>(jpeg.size()));
        decoded.push_back(testing::DecodeWithImageMagick(file));
    }
    EXPECT_EQ(decoded[0].width, 160);
    EXPECT_TRUE(decoded[0].pixels == decoded[1].pixels);
}

// The page in a real browser: every thumbnail shows, every link reaches its file, names with
// markup characters and letters beyond ASCII read as written, and the filters hide what they
// should.
TEST(ContactSheet, WorksInABrowser) {
    if (!testing::BrowserProgram())
        GTEST_SKIP() << "no browser installed (scripts/install-deps installs chromium)";
    testing::TempDir folder;
    ReportSection section = Section();
    section.entries[1].file = "Caf\xC3\xA9 & \"Bar\" #2.png";
    section.entries[1].thumbnail = ".thumbnails/Caf\xC3\xA9 & \"Bar\" #2.png.jpg";
    std::filesystem::create_directory(folder / ".thumbnails");
    imaging::cDIBSection picture;
    ASSERT_TRUE(picture.Create(300, 200, 3));
    for (const auto& entry : section.entries) {
        if (entry.outcome != EntryOutcome::Written)
            continue;
        const auto jpeg = imaging::ThumbnailJpeg(picture);
        for (const auto& name : {entry.file, entry.thumbnail})
            std::ofstream(folder.path() / name, std::ios::binary)
                .write(reinterpret_cast<const char*>(jpeg.data()),
                       static_cast<std::streamsize>(jpeg.size()));
    }
    std::ofstream(folder / "index.html") << ContactSheetHtml("nwind.mdb", {section});

    const auto value = nlohmann::json::parse(testing::ValueInBrowser(folder / "index.html", R"(
        const images = Array.from(d.images);
        const shown = () => Array.from(d.querySelectorAll('li.entry')).filter(e => !e.hidden).length;
        const outcome = d.getElementById('outcome');
        outcome.value = 'skipped';
        outcome.dispatchEvent(new Event('change'));
        const skippedShown = shown();
        outcome.value = '';
        const reason = d.getElementById('reason');
        reason.value = 'not a picture';
        reason.dispatchEvent(new Event('change'));
        return {images: images.length,
                loaded: images.filter(i => i.complete && i.naturalWidth > 0).length,
                written: d.getElementById('written-count').textContent,
                skipped: d.getElementById('skipped-count').textContent,
                names: Array.from(d.querySelectorAll('.name')).map(a => a.textContent),
                links: Array.from(d.querySelectorAll('a[href]')).map(a => a.href),
                skippedShown: skippedShown, reasonShown: shown()};
    )"));
    ASSERT_FALSE(value.contains("error")) << value.dump();
    EXPECT_EQ(value["images"], 2);
    EXPECT_EQ(value["loaded"], 2);
    EXPECT_EQ(value["written"], "2");
    EXPECT_EQ(value["skipped"], "1");
    EXPECT_EQ(value["names"], nlohmann::json({"Nancy <1>.png", "Caf\xC3\xA9 & \"Bar\" #2.png"}));
    EXPECT_EQ(value["skippedShown"], 1);
    EXPECT_EQ(value["reasonShown"], 1);
    ASSERT_EQ(value["links"].size(), 4u);
    for (const auto& link : value["links"])
        EXPECT_TRUE(std::filesystem::exists(testing::PathOfFileUrl(link.get<std::string>())))
            << link;
}

}  // namespace
}  // namespace pictrova::report
