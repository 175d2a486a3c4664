// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// What the wizard's tests share: a fresh settings group per test and dialogs answered by the
// test instead of a user.

#include <QSettings>

#include <deque>
#include <string>
#include <vector>

#include "ui/dialogs.h"
#include "ui/settings_store.h"

namespace pictrova::ui::testing {

// Empties the group the wizard uses, through the same QSettings cache the store uses.
inline void ClearStoredSettings() {
    QSettings settings(QSettings::IniFormat, QSettings::UserScope, "Quillmoor", "Quillmoor");
    settings.clear();
    settings.sync();
}

struct ShownMessage {
    QString text;
    QString title;
    QMessageBox::Icon icon;
};

// Answers each dialog from a queue the test fills (an empty text or Cancel when the queue is
// empty, the answer of a cancelled dialog) and records every message and question.
class ScriptedDialogs : public Dialogs {
  public:
    QString OpenFileName(QWidget*, const QString& title, const QString& filter) override {
        openTitles.push_back(title);
        openFilters.push_back(filter);
        return Next(fileAnswers);
    }
    QString ExistingDirectory(QWidget*, const QString& title, const QString& startFolder) override {
        folderTitles.push_back(title);
        folderStarts.push_back(startFolder);
        return Next(folderAnswers);
    }
    void Message(QWidget*, const QString& text, const QString& title,
                 QMessageBox::Icon icon) override {
        messages.push_back({text, title, icon});
        if (onMessage)
            onMessage();
    }
    bool AskYesNo(QWidget*, const QString& text, const QString&) override {
        questions.push_back(text);
        return false;
    }
    ReplaceAnswer AskReplace(QWidget*, const QString& text, const QString& title) override {
        replaceQuestions.push_back({text, title, QMessageBox::Question});
        if (replaceAnswers.empty())
            return ReplaceAnswer::Cancel;
        const ReplaceAnswer answer = replaceAnswers.front();
        replaceAnswers.pop_front();
        return answer;
    }
    void OpenFolder(const QString& folder) override { openedFolders.push_back(folder); }
    void OpenUrl(const QUrl& url) override { openedUrls.push_back(url); }

    std::vector<QString> ErrorReports() const {
        std::vector<QString> reports;
        for (const auto& m : messages) {
            if (m.title == "Application Error")
                reports.push_back(m.text);
        }
        return reports;
    }

    std::deque<QString> fileAnswers;
    std::deque<QString> folderAnswers;
    std::deque<ReplaceAnswer> replaceAnswers;  // Cancel, as closing the box, once it is empty
    std::vector<ShownMessage> replaceQuestions;
    std::vector<QString> openTitles, openFilters, folderTitles, folderStarts, questions,
        openedFolders;
    std::vector<QUrl> openedUrls;
    std::vector<ShownMessage> messages;
    std::function<void()> onMessage;

  private:
    static QString Next(std::deque<QString>& answers) {
        if (answers.empty())
            return {};
        QString answer = answers.front();
        answers.pop_front();
        return answer;
    }
};

}  // namespace pictrova::ui::testing
