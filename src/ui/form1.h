// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The database page, the wizard's first window: the database file and its password, the browse
// and sample buttons and "Next >". Its start-up is the program's start-up. It stays loaded while
// the options page shows, because every database operation reads the path and the password from
// its two fields when it connects (the database opened for them is kept until either changes).

#include <QWidget>

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "database/connection_string.h"
#include "ui/qt_host.h"
#include "ui/wizard_services.h"

class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;

namespace pictrova::ui {

class Form2;

class Form1 : public QWidget, public database::DatabaseSelection {
    Q_OBJECT

  public:
    explicit Form1(WizardServices services);
    ~Form1() override;

    // The start-up (Form1.Form_Load). False when the data-access component cannot be created:
    // the program has to end without showing a window.
    bool Load();

    // After the start-up: shows this page unless a remembered database has brought the options
    // page up.
    void ShowStartPage();

    // The options page, loaded (and its start-up run) on first use.
    Form2& form2();
    bool IsForm2Loaded() const { return form2_ != nullptr; }

    // Closing either page: both pages hide at once, then the program's event loop ends.
    void EndProgram();

    std::string DatabasePath() const override;
    std::string DatabasePassword() const override;

    void PushButton1_Click();  // "..."
    void PushButton2_Click();  // "Next >"
    void PushButton3_Click();  // "Load Sample/Example Database"

    QtHost& host() { return host_; }
    const WizardServices& services() const { return services_; }

    QGroupBox* Frame1;
    QLabel* Label5;
    QLineEdit* Text1;
    QPushButton* PushButton1;
    QLabel* lblPassword;
    QLineEdit* Text2;
    QPushButton* PushButton2;
    QPushButton* PushButton3;
    QLabel* lblNoFile;  // "No file at this path", beside the path once it has been tried

  protected:
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;

  private:
    void BuildControls();
    // Shows the hint when the path names no file, hides it otherwise.
    void MarkMissingFile();
    void StoreText(const char* location, const QString& key, const QString& text);
    void UseHandPointer(const QCursor& pointer);

    WizardServices services_;
    QtHost host_;
    std::unique_ptr<Form2> form2_;
};

}  // namespace pictrova::ui
