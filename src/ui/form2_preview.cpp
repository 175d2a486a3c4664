// SPDX-License-Identifier: GPL-3.0-or-later
// The options page's preview grid kept in step with the page's choices: the table, the field,
// the read method, the naming and the format, over the database the page has open.

#include <QLabel>
#include <QTimer>
#include <QTreeWidget>

#include "common/error.h"
#include "ui/form1.h"
#include "ui/form2.h"
#include "ui/preview_grid.h"
#include "ui/wizard_options.h"

namespace pictrova::ui {

namespace {

// Long enough that typing a prefix replaces the grid once, short enough to feel immediate.
constexpr int kPreviewDelayMilliseconds = 150;

}  // namespace

void Form2::SchedulePreview() {
    if (!previewDelay_) {
        previewDelay_ = new QTimer(this);
        previewDelay_->setSingleShot(true);
        previewDelay_->setInterval(kPreviewDelayMilliseconds);
        connect(previewDelay_, &QTimer::timeout, this, &Form2::RefreshPreview);
    }
    previewDelay_->start();
}

// A run reads the controls live: choices changed during it wait for its end.
void Form2::RefreshPreview() {
    if (running_ || ending_)
        return;
    const QList<QTreeWidgetItem*> field = ListView2->selectedItems();
    if (field.isEmpty() || options_->table().empty()) {
        Preview->Clear();
        return;
    }
    // Quality and folder change nothing a preview shows.
    run::ExtractionChoices choices = run::ChoicesOf(*options_);
    choices.quality = 0;
    choices.outputFolder.clear();
    try {
        Preview->ShowField(form1_.Opened(), choices);
    } catch (const Error& e) {
        Preview->Clear();
        Preview->Status->setText(QString::fromStdString(e.description()));
    }
}

}  // namespace pictrova::ui
