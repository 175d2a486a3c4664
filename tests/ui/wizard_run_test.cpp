// SPDX-License-Identifier: GPL-3.0-or-later
// "Start Extracting" pressed in the window: the run reads the page's controls, writes the files,
// reports a failing step under the run's location, and keeps the button disabled while it runs.

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QElapsedTimer>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollBar>
#include <QTest>
#include <QTimer>
#include <QTreeWidget>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <map>
#include <optional>
#include <sstream>

#include "common/limits.h"
#include "database/opened_database.h"
#include "image_oracle.h"
#include "imaging/metafile_cost.h"
#include "imaging/picture_holder.h"
#include "jet_writer/accdb_encrypt.h"
#include "ole_builder/ole_fields.h"
#include "ole_builder/pictures.h"
#include "program_run.h"
#include "ui/creator_view.h"
#include "ui/form1.h"
#include "ui/form2.h"
#include "ui/picture_dialog.h"
#include "ui/preview_grid.h"
#include "wizard_fixture.h"

namespace pictrova::ui {
namespace {

using testing::WizardTest;

class WizardRunTest : public WizardTest {
  protected:
    // A table "Pictures" (ID, Caption, Picture) whose records 1 and 3 hold paint pictures and
    // record 2 none; a test may add rows after them.
    static jet::DatabasePlan PictureDatabasePlan() {
        jet::DatabasePlan plan;
        plan.tables.push_back({"Pictures",
                               {{"ID", jet::ColumnType::Long},
                                {"Caption", jet::ColumnType::Text, 60},
                                {"Picture", jet::ColumnType::OleObject}},
                               {}});
        auto& rows = plan.tables[0].rows;
        rows.push_back({std::int64_t(1), std::string("first"),
                        fixtures::BuildPaintPicture(fixtures::MakeBmpFile(5, 4))});
        rows.push_back({std::int64_t(2), std::string("empty"), jet::Null});
        rows.push_back({std::int64_t(3), std::string("third"),
                        fixtures::BuildPaintPicture(fixtures::MakeBmpFile(7, 2))});
        return plan;
    }

    // The picture database opened through the remembered database as a user would.
    Form2& StartOnPictureDatabase() { return StartOn(PictureDatabasePlan()); }

    // `plan` written and opened as the remembered database, its field "Picture" selected.
    Form2& StartOn(const jet::DatabasePlan& plan) {
        databasePath = programFolder / "pictures.mdb";
        jet::WriteDatabase(databasePath, plan);
        std::filesystem::create_directories(outputFolder);
        settings.Write("AccessMDBFile", QString::fromStdString(databasePath.string()));
        settings.Write("Output Folder", QString::fromStdString(outputFolder.string()));
        Form2& form2 = Start().form2();
        SelectField(form2, "Picture");
        return form2;
    }

    static void SelectField(Form2& form2, const QString& name) {
        const auto found = form2.ListView2->findItems(name, Qt::MatchExactly);
        ASSERT_EQ(found.size(), 1);
        form2.ListView2->setCurrentItem(found[0]);
    }

    // The files the run wrote into the output folder, but for its contact sheet's.
    std::vector<std::string> OutputFiles() const {
        std::vector<std::string> names;
        for (const auto& entry : std::filesystem::directory_iterator(outputFolder)) {
            const std::string name = entry.path().filename().string();
            if (name != "index.html" && name != "index.csv" && name != ".thumbnails")
                names.push_back(name);
        }
        std::sort(names.begin(), names.end());
        return names;
    }

    // Serves events until the preview grid has taken the page's last change and filled in.
    static void WaitForPreview(Form2& form2) {
        QTest::qWait(300);  // the page replaces the grid shortly after a change
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
        while (form2.Preview->Working() && std::chrono::steady_clock::now() < deadline)
            QTest::qWait(20);
        ASSERT_FALSE(form2.Preview->Working());
    }

    struct PreviewCell {
        qlonglong record = 0;
        QString fileName;
        QString skip;
        bool thumbnail = false;
    };
    static std::vector<PreviewCell> PreviewCells(const Form2& form2) {
        std::vector<PreviewCell> cells;
        for (int i = 0; i < form2.Preview->Cells->count(); ++i) {
            const QListWidgetItem* cell = form2.Preview->Cells->item(i);
            cells.push_back({cell->data(kRecordNumberRole).toLongLong(),
                             cell->data(kFileNameRole).toString(), cell->data(kSkipRole).toString(),
                             !cell->icon().isNull()});
        }
        return cells;
    }

    void EmptyOutputFolder() const {
        std::filesystem::remove_all(outputFolder);
        std::filesystem::create_directories(outputFolder);
    }

    std::filesystem::path databasePath;
    std::filesystem::path outputFolder = programFolder / "out";
};

// Sets an environment variable for the life of the object.
class ScopedEnvironment {
  public:
    ScopedEnvironment(const char* name, const std::string& value) : name_(name) {
        if (const char* old = std::getenv(name))
            old_ = old;
        setenv(name, value.c_str(), 1);
    }
    ~ScopedEnvironment() {
        if (old_)
            setenv(name_, old_->c_str(), 1);
        else
            unsetenv(name_);
    }
    ScopedEnvironment(const ScopedEnvironment&) = delete;
    ScopedEnvironment& operator=(const ScopedEnvironment&) = delete;

