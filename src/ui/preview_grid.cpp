// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/preview_grid.h"

#include <QLabel>
#include <QListWidget>
#include <QPainter>
#include <QPixmap>
#include <QScrollBar>
#include <QStyle>
#include <QTimer>
#include <QVBoxLayout>

#include "common/skip_reasons.h"
#include "run/record_preview.h"
#include "ui/creator_view.h"
#include "ui/picture_dialog.h"

namespace pictrova::ui {

namespace {

// How often the grid takes what the preview has done: often enough that cells appear as they
// come, rarely enough to cost the page nothing.
constexpr int kPollMilliseconds = 40;
constexpr int kIconSide = 96;

}  // namespace

QString SkipWords(const SkipReason& skip) {
    QString words = QString::fromStdString(std::string(SkipText(skip.code)));
    if (!skip.detail.empty())
        words += ": " + QString::fromStdString(skip.detail);
    return words;
}

PreviewGrid::PreviewGrid(QWidget* parent) : QWidget(parent) {
    Cells = new QListWidget(this);
    Cells->setObjectName("PreviewCells");
    Cells->setViewMode(QListView::IconMode);
    Cells->setIconSize(QSize(kIconSide, kIconSide));
    Cells->setGridSize(QSize(kIconSide + 48, kIconSide + 44));
    Cells->setResizeMode(QListView::Adjust);
    // Room for two columns of cells beside the scroll bar.
    Cells->setMinimumWidth(2 * Cells->gridSize().width() + 2 * Cells->frameWidth() +
                           Cells->style()->pixelMetric(QStyle::PM_ScrollBarExtent) + 8);
    Cells->setMovement(QListView::Static);
    Cells->setWordWrap(true);
    Cells->setTextElideMode(Qt::ElideMiddle);
    Status = new QLabel(this);
    Status->setObjectName("PreviewStatus");
    Status->setWordWrap(true);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(Cells, 1);
    layout->addWidget(Status);
    poll_ = new QTimer(this);
    poll_->setInterval(kPollMilliseconds);
    connect(poll_, &QTimer::timeout, this, [this] { Poll(); });
    connect(Cells, &QListWidget::itemDoubleClicked, this,
            [this](QListWidgetItem* cell) { OpenCell(cell); });
    connect(Cells->verticalScrollBar(), &QScrollBar::valueChanged, this,
            [this] { RequestMoreAtTheEnd(); });
}

PreviewGrid::~PreviewGrid() {
    StopWork();
}

void PreviewGrid::ShowField(database::Database database, run::ExtractionChoices choices) {
    const std::optional<Pending>& current = pending_ ? pending_ : shown_;
    if (current && current->database.SameOpen(database) && current->choices == choices)
        return;
    Clear();
    pending_ = Pending{std::move(database), std::move(choices)};
    Status->setText("Reading the records...");
    StartPending();
    poll_->start();
}

void PreviewGrid::Clear() {
    if (preview_) {
        preview_->Cancel();
        retiring_.push_back(std::move(preview_));
    }
    pending_.reset();
    shown_.reset();
    Cells->clear();
    Status->clear();
    requestedUpTo_ = 0;
    nextRecord_ = 1;
    dialogWaiting_ = false;
}

void PreviewGrid::StopWork() {
    pending_.reset();
    shown_.reset();
    if (preview_)
        retiring_.push_back(std::move(preview_));
    for (const auto& preview : retiring_)
        preview->Stop();
    retiring_.clear();
    dialogWaiting_ = false;
    poll_->stop();
    if (Status->text().startsWith("Reading"))
        Status->setText("Stopped.");
}

PictureDialog* PreviewGrid::OpenDialog() const {
    return dialog_;
}

bool PreviewGrid::Working() const {
    return pending_ || !retiring_.empty() ||
           (preview_ && (!preview_->Idle() || preview_->ResultsWaiting()));
}

// Only one preview works at a time: a metafile's drawing is stopped for every thread at once
// when one is cancelled.
void PreviewGrid::StartPending() {
    std::erase_if(retiring_, [](const auto& preview) { return preview->Idle(); });
    if (!pending_ || !retiring_.empty())
        return;
    shown_ = std::move(pending_);
    pending_.reset();
    preview_ = std::make_unique<run::RecordPreview>(shown_->database, shown_->choices);
    Request(1, kFirstCells);
}

void PreviewGrid::Request(std::int64_t first, std::int64_t count) {
    preview_->Request(first, count);
    requestedUpTo_ = std::max(requestedUpTo_, first + count - 1);
    poll_->start();
}

// The timer stops only after a poll that began with no work left, so the records the work
// delivered last are taken and the status tells the end.
void PreviewGrid::Poll() {
    StartPending();
    const bool working = Working();
    if (preview_) {
        for (const run::PreviewedRecord& previewed : preview_->Take()) {
            if (dialogWaiting_ && dialog_ && previewed.number == dialog_->record()) {
                dialogWaiting_ = false;
                dialog_->ShowRecord(previewed);
                continue;
            }
            AddCell(previewed);
        }
    }
    ShowStatus();
    if (!working && !Working())
        poll_->stop();
}

void PreviewGrid::AddCell(const run::PreviewedRecord& previewed) {
    if (previewed.number < nextRecord_)
        return;  // shown already (asked for again after the dialog's record)
    nextRecord_ = previewed.number + 1;
    auto* cell = new QListWidgetItem(Cells);
    QString second;
    if (!previewed.fileName.empty()) {
        second = QString::fromStdString(previewed.fileName);
        cell->setData(kFileNameRole, second);
    } else if (previewed.skip) {
        second = SkipWords(*previewed.skip);
        cell->setData(kSkipRole, second);
    } else {
        second = "read (no format chosen)";
    }
    cell->setText(QString::number(previewed.number) + QChar(QChar::LineSeparator) + second);
    cell->setTextAlignment(Qt::AlignHCenter | Qt::AlignTop);
    cell->setSizeHint(Cells->gridSize());
    cell->setToolTip(cell->text());
    cell->setData(kRecordNumberRole, QVariant::fromValue<qlonglong>(previewed.number));
    const QImage thumbnail = DibToImage(previewed.thumbnail);
    if (!thumbnail.isNull()) {
        // Centred on a square, so that every cell's text starts at the same height.
        const QImage scaled =
            thumbnail.scaled(kIconSide, kIconSide, Qt::KeepAspectRatio, Qt::SmoothTransformation);
        QPixmap square(kIconSide, kIconSide);
        square.fill(Qt::transparent);
        QPainter painter(&square);
        painter.drawImage((kIconSide - scaled.width()) / 2, (kIconSide - scaled.height()) / 2,
                          scaled);
        painter.end();
        cell->setIcon(QIcon(square));
    }
}

// More records once the user has scrolled to the end of those shown, with nothing in work.
void PreviewGrid::RequestMoreAtTheEnd() {
    if (!preview_ || dialogWaiting_ || !preview_->Idle() || preview_->ReachedEnd())
        return;
    const QScrollBar* bar = Cells->verticalScrollBar();
    if (bar->maximum() == 0 || bar->value() < bar->maximum() - bar->pageStep() / 4)
        return;
    Request(requestedUpTo_ + 1, kMoreCells);
}

void PreviewGrid::ShowStatus() {
    if (!shown_ && !pending_)
        return;
    const std::string message = preview_ ? preview_->Message() : std::string();
    if (!message.empty()) {
        Status->setText(QString::fromStdString(message));
    } else if (Working()) {
        Status->setText(QString("Reading the records... (%1 shown)").arg(Cells->count()));
    } else {
        Status->setText(QString("%1 records shown%2")
                            .arg(Cells->count())
                            .arg(preview_ && !preview_->ReachedEnd()
                                     ? QString(", more as you scroll down")
                                     : QString()));
    }
}

// The record is previewed again with its picture kept whole, ahead of the grid's records; the
// grid then goes on from its first record not yet shown.
void PreviewGrid::OpenCell(QListWidgetItem* cell) {
    if (!cell || !preview_)
        return;
    const std::int64_t record = cell->data(kRecordNumberRole).toLongLong();
    for (const run::PreviewedRecord& previewed : preview_->Take())
        AddCell(previewed);
    preview_->Cancel();
    if (dialog_)
        dialog_->close();
    dialog_ = new PictureDialog(this, record);
    dialogWaiting_ = true;
    preview_->Request(record, 1, true);
    if (nextRecord_ <= requestedUpTo_)
        preview_->Request(nextRecord_, requestedUpTo_ - nextRecord_ + 1);
    dialog_->show();
    poll_->start();
}

}  // namespace pictrova::ui
