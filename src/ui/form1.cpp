// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/form1.h"

#include <QCloseEvent>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileInfo>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMimeData>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>

#include "common/guard.h"
#include "database/data_access_probe.h"
#include "database/schema_listing.h"
#include "ui/dialogs.h"
#include "ui/form2.h"
#include "ui/settings_store.h"
#include "ui/startup_helpers.h"

namespace pictrova::ui {

namespace {

constexpr char kDatabaseDialogTitle[] = "Select Access Database";
constexpr char kDatabaseDialogFilter[] =
    "All Microsoft Databases (*.mdb,*.accdb)|*.*db|Microsoft Database (*.mdb)|*.mdb|"
    "Microsoft 2007 Database (*.accdb)|*.accdb|";

bool PathExists(const QString& path) {
    std::error_code ec;
    return !path.isEmpty() && std::filesystem::exists(path.toStdString(), ec);
}

bool IsFile(const QString& path) {
    std::error_code ec;
    return !path.isEmpty() && std::filesystem::is_regular_file(path.toStdString(), ec);
}

// The database a drag carries: one local file named .mdb or .accdb (any case).
QString DroppedDatabase(const QMimeData* data) {
    if (!data || !data->hasUrls() || data->urls().size() != 1)
        return {};
    const QUrl& url = data->urls().constFirst();
    if (!url.isLocalFile())
        return {};
    const QString path = url.toLocalFile();
    const QString suffix = QFileInfo(path).suffix().toLower();
    return suffix == "mdb" || suffix == "accdb" ? path : QString();
}

}  // namespace

Form1::Form1(WizardServices services)
    : QWidget(nullptr), services_(std::move(services)), host_(services_.dialogs, this) {
    setObjectName("Form1");
    BuildControls();
}

Form1::~Form1() = default;

void Form1::BuildControls() {
    setFont(QFont("Arial", 9));
    Frame1 = new QGroupBox("Access Database", this);
    Label5 = new QLabel("MDB or ACCDB File:", Frame1);
    Text1 = new QLineEdit(Frame1);
    PushButton1 = new QPushButton("...", Frame1);
    lblPassword = new QLabel("Password (if required):", Frame1);
    Text2 = new QLineEdit(Frame1);
    Text2->setEchoMode(QLineEdit::Password);
    PushButton2 = new QPushButton("Next >", this);
    PushButton3 = new QPushButton("Load Sample/Example Database", this);
    lblNoFile = new QLabel("No file at this path", Frame1);
    lblNoFile->setStyleSheet("color: #b00020;");
    lblNoFile->hide();

    const std::pair<QObject*, const char*> names[] = {
        {Frame1, "Frame1"},           {Label5, "Label5"},           {Text1, "Text1"},
        {PushButton1, "PushButton1"}, {lblPassword, "lblPassword"}, {Text2, "Text2"},
        {PushButton2, "PushButton2"}, {PushButton3, "PushButton3"}, {lblNoFile, "lblNoFile"},
    };
    for (const auto& [object, name] : names)
        object->setObjectName(name);

    auto* fields = new QGridLayout(Frame1);
    fields->addWidget(Label5, 0, 0);
    fields->addWidget(lblNoFile, 0, 1, Qt::AlignRight);
    fields->addWidget(Text1, 1, 0);
    fields->addWidget(PushButton1, 1, 1);
    fields->addWidget(lblPassword, 2, 0, 1, 2);
    fields->addWidget(Text2, 3, 0);
    PushButton1->setFixedWidth(32);
    Text1->setMinimumWidth(380);

    auto* buttons = new QHBoxLayout;
    buttons->addWidget(PushButton3);
    buttons->addStretch();
    buttons->addWidget(PushButton2);
    auto* page = new QVBoxLayout(this);
    page->addWidget(Frame1);
    page->addStretch();
    page->addLayout(buttons);

    connect(PushButton1, &QPushButton::clicked, this, &Form1::PushButton1_Click);
    connect(PushButton2, &QPushButton::clicked, this, &Form1::PushButton2_Click);
    connect(PushButton3, &QPushButton::clicked, this, &Form1::PushButton3_Click);
    connect(Text1, &QLineEdit::textChanged, this, [this](const QString& text) {
        // Another database: the one kept open for the previous text goes.
        ForgetOpened();
        StoreText("Form1.Text1_Change", "AccessMDBFile", text);
        setWindowTitle(DatabaseWindowTitle(IsFile(text) ? text : QString()));
        // A marked path loses its mark as soon as it names a file.
        if (!lblNoFile->isHidden())
            MarkMissingFile();
    });
    connect(Text2, &QLineEdit::textChanged, this, [this](const QString& text) {
        ForgetOpened();
        StoreText("Form1.Text2_Change", "AccessPassword", text);
    });
    Text1->installEventFilter(this);
    Text2->installEventFilter(this);
    // A database dropped anywhere on the page, the path field included, fills the path.
    setAcceptDrops(true);
    Text1->setAcceptDrops(false);
}

void Form1::MarkMissingFile() {
    lblNoFile->setVisible(!Text1->text().isEmpty() && !IsFile(Text1->text()));
}

void Form1::dragEnterEvent(QDragEnterEvent* event) {
    if (!DroppedDatabase(event->mimeData()).isEmpty())
        event->acceptProposedAction();
}

void Form1::dropEvent(QDropEvent* event) {
    const QString path = DroppedDatabase(event->mimeData());
    if (path.isEmpty())
        return;
    Text1->setText(path);
    event->acceptProposedAction();
}

// A field that cannot store its text has no report of its own: it is reported like a guarded
// procedure under the field's change handler.
void Form1::StoreText(const char* location, const QString& key, const QString& text) {
    Guard guard(host_, location);
    guard.Step(100, [&] { services_.settings.Write(key, text); });
}

void Form1::UseHandPointer(const QCursor& pointer) {
    for (QPushButton* button : {PushButton1, PushButton2, PushButton3})
        button->setCursor(pointer);
}

bool Form1::Load() {
    bool dataAccess = true;
    std::optional<QCursor> handPointer;
    Guard guard(host_, "Form1.Form_Load");
    guard.Step(100, [&] { ApplySkin(*this, services_.programFolder); });
    guard.Step(104, [&] {
        setWindowTitle(kProductName);
        setWindowIcon(ApplicationIcon());
        SetApplicationTitle();
    });
    if (guard.Test(
            124, [&] { return std::filesystem::exists(services_.programFolder / "HAND-M.CUR"); })) {
        guard.Step(126, [&] {
            handPointer = LoadHandPointer(services_.programFolder);
            if (handPointer)
                UseHandPointer(*handPointer);
        });
    }
    guard.Step(128, [&] { Text1->setText(services_.settings.Read("AccessMDBFile")); });
    guard.Step(130, [&] { Text2->setText(services_.settings.Read("AccessPassword")); });
    // The probe runs between 130 and 132 although its label is higher: it was added later.
    bool carryOn = true;
    guard.Step(142, [&] { carryOn = dataAccess = database::ProbeDataAccess(host_); });
    if (!carryOn)
        return dataAccess;
    guard.Step(132, [&] { carryOn = !Text1->text().isEmpty(); });
    if (!carryOn)
        return dataAccess;
    guard.Step(134, [&] { carryOn = PathExists(Text1->text()); });
    if (!carryOn) {
        MarkMissingFile();
        return dataAccess;
    }
    guard.Step(136, [&] {
        PushButton2_Click();
        form2().ListFields();
    });
    return dataAccess;
}

void Form1::ShowStartPage() {
    if (!form2_ || !form2_->isVisible())
        show();
}

Form2& Form1::form2() {
    if (!form2_) {
        form2_ = std::make_unique<Form2>(*this);
        form2_->Load();
    }
    return *form2_;
}

std::string Form1::DatabasePath() const {
    return Text1->text().toStdString();
}

std::string Form1::DatabasePassword() const {
    return Text2->text().toStdString();
}

void Form1::PushButton1_Click() {
    QString fileName;
    QString title;
    QString filter;
    Guard guard(host_, "Form1.PushButton1_Click");
    guard.Step(100, [&] { fileName.clear(); });
    guard.Step(104, [&] { title = kDatabaseDialogTitle; });
    guard.Step(106, [&] { filter = kDatabaseDialogFilter; });
    guard.Step(108, [&] { fileName = services_.dialogs.OpenFileName(this, title, filter); });
    bool chosen = true;
    guard.Step(110, [&] { chosen = !fileName.isEmpty(); });
    if (!chosen)
        return;
    guard.Step(112, [&] { Text1->setText(fileName); });
}

void Form1::PushButton2_Click() {
    std::optional<std::vector<std::string>> tables;
    Guard guard(host_, "Form1.PushButton2_Click");
    guard.Step(100, [&] { tables = database::ListTables(DatabasePath(), *this); });
    if (guard.Test(102, [&] { return !tables.has_value(); })) {
        tables.reset();
        // No dialog for a path that names no file; the field says so.
        MarkMissingFile();
        return;
    }
    lblNoFile->hide();
    guard.Step(106, [&] { form2().FillTableList(); });
    guard.Step(108, [&] { form2().show(); });
    guard.Step(110, [&] { hide(); });
}

void Form1::PushButton3_Click() {
    Guard guard(host_, "Form1.PushButton3_Click");
    guard.Step(100, [&] {
        Text1->setText(
            QString::fromStdString(SampleDatabasePath(services_.programFolder).string()));
    });
}

void Form1::closeEvent(QCloseEvent* event) {
    event->accept();
    EndProgram();
}

void Form1::EndProgram() {
    host_.SetSilent(true);
    hide();
    if (form2_)
        form2_->BeginEnding();
    if (services_.endProgram)
        services_.endProgram();
}

// A field that receives the focus selects its whole text. Deferred, because a mouse click that
// gives the focus places the cursor after the focus event.
bool Form1::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::FocusIn) {
        if (auto* field = qobject_cast<QLineEdit*>(watched))
            QTimer::singleShot(0, field, &QLineEdit::selectAll);
    }
    return QWidget::eventFilter(watched, event);
}

}  // namespace pictrova::ui
