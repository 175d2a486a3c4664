// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/dialogs.h"

#include <QDesktopServices>
#include <QFileDialog>
#include <QPushButton>
#include <QUrl>

namespace pictrova::ui {

QStringList NameFiltersFromDialogFilter(const QString& filter) {
    const QStringList parts = filter.split(QLatin1Char('|'));
    QStringList nameFilters;
    for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
        if (parts[i].isEmpty() && parts[i + 1].isEmpty())
            continue;
        QString patterns = parts[i + 1];
        patterns.replace(QLatin1Char(';'), QLatin1Char(' '));
        nameFilters << QStringLiteral("%1 (%2)").arg(parts[i], patterns);
    }
    return nameFilters;
}

QString QtDialogs::OpenFileName(QWidget* owner, const QString& title, const QString& filter) {
    QFileDialog dialog(owner, title);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setFileMode(QFileDialog::ExistingFile);
    dialog.setOptions(QFileDialog::HideNameFilterDetails | QFileDialog::ReadOnly);
    dialog.setNameFilters(NameFiltersFromDialogFilter(filter));
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return {};
    return dialog.selectedFiles().constFirst();
}

QString QtDialogs::ExistingDirectory(QWidget* owner, const QString& title,
                                     const QString& startFolder) {
    return QFileDialog::getExistingDirectory(owner, title, startFolder, QFileDialog::ShowDirsOnly);
}

void QtDialogs::Message(QWidget* owner, const QString& text, const QString& title,
                        QMessageBox::Icon icon) {
    QMessageBox box(icon, title, text, QMessageBox::Ok, owner);
    box.setWindowModality(Qt::ApplicationModal);
    box.exec();
}

bool QtDialogs::AskYesNo(QWidget* owner, const QString& text, const QString& title) {
    QMessageBox box(QMessageBox::NoIcon, title, text, QMessageBox::Yes | QMessageBox::No, owner);
    box.setWindowModality(Qt::ApplicationModal);
    return box.exec() == QMessageBox::Yes;
}

ReplaceAnswer QtDialogs::AskReplace(QWidget* owner, const QString& text, const QString& title) {
    QMessageBox box(QMessageBox::Question, title, text, QMessageBox::NoButton, owner);
    box.setWindowModality(Qt::ApplicationModal);
    const QAbstractButton* replace = box.addButton("Replace", QMessageBox::DestructiveRole);
    QPushButton* keepBoth = box.addButton("Keep both", QMessageBox::AcceptRole);
    QPushButton* cancel = box.addButton(QMessageBox::Cancel);
    // Enter keeps what is there; Escape and closing the box cancel.
    box.setDefaultButton(keepBoth);
    box.setEscapeButton(cancel);
    box.exec();
    if (box.clickedButton() == replace)
        return ReplaceAnswer::Replace;
    if (box.clickedButton() == keepBoth)
        return ReplaceAnswer::KeepBoth;
    return ReplaceAnswer::Cancel;
}

void QtDialogs::OpenFolder(const QString& folder) {
    QDesktopServices::openUrl(QUrl::fromLocalFile(folder));
}

void QtDialogs::OpenUrl(const QUrl& url) {
    QDesktopServices::openUrl(url);
}

}  // namespace pictrova::ui
