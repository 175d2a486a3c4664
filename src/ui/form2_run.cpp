// SPDX-License-Identifier: GPL-3.0-or-later
// "Start Extracting": the extraction run with the page's live options, the page's host and its
// picture holder, the progress bar counting records, and the button disabled while it runs.

#include <QLabel>
#include <QProgressBar>
#include <QPushButton>

#include <climits>

#include "imaging/picture_holder.h"
#include "run/external_converter.h"
#include "run/extraction_run.h"
#include "ui/creator_view.h"
#include "ui/form1.h"
#include "ui/form2.h"
#include "ui/wizard_options.h"

namespace pictrova::ui {

namespace {

int ClampToInt(std::int64_t value) { return static_cast<int>(std::clamp<std::int64_t>(value, 0, INT_MAX)); }

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
    if (running_ || ending_) return;
    RunningPage running(running_, *PushButton6);
    RunProgress->setRange(0, 1);
    RunProgress->setValue(0);
    RunProgress->setVisible(true);

    run::RunSurroundings surroundings{host_, form1_, creatorPicture(),
                                      [this](const run::RunProgress& progress) { ShowRunProgress(progress); },
                                      run::ExternalConverterFromEnvironment(),
                                      {}};
    // Closing the wizard stops the run after the records it has written.
    surroundings.stopRequested = [this] { return ending_; };
    run::RunExtraction(*options_, surroundings);
}

void Form2::ShowRunProgress(const run::RunProgress& progress) {
    if (progress.recordsTotal > 0) {
        RunProgress->setRange(0, ClampToInt(progress.recordsTotal));
    } else {
        RunProgress->setRange(0, std::max(1, ClampToInt(progress.recordsDone)));
    }
    RunProgress->setValue(ClampToInt(progress.recordsDone));

    const QImage picture = creatorPicture().HasPicture() ? DibToImage(creatorPicture().Image()) : QImage();
    if (picture.isNull()) {
        Creator->clear();
    } else {
        Creator->setPixmap(QPixmap::fromImage(
            picture.scaled(Creator->contentsRect().size(), Qt::KeepAspectRatio, Qt::SmoothTransformation)));
    }
}

}  // namespace pictrova::ui
