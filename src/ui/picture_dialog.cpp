// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/picture_dialog.h"

#include <QLabel>
#include <QPixmap>
#include <QScrollArea>
#include <QVBoxLayout>

#include "run/record_preview.h"
#include "ui/creator_view.h"
#include "ui/preview_grid.h"

namespace pictrova::ui {

PictureDialog::PictureDialog(QWidget* parent, std::int64_t record)
    : QDialog(parent), record_(record) {
    setObjectName("PictureDialog");
    setWindowTitle(QString("Record %1").arg(record));
    setAttribute(Qt::WA_DeleteOnClose);
    Facts = new QLabel(QString("Record %1: reading...").arg(record), this);
    Facts->setObjectName("Facts");
    Facts->setTextInteractionFlags(Qt::TextSelectableByMouse);
    Picture = new QLabel(this);
    Picture->setObjectName("Picture");
    Picture->setAlignment(Qt::AlignCenter);
    scroll_ = new QScrollArea(this);
    scroll_->setWidget(Picture);
    scroll_->setWidgetResizable(false);
    scroll_->setAlignment(Qt::AlignCenter);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(Facts);
    layout->addWidget(scroll_, 1);
    resize(640, 480);
}

void PictureDialog::ShowRecord(const run::PreviewedRecord& previewed) {
    QStringList facts{QString("Record %1").arg(previewed.number)};
    if (!previewed.kind.empty())
        facts << QString::fromStdString(previewed.kind);
    if (previewed.width > 0)
        facts << QString("%1 x %2 pixels").arg(previewed.width).arg(previewed.height);
    if (!previewed.objectClass.empty())
        facts << "class " + QString::fromStdString(previewed.objectClass);
    if (previewed.skip)
        facts << SkipWords(*previewed.skip);
    Facts->setText(facts.join(" \u00b7 "));
    const QImage image = DibToImage(previewed.picture);
    if (image.isNull()) {
        Picture->setText("No picture");
    } else {
        Picture->setPixmap(QPixmap::fromImage(image));
    }
    Picture->adjustSize();
}

}  // namespace pictrova::ui
