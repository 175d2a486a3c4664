// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/wizard_options.h"

#include <QComboBox>
#include <QLineEdit>
#include <QRadioButton>
#include <QSlider>
#include <QTreeWidget>

#include <utility>

#include "run/output_formats.h"
#include "ui/form2.h"

namespace pictrova::ui {

namespace {

std::string SelectedRowText(const QTreeWidget& list) {
    const QList<QTreeWidgetItem*> selected = list.selectedItems();
    return selected.isEmpty() ? std::string() : selected.constFirst()->text(0).toStdString();
}

// The value of the first chosen option of a frame, in page order; `none` when none is chosen.
template <typename Value, std::size_t N>
Value Chosen(const std::pair<const QRadioButton*, Value> (&options)[N], Value none) {
    for (const auto& [option, value] : options) {
        if (option->isChecked())
            return value;
    }
    return none;
}

}  // namespace

std::string WizardOptions::table() const {
    return SelectedRowText(*page_.ListView1);
}

std::string WizardOptions::pictureField() const {
    return SelectedRowText(*page_.ListView2);
}

run::ReadMethod WizardOptions::readMethod() const {
    if (page_.IsEnding())
        return run::ReadMethod::None;
    const std::pair<const QRadioButton*, run::ReadMethod> options[] = {
        {page_.Option1, run::ReadMethod::ByteToByte},
        {page_.Option2, run::ReadMethod::Recordset},
    };
    return Chosen(options, run::ReadMethod::None);
}

run::Naming WizardOptions::naming() const {
    const std::pair<const QRadioButton*, run::Naming> options[] = {
        {page_.Option3, run::Naming::FixedPrefix}, {page_.Option4, run::Naming::TableName},
        {page_.Option5, run::Naming::FieldName},   {page_.Option6, run::Naming::TableAndFieldName},
        {page_.Option7, run::Naming::FieldText},   {page_.Option16, run::Naming::OriginalName},
    };
    return Chosen(options, run::Naming::None);
}

std::string WizardOptions::prefix() const {
    return page_.Text1->text().toStdString();
}

std::string WizardOptions::nameField() const {
    return page_.Combo1->currentText().toStdString();
}

run::OutputFormat WizardOptions::format() const {
    if (page_.IsEnding())
        return run::OutputFormat::None;
    for (const run::OutputFormatRow& row : run::OutputFormatRows()) {
        const auto* option = page_.findChild<QRadioButton*>(QString::fromLatin1(
            row.wizardChoice.data(), static_cast<qsizetype>(row.wizardChoice.size())));
        if (option != nullptr && option->isChecked())
            return row.format;
    }
    return run::OutputFormat::None;
}

int WizardOptions::quality() const {
    return page_.Slider1->value();
}

std::string WizardOptions::outputFolder() const {
    return page_.Text2->text().toStdString();
}

}  // namespace pictrova::ui