  private:
    const char* name_;
    std::optional<std::string> old_;
};

TEST_F(WizardRunTest, RunFromTheWindowWritesOneFilePerPicture) {
    Form2& form2 = StartOnPictureDatabase();
    QTest::mouseClick(form2.PushButton6, Qt::LeftButton);

    EXPECT_EQ(OutputFiles(), (std::vector<std::string>{"Output1.bmp", "Output3.bmp"}));
    ASSERT_FALSE(dialogs.messages.empty());
    EXPECT_EQ(dialogs.messages.back().text, "Done.");
    EXPECT_EQ(dialogs.messages.back().title, "Pictrova");
    EXPECT_TRUE(dialogs.ErrorReports().empty());
    EXPECT_EQ(form2.RunProgress->maximum(), 3);
    EXPECT_EQ(form2.RunProgress->value(), 3);
    EXPECT_FALSE(form2.Creator->pixmap().isNull());
    EXPECT_TRUE(form2.PushButton6->isEnabled());
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);

    // Under the progress bar: what was written where, the folder a click away, and why record 2
    // gave nothing.
    const QString folder = QString::fromStdString(outputFolder.string());
    EXPECT_FALSE(form2.RunStatus->isHidden());
    EXPECT_EQ(form2.RunStatus->text(),
              "2 pictures from 3 records; 1 without a picture (1 empty). Folder: " + folder);
    QTest::mouseClick(form2.OpenFolder, Qt::LeftButton);
    EXPECT_EQ(dialogs.openedFolders, (std::vector<QString>{folder}));
    EXPECT_EQ(form2.ShowSkipped->text(), "Skipped records (1)");
    EXPECT_TRUE(form2.SkippedList->isHidden());
    QTest::mouseClick(form2.ShowSkipped, Qt::LeftButton);
    EXPECT_FALSE(form2.SkippedList->isHidden());
    ASSERT_EQ(form2.SkippedList->topLevelItemCount(), 1);
    EXPECT_EQ(form2.SkippedList->topLevelItem(0)->text(0), "2");
    EXPECT_EQ(form2.SkippedList->topLevelItem(0)->text(1), "no value");
    QTest::mouseClick(form2.ShowSkipped, Qt::LeftButton);
    EXPECT_TRUE(form2.SkippedList->isHidden());

    // "< Back" and "Next >" clear the summary and the picture with the lists; the next run
    // starts without the picture.
    QTest::mouseClick(form2.PushButton7, Qt::LeftButton);
    form1().PushButton2_Click();
    EXPECT_TRUE(form2.Creator->pixmap().isNull());
    EXPECT_FALSE(form2.creatorPicture().HasPicture());
    EXPECT_TRUE(form2.RunStatus->isHidden());
    EXPECT_TRUE(form2.OpenFolder->isHidden());
    EXPECT_TRUE(form2.ShowSkipped->isHidden());
    EXPECT_EQ(form2.SkippedList->topLevelItemCount(), 0);
}

// The files of `folder`'s contact sheet with their bytes, by their paths beneath it.
std::map<std::string, std::string> SheetFiles(const std::filesystem::path& folder) {
    std::map<std::string, std::string> files;
    for (const char* name : {"index.html", "index.csv", ".thumbnails"}) {
        const std::filesystem::path path = folder / name;
        if (!std::filesystem::exists(path))
            continue;
        auto read = [&](const std::filesystem::path& file) {
            std::ostringstream bytes;
            bytes << std::ifstream(file, std::ios::binary).rdbuf();
            files[file.lexically_relative(folder).string()] = bytes.str();
        };
        if (!std::filesystem::is_directory(path))
            read(path);
        else
            for (const auto& entry : std::filesystem::recursive_directory_iterator(path))
                if (entry.is_regular_file())
                    read(entry.path());
    }
    return files;
}

// "Write a contact sheet": on, the run's folder holds the very sheet `extract --report` writes
// for the same options (into a folder named as the picker names it), and "Open report" hands
// its URL to the desktop; off, none of it and no button. The choice comes back at the next start.
// A sheet that cannot be written is reported as a failed write and leaves the count as it was.
TEST_F(WizardRunTest, ContactSheetIsTheCommandLinesAndItsChoiceIsRemembered) {
    struct Case {
        const char* what;
        bool checkedAtStart;
        bool click;
        bool sheetInTheWay;  // a folder named index.html
        bool written;
    };
    const Case cases[] = {
        {"on at the first start", true, false, false, true},
        {"switched off", true, true, false, false},
        {"off, remembered", false, false, false, false},
        {"switched on again", false, true, false, true},
        {"on, its file refused", true, false, true, false},
    };
    const std::string csv =
        "record,file,kind,width,height,bytes,stored_preview,outcome,reason,detail\r\n"
        "1,Output1.bmp,BMP,5,4,118,no,written,,\r\n"
        "2,,,,,,,skipped,no value,\r\n"
        "3,Output3.bmp,BMP,7,2,102,no,written,,\r\n";
    const std::filesystem::path fromCli = programFolder / "cli";
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::filesystem::remove_all(outputFolder);
        Form2& form2 = StartOnPictureDatabase();
        form2.Text2->setText(QString::fromStdString(outputFolder.string()) + "/");
        if (c.sheetInTheWay)
            std::filesystem::create_directories(outputFolder / "index.html");
        EXPECT_EQ(form2.WriteSheet->isChecked(), c.checkedAtStart);
        if (c.click)
            QTest::mouseClick(form2.WriteSheet, Qt::LeftButton);
        dialogs.messages.clear();
        QTest::mouseClick(form2.PushButton6, Qt::LeftButton);

        EXPECT_EQ(OutputFiles(), (std::vector<std::string>{"Output1.bmp", "Output3.bmp"}));
        EXPECT_EQ(form2.RunStatus->text().section(" Folder: ", 0, 0),
                  "2 pictures from 3 records; 1 without a picture (1 empty).");
        EXPECT_EQ(form2.OpenReport->isHidden(), !c.written);
        const auto reports = dialogs.ErrorReports();
        if (c.sheetInTheWay) {
            ASSERT_EQ(reports.size(), 1u);
            EXPECT_TRUE(reports[0].contains("index.html")) << reports[0].toStdString();
            EXPECT_TRUE(reports[0].contains("Form2.PushButton6_Click at line 488"));
            continue;
        }
        EXPECT_TRUE(reports.empty());
        const std::map<std::string, std::string> sheet = SheetFiles(outputFolder);
        if (!c.written) {
            EXPECT_TRUE(sheet.empty());
            continue;
        }
        EXPECT_EQ(sheet.at("index.csv"), csv);
        std::filesystem::remove_all(fromCli);
        const auto cli = pictrova::testing::RunProgram(
            pictrova::testing::BinDir() / "pictrova-cli",
            {"extract", databasePath.string(), "--table", "Pictures", "--field", "Picture", "--out",
             fromCli.string() + "/", "--report"},
            programFolder.path());
        EXPECT_EQ(cli.status, 0) << cli.err;
        EXPECT_EQ(sheet, SheetFiles(fromCli));
        EXPECT_EQ(sheet.size(), 4u);  // the page, its table and two thumbnails

        QTest::mouseClick(form2.OpenReport, Qt::LeftButton);
        EXPECT_EQ(dialogs.openedUrls, std::vector<QUrl>{QUrl::fromLocalFile(QString::fromStdString(
                                          (outputFolder / "index.html").string()))});
        dialogs.openedUrls.clear();
    }
}

