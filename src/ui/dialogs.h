// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Every modal dialog the wizard opens goes through this interface: the message boxes, the
// database file dialog and the folder picker; so does handing a folder or a file to the desktop.
// The program uses QtDialogs; tests answer the dialogs themselves, since a modal dialog would wait
// for a user who is not there.

#include <QMessageBox>
#include <QString>
#include <QStringList>
#include <QUrl>

class QWidget;

namespace pictrova::ui {

// The answers to the question before a run that would replace files already in its folder.
enum class ReplaceAnswer { Replace, KeepBoth, Cancel };

class Dialogs {
  public:
    virtual ~Dialogs() = default;

    // A file-open dialog; the filter is in the "description|pattern|description|pattern|"
    // form, the first filter chosen on opening. An empty text when cancelled.
    virtual QString OpenFileName(QWidget* owner, const QString& title, const QString& filter) = 0;

    // A folder dialog opening at startFolder; the chosen folder's path or an empty text.
    virtual QString ExistingDirectory(QWidget* owner, const QString& title,
                                      const QString& startFolder) = 0;

    // A modal message with an OK button.
    virtual void Message(QWidget* owner, const QString& text, const QString& title,
                         QMessageBox::Icon icon) = 0;

    // A modal Yes/No question; true for Yes.
    virtual bool AskYesNo(QWidget* owner, const QString& text, const QString& title) = 0;

    // A modal question with the buttons "Replace", "Keep both" and "Cancel"; closing it
    // cancels.
    virtual ReplaceAnswer AskReplace(QWidget* owner, const QString& text, const QString& title) = 0;

    // Shows `folder` in the desktop's file manager.
    virtual void OpenFolder(const QString& folder) = 0;

    // Opens `url` with the desktop's handler for it (a page's file:// URL in the browser).
    virtual void OpenUrl(const QUrl& url) = 0;
};

class QtDialogs : public Dialogs {
  public:
    QString OpenFileName(QWidget* owner, const QString& title, const QString& filter) override;
    QString ExistingDirectory(QWidget* owner, const QString& title,
                              const QString& startFolder) override;
    void Message(QWidget* owner, const QString& text, const QString& title,
                 QMessageBox::Icon icon) override;
    bool AskYesNo(QWidget* owner, const QString& text, const QString& title) override;
    ReplaceAnswer AskReplace(QWidget* owner, const QString& text, const QString& title) override;
    void OpenFolder(const QString& folder) override;
    void OpenUrl(const QUrl& url) override;
};

// Turns "description|pattern|..." into Qt name filters "description (pattern)". The dialog
// hides the pattern part, so the user sees the descriptions exactly as written.
QStringList NameFiltersFromDialogFilter(const QString& filter);

}  // namespace pictrova::ui
