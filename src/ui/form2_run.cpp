// SPDX-License-Identifier: GPL-3.0-or-later
// "Start Extracting": the extraction run with the page's live options, the page's host and its
// picture holder, the progress bar counting records, and the button disabled while it runs; then
// the run's contact sheet when it is asked for.

#include <QCheckBox>
#include <QFileInfo>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QTreeWidget>

#include <climits>
#include <optional>

#include "common/guard.h"
#include "imaging/picture_holder.h"
#include "report/run_report.h"
#include "run/external_converter.h"
#include "run/extraction_run.h"
#include "run/skip_reason.h"
#include "ui/creator_view.h"
#include "ui/dialogs.h"
#include "ui/form1.h"
#include "ui/form2.h"
#include "ui/preview_grid.h"
#include "ui/replace_question.h"
#include "ui/startup_helpers.h"
#include "ui/wizard_options.h"

namespace pictrova::ui {

namespace {

int ClampToInt(std::int64_t value) {
    return static_cast<int>(std::clamp<std::int64_t>(value, 0, INT_MAX));
}

// Marks the page as running for as long as it lives, also when the run throws.
class RunningPage {
  public:
    RunningPage(bool& running, QPushButton& start) : running_(running), start_(start) {
        running_ = true;
        start_.setEnabled(false);
    }
    ~RunningPage() {
        running_ = false;
        start_.setEnabled(true);
    }
    RunningPage(const RunningPage&) = delete;
    RunningPage& operator=(const RunningPage&) = delete;

  private:
    bool& running_;
    QPushButton& start_;
};

}  // namespace

// A second click while the run yields would start a run inside the run; the button is disabled
// and the click ignored until the run ends.
void Form2::PushButton6_Click() {
    if (running_ || ending_)
        return;
    const std::optional<bool> keepExistingFiles = AskKeepExistingFiles();
    if (!keepExistingFiles)
        return;
    RunningPage running(running_, *PushButton6);
    Preview->StopWork();
    RunProgress->setRange(0, 1);
    RunProgress->setValue(0);
    RunProgress->setVisible(true);
    ClearRunResult();

    run::RunSurroundings surroundings{
        host_,
        form1_,
        creatorPicture(),
        [this](const run::RunProgress& progress) { ShowRunProgress(progress); },
        run::ExternalConverterFromEnvironment(),
        {}};
    // Closing the wizard stops the run after the records it has written.
    surroundings.stopRequested = [this] { return ending_; };
    surroundings.keepExistingFiles = *keepExistingFiles;
    surroundings.reportFacts = WriteSheet->isChecked();
    const run::RunResult result = run::RunExtraction(*options_, surroundings);
    if (ending_)
        return;
    const bool sheetWritten =
        surroundings.reportFacts &&
        (result.end == run::RunEnd::Done || result.end == run::RunEnd::NoImages) &&
        WriteRunSheet(result);
    ShowRunResult(result, QString::fromStdString(options_->outputFolder()), sheetWritten);
    // The grid stopped for the run; it fills again with the choices as the run left them.
    SchedulePreview();
}

// The sheet is the run's last write: its failure is reported as theirs are, and leaves the
// run's count as it is.
bool Form2::WriteRunSheet(const run::RunResult& result) {
    Guard guard(host_, "Form2.PushButton6_Click");
    return guard.Step(488, [&] {
        report::WriteRunSheet(options_->outputFolder(),
                              {form1_.DatabasePath(), options_->table(), options_->pictureField()},
                              result);
    });
}

// Asked afresh before every run: the answer is about the files in the folder now. A field that
// holds no pictures stops the run at its checks, before it writes anything.
std::optional<bool> Form2::AskKeepExistingFiles() {
    const QList<QTreeWidgetItem*> field = ListView2->selectedItems();
    if (field.isEmpty() || !field.constFirst()->data(0, kHoldsPicturesRole).toBool())
        return false;
    const run::ExtractionChoices choices = run::ChoicesOf(*options_);
    const FilesInTheWay files = FindFilesInTheWay(choices);
    if (files.count == 0)
        return false;
    switch (form1_.services().dialogs.AskReplace(this, ReplaceQuestion(files, choices.format),
                                                 ApplicationTitle())) {
        case ReplaceAnswer::Replace:
            return false;
        case ReplaceAnswer::KeepBoth:
            return true;
        case ReplaceAnswer::Cancel:
            break;
    }
    return std::nullopt;
}

// Only a run that went through the records has something to count; a run stopped by its
// checks said why in its message.
void Form2::ShowRunResult(const run::RunResult& result, const QString& folder, bool sheetWritten) {
    if (result.end != run::RunEnd::Done && result.end != run::RunEnd::NoImages &&
        result.recordsRead == 0)
        return;
    lastFolder_ = folder;
    RunStatus->setText(QString::fromStdString(run::RunCount(result)) + " Folder: " + folder);
    RunStatus->setVisible(true);
    OpenFolder->setVisible(true);
    if (sheetWritten) {
        lastSheet_ = QFileInfo(QString::fromStdString((std::filesystem::path(folder.toStdString()) /
                                                       report::kSheetFileName)
                                                          .string()))
                         .absoluteFilePath();
        OpenReport->setVisible(true);
    }
    for (const run::RecordOutcome& record : result.records) {
        if (record.written || !record.skipped)
            continue;
        new QTreeWidgetItem(SkippedList,
                            {QString::number(record.number), SkipWords(*record.skipped)});
    }
    const int skipped = SkippedList->topLevelItemCount();
    ShowSkipped->setText(QString("Skipped records (%1)").arg(skipped));
    ShowSkipped->setVisible(skipped > 0);
}

void Form2::ClearRunResult() {
    lastFolder_.clear();
    lastSheet_.clear();
    RunStatus->clear();
    SkippedList->clear();
    for (QWidget* part : std::initializer_list<QWidget*>{RunStatus, OpenFolder, OpenReport,
                                                         ShowSkipped, SkippedList})
        part->setVisible(false);
}

void Form2::OpenFolder_Click() {
    if (!lastFolder_.isEmpty())
        form1_.services().dialogs.OpenFolder(lastFolder_);
}

void Form2::OpenReport_Click() {
    if (!lastSheet_.isEmpty())
        form1_.services().dialogs.OpenUrl(QUrl::fromLocalFile(lastSheet_));
}

void Form2::ShowSkipped_Click() {
    SkippedList->setVisible(SkippedList->isHidden());
}

void Form2::ShowRunProgress(const run::RunProgress& progress) {
    if (progress.recordsTotal > 0) {
        RunProgress->setRange(0, ClampToInt(progress.recordsTotal));
    } else {
        RunProgress->setRange(0, std::max(1, ClampToInt(progress.recordsDone)));
    }
    RunProgress->setValue(ClampToInt(progress.recordsDone));

    Creator->SetImage(creatorPicture().HasPicture() ? DibToImage(creatorPicture().Image())
                                                    : QImage());
}

}  // namespace pictrova::ui
