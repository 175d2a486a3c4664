// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/form2.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QSlider>
#include <QSplitter>
#include <QStyle>
#include <QTreeWidget>
#include <QVBoxLayout>

#include <optional>
#include <span>

#include "common/error.h"
#include "common/guard.h"
#include "database/ado_types.h"
#include "database/schema_listing.h"
#include "imaging/picture_holder.h"
#include "ui/creator_view.h"
#include "ui/dialogs.h"
#include "ui/folder_picker.h"
#include "ui/form1.h"
#include "ui/preview_grid.h"
#include "ui/settings_store.h"
#include "ui/startup_helpers.h"
#include "ui/wizard_options.h"

namespace pictrova::ui {

namespace {

constexpr char kMethodHelp[] = "Please experiment with both methods.";
constexpr char kNamingHelp[] =
    "Filenames can be saved as Output001.jpg, Output002.jpg, Output003.jpg or by any word you "
    "choose or by table name.";
constexpr char kFolderPickerTitle[] = "Please select folder:";
// 3200 twips at 96 dots per inch.
constexpr int kListColumnWidth = 3200 / 15;

// The options in the order the start-up restores them, with their labels and defaults: JPG
// (Option9) comes before BMP (Option8).
struct OptionRestore {
    int label;
    QRadioButton* Form2::*option;
    const char* key;
    const char* defaultValue;
};
constexpr OptionRestore kOptionRestores[] = {
    {110, &Form2::Option1, "Option1", "1"},
    {112, &Form2::Option2, "Option2", "0"},
    {114, &Form2::Option3, "Option3", "1"},
    {116, &Form2::Option4, "Option4", "0"},
    {118, &Form2::Option5, "Option5", "0"},
    {120, &Form2::Option6, "Option6", "0"},
    {122, &Form2::Option7, "Option7", "0"},
    {124, &Form2::Option9, "Option9", "0"},
    {126, &Form2::Option8, "Option8", "1"},
    {128, &Form2::Option10, "Option10", "0"},
    {130, &Form2::Option11, "Option11", "0"},
    {132, &Form2::Option12, "Option12", "0"},
    {134, &Form2::Option13, "Option13", "0"},
    {136, &Form2::Option14, "Option14", "0"},
    // Added after the first release: restored after their groups' older members, so a stored
    // choice of theirs wins over those members' defaults.
    {137, &Form2::Option15, "Option15", "0"},
    {123, &Form2::Option16, "Option16", "0"},
};

// The option groups, each in the order a click writes its members' states.
using OptionMember = QRadioButton* Form2::*;
using OptionMembers = std::span<const OptionMember>;
constexpr OptionMember kReadMethodGroup[] = {&Form2::Option1, &Form2::Option2};
constexpr OptionMember kNamingGroup[] = {&Form2::Option3, &Form2::Option4, &Form2::Option5,
                                         &Form2::Option6, &Form2::Option7, &Form2::Option16};
constexpr OptionMember kFormatGroup[] = {&Form2::Option9,  &Form2::Option8,  &Form2::Option10,
                                         &Form2::Option11, &Form2::Option12, &Form2::Option13,
                                         &Form2::Option14, &Form2::Option15};
constexpr OptionMembers kOptionGroups[] = {kReadMethodGroup, kNamingGroup, kFormatGroup};

QRadioButton* NewOption(const char* name, const char* caption, QWidget* frame) {
    auto* option = new QRadioButton(caption, frame);
    option->setObjectName(name);
    // As wide as its caption: only the caption and the button take a click, so a wider option
    // would show blank room that does nothing.
    option->setSizePolicy(QSizePolicy::Maximum, QSizePolicy::Fixed);
    return option;
}

QTreeWidget* NewList(const char* name, QWidget* frame) {
    auto* list = new QTreeWidget(frame);
    list->setObjectName(name);
    list->setColumnCount(1);
    list->setRootIsDecorated(false);
    list->setSelectionMode(QAbstractItemView::SingleSelection);
    list->setMinimumHeight(140);
    // Its column whole beside a scroll bar: the page's smallest width cuts no name.
    list->setMinimumWidth(kListColumnWidth + 2 * list->frameWidth() +
                          list->style()->pixelMetric(QStyle::PM_ScrollBarExtent));
    return list;
}

// A row whose field holds pictures, or whose table has such a field. Its text stays the name
// the run reads; the mark is its icon, its weight and its tip.
void MarkPictureRow(QTreeWidgetItem& row, const QString& tip) {
    row.setToolTip(0, tip);
    row.setIcon(0, ApplicationIcon());
    QFont font = row.font(0);
    font.setBold(true);
    row.setFont(0, font);
    row.setData(0, kHoldsPicturesRole, true);
}

// The fields of `table` that hold pictures, from its definition; none when it cannot be read
// (clicking the table reports why).
QStringList PictureFieldsOf(const database::DatabaseSelection& database, const std::string& table) {
    QStringList names;
    try {
        for (const database::FieldInfo& field : database::ListTableFields(database, table)) {
            if (database::HoldsPictures(field))
                names << QString::fromStdString(field.name);
        }
    } catch (const Error&) {
        names.clear();
    }
    return names;
}

}  // namespace

void SetOptionValue(QRadioButton& option, bool chosen) {
    if (chosen) {
        option.setChecked(true);
    } else if (option.isChecked()) {
        // Qt keeps one option of a frame chosen; a restore may leave a frame with none.
        option.setAutoExclusive(false);
        option.setChecked(false);
        option.setAutoExclusive(true);
    }
}

Form2::Form2(Form1& form1)
    : QWidget(nullptr),
      form1_(form1),
      host_(form1.services().dialogs, this),
      options_(std::make_unique<WizardOptions>(*this)),
      creatorPicture_(std::make_unique<imaging::PictureHolder>()) {
    setObjectName("Form2");
    BuildControls();
    ConnectHandlers();
}

Form2::~Form2() = default;

imaging::PictureHolder& Form2::creatorPicture() {
    return *creatorPicture_;
}

void Form2::BuildControls() {
    setFont(QFont("Arial", 9));

    Frame1 = new QGroupBox("Select table and field which contain images to extract from", this);
    ListView1 = NewList("ListView1", Frame1);
    ListView2 = NewList("ListView2", Frame1);
    auto* lists = new QHBoxLayout(Frame1);
    lists->addWidget(ListView1);
    lists->addWidget(ListView2);

    Frame2 = new QGroupBox("Extract Option", this);
    Option1 = NewOption("Option1", "Method 1 (Byte-to-byte)", Frame2);
    Option2 = NewOption("Option2", "Method 2 (Recordset)", Frame2);
    PushButton1 = new QPushButton("?", Frame2);
    auto* methods = new QGridLayout(Frame2);
    methods->addWidget(Option1, 0, 0);
    methods->addWidget(PushButton1, 0, 1);
    methods->addWidget(Option2, 1, 0);
    PushButton1->setFixedWidth(32);

    Frame3 = new QGroupBox("Output Filename", this);
    Option3 = NewOption("Option3", "Use this as filename prefix", Frame3);
    Text1 = new QLineEdit(Frame3);
    PushButton4 = new QPushButton("<- ?", Frame3);
    Option4 = NewOption("Option4", "Use table name as filename prefix", Frame3);
    Option5 = NewOption("Option5", "Use field name as filename prefix", Frame3);
    Option6 = NewOption("Option6", "Use table name and field name as filename prefix", Frame3);
    Option7 = NewOption("Option7", "Use text content of field as filename prefix", Frame3);
    Combo1 = new QComboBox(Frame3);
    Option16 = NewOption("Option16", "Use the packaged file's own name", Frame3);
    auto* naming = new QGridLayout(Frame3);
    naming->addWidget(Option3, 0, 0);
    naming->addWidget(Text1, 0, 1);
    naming->addWidget(PushButton4, 0, 2);
    naming->addWidget(Option4, 1, 0, 1, 3);
    naming->addWidget(Option5, 2, 0, 1, 3);
    naming->addWidget(Option6, 3, 0, 1, 3);
    naming->addWidget(Option7, 4, 0);
    naming->addWidget(Combo1, 4, 1, 1, 2);
    naming->addWidget(Option16, 5, 0, 1, 3);
    PushButton4->setFixedWidth(48);
    // Room for a prefix and a field name at the page's smallest width.
    Text1->setMinimumWidth(110);
    Combo1->setMinimumWidth(110);

    Frame4 = new QGroupBox("Save Output Files As", this);
    Option8 = NewOption("Option8", "BMP", Frame4);
    Option9 = NewOption("Option9", "JPG", Frame4);
    Option10 = NewOption("Option10", "PNG", Frame4);
    Option11 = NewOption("Option11", "GIF", Frame4);
    Option12 = NewOption("Option12", "TIFF", Frame4);
    Option13 = NewOption("Option13", "TGA", Frame4);
    Option14 = NewOption("Option14", "PCX", Frame4);
    Option15 = NewOption("Option15", "Original", Frame4);
    Option15->setToolTip(
        "Every object as the file it holds (PDF, Word, ... and pictures as stored), unconverted");
    auto* formats = new QGridLayout(Frame4);
    QRadioButton* const formatOptions[] = {Option8,  Option9,  Option10, Option11,
                                           Option12, Option13, Option14, Option15};
    for (int i = 0; i < 8; ++i)
        formats->addWidget(formatOptions[i], i / 4, i % 4, Qt::AlignLeft);

    Frame5 = new QGroupBox("JPG Image Quality", this);
    Slider1 = new QSlider(Qt::Horizontal, Frame5);
    // Every position is a quality the encoder takes; 0 would mean "the encoder's default".
    Slider1->setRange(1, 100);
    Slider1->setValue(85);
    Slider1->setPageStep(10);
    Slider1->setTickInterval(10);
    Slider1->setTickPosition(QSlider::TicksBelow);
    Slider1->setMinimumWidth(140);
    Slider1->setEnabled(false);  // BMP is chosen at design time
    auto* qualityValue = new QLabel(QString::number(Slider1->value()), Frame5);
    qualityValue->setObjectName("Slider1Value");
    qualityValue->setMinimumWidth(28);
    connect(Slider1, &QSlider::valueChanged, qualityValue, qOverload<int>(&QLabel::setNum));
    auto* quality = new QHBoxLayout(Frame5);
    quality->addWidget(Slider1);
    quality->addWidget(qualityValue);

    Frame6 = new QGroupBox("Save Image(s) To This Folder:", this);
    Text2 = new QLineEdit(Frame6);
    PushButton2 = new QPushButton("...", Frame6);
    PushButton2->setFixedWidth(32);
    WriteSheet = new QCheckBox("Write a contact sheet (index.html)", Frame6);
    WriteSheet->setToolTip(
        "A page with a thumbnail of every file written and every record "
        "without a picture, and its table index.csv, in the output folder");
    WriteSheet->setChecked(true);
    WriteSheet->setSizePolicy(QSizePolicy::Maximum, QSizePolicy::Fixed);  // as NewOption's
    auto* folder = new QGridLayout(Frame6);
    folder->addWidget(Text2, 0, 0);
    folder->addWidget(PushButton2, 0, 1);
    folder->addWidget(WriteSheet, 1, 0, 1, 2);

    PushButton6 = new QPushButton("Start Extracting", this);
    PushButton7 = new QPushButton("< Back", this);
    Creator = new PicturePreview(this);
    Creator->setMinimumSize(200, 150);
    Picture1 = new QLabel(this);
    Picture1->setPixmap(ApplicationIcon().pixmap(32, 32));
    RunProgress = new QProgressBar(this);
    RunProgress->setFormat("%v of %m records");
    RunProgress->setRange(0, 1);
    RunProgress->setValue(0);
    RunProgress->setVisible(false);
    RunStatus = new QLabel(this);
    RunStatus->setWordWrap(true);
    RunStatus->setTextInteractionFlags(Qt::TextSelectableByMouse);
    OpenFolder = new QPushButton("Open folder", this);
    OpenReport = new QPushButton("Open report", this);
    ShowSkipped = new QPushButton(this);
    SkippedList = new QTreeWidget(this);
    SkippedList->setColumnCount(2);
    SkippedList->setHeaderLabels({"Record", "Why it gave no picture"});
    SkippedList->setRootIsDecorated(false);
    SkippedList->setMinimumHeight(100);
    for (QWidget* part : std::initializer_list<QWidget*>{RunStatus, OpenFolder, OpenReport,
                                                         ShowSkipped, SkippedList})
        part->setVisible(false);

    const std::pair<QObject*, const char*> names[] = {
        {Frame1, "Frame1"},
        {Frame2, "Frame2"},
        {Frame3, "Frame3"},
        {Frame4, "Frame4"},
        {Frame5, "Frame5"},
        {Frame6, "Frame6"},
        {PushButton1, "PushButton1"},
        {PushButton2, "PushButton2"},
        {WriteSheet, "WriteSheet"},
        {PushButton4, "PushButton4"},
        {PushButton6, "PushButton6"},
        {PushButton7, "PushButton7"},
        {Text1, "Text1"},
        {Text2, "Text2"},
        {Combo1, "Combo1"},
        {Slider1, "Slider1"},
        {Creator, "Creator"},
        {Picture1, "Picture1"},
        {RunProgress, "RunProgress"},
        {RunStatus, "RunStatus"},
        {OpenFolder, "OpenFolder"},
        {OpenReport, "OpenReport"},
        {ShowSkipped, "ShowSkipped"},
        {SkippedList, "SkippedList"},
    };
    for (const auto& [object, name] : names)
        object->setObjectName(name);

    // Two columns above the buttons. The lists take the page's whole height, so that a long
    // field list shows at the smallest size; the picture box above the options takes what they
    // leave. Both grow with the window, and the run's summary below takes its room from them.
    auto* methodAndQuality = new QHBoxLayout;
    methodAndQuality->addWidget(Frame2);
    methodAndQuality->addWidget(Frame5);
    auto* options = new QVBoxLayout;
    options->addWidget(Creator, 1);
    options->addLayout(methodAndQuality);
    options->addWidget(Frame3);
    options->addWidget(Frame4);
    options->addWidget(Frame6);
    auto* columns = new QHBoxLayout;
    columns->setContentsMargins(0, 0, 0, 0);
    columns->addWidget(Frame1, 1);
    columns->addLayout(options, 1);
    // The preview grid beside the choices, the splitter between them left to the user.
    auto* choices = new QWidget(this);
    choices->setLayout(columns);
    Preview = new PreviewGrid(this);
    Preview->setObjectName("Preview");
    auto* split = new QSplitter(Qt::Horizontal, this);
    split->setObjectName("PreviewSplitter");
    split->setChildrenCollapsible(false);
    split->addWidget(choices);
    split->addWidget(Preview);
    split->setStretchFactor(0, 2);
    split->setStretchFactor(1, 1);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(Picture1);
    buttons->addWidget(RunProgress, 1);
    buttons->addStretch();
    buttons->addWidget(PushButton7);
    buttons->addWidget(PushButton6);
    auto* page = new QVBoxLayout(this);
    page->addWidget(split, 1);
    page->addLayout(buttons);
    auto* status = new QHBoxLayout;
    status->addWidget(RunStatus, 1);
    status->addWidget(ShowSkipped);
    status->addWidget(OpenReport);
    status->addWidget(OpenFolder);
    page->addLayout(status);
    page->addWidget(SkippedList);

    // The design-time choices.
    Option1->setChecked(true);
    Option3->setChecked(true);
    Option8->setChecked(true);
}

void Form2::ConnectHandlers() {
    for (const OptionMembers group : kOptionGroups) {
        for (const OptionMember member : group) {
            QRadioButton* option = this->*member;
            connect(option, &QRadioButton::toggled, this, [this, option](bool chosen) {
                if (chosen)
                    OptionClicked(option);
            });
            connect(option, &QRadioButton::toggled, this, &Form2::SchedulePreview);
        }
    }
    connect(Text1, &QLineEdit::textChanged, this,
            [this](const QString& text) { StoreText("Form2.Text1_Change", "Prefix", text); });
    connect(Text2, &QLineEdit::textChanged, this, [this](const QString& text) {
        StoreText("Form2.Text2_Change", "Output Folder", text);
    });
    connect(Text1, &QLineEdit::textChanged, this, &Form2::SchedulePreview);
    connect(Combo1, &QComboBox::currentTextChanged, this, &Form2::SchedulePreview);
    connect(ListView2, &QTreeWidget::currentItemChanged, this, &Form2::SchedulePreview);
    connect(ListView1, &QTreeWidget::itemClicked, this, &Form2::ListView1_Click);
    connect(ListView2, &QTreeWidget::currentItemChanged, this, [this](QTreeWidgetItem* item) {
        if (item)
            StoreChoice("Picture Field", item->text(0));
    });
    connect(Combo1, &QComboBox::currentTextChanged, this,
            [this](const QString& name) { StoreChoice("Name Field", name); });
    connect(WriteSheet, &QCheckBox::toggled, this, [this](bool chosen) {
        StoreText("Form2.WriteSheet_Click", "Contact Sheet", BooleanToText(chosen));
    });
    connect(OpenFolder, &QPushButton::clicked, this, &Form2::OpenFolder_Click);
    connect(OpenReport, &QPushButton::clicked, this, &Form2::OpenReport_Click);
    connect(ShowSkipped, &QPushButton::clicked, this, &Form2::ShowSkipped_Click);
    connect(PushButton1, &QPushButton::clicked, this, &Form2::PushButton1_Click);
    connect(PushButton2, &QPushButton::clicked, this, &Form2::PushButton2_Click);
    connect(PushButton4, &QPushButton::clicked, this, &Form2::PushButton4_Click);
    connect(PushButton6, &QPushButton::clicked, this, &Form2::PushButton6_Click);
    connect(PushButton7, &QPushButton::clicked, this, &Form2::PushButton7_Click);
}

// A click writes the state of every member of the option's frame, then the format frame enables
// the quality slider for JPG and disables it for the others. A store that cannot be written is
// reported under the option's own click handler.
void Form2::OptionClicked(QRadioButton* option) {
    OptionMembers group;
    for (const OptionMembers candidate : kOptionGroups) {
        for (const OptionMember member : candidate) {
            if (this->*member == option)
                group = candidate;
        }
    }
    const bool isFormat = group.data() == std::data(kFormatGroup);
    Guard guard(host_, "Form2." + option->objectName().toStdString() + "_Click");
    guard.Step(100, [&] {
        for (const OptionMember member : group) {
            QRadioButton* memberOption = this->*member;
            form1_.services().settings.Write(memberOption->objectName(),
                                             BooleanToText(memberOption->isChecked()));
        }
    });
    guard.Step(102, [&] {
        if (isFormat)
            Slider1->setEnabled(option == Option9);
    });
}

// The table and field choices are remembered as the user makes them, not as the lists refill.
void Form2::StoreChoice(const QString& key, const QString& value) {
    if (filling_ || value.isEmpty())
        return;
    StoreText(("Form2." + key.toStdString() + "_Change").c_str(), key, value);
}

void Form2::StoreText(const char* location, const QString& key, const QString& text) {
    Guard guard(host_, location);
    guard.Step(100, [&] { form1_.services().settings.Write(key, text); });
}

void Form2::Load() {
    const WizardServices& services = form1_.services();
    Guard guard(host_, "Form2.Form_Load");
    guard.Step(100, [this] { ApplyPageColours(*this); });
    if (guard.Test(102, [&services] {
            return std::filesystem::exists(services.programFolder / "HAND-M.CUR");
        })) {
        guard.Step(104, [this, &services] {
            if (auto pointer = LoadHandPointer(services.programFolder)) {
                for (QPushButton* button :
                     {PushButton1, PushButton2, PushButton4, PushButton6, PushButton7}) {
                    button->setCursor(*pointer);
                }
            }
        });
    }
    guard.Step(106, [this] {
        setWindowTitle(kProductName);
        setWindowIcon(ApplicationIcon());
    });
    guard.Step(108,
               [this, &services] { Text1->setText(services.settings.Read("Prefix", "Output#")); });
    for (const OptionRestore& restore : kOptionRestores) {
        guard.Step(restore.label, [this, &services, &restore] {
            const bool chosen =
                TextToBoolean(services.settings.Read(restore.key, restore.defaultValue));
            SetOptionValue(*(this->*restore.option), chosen);
        });
    }
    guard.Step(138, [this, &services] {
        Text2->setText(services.settings.Read("Output Folder", GetDesktopFolder()));
        ListView1->setHeaderLabels({"Select one table first"});
        ListView1->setColumnWidth(0, kListColumnWidth);
        ListView2->setHeaderLabels({"Then select one field"});
        ListView2->setColumnWidth(0, kListColumnWidth);
    });
    // Added after the first release, like Option15 and Option16.
    guard.Step(139, [this, &services] {
        WriteSheet->setChecked(TextToBoolean(services.settings.Read("Contact Sheet", "True")));
    });
}

void Form2::FillTableList() {
    const std::optional<std::vector<std::string>> tables =
        database::ListTables(form1_.DatabasePath(), form1_);
    if (!tables)
        return;
    filling_ = true;
    ListView1->clear();
    ListView2->clear();
    Combo1->clear();
    filling_ = false;
    RunProgress->setValue(0);
    RunProgress->setVisible(false);
    ClearRunResult();
    creatorPicture_->Clear();
    Creator->SetImage(QImage());
    Preview->Clear();
    setWindowTitle(DatabaseWindowTitle(QString::fromStdString(form1_.DatabasePath())));
    const QString remembered = form1_.services().settings.Read("Table");
    BusyPointer busy(host_);
    for (const std::string& table : *tables) {
        auto* row = new QTreeWidgetItem(ListView1, {QString::fromStdString(table)});
        const QStringList pictureFields = PictureFieldsOf(form1_, table);
        if (!pictureFields.isEmpty())
            MarkPictureRow(*row,
                           (pictureFields.size() == 1 ? "Picture field: " : "Picture fields: ") +
                               pictureFields.join(", "));
    }
    const QList<QTreeWidgetItem*> found = ListView1->findItems(remembered, Qt::MatchExactly);
    if (!found.isEmpty())
        ListView1->setCurrentItem(found.constFirst());
    else if (ListView1->topLevelItemCount() > 0)
        ListView1->setCurrentItem(ListView1->topLevelItem(0));
}

void Form2::ListFields() {
    BusyPointer busy(host_);
    const QList<QTreeWidgetItem*> selected = ListView1->selectedItems();
    if (selected.isEmpty())
        throw Error("No table is selected in the table list.");
    const std::vector<database::FieldInfo> fields =
        database::ListTableFields(form1_, selected.constFirst()->text(0).toStdString());
    const SettingsStore& settings = form1_.services().settings;
    const QString pictureField = settings.Read("Picture Field");
    const QString nameField = settings.Read("Name Field");
    filling_ = true;
    ListView2->clear();
    Combo1->clear();
    for (const database::FieldInfo& field : fields) {
        const QString name = QString::fromStdString(field.name);
        auto* item = new QTreeWidgetItem(ListView2, {name});
        if (database::HoldsPictures(field)) {
            MarkPictureRow(*item, field.attachment ? "Attachment" : "OLE Object");
            if (name == pictureField)
                ListView2->setCurrentItem(item);
        } else if (field.type != database::kAdBinary && field.type != database::kAdVarBinary) {
            Combo1->addItem(name);
        }
    }
    const int remembered = Combo1->findText(nameField);
    if (Combo1->count() > 0)
        Combo1->setCurrentIndex(remembered >= 0 ? remembered : 0);
    filling_ = false;
}

void Form2::ListView1_Click() {
    Guard guard(host_, "Form2.ListView1_Click");
    if (guard.Step(100, [this] { ListFields(); })) {
        if (const QTreeWidgetItem* table = ListView1->currentItem())
            StoreChoice("Table", table->text(0));
    }
}

void Form2::ShowHelp(const char* location, const char* message) {
    Guard guard(host_, location);
    guard.Step(100, [&] {
        form1_.services().dialogs.Message(this, message, ApplicationTitle(), QMessageBox::NoIcon);
    });
}

void Form2::PushButton1_Click() {
    ShowHelp("Form2.PushButton1_Click", kMethodHelp);
}

void Form2::PushButton4_Click() {
    ShowHelp("Form2.PushButton4_Click", kNamingHelp);
}

void Form2::PushButton2_Click() {
    const WizardServices& services = form1_.services();
    QString chosen;
    Guard guard(host_, "Form2.PushButton2_Click");
    guard.Step(100, [&] {
        QString startFolder = services.settings.Read("LastFolderDot");
        if (startFolder.isEmpty())
            startFolder = GetDesktopFolder();
        chosen = BrowseForFolder(services.dialogs, this, kFolderPickerTitle, startFolder);
    });
    bool carryOn = true;
    guard.Step(102, [&] { carryOn = !chosen.isEmpty(); });
    if (!carryOn)
        return;
    if (guard.Test(104, [&] { return !chosen.endsWith('/'); }) &&
        guard.Step(106, [&] { Text2->setText(chosen + '/'); }))
        return;
    guard.Step(108, [&] { Text2->setText(chosen); });
}

void Form2::PushButton7_Click() {
    Guard guard(host_, "Form2.PushButton7_Click");
    guard.Step(100, [this] { form1_.show(); });
    guard.Step(102, [this] { hide(); });
}

void Form2::closeEvent(QCloseEvent* event) {
    event->accept();
    form1_.EndProgram();
}

void Form2::BeginEnding() {
    ending_ = true;
    Preview->StopWork();
    host_.SetSilent(true);
    hide();
}

}  // namespace pictrova::ui