// The database opens and decryptions a run of pictrova-cli made, by its trace lines
// (PICTROVA_TRACE_OPENS); its exit status must be 0.
database::OpenCounts CliOpens(const std::vector<std::string>& args,
                              const std::filesystem::path& scratch) {
    ScopedEnvironment trace("PICTROVA_TRACE_OPENS", "1");
    const auto outcome =
        pictrova::testing::RunProgram(pictrova::testing::BinDir() / "pictrova-cli", args, scratch);
    EXPECT_EQ(outcome.status, 0) << args[0] << ": " << outcome.err;
    database::OpenCounts counts;
    std::istringstream err(outcome.err);
    for (std::string line; std::getline(err, line);) {
        counts.opens += line.starts_with("pictrova: database opened: ");
        counts.decrypts += line.starts_with("pictrova: database decrypted: ");
    }
    return counts;
}

// An Office-encrypted .accdb (AES) is opened and decrypted once for a whole use of it: the
// checks, the listings and the run share one open. Rows: extract; the wizard's two pages and a
// run; extract-all over five tables.
TEST_F(WizardRunTest, EncryptedDatabaseIsOpenedAndDecryptedOncePerUse) {
    jet::DatabasePlan plan;
    plan.format = jet::Format::Ace16;
    for (int t = 1; t <= 5; ++t) {
        jet::TablePlan table{
            "Pictures " + std::to_string(t),
            {{"ID", jet::ColumnType::Long}, {"Picture", jet::ColumnType::OleObject}},
            {}};
        for (int k = 1; k <= 2; ++k)
            table.rows.push_back({std::int64_t{k}, fixtures::BuildPaintPicture(
                                                       fixtures::MakeBmpFile(4 + k, 3 + t))});
        plan.tables.push_back(std::move(table));
    }
    jet::AccdbEncryptionSettings aes;
    aes.kind = jet::AccdbEncryption::Agile;
    aes.keyBits = 128;
    const std::vector<std::uint8_t> encrypted =
        jet::EncryptAccdbImage(jet::WriteDatabaseToMemory(plan), aes, "s3cret");
    const std::filesystem::path db = programFolder / "locked.accdb";
    std::ofstream(db, std::ios::binary)
        .write(reinterpret_cast<const char*>(encrypted.data()),
               static_cast<std::streamsize>(encrypted.size()));
    std::filesystem::create_directories(outputFolder);
    const std::filesystem::path scratch = programFolder / "scratch";
    std::filesystem::create_directories(scratch);

    auto wizard = [&] {
        const database::OpenCounts before = database::CountedOpens();
        settings.Write("Output Folder", QString::fromStdString(outputFolder.string()));
        Form1& form1 = Start();
        form1.Text1->setText(QString::fromStdString(db.string()));
        form1.Text2->setText("s3cret");
        QTest::mouseClick(form1.PushButton2, Qt::LeftButton);
        Form2& form2 = form1.form2();
        const auto tables = form2.ListView1->findItems("Pictures 3", Qt::MatchExactly);
        EXPECT_EQ(tables.size(), 1);
        if (!tables.isEmpty()) {
            form2.ListView1->setCurrentItem(tables[0]);
            form2.ListView1_Click();
        }
        SelectField(form2, "Picture");
        QTest::mouseClick(form2.PushButton6, Qt::LeftButton);
        EXPECT_EQ(OutputFiles(), (std::vector<std::string>{"Output1.bmp", "Output2.bmp"}));
        EXPECT_EQ(form2.RunProgress->maximum(), 2);
        EXPECT_TRUE(dialogs.ErrorReports().empty());
        const database::OpenCounts after = database::CountedOpens();
        return database::OpenCounts{after.opens - before.opens, after.decrypts - before.decrypts};
    };
    struct Row {
        const char* use;
        std::function<database::OpenCounts()> opens;
    };
    const Row rows[] = {
        {"extract",
         [&] {
             return CliOpens(
                 {"extract", db.string(), "--table", "Pictures 3", "--field", "Picture", "--out",
                  (programFolder / "extract").string(), "--password", "s3cret"},
                 scratch);
         }},
        {"wizard", wizard},
        {"extract-all",
         [&] {
             return CliOpens({"extract-all", db.string(), "--out", (programFolder / "all").string(),
                              "--password", "s3cret"},
                             scratch);
         }},
    };
    for (const Row& row : rows) {
        const database::OpenCounts counts = row.opens();
        EXPECT_EQ(counts.opens, 1u) << row.use;
        EXPECT_EQ(counts.decrypts, 1u) << row.use;
    }
}

