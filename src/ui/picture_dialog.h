// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// A previewed record's picture at full size, in a window of its own (not modal): the picture in
// a scroll area and a line saying which record it is, its kind, its size in pixels and the
// object's class. It opens at once and says it is reading until the record arrives.

#include <QDialog>

class QLabel;
class QScrollArea;

namespace pictrova::run {
struct PreviewedRecord;
}

namespace pictrova::ui {

class PictureDialog : public QDialog {
  public:
    PictureDialog(QWidget* parent, std::int64_t record);

    std::int64_t record() const { return record_; }
    // Shows the record as previewed with its full picture.
    void ShowRecord(const run::PreviewedRecord& previewed);

    QLabel* Facts;    // "Record 3 · JPG · 640 x 480 pixels · class Paint.Picture"
    QLabel* Picture;  // the picture at its own size, inside the scroll area

  private:
    std::int64_t record_;
    QScrollArea* scroll_;
};

}  // namespace pictrova::ui
