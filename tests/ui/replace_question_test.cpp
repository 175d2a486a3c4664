// SPDX-License-Identifier: GPL-3.0-or-later
// The files a run would replace, found before it starts from the naming choice and the folder,
// and the question the wizard asks with its real buttons.

#include "ui/replace_question.h"

#include <QApplication>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <fstream>

#include "test_paths.h"
#include "ui/dialogs.h"

namespace pictrova::ui {
namespace {

using run::Naming;
using run::OutputFormat;

TEST(FilesInTheWay, AreTheNamesTheChoicesGiveOrAllTheFormatsFilesWhenRecordsGiveThem) {
    struct Case {
        const char* what;
        Naming naming;
        const char* prefix;
        OutputFormat format;
        // Files in the output folder; a trailing "/" makes a folder, a "/" inside a file below
        // one.
        std::vector<std::string> files;
        std::int64_t count;
        std::vector<std::string> examples;
        bool namesFromRecords = false;
    };
    const Case cases[] = {
        {"the default prefix: counters, attached files' \"-n\"; not other formats, stems, "
         "numbered copies or folders",
         Naming::FixedPrefix,
         "Output#",
         OutputFormat::BMP,
         {"Output1.bmp", "Output12.bmp", "Output3-2.bmp", "Output1.jpg", "Output.bmp",
          "Outputs1.bmp", "Output1 (2).bmp", "Output1-.bmp", "notes.txt", "Output7.bmp/"},
         3,
         {"Output1.bmp", "Output12.bmp", "Output3-2.bmp"}},
        {"a padded counter: at least its width, wider only without a leading zero",
         Naming::FixedPrefix,
         "Photo###",
         OutputFormat::JPG,
         {"Photo001.jpg", "Photo1.jpg", "Photo1000.jpg", "Photo0001.jpg"},
         2,
         {"Photo001.jpg", "Photo1000.jpg"}},
        {"more than three are counted, the first three in name order shown",
         Naming::FixedPrefix,
         "Output#",
         OutputFormat::TIFF,
         {"Output4.tif", "Output2.tif", "Output3.tif", "Output1.tif", "Output5.tiff"},
         4,
         {"Output1.tif", "Output2.tif", "Output3.tif"}},
        {"the table's name",
         Naming::TableName,
         "",
         OutputFormat::PNG,
         {"Animals1.png", "Animals_Photo1.png"},
         1,
         {"Animals1.png"}},
        {"the table's and the field's names",
         Naming::TableAndFieldName,
         "",
         OutputFormat::PNG,
         {"Animals1.png", "Animals_Photo7.png"},
         1,
         {"Animals_Photo7.png"}},
        {"Original keeps each object's extension",
         Naming::FixedPrefix,
         "Output#",
         OutputFormat::Original,
         {"Output1.pdf", "Output2.jpg", "Output3", "Output4."},
         2,
         {"Output1.pdf", "Output2.jpg"}},
        {"a backslash in the prefix is a folder below the output folder",
         Naming::FixedPrefix,
         "sub\\Output#",
         OutputFormat::BMP,
         {"Output1.bmp", "sub/Output2.bmp"},
         1,
         {"Output2.bmp"}},
        {"names from a text field: every file of the format, hidden ones left out",
         Naming::FieldText,
         "Output#",
         OutputFormat::JPG,
         {"b.jpg", "a.jpg", "c.png", ".hidden.jpg", "folder.jpg/"},
         2,
         {"a.jpg", "b.jpg"},
         true},
        {"the files' own names with Original: every file",
         Naming::OriginalName,
         "Output#",
         OutputFormat::Original,
         {"report.pdf", "README", ".profile"},
         2,
         {"README", "report.pdf"},
         true},
        // Runs that their checks stop before they write.
        {"a prefix without its counter",
         Naming::FixedPrefix,
         "Output",
         OutputFormat::BMP,
         {"Output1.bmp"},
         0,
         {}},
        {"a prefix that leaves the folder",
         Naming::FixedPrefix,
         "..\\Output#",
         OutputFormat::BMP,
         {"Output1.bmp"},
         0,
         {}},
        {"no format", Naming::FixedPrefix, "Output#", OutputFormat::None, {"Output1.bmp"}, 0, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        pictrova::testing::TempDir folder;
        for (const std::string& file : c.files) {
            const std::filesystem::path path = folder / file;
            std::filesystem::create_directories(file.ends_with('/') ? path : path.parent_path());
            if (!file.ends_with('/'))
                std::ofstream(path) << "there before";
        }
        run::ExtractionChoices choices;
        choices.table = "Animals";
        choices.pictureField = "Photo";
        choices.naming = c.naming;
        choices.prefix = c.prefix;
        choices.format = c.format;
        choices.outputFolder = folder.path().string() + "/";
        const FilesInTheWay found = FindFilesInTheWay(choices);
        EXPECT_EQ(found.count, c.count);
        EXPECT_EQ(found.examples, c.examples);
        if (c.count > 0) {
            EXPECT_EQ(found.namesFromRecords, c.namesFromRecords);
        }
    }
}

TEST(FilesInTheWay, NoneInAFolderThatIsNotThere) {
    pictrova::testing::TempDir folder;
    run::ExtractionChoices choices;
    choices.pictureField = "Photo";
    choices.outputFolder = (folder / "gone").string();
    EXPECT_EQ(FindFilesInTheWay(choices).count, 0);
}

// The real message box, answered by clicking its buttons (or pressing Escape) once it shows.
TEST(ReplaceQuestionBox, EachButtonGivesItsAnswer) {
    struct Case {
        const char* button;  // nullptr: Escape
        ReplaceAnswer answer;
    };
    const Case cases[] = {
        {"Replace", ReplaceAnswer::Replace},
        {"Keep both", ReplaceAnswer::KeepBoth},
        {"Cancel", ReplaceAnswer::Cancel},
        {nullptr, ReplaceAnswer::Cancel},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.button ? c.button : "Escape");
        QStringList buttons;
        QTimer::singleShot(0, [&] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            ASSERT_NE(box, nullptr);
            for (QAbstractButton* button : box->buttons())
                buttons << button->text();
            if (c.button == nullptr) {
                QTest::keyClick(box, Qt::Key_Escape);
                return;
            }
            for (QAbstractButton* button : box->buttons()) {
                if (button->text() == c.button)
                    button->click();
            }
        });
        QtDialogs dialogs;
        EXPECT_EQ(dialogs.AskReplace(nullptr, "Replace them?", "Pictrova"), c.answer);
        buttons.sort();
        EXPECT_EQ(buttons, QStringList({"Cancel", "Keep both", "Replace"}));
    }
}

}  // namespace
}  // namespace pictrova::ui