// A second run into the folder the first one filled asks first, and each answer does what it
// says; the next run asks again. The first run, into an empty folder, asks nothing.
TEST_F(WizardRunTest, SecondRunIntoTheSameFolderAsksBeforeReplacing) {
    struct Case {
        ReplaceAnswer answer;
        std::vector<std::string> files;
        QString status;  // empty: the first run's stays
    };
    const Case cases[] = {
        {ReplaceAnswer::Replace,
         {"Output1.bmp", "Output3.bmp"},
         "2 pictures from 3 records; 1 without a picture (1 empty); 2 replaced files that were "
         "already there."},
        {ReplaceAnswer::KeepBoth,
         {"Output1 (2).bmp", "Output1.bmp", "Output3 (2).bmp", "Output3.bmp"},
         "2 pictures from 3 records; 1 without a picture (1 empty)."},
        {ReplaceAnswer::Cancel, {"Output1.bmp", "Output3.bmp"}, ""},
    };
    Form2& form2 = StartOnPictureDatabase();
    const QString firstStatus =
        "2 pictures from 3 records; 1 without a picture (1 empty). Folder: " +
        QString::fromStdString(outputFolder.string());
    for (const Case& c : cases) {
        SCOPED_TRACE(static_cast<int>(c.answer));
        std::filesystem::remove_all(outputFolder);
        std::filesystem::create_directories(outputFolder);
        dialogs.replaceQuestions.clear();
        dialogs.messages.clear();
        QTest::mouseClick(form2.PushButton6, Qt::LeftButton);
        EXPECT_TRUE(dialogs.replaceQuestions.empty());
        EXPECT_EQ(form2.RunStatus->text(), firstStatus);

        dialogs.replaceAnswers = {c.answer};
        QTest::mouseClick(form2.PushButton6, Qt::LeftButton);
        ASSERT_EQ(dialogs.replaceQuestions.size(), 1u);
        EXPECT_EQ(dialogs.replaceQuestions[0].text,
                  "This folder already holds 2 files named as this run names its files "
                  "(Output1.bmp, Output3.bmp).\n\nReplace them, keep both (the new files take "
                  "numbered names such as \"Output1 (2).bmp\"), or cancel the run?");
        EXPECT_EQ(dialogs.replaceQuestions[0].title, "Pictrova");
        EXPECT_EQ(OutputFiles(), c.files);
        EXPECT_EQ(form2.RunStatus->text().section(" Folder: ", 0, 0),
                  c.status.isEmpty() ? firstStatus.section(" Folder: ", 0, 0) : c.status);
        // A cancelled run shows nothing; the others end with their message.
        EXPECT_EQ(dialogs.messages.size(), c.answer == ReplaceAnswer::Cancel ? 1u : 2u);

        QTest::mouseClick(form2.PushButton6, Qt::LeftButton);  // Cancel, the box closed
        EXPECT_EQ(dialogs.replaceQuestions.size(), 2u);
    }
}

// Every part of the page keeps its room: the whole of a long field list shows, the picture fits
// its box, and nothing is squeezed below its smallest size, from the first showing through the
// run's summary and its skipped records to the page's smallest size.
TEST_F(WizardRunTest, LongFieldListAndThePictureFitThePage) {
    jet::DatabasePlan plan;
    std::vector<jet::ColumnPlan> columns;
    for (int i = 1; i <= 18; ++i)
        columns.push_back({"Field " + std::to_string(i), jet::ColumnType::Text, 20});
    columns[9] = {"Photo", jet::ColumnType::OleObject};  // where a long list used to hide it
    plan.tables.push_back({"Employee", columns, {}});
    for (int record = 1; record <= 3; ++record) {
        jet::Row row(18, std::string("x"));
        row[9] = record == 2
                     ? jet::Value(jet::Null)
                     : jet::Value(fixtures::BuildPaintPicture(fixtures::MakeBmpFile(64, 48)));
        plan.tables[0].rows.push_back(row);
    }
    databasePath = programFolder / "employees.mdb";
    jet::WriteDatabase(databasePath, plan);
    std::filesystem::create_directories(outputFolder);
    settings.Write("AccessMDBFile", QString::fromStdString(databasePath.string()));
    settings.Write("Output Folder", QString::fromStdString(outputFolder.string()));
    Form2& form2 = Start().form2();
    SelectField(form2, "Photo");

    struct Step {
        const char* what;
        std::function<void()> act;
    };
    const Step steps[] = {
        {"as first shown", [] {}},
        {"after a run, with its summary",
         [&] { QTest::mouseClick(form2.PushButton6, Qt::LeftButton); }},
        {"with the skipped records listed",
         [&] { QTest::mouseClick(form2.ShowSkipped, Qt::LeftButton); }},
        {"at the smallest size", [&] { form2.resize(form2.minimumSize()); }},
    };
    for (const Step& step : steps) {
        SCOPED_TRACE(step.what);
        step.act();
        for (int i = 0; i < 5; ++i)
            QApplication::processEvents();
        ASSERT_TRUE(form2.isVisible());
        const QRect rows = form2.ListView2->viewport()->rect();
        for (int i = 0; i < form2.ListView2->topLevelItemCount(); ++i) {
            const QTreeWidgetItem* row = form2.ListView2->topLevelItem(i);
            EXPECT_TRUE(rows.contains(form2.ListView2->visualItemRect(row)))
                << row->text(0).toStdString();
        }
        const QSize picture = form2.Creator->pixmap().size();
        EXPECT_TRUE(form2.Creator->contentsRect().size().expandedTo(picture) ==
                    form2.Creator->contentsRect().size());
        for (QWidget* part : std::initializer_list<QWidget*>{
                 form2.Frame1, form2.Frame2, form2.Frame3, form2.Frame4, form2.Frame5, form2.Frame6,
                 form2.Creator, form2.PushButton6, form2.PushButton7, form2.RunProgress,
                 form2.RunStatus, form2.ShowSkipped, form2.OpenFolder, form2.OpenReport,
                 form2.SkippedList}) {
            if (!part->isVisible())
                continue;
            const QRect place(part->mapTo(&form2, QPoint(0, 0)), part->size());
            EXPECT_TRUE(form2.rect().contains(place)) << part->objectName().toStdString();
            const int smallest = part->hasHeightForWidth() ? part->heightForWidth(part->width())
                                                           : part->minimumSizeHint().height();
            EXPECT_GE(part->height(), std::max(smallest, part->minimumHeight()))
                << part->objectName().toStdString();
        }
    }
    EXPECT_FALSE(form2.Creator->pixmap().isNull());
    EXPECT_FALSE(form2.SkippedList->isHidden());
}

