// SPDX-License-Identifier: GPL-3.0-or-later
// The two pages driven as a user drives them, on real databases from our writer: start-up with
// and without remembered settings, restoring and storing the options, the dialogs, "Next >" and
// "< Back", and the error report of failing steps.

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMimeData>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QSlider>
#include <QTest>
#include <QTreeWidget>

#include <gtest/gtest.h>

#include "jet_writer/jet_writer.h"
#include "test_paths.h"
#include "ui/form1.h"
#include "ui/form2.h"
#include "ui/preview_grid.h"
#include "ui/startup_helpers.h"
#include "ui/wizard_options.h"
#include "ui_test_support.h"
#include "wizard_fixture.h"

namespace pictrova::ui {
namespace {

using testing::WizardTest;

QStringList Rows(const QTreeWidget& list) {
    QStringList rows;
    for (int i = 0; i < list.topLevelItemCount(); ++i)
        rows << list.topLevelItem(i)->text(0);
    return rows;
}

QStringList ComboEntries(const QComboBox& combo) {
    QStringList entries;
    for (int i = 0; i < combo.count(); ++i)
        entries << combo.itemText(i);
    return entries;
}

TEST_F(WizardTest, FirstStartWithoutSettingsShowsEmptyFieldsAndTheDefaultOptions) {
    Form1& form1 = Start();
    EXPECT_EQ(form1.Text1->text(), "");
    EXPECT_EQ(form1.Text2->text(), "");
    EXPECT_FALSE(form1.IsForm2Loaded());
    EXPECT_EQ(form1.windowTitle(), "Pictrova");

    Form2& form2 = form1.form2();
    EXPECT_TRUE(form2.Option1->isChecked());
    EXPECT_TRUE(form2.Option3->isChecked());
    EXPECT_EQ(form2.Text1->text(), "Output#");
    EXPECT_TRUE(form2.Option8->isChecked());
    EXPECT_EQ(form2.Slider1->value(), 85);
    EXPECT_EQ(form2.Text2->text(), QDir::homePath() + "/");
    EXPECT_TRUE(form2.WriteSheet->isChecked());
    // Restoring counts as a change, so the first start stores the defaults of the two fields.
    EXPECT_EQ(settings.Read("Prefix"), "Output#");
    EXPECT_EQ(settings.Read("Output Folder"), QDir::homePath() + "/");
    EXPECT_TRUE(dialogs.messages.empty());
}

TEST_F(WizardTest, RememberedDatabaseGoesStraightToTheOptionsPageWithTheFirstTablesFields) {
    const auto database = WriteTwoTableDatabase();
    settings.Write("AccessMDBFile", QString::fromStdString(database.string()));
    Form1& form1 = Start();

    ASSERT_TRUE(form1.IsForm2Loaded());
    Form2& form2 = form1.form2();
    EXPECT_TRUE(form2.isVisible());
    EXPECT_FALSE(form1.isVisible());
    EXPECT_EQ(Rows(*form2.ListView1), QStringList({"Animals", "Pictures"}));
    // Both pages name the database.
    EXPECT_EQ(form2.windowTitle(), "two tables.mdb — Pictrova");
    EXPECT_EQ(form1.windowTitle(), "two tables.mdb — Pictrova");
    ASSERT_EQ(form2.ListView1->selectedItems().size(), 1);
    EXPECT_EQ(form2.ListView1->selectedItems()[0]->text(0), "Animals");
    EXPECT_EQ(Rows(*form2.ListView2), QStringList({"ID", "Name", "Photo"}));
    // The picture field is marked and not offered as a name: its bytes name no file.
    EXPECT_EQ(ComboEntries(*form2.Combo1), QStringList({"ID", "Name"}));
    EXPECT_EQ(form2.Combo1->currentText(), "ID");
    for (int i = 0; i < 3; ++i) {
        const QTreeWidgetItem* row = form2.ListView2->topLevelItem(i);
        const bool picture = row->text(0) == "Photo";
        EXPECT_EQ(row->font(0).bold(), picture) << row->text(0).toStdString();
        EXPECT_EQ(!row->icon(0).isNull(), picture) << row->text(0).toStdString();
        EXPECT_EQ(row->toolTip(0), picture ? "OLE Object" : "") << row->text(0).toStdString();
    }
    EXPECT_TRUE(dialogs.messages.empty());
}

// A table with a picture field is marked in the table list as the field is in the field list,
// with the picture fields named in its tip.
TEST_F(WizardTest, TablesWithAPictureFieldAreMarked) {
    jet::DatabasePlan plan;
    plan.tables.push_back({"Animals",
                           {{"ID", jet::ColumnType::Long},
                            {"Photo", jet::ColumnType::OleObject},
                            {"Sketch", jet::ColumnType::OleObject}},
                           {}});
    plan.tables.push_back({"Notes",
                           {{"ID", jet::ColumnType::Long},
                            {"Text", jet::ColumnType::Memo},
                            {"Checksum", jet::ColumnType::Binary, 16}},
                           {}});
    plan.tables.push_back(
        {"Staff",
         {{"Badge", jet::ColumnType::Long}, {"Portrait", jet::ColumnType::OleObject}},
         {}});
    const auto database = programFolder / "marks.mdb";
    jet::WriteDatabase(database, plan);
    settings.Write("AccessMDBFile", QString::fromStdString(database.string()));
    Form2& form2 = Start().form2();
    const std::pair<QString, QString> tables[] = {
        {"Animals", "Picture fields: Photo, Sketch"},
        {"Notes", ""},
        {"Staff", "Picture field: Portrait"},
    };
    ASSERT_EQ(form2.ListView1->topLevelItemCount(), 3);
    for (int i = 0; i < 3; ++i) {
        const QTreeWidgetItem* row = form2.ListView1->topLevelItem(i);
        const auto& [name, tip] = tables[i];
        EXPECT_EQ(row->text(0), name);
        EXPECT_EQ(row->toolTip(0), tip) << name.toStdString();
        EXPECT_EQ(row->font(0).bold(), !tip.isEmpty()) << name.toStdString();
        EXPECT_EQ(!row->icon(0).isNull(), !tip.isEmpty()) << name.toStdString();
    }
    EXPECT_TRUE(dialogs.messages.empty());
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
}

// The table, picture field and name field chosen last come back at start-up; a remembered
// name the database no longer has falls back to the first as before.
TEST_F(WizardTest, RememberedTableAndFieldChoicesAreRestored) {
    const auto database = WriteTwoTableDatabase();
    struct Case {
        QString table, pictureField, nameField;  // stored; empty: none
        QString expectedTable, expectedPicture, expectedName;
    };
    const Case cases[] = {
        {"", "", "", "Animals", "", "ID"},
        {"Pictures", "Picture", "Caption", "Pictures", "Picture", "Caption"},
        {"Gone", "Photo", "Nope", "Animals", "Photo", "ID"},
        {"Animals", "Name", "Photo", "Animals", "",
         "ID"},  // a text field is no picture field, and the reverse
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.table.toStdString() + "/" + c.pictureField.toStdString());
        testing::ClearStoredSettings();
        settings.Write("AccessMDBFile", QString::fromStdString(database.string()));
        for (const auto& [key, value] : {std::pair{"Table", c.table},
                                         {"Picture Field", c.pictureField},
                                         {"Name Field", c.nameField}}) {
            if (!value.isEmpty())
                settings.Write(key, value);
        }
        Form1 form1(Services());
        form1.Load();
        Form2& form2 = form1.form2();
        ASSERT_NE(form2.ListView1->currentItem(), nullptr);
        EXPECT_EQ(form2.ListView1->currentItem()->text(0), c.expectedTable);
        EXPECT_EQ(QString::fromStdString(form2.options().pictureField()), c.expectedPicture);
        EXPECT_EQ(form2.Combo1->currentText(), c.expectedName);
        // Refilling the lists did not overwrite what was remembered.
        EXPECT_EQ(settings.Read("Name Field"), c.nameField);
    }
}

TEST_F(WizardTest, ChoosingTableAndFieldsRemembersThem) {
    const auto database = WriteTwoTableDatabase();
    settings.Write("AccessMDBFile", QString::fromStdString(database.string()));
    Form2& form2 = Start().form2();
    form2.show();
    QTreeWidgetItem* pictures = form2.ListView1->topLevelItem(1);
    QTest::mouseClick(form2.ListView1->viewport(), Qt::LeftButton, {},
                      form2.ListView1->visualItemRect(pictures).center());
    form2.ListView2->setCurrentItem(form2.ListView2->findItems("Picture", Qt::MatchExactly)[0]);
    form2.Combo1->setCurrentText("Caption");
    EXPECT_EQ(settings.Read("Table"), "Pictures");
    EXPECT_EQ(settings.Read("Picture Field"), "Picture");
    EXPECT_EQ(settings.Read("Name Field"), "Caption");
}

TEST_F(WizardTest, RememberedDatabaseThatIsGoneLeavesTheDatabasePageSilently) {
    settings.Write("AccessMDBFile", QString::fromStdString((programFolder / "gone.mdb").string()));
    Form1& form1 = Start();
    EXPECT_FALSE(form1.IsForm2Loaded());
    EXPECT_EQ(form1.Text1->text(), QString::fromStdString((programFolder / "gone.mdb").string()));
    EXPECT_TRUE(dialogs.messages.empty());
}

TEST_F(WizardTest, StoredFormatIsRestoredJpgBeforeBmpAndSetsTheSlider) {
    struct Case {
        const char* chosenKey;
        QRadioButton* Form2::*expected;
        bool sliderEnabled;
    };
    const Case cases[] = {
        {"Option9", &Form2::Option9, true},     // JPG
        {"Option10", &Form2::Option10, false},  // PNG
        {"Option11", &Form2::Option11, false}, {"Option12", &Form2::Option12, false},
        {"Option13", &Form2::Option13, false}, {"Option14", &Form2::Option14, false},
        {"Option15", &Form2::Option15, false},  // Original, added later: restored after BMP
        {"Option8", &Form2::Option8, false},    // BMP: design-time choice, no click handling
    };
    for (const Case& c : cases) {
        testing::ClearStoredSettings();
        for (const char* key : {"Option8", "Option9", "Option10", "Option11", "Option12",
                                "Option13", "Option14", "Option15"}) {
            settings.Write(key, BooleanToText(QString(key) == c.chosenKey));
        }
        Form1 form1(Services());
        form1.Load();
        Form2& form2 = form1.form2();
        EXPECT_TRUE((form2.*c.expected)->isChecked()) << c.chosenKey;
        EXPECT_EQ(form2.Slider1->isEnabled(), c.sliderEnabled) << c.chosenKey;
        EXPECT_EQ(settings.Read(c.chosenKey), "True");
    }
}

TEST_F(WizardTest, StoredNumbersRestoreOptionsAndAreWrittenBackAsWords) {
    settings.Write("Option1", "0");
    settings.Write("Option2", "-1");
    settings.Write("Option3", "0");
    settings.Write("Option6", "1");
    Form1& form1 = Start();
    Form2& form2 = form1.form2();
    EXPECT_TRUE(form2.Option2->isChecked());
    EXPECT_TRUE(form2.Option6->isChecked());
    EXPECT_EQ(settings.Read("Option1"), "False");
    EXPECT_EQ(settings.Read("Option2"), "True");
    EXPECT_EQ(settings.Read("Option3"), "False");
    EXPECT_EQ(settings.Read("Option6"), "True");
}

TEST_F(WizardTest, StoredFalseForEveryFormatLeavesNoFormatChosen) {
    for (const char* key :
         {"Option8", "Option9", "Option10", "Option11", "Option12", "Option13", "Option14"}) {
        settings.Write(key, "False");
    }
    Form2& form2 = Start().form2();
    EXPECT_FALSE(form2.Option8->isChecked());
    EXPECT_EQ(form2.options().format(), run::OutputFormat::None);
    // A later click chooses one as usual.
    form2.show();
    QTest::mouseClick(form2.Option11, Qt::LeftButton);
    EXPECT_EQ(form2.options().format(), run::OutputFormat::GIF);
}

TEST_F(WizardTest, BadStoredOptionIsReportedAtItsLabelAndTheOptionKeepsItsState) {
    settings.Write("Option3", "maybe");
    settings.Write("Option9", "sure");
    settings.Write("Contact Sheet", "often");
    Form1& form1 = Start();
    Form2& form2 = form1.form2();
    const auto reports = dialogs.ErrorReports();
    ASSERT_EQ(reports.size(), 3u);
    EXPECT_EQ(reports[0],
              "Type mismatch\r\nin Pictrova2021/08/31.Form2.Form_Load at line 114\r\r"
              "Please email screenshot of this message to support@quillmoor.com");
    EXPECT_TRUE(reports[1].contains("Form2.Form_Load at line 124"));
    EXPECT_TRUE(reports[2].contains("Form2.Form_Load at line 139"));
    EXPECT_EQ(dialogs.messages[0].icon, QMessageBox::Warning);
    EXPECT_TRUE(form2.Option3->isChecked());
    EXPECT_TRUE(form2.Option8->isChecked());
    EXPECT_TRUE(form2.WriteSheet->isChecked());
    // The steps after the failures still ran.
    EXPECT_EQ(form2.Text2->text(), QDir::homePath() + "/");
}

TEST_F(WizardTest, OptionClicksStoreTheirWholeGroupAndDriveTheSlider) {
    Form2& form2 = Start().form2();
    form2.show();
    QTest::mouseClick(form2.Option5, Qt::LeftButton);
    for (const auto& [key, value] : {std::pair{"Option3", "False"},
                                     {"Option4", "False"},
                                     {"Option5", "True"},
                                     {"Option6", "False"},
                                     {"Option7", "False"}}) {
        EXPECT_EQ(settings.Read(key), value) << key;
    }
    EXPECT_EQ(settings.Read("Option1"), "");  // the other groups are not written

    QTest::mouseClick(form2.Option9, Qt::LeftButton);
    EXPECT_TRUE(form2.Slider1->isEnabled());
    EXPECT_EQ(settings.Read("Option9"), "True");
    EXPECT_EQ(settings.Read("Option8"), "False");
    QTest::mouseClick(form2.Option13, Qt::LeftButton);
    EXPECT_FALSE(form2.Slider1->isEnabled());
    EXPECT_EQ(settings.Read("Option9"), "False");
    EXPECT_EQ(settings.Read("Option13"), "True");
    EXPECT_EQ(form2.options().format(), run::OutputFormat::TGA);
    EXPECT_EQ(form2.options().naming(), run::Naming::FieldName);

    // The later options: Original after PCX, the packaged file's own name after the text field.
    QTest::mouseClick(form2.Option15, Qt::LeftButton);
    QTest::mouseClick(form2.Option16, Qt::LeftButton);
    EXPECT_EQ(form2.options().format(), run::OutputFormat::Original);
    EXPECT_EQ(form2.options().naming(), run::Naming::OriginalName);
    EXPECT_EQ(settings.Read("Option15"), "True");
    EXPECT_EQ(settings.Read("Option13"), "False");
    EXPECT_EQ(settings.Read("Option16"), "True");
    EXPECT_EQ(settings.Read("Option5"), "False");
}

TEST_F(WizardTest, TextChangesAreStoredAtEveryKeystroke) {
    Form1& form1 = Start();
    QTest::keyClicks(form1.Text1, "/data/a b.mdb");
    QTest::keyClicks(form1.Text2, "p;w");
    EXPECT_EQ(settings.Read("AccessMDBFile"), "/data/a b.mdb");
    EXPECT_EQ(settings.Read("AccessPassword"), "p;w");
    form1.Text1->clear();
    EXPECT_EQ(settings.Read("AccessMDBFile", "missing"), "");

    Form2& form2 = form1.form2();
    form2.Text1->setText("Pic##");
    EXPECT_EQ(settings.Read("Prefix"), "Pic##");
    EXPECT_EQ(form2.options().prefix(), "Pic##");
}

TEST_F(WizardTest, SettingThatCannotBeStoredIsReportedUnderTheFieldsChangeHandler) {
    Form1& form1 = Start();
    const QString fileName = settings.FileName();
    QFile::remove(fileName);
    ASSERT_TRUE(QDir().mkpath(fileName));  // a folder where the file should be
    form1.Text1->setText("/data/x.mdb");
    QDir(fileName).removeRecursively();
    const auto reports = dialogs.ErrorReports();
    ASSERT_EQ(reports.size(), 1u);
    EXPECT_TRUE(reports[0].startsWith("Cannot write the settings file"))
        << reports[0].toStdString();
    EXPECT_TRUE(reports[0].contains("in Pictrova2021/08/31.Form1.Text1_Change at line 100"));
    EXPECT_EQ(form1.Text1->text(), "/data/x.mdb");
}

TEST_F(WizardTest, BrowseForTheDatabaseUsesTitleAndFiltersAndKeepsTheTextWhenCancelled) {
    Form1& form1 = Start();
    form1.Text1->setText("/kept.mdb");
    QTest::mouseClick(form1.PushButton1, Qt::LeftButton);
    EXPECT_EQ(form1.Text1->text(), "/kept.mdb");
    ASSERT_EQ(dialogs.openTitles.size(), 1u);
    EXPECT_EQ(dialogs.openTitles[0], "Select Access Database");
    EXPECT_EQ(dialogs.openFilters[0],
              "All Microsoft Databases (*.mdb,*.accdb)|*.*db|Microsoft Database (*.mdb)|*.mdb|"
              "Microsoft 2007 Database (*.accdb)|*.accdb|");

    dialogs.fileAnswers.push_back("/data/pictures.xdb");
    QTest::mouseClick(form1.PushButton1, Qt::LeftButton);
    EXPECT_EQ(form1.Text1->text(), "/data/pictures.xdb");
    EXPECT_EQ(settings.Read("AccessMDBFile"), "/data/pictures.xdb");
}

TEST_F(WizardTest, SampleButtonNamesTheSampleBesideTheProgramAndKeepsThePassword) {
    Form1& form1 = Start();
    form1.Text2->setText("secret");
    QTest::mouseClick(form1.PushButton3, Qt::LeftButton);
    EXPECT_EQ(form1.Text1->text(),
              QString::fromStdString((programFolder / "Samples" / "sample.mdb").string()));
    EXPECT_EQ(form1.Text2->text(), "secret");
    EXPECT_FALSE(form1.IsForm2Loaded());
}

TEST_F(WizardTest, FolderPickerAddsOneSeparatorAndCancelChangesNothing) {
    settings.Write("LastFolderDot", "/srv/last");
    Form2& form2 = Start().form2();
    struct Case {
        QString answer;
        QString expected;
    };
    const Case cases[] = {{"/srv/out", "/srv/out/"}, {"/", "/"}, {"", "/"}};
    for (const Case& c : cases) {
        dialogs.folderAnswers.push_back(c.answer);
        QTest::mouseClick(form2.PushButton2, Qt::LeftButton);
        EXPECT_EQ(form2.Text2->text(), c.expected) << c.answer.toStdString();
    }
    EXPECT_EQ(dialogs.folderTitles.back(), "Please select folder:");
    EXPECT_EQ(dialogs.folderStarts.back(), "/srv/last");
    EXPECT_EQ(settings.Read("Output Folder"), "/");

    // With no folder remembered the picker starts at the desktop.
    settings.Write("LastFolderDot", "");
    dialogs.folderAnswers.push_back("");
    QTest::mouseClick(form2.PushButton2, Qt::LeftButton);
    EXPECT_EQ(dialogs.folderStarts.back(), GetDesktopFolder());
}

TEST_F(WizardTest, HelpButtonsShowTheirTextsUnderTheApplicationTitle) {
    Form2& form2 = Start().form2();
    QTest::mouseClick(form2.PushButton1, Qt::LeftButton);
    QTest::mouseClick(form2.PushButton4, Qt::LeftButton);
    ASSERT_EQ(dialogs.messages.size(), 2u);
    EXPECT_EQ(dialogs.messages[0].text, "Please experiment with both methods.");
    EXPECT_EQ(
        dialogs.messages[1].text,
        "Filenames can be saved as Output001.jpg, Output002.jpg, Output003.jpg or by any word you "
        "choose or by table name.");
    for (const auto& message : dialogs.messages) {
        EXPECT_EQ(message.title, "Pictrova");
        EXPECT_EQ(message.icon, QMessageBox::NoIcon);
    }
}

TEST_F(WizardTest, BackThenNextKeepsTheChoicesAndRefillsTheTableList) {
    const auto database = WriteTwoTableDatabase();
    settings.Write("AccessMDBFile", QString::fromStdString(database.string()));
    Form1& form1 = Start();
    Form2& form2 = form1.form2();
    QTest::mouseClick(form2.Option10, Qt::LeftButton);
    form2.Text1->setText("Kept#");
    form2.ListView1->clear();

    QTest::mouseClick(form2.PushButton7, Qt::LeftButton);
    EXPECT_TRUE(form1.isVisible());
    EXPECT_FALSE(form2.isVisible());
    QTest::mouseClick(form1.PushButton2, Qt::LeftButton);
    EXPECT_TRUE(form2.isVisible());
    EXPECT_FALSE(form1.isVisible());
    EXPECT_TRUE(form2.Option10->isChecked());
    EXPECT_EQ(form2.Text1->text(), "Kept#");
    EXPECT_EQ(Rows(*form2.ListView1), QStringList({"Animals", "Pictures"}));
    // The field list and the name fields belonged to the tables listed before: they are cleared
    // until a table is clicked.
    EXPECT_TRUE(Rows(*form2.ListView2).isEmpty());
    EXPECT_EQ(form2.Combo1->count(), 0);
    EXPECT_EQ(form2.options().pictureField(), "");
}

// Going back and choosing another database lists only its tables, with no field of the first.
TEST_F(WizardTest, NextOnAnotherDatabaseShowsNothingOfThePreviousOne) {
    const auto first = WriteTwoTableDatabase();
    jet::DatabasePlan plan;
    plan.tables.push_back(
        {"Staff",
         {{"Badge", jet::ColumnType::Long}, {"Portrait", jet::ColumnType::OleObject}},
         {}});
    const auto second = programFolder / "staff.mdb";
    jet::WriteDatabase(second, plan);
    settings.Write("AccessMDBFile", QString::fromStdString(first.string()));
    Form1& form1 = Start();
    Form2& form2 = form1.form2();
    form2.RunProgress->setVisible(true);
    form2.RunProgress->setValue(1);
    new QListWidgetItem("stale", form2.Preview->Cells);
    QTest::mouseClick(form2.PushButton7, Qt::LeftButton);
    form1.Text1->setText(QString::fromStdString(second.string()));
    QTest::mouseClick(form1.PushButton2, Qt::LeftButton);
    EXPECT_EQ(Rows(*form2.ListView1), QStringList({"Staff"}));
    EXPECT_EQ(form2.windowTitle(), "staff.mdb — Pictrova");
    EXPECT_EQ(form1.windowTitle(), "staff.mdb — Pictrova");
    EXPECT_TRUE(Rows(*form2.ListView2).isEmpty());
    EXPECT_EQ(form2.Combo1->count(), 0);
    EXPECT_TRUE(form2.RunProgress->isHidden());
    EXPECT_EQ(form2.RunProgress->value(), 0);
    EXPECT_EQ(form2.Preview->Cells->count(), 0);
    form2.ListView1_Click();
    EXPECT_EQ(Rows(*form2.ListView2), QStringList({"Badge", "Portrait"}));
    EXPECT_TRUE(dialogs.messages.empty());
}

// A path that names no file: "Next >" still opens no dialog, but the field says so; the mark
// goes as soon as the path names a file.
TEST_F(WizardTest, PathWithoutAFileIsMarkedBesideTheField) {
    const auto database = WriteTwoTableDatabase();
    const QString gone = QString::fromStdString((programFolder / "gone.mdb").string());
    settings.Write("AccessMDBFile", gone);
    Form1& form1 = Start();
    EXPECT_FALSE(form1.lblNoFile->isHidden());  // the remembered database is gone
    EXPECT_EQ(form1.lblNoFile->text(), "No file at this path");

    form1.Text1->setText(QString::fromStdString(database.string()));
    EXPECT_TRUE(form1.lblNoFile->isHidden());
    form1.Text1->setText(QString::fromStdString((programFolder / "typo.mbd").string()));
    EXPECT_TRUE(form1.lblNoFile->isHidden());    // not marked while typing
    EXPECT_EQ(form1.windowTitle(), "Pictrova");  // no database named
    QTest::mouseClick(form1.PushButton2, Qt::LeftButton);
    EXPECT_FALSE(form1.lblNoFile->isHidden());
    EXPECT_FALSE(form1.IsForm2Loaded());
    form1.Text1->clear();
    EXPECT_TRUE(form1.lblNoFile->isHidden());
    form1.Text1->setText(QString::fromStdString(database.string()));
    QTest::mouseClick(form1.PushButton2, Qt::LeftButton);
    EXPECT_TRUE(form1.lblNoFile->isHidden());
    EXPECT_TRUE(form1.form2().isVisible());
    EXPECT_TRUE(dialogs.messages.empty());
}

// A file dropped on the database page fills the path when it is one .mdb or .accdb file.
TEST_F(WizardTest, DroppedDatabaseFillsThePath) {
    Form1& form1 = Start();
    struct Case {
        QList<QUrl> urls;
        bool taken;
    };
    const Case cases[] = {
        {{QUrl::fromLocalFile("/data/pictures.mdb")}, true},
        {{QUrl::fromLocalFile("/data/Photos 2021.ACCDB")}, true},
        {{QUrl::fromLocalFile("/data/notes.txt")}, false},
        {{QUrl::fromLocalFile("/data/a.mdb"), QUrl::fromLocalFile("/data/b.mdb")}, false},
        {{QUrl("https://example.com/remote.mdb")}, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.urls.constFirst().toString().toStdString());
        form1.Text1->setText("/kept.mdb");
        QMimeData data;
        data.setUrls(c.urls);
        const QPoint at = form1.rect().center();
        QDragEnterEvent enter(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(&form1, &enter);
        EXPECT_EQ(enter.isAccepted(), c.taken);
        QDropEvent drop(QPointF(at), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(&form1, &drop);
        EXPECT_EQ(form1.Text1->text(), c.taken ? c.urls.constFirst().toLocalFile() : "/kept.mdb");
    }
    // The path field passes drops on to its page instead of inserting the file's address.
    EXPECT_FALSE(form1.Text1->acceptDrops());
    EXPECT_EQ(settings.Read("AccessMDBFile"), "/kept.mdb");
}

TEST_F(WizardTest, ClickingATableListsOnlyItsFields) {
    const auto database = WriteTwoTableDatabase();
    settings.Write("AccessMDBFile", QString::fromStdString(database.string()));
    Form2& form2 = Start().form2();
    QTreeWidgetItem* pictures = form2.ListView1->topLevelItem(1);
    QTest::mouseClick(form2.ListView1->viewport(), Qt::LeftButton, {},
                      form2.ListView1->visualItemRect(pictures).center());
    EXPECT_EQ(Rows(*form2.ListView2), QStringList({"Picture ID", "Caption", "Picture"}));
    EXPECT_EQ(form2.Combo1->currentText(), "Picture ID");
    EXPECT_EQ(form2.options().table(), "Pictures");
}

TEST_F(WizardTest, FieldListingFailureIsReportedUnderTheClickAndRestoresThePointer) {
    const auto database = WriteTwoTableDatabase();
    settings.Write("AccessMDBFile", QString::fromStdString(database.string()));
    Form2& form2 = Start().form2();
    auto* missing = new QTreeWidgetItem(form2.ListView1, {"No Such Table"});
    form2.ListView1->setCurrentItem(missing);
    form2.ListView1_Click();
    const auto reports = dialogs.ErrorReports();
    ASSERT_EQ(reports.size(), 1u);
    EXPECT_TRUE(reports[0].contains("in Pictrova2021/08/31.Form2.ListView1_Click at line 100"))
        << reports[0].toStdString();
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
    EXPECT_EQ(Rows(*form2.ListView2), QStringList({"ID", "Name", "Photo"}));
}

TEST_F(WizardTest, WrongPasswordIsReportedUnderNextAndThePageStays) {
    const auto database = WriteTwoTableDatabase("right");
    Form1& form1 = Start();
    form1.Text1->setText(QString::fromStdString(database.string()));
    form1.Text2->setText("wrong");
    QTest::mouseClick(form1.PushButton2, Qt::LeftButton);
    const auto reports = dialogs.ErrorReports();
    ASSERT_EQ(reports.size(), 1u);
    EXPECT_TRUE(reports[0].startsWith(
        "Not a valid password.\r\nin Pictrova2021/08/31.Form1.PushButton2_Click at line 100"))
        << reports[0].toStdString();
    EXPECT_FALSE(form1.IsForm2Loaded());

    form1.Text2->setText("right");
    QTest::mouseClick(form1.PushButton2, Qt::LeftButton);
    EXPECT_TRUE(form1.form2().isVisible());
}

TEST_F(WizardTest, RememberedDatabaseWithAWrongPasswordReportsNextAndTheFieldListing) {
    const auto database = WriteTwoTableDatabase("right");
    settings.Write("AccessMDBFile", QString::fromStdString(database.string()));
    settings.Write("AccessPassword", "wrong");
    Form1& form1 = Start();
    const auto reports = dialogs.ErrorReports();
    ASSERT_EQ(reports.size(), 2u);
    EXPECT_TRUE(reports[0].contains("Form1.PushButton2_Click at line 100"));
    EXPECT_TRUE(reports[1].contains("Form1.Form_Load at line 136"));
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
    EXPECT_TRUE(form1.isVisible());
}

TEST_F(WizardTest, ClosingEitherPageEndsTheProgram) {
    Form1& form1 = Start();
    form1.show();
    form1.close();
    EXPECT_EQ(endRequests, 1);
    Form2& form2 = form1.form2();
    form2.show();
    form2.close();
    EXPECT_EQ(endRequests, 2);
}

}  // namespace
}  // namespace pictrova::ui
