// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The options page's preview grid: thumbnails of the chosen field's first records, each with
// its record number and the name its file would get (or why it would give none), filled in the
// background by a run/record_preview.h preview of the page's choices. About kFirstCells records
// come first and kMoreCells more each time the user scrolls to the end. Results are polled on
// the GUI thread; the page never waits for the work, except when a run is about to start.

#include <QWidget>

#include <QPointer>

#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

#include "database/opened_database.h"
#include "run/extraction_options.h"

class QLabel;
class QListWidget;
class QListWidgetItem;
class QTimer;

namespace pictrova {
struct SkipReason;
}
namespace pictrova::run {
class RecordPreview;
struct PreviewedRecord;
}  // namespace pictrova::run

namespace pictrova::ui {

class PictureDialog;

inline constexpr int kFirstCells = 60;
inline constexpr int kMoreCells = 30;
// The roles of a cell: its record number, the file name it would get and why it gets none.
inline constexpr int kRecordNumberRole = Qt::UserRole;
inline constexpr int kFileNameRole = Qt::UserRole + 1;
inline constexpr int kSkipRole = Qt::UserRole + 2;

// A reason in the words the page shows it: "picture too large: 9000 x 9000".
QString SkipWords(const SkipReason& skip);

class PreviewGrid : public QWidget {
  public:
    explicit PreviewGrid(QWidget* parent);
    ~PreviewGrid() override;

    // Replaces the grid by the records of `choices`' field in `database`, an open database (not
    // opened again). The work of the grid before is cancelled; the new work starts once it has
    // let go.
    void ShowField(database::Database database, run::ExtractionChoices choices);
    // Empties the grid and cancels its work.
    void Clear();
    // Cancels the work and waits for the records in work to be given up (before a run); the
    // next ShowField starts afresh whatever its choices.
    void StopWork();
    // Work is queued or in progress.
    bool Working() const;

    // The picture of the cell's record at full size, in a window of its own.
    void OpenCell(QListWidgetItem* cell);
    PictureDialog* OpenDialog() const;

    QListWidget* Cells;
    QLabel* Status;

  private:
    struct Pending {
        database::Database database;
        run::ExtractionChoices choices;
    };
    void Poll();
    void StartPending();
    void Request(std::int64_t first, std::int64_t count);
    void RequestMoreAtTheEnd();
    void AddCell(const run::PreviewedRecord& previewed);
    void ShowStatus();

    QTimer* poll_;
    std::unique_ptr<run::RecordPreview> preview_;
    // Previews cancelled, kept until their thread has let go of its work.
    std::vector<std::unique_ptr<run::RecordPreview>> retiring_;
    std::optional<Pending> pending_;
    std::optional<Pending> shown_;    // the choices of the preview in work
    std::int64_t requestedUpTo_ = 0;  // the last record asked for
    std::int64_t nextRecord_ = 1;     // the first record not yet shown
    QPointer<PictureDialog> dialog_;
    bool dialogWaiting_ = false;  // the dialog's record is asked for and not yet shown
};

}  // namespace pictrova::ui
