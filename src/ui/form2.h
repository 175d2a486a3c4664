// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The options page, the wizard's second window: the table and field lists, the read method, the
// naming of the output files, the output format with its JPEG quality, the output folder with
// the choice of a contact sheet, and "Start Extracting". Every choice is stored the moment it
// changes and restored at start-up; the run reads the controls live through WizardOptions.

#include <QWidget>

#include <memory>
#include <optional>

#include "ui/qt_host.h"

class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;
class QRadioButton;
class QSlider;
class QTimer;
class QTreeWidget;

namespace pictrova::imaging {
class PictureHolder;
}
namespace pictrova::run {
struct RunProgress;
struct RunResult;
}  // namespace pictrova::run

namespace pictrova::ui {

class Form1;
class PicturePreview;
class PreviewGrid;
class WizardOptions;

// Set on the rows of the table and field lists whose field (or one of whose fields) holds
// pictures.
inline constexpr int kHoldsPicturesRole = Qt::UserRole;

class Form2 : public QWidget {
    Q_OBJECT

  public:
    explicit Form2(Form1& form1);
    ~Form2() override;

    // The start-up (Form2.Form_Load).
    void Load();

    // Lists the tables of the database page's database into ListView1, those with a picture
    // field marked as ListFields marks the fields, selects the remembered one, else the first,
    // and names the database in the window title. The field list, the name-field combo, the
    // progress bar, the last run's summary and its picture are cleared first: they belonged to
    // the table list before.
    void FillTableList();
    // Lists the fields of the table selected in ListView1 into ListView2 (fields that may hold
    // pictures marked) and Combo1 (those fields left out: they name no file), selecting the
    // remembered field of each. Throws when the table cannot be opened (the busy pointer is
    // restored all the same).
    void ListFields();

    void ListView1_Click();    // ListFields, reported under the click's own location
    void PushButton1_Click();  // "?"
    void PushButton2_Click();  // "..." for the output folder
    void PushButton4_Click();  // "<- ?"
    void PushButton6_Click();  // "Start Extracting"
    void PushButton7_Click();  // "< Back"
    void OpenFolder_Click();   // "Open folder": the last run's output folder in the file manager
    void OpenReport_Click();   // "Open report": the last run's contact sheet in the browser
    void ShowSkipped_Click();  // shows or hides the last run's records without a picture

    bool IsRunning() const { return running_; }

    // The program is ending (a page was closed): the page hides and falls silent, and a run in
    // progress reads no method and no format any more, so it skips its remaining records and
    // ends without writing anything else.
    void BeginEnding();
    bool IsEnding() const { return ending_; }

    // The run's picture holder behind the picture box Creator.
    imaging::PictureHolder& creatorPicture();
    const WizardOptions& options() const { return *options_; }

    QGroupBox* Frame1;
    QTreeWidget* ListView1;
    QTreeWidget* ListView2;
    QGroupBox* Frame2;
    QRadioButton* Option1;
    QRadioButton* Option2;
    QPushButton* PushButton1;
    QGroupBox* Frame3;
    QRadioButton* Option3;
    QLineEdit* Text1;
    QPushButton* PushButton4;
    QRadioButton* Option4;
    QRadioButton* Option5;
    QRadioButton* Option6;
    QRadioButton* Option7;
    QComboBox* Combo1;
    QGroupBox* Frame4;
    QRadioButton* Option8;
    QRadioButton* Option9;
    QRadioButton* Option10;
    QRadioButton* Option11;
    QRadioButton* Option12;
    QRadioButton* Option13;
    QRadioButton* Option14;
    QRadioButton* Option15;  // "Original": every object as the file it holds
    QRadioButton* Option16;  // naming: a package's or attached file's own name
    QGroupBox* Frame5;
    QSlider* Slider1;
    QGroupBox* Frame6;
    QLineEdit* Text2;
    QPushButton* PushButton2;
    // The run also writes its contact sheet (index.html, index.csv, .thumbnails/) into the
    // output folder, as `pictrova-cli extract --report` does.
    QCheckBox* WriteSheet;
    QPushButton* PushButton6;
    QPushButton* PushButton7;
    PicturePreview* Creator;
    QLabel* Picture1;
    QProgressBar* RunProgress;
    // The last run's summary under the progress bar: what was written where, and why the
    // records without a picture gave none.
    QLabel* RunStatus;
    QPushButton* OpenFolder;
    QPushButton* OpenReport;  // shown when the last run wrote its contact sheet
    QPushButton* ShowSkipped;
    QTreeWidget* SkippedList;
    // Thumbnails of the chosen field's records, named as the run would name their files.
    PreviewGrid* Preview;

  protected:
    void closeEvent(QCloseEvent* event) override;

  private:
    void BuildControls();
    void ConnectHandlers();
    void OptionClicked(QRadioButton* option);
    void StoreText(const char* location, const QString& key, const QString& text);
    void ShowHelp(const char* location, const char* message);
    // Before a run into a folder that holds files the run would replace: whether to keep them
    // (Keep both) or replace them; nullopt when the user cancels the run.
    std::optional<bool> AskKeepExistingFiles();
    void ShowRunProgress(const run::RunProgress& progress);
    void ShowRunResult(const run::RunResult& result, const QString& folder, bool sheetWritten);
    // The last run's contact sheet into its output folder; false, reported as a failed write,
    // when it could not be written.
    bool WriteRunSheet(const run::RunResult& result);
    void ClearRunResult();
    void StoreChoice(const QString& key, const QString& value);
    // The preview grid follows the choices: a change replaces it shortly after (typing in the
    // prefix replaces it once).
    void SchedulePreview();
    void RefreshPreview();

    Form1& form1_;
    QtHost host_;
    std::unique_ptr<WizardOptions> options_;
    std::unique_ptr<imaging::PictureHolder> creatorPicture_;
    bool running_ = false;
    bool ending_ = false;
    bool filling_ = false;  // the lists are being refilled: their changes are not choices
    QString lastFolder_;    // where the last run wrote
    QString lastSheet_;     // the last run's index.html; empty when it wrote none
    QTimer* previewDelay_ = nullptr;
};

// Sets an option's chosen state as a restore does: switching it on unchooses the others of its
// frame and raises its click handling; switching off the chosen one leaves its frame with none.
void SetOptionValue(QRadioButton& option, bool chosen);

}  // namespace pictrova::ui