// Records whose picture is refused say why in the list: a static metafile the renderer cannot
// draw is not "an unsupported class".
TEST_F(WizardRunTest, SkippedRecordsListTheirReasons) {
    jet::DatabasePlan plan;
    plan.tables.push_back(
        {"Pictures", {{"ID", jet::ColumnType::Long}, {"Picture", jet::ColumnType::OleObject}}, {}});
    auto& rows = plan.tables[0].rows;
    rows.push_back({std::int64_t(1), fixtures::BuildUnsupportedObject("Acme.Drawing.1")});
    rows.push_back(
        {std::int64_t(2), fixtures::BuildStaticMetafile(fixtures::Bytes(64, 0xAB), 8, 1000, 1000)});
    rows.push_back({std::int64_t(3), fixtures::BuildLinkedObject()});
    Form2& form2 = StartOn(plan);
    QTest::mouseClick(form2.PushButton6, Qt::LeftButton);

    EXPECT_TRUE(OutputFiles().empty());
    EXPECT_EQ(
        form2.RunStatus->text().section(" Folder: ", 0, 0),
        "0 pictures from 3 records; 3 without a picture (1 unsupported class \"Acme.Drawing.1\", "
        "1 not rendered, 1 linked).");
    ASSERT_EQ(form2.SkippedList->topLevelItemCount(), 3);
    const QString expected[] = {
        "unsupported class: Acme.Drawing.1",
        "picture could not be rendered: a static metafile (METAFILEPICT) the renderer "
        "refused or gave up on",
        "linked object: Paint.Picture"};
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(form2.SkippedList->topLevelItem(i)->text(1), expected[i]) << i;
}

// The sample's .accdb twin: its first table's attachment field is listed with its kind in the
// tip, and a run on it writes one file per attached picture.
TEST_F(WizardRunTest, AttachmentFieldOfTheAccdbSampleGivesOneFilePerPicture) {
    databasePath = programFolder / "sample.accdb";
    std::filesystem::copy_file(pictrova::testing::BinDir() / "Samples" / "sample.accdb",
                               databasePath);
    std::filesystem::create_directories(outputFolder);
    settings.Write("AccessMDBFile", QString::fromStdString(databasePath.string()));
    settings.Write("Output Folder", QString::fromStdString(outputFolder.string()));
    Form2& form2 = Start().form2();
    ASSERT_EQ(form2.ListView1->currentItem()->text(0), "Attached Photos");
    EXPECT_EQ(form2.ListView1->currentItem()->toolTip(0), "Picture field: Photos");
    SelectField(form2, "Photos");
    EXPECT_EQ(form2.ListView2->currentItem()->toolTip(0), "Attachment");
    EXPECT_EQ(form2.ListView2->findItems("Caption", Qt::MatchExactly)[0]->toolTip(0), "");

    QTest::mouseClick(form2.PushButton6, Qt::LeftButton);
    EXPECT_EQ(OutputFiles(), (std::vector<std::string>{"Output1-1.bmp", "Output1-2.bmp",
                                                       "Output1-3.bmp", "Output4.bmp"}));
    ASSERT_FALSE(dialogs.messages.empty());
    EXPECT_EQ(dialogs.messages.back().text, "Done.");
    EXPECT_TRUE(dialogs.ErrorReports().empty());

    // "Original" with the files' own names: every attached file as it is stored, the text too.
    std::filesystem::remove_all(outputFolder);
    std::filesystem::create_directories(outputFolder);
    QTest::mouseClick(form2.Option15, Qt::LeftButton);
    QTest::mouseClick(form2.Option16, Qt::LeftButton);
    QTest::mouseClick(form2.PushButton6, Qt::LeftButton);
    EXPECT_EQ(OutputFiles(), (std::vector<std::string>{"field.gif", "harbour.jpg", "hills.png",
                                                       "lantern.bmp", "notes.txt"}));
    EXPECT_TRUE(dialogs.ErrorReports().empty());
}

