// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/creator_view.h"

#include <QPixmap>
#include <QResizeEvent>
#include <QScreen>

#include <cstring>

#include "imaging/dib_section.h"

namespace pictrova::ui {

QImage DibToImage(const imaging::cDIBSection& dib) {
    const std::int32_t width = dib.dib_width();
    const std::int32_t height = dib.dib_height();
    const std::int32_t channels = dib.dib_channels();
    if (width <= 0 || height <= 0 || (channels != 3 && channels != 4))
        return {};
    const auto rowBytes = static_cast<std::size_t>(dib.BytesPerScanLine());
    if (rowBytes < static_cast<std::size_t>(width) * static_cast<std::size_t>(channels))
        return {};
    const std::uint8_t* bits = dib.DIBSectionBitsPtr();
    if (bits == nullptr ||
        static_cast<std::size_t>(dib.biSizeImage()) / rowBytes < static_cast<std::size_t>(height)) {
        return {};
    }

    QImage image(width, height, channels == 3 ? QImage::Format_BGR888 : QImage::Format_RGB32);
    if (image.isNull())
        return {};
    const std::size_t copyBytes =
        static_cast<std::size_t>(width) * static_cast<std::size_t>(channels);
    for (std::int32_t y = 0; y < height; ++y) {
        const std::uint8_t* source = bits + static_cast<std::size_t>(height - 1 - y) * rowBytes;
        std::memcpy(image.scanLine(y), source, copyBytes);
    }
    return image;
}

PicturePreview::PicturePreview(QWidget* parent) : QLabel(parent) {
    setFrameShape(QFrame::StyledPanel);
    setAlignment(Qt::AlignCenter);
    setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Ignored);
}

void PicturePreview::SetImage(QImage image) {
    // The box never grows past the screen: a larger picture is kept at the screen's size, so a
    // huge one is not held twice while the run goes on.
    const QSize largest = screen() ? screen()->availableSize() : QSize();
    if (largest.isValid() && !image.isNull() &&
        (image.width() > largest.width() || image.height() > largest.height()))
        image = image.scaled(largest, Qt::KeepAspectRatio, Qt::SmoothTransformation);
    image_ = std::move(image);
    ShowScaled();
}

void PicturePreview::resizeEvent(QResizeEvent* event) {
    QLabel::resizeEvent(event);
    ShowScaled();
}

void PicturePreview::ShowScaled() {
    if (image_.isNull()) {
        clear();
        return;
    }
    setPixmap(QPixmap::fromImage(
        image_.scaled(contentsRect().size(), Qt::KeepAspectRatio, Qt::SmoothTransformation)));
}

}  // namespace pictrova::ui
