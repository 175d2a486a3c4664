// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Showing the run's picture holder (Creator) on the options page.

#include <QImage>
#include <QLabel>

namespace pictrova::imaging {
class cDIBSection;
}

namespace pictrova::ui {

// A copy of the bitmap's pixels (24 or 32 bits, bottom row first) as a top-down QImage; a null
// image when the bitmap is empty or its pixel memory is shorter than its size says.
QImage DibToImage(const imaging::cDIBSection& dib);

// The picture box: its image scaled to fit, in proportion, and scaled again whenever the box
// changes size, so the page's layout may give it any size without clipping the picture. Its
// size comes from the layout, never from the picture.
class PicturePreview : public QLabel {
  public:
    explicit PicturePreview(QWidget* parent);

    // A null image empties the box.
    void SetImage(QImage image);

  protected:
    void resizeEvent(QResizeEvent* event) override;

  private:
    void ShowScaled();

    QImage image_;
};

}  // namespace pictrova::ui