// With every format button off the pictures are read and nothing is written; the status says
// so, and lists no record as skipped.
TEST_F(WizardRunTest, RunWithNoFormatChosenCountsThePicturesRead) {
    for (const char* key : {"Option8", "Option9", "Option10", "Option11", "Option12", "Option13",
                            "Option14", "Option15"})
        settings.Write(key, "False");
    Form2& form2 = StartOnPictureDatabase();
    QTest::mouseClick(form2.PushButton6, Qt::LeftButton);
    EXPECT_TRUE(OutputFiles().empty());
    EXPECT_EQ(dialogs.messages.back().text, "Done.");
    EXPECT_EQ(form2.RunStatus->text().section(" Folder: ", 0, 0),
              "0 pictures from 3 records; 2 pictures read and not written (no output format is "
              "chosen); 1 without a picture (1 empty).");
    EXPECT_EQ(form2.ShowSkipped->text(), "Skipped records (1)");
}

TEST_F(WizardRunTest, RunReadsTheControlsAsTheyAreWhenItNeedsThem) {
    Form2& form2 = StartOnPictureDatabase();
    QTest::mouseClick(form2.Option7, Qt::LeftButton);
    form2.Combo1->setCurrentText("Caption");
    QTest::mouseClick(form2.Option9, Qt::LeftButton);
    QTest::mouseClick(form2.PushButton6, Qt::LeftButton);
    EXPECT_EQ(OutputFiles(), (std::vector<std::string>{"first.jpg", "third.jpg"}));
}

TEST_F(WizardRunTest, StartIsDisabledWhileTheRunIsInProgress) {
    Form2& form2 = StartOnPictureDatabase();
    int runsSeenRunning = 0;
    dialogs.onMessage = [&] {
        // The final message shows while the run is still in progress.
        if (!form2.IsRunning())
            return;
        ++runsSeenRunning;
        EXPECT_FALSE(form2.PushButton6->isEnabled());
        form2.PushButton6_Click();  // a second start inside the run is ignored
    };
    QTest::mouseClick(form2.PushButton6, Qt::LeftButton);
    EXPECT_EQ(runsSeenRunning, 1);
    EXPECT_EQ(dialogs.messages.size(), 1u);
    EXPECT_TRUE(form2.PushButton6->isEnabled());
}

TEST_F(WizardRunTest, FailingStepIsReportedWithTheRunsLocationAndLabel) {
    Form2& form2 = StartOnPictureDatabase();
    std::filesystem::remove(databasePath);
    QTest::mouseClick(form2.PushButton6, Qt::LeftButton);
    const auto reports = dialogs.ErrorReports();
    ASSERT_FALSE(reports.empty());
    EXPECT_TRUE(reports[0].contains("in Pictrova2021/08/31.Form2.PushButton6_Click at line 156"))
        << reports[0].toStdString();
    EXPECT_EQ(dialogs.messages.front().icon, QMessageBox::Warning);
    EXPECT_EQ(dialogs.messages.front().title, "Application Error");
    EXPECT_TRUE(OutputFiles().empty());
    EXPECT_TRUE(form2.PushButton6->isEnabled());
}

// Closing the wizard while four workers hold records: the run stops after the records it has
// committed. The pictures written are whole, nothing else is in the output folder, the run's
// work folder is gone and no message shows. Records alternate bare BMP files and paint pictures
// (a wrapped object, which the raw method does not load); the window closes after record 2.
TEST_F(WizardRunTest, ClosingTheWizardMidRunStopsCleanly) {
    struct Case {
        const char* what;
        QRadioButton* Form2::*method;
        QRadioButton* Form2::*format;
        std::vector<std::string> files;
    };
    const Case cases[] = {
        {"decode, BMP", &Form2::Option1, &Form2::Option8, {"Output1.bmp", "Output2.bmp"}},
        {"decode, PNG encoded in the workers",
         &Form2::Option1,
         &Form2::Option10,
         {"Output1.png", "Output2.png"}},
        {"raw, streamed to work files", &Form2::Option2, &Form2::Option10, {"Output1.png"}},
    };
    auto size = [](int record) {
        return record % 2 ? std::pair{160 + record, 120} : std::pair{200, 150 + record};
    };
    jet::DatabasePlan plan;
    plan.tables.push_back({"Pictures",
                           {{"ID", jet::ColumnType::Long},
                            {"Caption", jet::ColumnType::Text, 60},
                            {"Picture", jet::ColumnType::OleObject}},
                           {}});
    for (int record = 1; record <= 16; ++record) {
        const auto [width, height] = size(record);
        fixtures::Bytes bmp = fixtures::MakeBmpFile(width, height);
        plan.tables[0].rows.push_back({std::int64_t(record),
                                       std::string("r") + std::to_string(record),
                                       record % 2 ? bmp : fixtures::BuildPaintPicture(bmp)});
    }
    databasePath = programFolder / "pictures.mdb";
    jet::WriteDatabase(databasePath, plan);
    const std::filesystem::path workRoot = programFolder / "tmp";
    std::filesystem::create_directories(workRoot);
    ScopedEnvironment jobs("PICTROVA_JOBS", "4");
    ScopedEnvironment tmp("TMPDIR", workRoot.string());

    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::filesystem::remove_all(outputFolder);
        std::filesystem::create_directories(outputFolder);
        settings.Write("AccessMDBFile", QString::fromStdString(databasePath.string()));
        settings.Write("Output Folder", QString::fromStdString(outputFolder.string()));
        Form2& form2 = Start().form2();
        SelectField(form2, "Picture");
        QTest::mouseClick(form2.*c.method, Qt::LeftButton);
        QTest::mouseClick(form2.*c.format, Qt::LeftButton);
        const int endsBefore = endRequests;
        bool closed = false;
        bool workFolderWhileRunning = false;
        QObject::connect(form2.RunProgress, &QProgressBar::valueChanged, &form2, [&](int value) {
            if (value == 2 && !closed) {
                closed = true;
                workFolderWhileRunning = !std::filesystem::is_empty(workRoot);
                form2.close();
            }
        });
        QTest::mouseClick(form2.PushButton6, Qt::LeftButton);

        EXPECT_TRUE(closed);
        EXPECT_TRUE(workFolderWhileRunning);
        EXPECT_EQ(endRequests, endsBefore + 1);
        EXPECT_FALSE(form2.IsRunning());
        EXPECT_TRUE(dialogs.messages.empty());
        EXPECT_EQ(OutputFiles(), c.files);
        for (const std::string& file : c.files) {
            const int record = file[6] - '0';
            const pictrova::testing::DecodedPicture pixels =
                pictrova::testing::DecodeWithImageMagick(outputFolder / file);
            EXPECT_EQ(std::pair(pixels.width, pixels.height), size(record)) << file;
        }
        EXPECT_TRUE(std::filesystem::is_empty(workRoot));
    }
}

