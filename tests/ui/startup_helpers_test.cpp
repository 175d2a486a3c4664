// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/startup_helpers.h"

#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>
#include <QWidget>

#include <gtest/gtest.h>

#include "test_paths.h"
#include "ui/dialogs.h"
#include "ui/folder_picker.h"

namespace pictrova::ui {
namespace {

TEST(ApplicationTitle, DropsWordsFromTheEnd) {
    struct Case {
        QString productName;
        QString expected;
    };
    const QString fortyOne = "Alpha Beta Gamma Delta Epsilon Zeta Etaxx";  // 41 characters
    ASSERT_EQ(fortyOne.size(), 41);
    const Case cases[] = {
        {"Pictrova", "Pictrova"},  // no blank: the whole name
        {"Pictrova Deluxe", "Pictrova"},
        {"Pictrova Pro Edition", "Pictrova Pro"},
        {fortyOne, "Alpha Beta Gamma Delta Epsilon Zeta"},
        {fortyOne + " Theta", "Alpha Beta Gamma Delta Epsilon Zeta"},
        {QString(45, 'x'), QString(40, 'x')},
    };
    for (const Case& c : cases)
        EXPECT_EQ(DeriveApplicationTitle(c.productName), c.expected) << c.productName.toStdString();
}

TEST(ApplicationTitle, IsTheProductName) {
    SetApplicationTitle();
    EXPECT_EQ(ApplicationTitle(), "Pictrova");
}

TEST(DesktopFolder, EndsInExactlyOneSeparator) {
    const QString desktop = GetDesktopFolder();
    EXPECT_TRUE(desktop.endsWith('/'));
    EXPECT_FALSE(desktop.endsWith("//"));
    // The test HOME has no Desktop folder, so the home folder stands in.
    EXPECT_EQ(desktop, QDir::homePath() + "/");
    ASSERT_TRUE(QDir::home().mkpath("Desktop"));
    EXPECT_EQ(GetDesktopFolder(), QDir::homePath() + "/Desktop/");
    QDir(QDir::homePath() + "/Desktop").removeRecursively();
}

TEST(TrailingSeparator, IsAddedOnlyWhenMissing) {
    const std::pair<QString, QString> cases[] = {
        {"/home/u/out", "/home/u/out/"},
        {"/home/u/out/", "/home/u/out/"},
        {"/", "/"},
        {"", ""},
        {"a//", "a/"},
    };
    for (const auto& [path, expected] : cases)
        EXPECT_EQ(WithTrailingSeparator(path), expected) << path.toStdString();
}

TEST(DialogFilter, BecomesNameFiltersWithTheDescriptionsAsWritten) {
    const QStringList filters = NameFiltersFromDialogFilter(
        "All Microsoft Databases (*.mdb,*.accdb)|*.*db|Microsoft Database (*.mdb)|*.mdb|"
        "Microsoft 2007 Database (*.accdb)|*.accdb|");
    EXPECT_EQ(filters, QStringList({"All Microsoft Databases (*.mdb,*.accdb) (*.*db)",
                                    "Microsoft Database (*.mdb) (*.mdb)",
                                    "Microsoft 2007 Database (*.accdb) (*.accdb)"}));
}

class SkinTest : public ::testing::Test {
  protected:
    pictrova::testing::TempDir programFolder;
};

TEST_F(SkinTest, WithoutSkinFileThePageKeepsItsLook) {
    QWidget page;
    auto* option = new QRadioButton("x", &page);
    ApplySkin(page, programFolder.path());
    EXPECT_TRUE(page.styleSheet().isEmpty());
    EXPECT_FALSE(page.autoFillBackground());
    EXPECT_FALSE(option->autoFillBackground());
}

TEST_F(SkinTest, SkinFileIsAppliedAsStyleSheetWithButtonFaceColours) {
    std::filesystem::create_directories(programFolder / "x");
    QFile skin(QString::fromStdString((programFolder / "x" / "o.cjs").string()));
    ASSERT_TRUE(skin.open(QIODevice::WriteOnly));
    skin.write("QPushButton { color: navy; }");
    skin.close();

    QWidget page;
    auto* label = new QLabel("x", &page);
    auto* edit = new QLineEdit(&page);
    ApplySkin(page, programFolder.path());
    EXPECT_EQ(page.styleSheet(), "QPushButton { color: navy; }");
    EXPECT_TRUE(label->autoFillBackground());
    EXPECT_EQ(label->palette().color(QPalette::Window), page.palette().color(QPalette::Button));
    EXPECT_FALSE(edit->autoFillBackground());
}

TEST_F(SkinTest, HandPointerOnlyWhenTheCursorFileExists) {
    EXPECT_FALSE(LoadHandPointer(programFolder.path()).has_value());
    // A 1x1 cursor whose hot spot is (0,0): directory, one entry, then a 32-bit BMP image.
    // clang-format off
    const unsigned char cursor[] = {
        0, 0, 2, 0, 1, 0,                                  // reserved, type 2 (cursor), one image
        1, 1, 0, 0, 0, 0, 0, 0, 48, 0, 0, 0, 22, 0, 0, 0,  // 1x1, hot spot 0,0, 48 bytes at 22
        40, 0, 0, 0, 1, 0, 0, 0, 2, 0, 0, 0, 1, 0, 32, 0,  // BITMAPINFOHEADER, height doubled (mask)
        0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,
        0, 0, 255, 255,                                    // one pixel
        0, 0, 0, 0,                                        // AND mask row
    };
    // clang-format on
    QFile file(QString::fromStdString((programFolder / "HAND-M.CUR").string()));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(reinterpret_cast<const char*>(cursor), sizeof cursor);
    file.close();
    EXPECT_TRUE(LoadHandPointer(programFolder.path()).has_value());
}

}  // namespace
}  // namespace pictrova::ui