std::vector<std::string> Sorted(std::vector<std::string> names) {
    std::sort(names.begin(), names.end());
    return names;
}

// The grid shows what a run of the same choices does: the files it writes, named alike, and the
// reasons of the records it skips. The rows are chosen one after the other on one page, so each
// also shows the grid renamed by a change of choice.
TEST_F(WizardRunTest, PreviewGridShowsWhatTheRunWrites) {
    jet::DatabasePlan plan = PictureDatabasePlan();
    auto& rows = plan.tables[0].rows;
    fixtures::PackageContents notes;
    notes.label = "notes.txt";
    notes.file = fixtures::Bytes{'n', 'o', 't', 'e', 's', '\n'};
    rows.push_back({std::int64_t(4), std::string("notes"), fixtures::BuildPackage(notes)});
    rows.push_back({std::int64_t(5), std::string("acme"), fixtures::BuildUnsupportedObject()});
    rows.push_back({std::int64_t(6), std::string("first"),
                    fixtures::BuildPaintPicture(fixtures::MakeBmpFile(3, 3))});
    Form2& form2 = StartOn(plan);

    struct Case {
        const char* what;
        std::function<void()> choose;
        std::vector<std::string> names;  // of the cells with a picture, in record order
    };
    const Case cases[] = {
        {"counter names, BMP", [] {}, {"Output1.bmp", "Output3.bmp", "Output6.bmp"}},
        {"names from the caption, PNG",
         [&] {
             QTest::mouseClick(form2.Option7, Qt::LeftButton);
             form2.Combo1->setCurrentText("Caption");
             QTest::mouseClick(form2.Option10, Qt::LeftButton);
         },
         {"first.png", "third.png", "first (2).png"}},
        {"the table's name, JPG",
         [&] {
             QTest::mouseClick(form2.Option4, Qt::LeftButton);
             QTest::mouseClick(form2.Option9, Qt::LeftButton);
         },
         {"Pictures1.jpg", "Pictures3.jpg", "Pictures6.jpg"}},
        {"a prefix typed, raw records",
         [&] {
             QTest::mouseClick(form2.Option3, Qt::LeftButton);
             form2.Text1->setText("Shot###");
             QTest::mouseClick(form2.Option2, Qt::LeftButton);
         },
         {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        EmptyOutputFolder();
        c.choose();
        WaitForPreview(form2);
        EXPECT_TRUE(OutputFiles().empty()) << "the grid wrote into the output folder";
        const std::vector<PreviewCell> cells = PreviewCells(form2);
        ASSERT_EQ(cells.size(), 6u);
        std::vector<std::string> names;
        std::vector<std::pair<QString, QString>> skipped;
        for (const PreviewCell& cell : cells) {
            if (!cell.fileName.isEmpty())
                names.push_back(cell.fileName.toStdString());
            else
                skipped.emplace_back(QString::number(cell.record), cell.skip);
            EXPECT_EQ(cell.thumbnail, !cell.fileName.isEmpty()) << cell.record;
        }
        EXPECT_EQ(names, c.names);

        QTest::mouseClick(form2.PushButton6, Qt::LeftButton);
        EXPECT_EQ(OutputFiles(), Sorted(names));
        std::vector<std::pair<QString, QString>> runSkipped;
        for (int i = 0; i < form2.SkippedList->topLevelItemCount(); ++i)
            runSkipped.emplace_back(form2.SkippedList->topLevelItem(i)->text(0),
                                    form2.SkippedList->topLevelItem(i)->text(1));
        EXPECT_EQ(skipped, runSkipped);
    }

    // Double-click: the record's picture at its own size, with what it is.
    QTest::mouseClick(form2.Option1, Qt::LeftButton);
    WaitForPreview(form2);
    ASSERT_GT(form2.Preview->Cells->count(), 0);
    QListWidgetItem* first = form2.Preview->Cells->item(0);
    form2.Preview->OpenCell(first);
    ASSERT_NE(form2.Preview->OpenDialog(), nullptr);
    PictureDialog& dialog = *form2.Preview->OpenDialog();
    WaitForPreview(form2);
    EXPECT_EQ(dialog.Facts->text(),
              "Record 1 \u00b7 BMP \u00b7 5 x 4 pixels \u00b7 class Paint.Picture");
    EXPECT_EQ(dialog.Picture->pixmap().size(), QSize(5, 4));
    EXPECT_EQ(form2.Preview->Cells->count(), 6);
}

// The grid shows its first records at once and more each time it is scrolled to its end, until
// the table has no more. Every record has the same caption: each name is numbered after those of
// the records before it, shown earlier or not.
TEST_F(WizardRunTest, PreviewGridShowsMoreRecordsWhenScrolledToItsEnd) {
    jet::DatabasePlan plan;
    plan.tables.push_back({"Pictures",
                           {{"ID", jet::ColumnType::Long},
                            {"Caption", jet::ColumnType::Text, 60},
                            {"Picture", jet::ColumnType::OleObject}},
                           {}});
    const fixtures::Bytes picture = fixtures::BuildPaintPicture(fixtures::MakeBmpFile(4, 3));
    const int records = kFirstCells + kMoreCells + 5;
    for (std::int64_t id = 1; id <= records; ++id)
        plan.tables[0].rows.push_back({id, std::string("p"), picture});
    Form2& form2 = StartOn(plan);
    form2.resize(900, 600);
    QTest::mouseClick(form2.Option7, Qt::LeftButton);
    form2.Combo1->setCurrentText("Caption");
    const int expected[] = {kFirstCells, kFirstCells + kMoreCells, records, records};
    for (const int cells : expected) {
        WaitForPreview(form2);
        ASSERT_EQ(form2.Preview->Cells->count(), cells);
        const QListWidgetItem* last = form2.Preview->Cells->item(cells - 1);
        EXPECT_EQ(last->data(kRecordNumberRole).toLongLong(), cells);
        EXPECT_EQ(last->data(kFileNameRole).toString(), QString("p (%1).bmp").arg(cells));
        QScrollBar* bar = form2.Preview->Cells->verticalScrollBar();
        ASSERT_GT(bar->maximum(), 0);
        bar->setValue(bar->maximum());
    }
}

// A field whose pictures take long to draw fills the grid in the background: the page serves
// its events all the while (a timer every 10 ms is never 100 ms late) and typing replaces the
// grid at once. The grid's work stops when a run starts.
TEST_F(WizardRunTest, SlowFieldFillsTheGridWithoutFreezingThePage) {
    // Just within the drawing budget each: seconds of drawing.
    int fills = 1;
    while (true) {
        const imaging::CheckedMetafile next = imaging::CheckMetafile(
            fixtures::MakeCostlyMetafile(fixtures::CostlyPrimitive::Fills, fills + 1, 1000));
        if (MetafileRenderNanoseconds(
                imaging::StandardMetafileWork(next, *next.window, {1000, 1000}), kWmfCostRates) >
            0.9 * kMaxMetafileRenderNanoseconds)
            break;
        ++fills;
    }
    fixtures::PackageContents slow;
    slow.label = "fills.wmf";
    slow.file = fixtures::MakeCostlyMetafile(fixtures::CostlyPrimitive::Fills, fills, 1000);
    jet::DatabasePlan plan;
    plan.tables.push_back({"Pictures",
                           {{"ID", jet::ColumnType::Long},
                            {"Caption", jet::ColumnType::Text, 60},
                            {"Picture", jet::ColumnType::OleObject}},
                           {}});
    plan.tables[0].rows.push_back({std::int64_t(1), std::string("paint"),
                                   fixtures::BuildPaintPicture(fixtures::MakeBmpFile(5, 4))});
    for (std::int64_t id = 2; id <= 4; ++id)
        plan.tables[0].rows.push_back({id, std::string("slow"), fixtures::BuildPackage(slow)});
    Form2& form2 = StartOn(plan);

    QElapsedTimer clock;
    clock.start();
    qint64 last = 0;
    qint64 latest = 0;
    QTimer tick;
    tick.setInterval(10);
    QObject::connect(&tick, &QTimer::timeout, [&] {
        latest = std::max(latest, clock.elapsed() - last);
        last = clock.elapsed();
    });
    tick.start();
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (form2.Preview->Cells->count() < 1 && std::chrono::steady_clock::now() < deadline)
        QTest::qWait(5);
    ASSERT_GE(form2.Preview->Cells->count(), 1);
    QTest::keyClicks(form2.Text1, "Pic#");
    EXPECT_EQ(form2.Text1->text(), "Output#Pic#");
    // The keystrokes are handled at once, each stored in the settings file: that time is the
    // typing's, not the grid's.
    last = clock.elapsed();
    QTest::qWait(1000);
    EXPECT_TRUE(form2.Preview->Working()) << "the slow records were done before the measure";
    tick.stop();
    EXPECT_LT(latest, 100) << "ms between two ticks while the grid filled";

    // The run's first yield comes after its checks: the grid has stopped by then.
    form2.Text1->setText("Output#");
    std::optional<bool> gridWorkingInRun;
    QTimer::singleShot(0, [&] {
        if (form2.IsRunning())
            gridWorkingInRun = form2.Preview->Working();
    });
    QTest::mouseClick(form2.PushButton6, Qt::LeftButton);
    ASSERT_TRUE(gridWorkingInRun.has_value());
    EXPECT_FALSE(*gridWorkingInRun);
    EXPECT_EQ(OutputFiles().size(), 4u);
}

}  // namespace
}  // namespace pictrova::ui
