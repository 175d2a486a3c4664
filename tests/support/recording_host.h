// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string>
#include <vector>

#include "common/host.h"

namespace pictrova::testing {

// A host that records what the core asked of it, for tests to inspect.
class RecordingHost : public Host {
  public:
    void Yield() override { ++yields; }
    void SetBusy(bool busy) override { busyChanges.push_back(busy); }
    void ShowMessage(const std::string& text, const std::string& title, MessageIcon) override {
        messages.push_back(text);
        messageTitles.push_back(title);
    }
    bool AskYesNo(const std::string& text, const std::string&) override {
        questions.push_back(text);
        return answerYes;
    }
    void ReportError(const std::string& message) override { errorReports.push_back(message); }
    void OpenUrl(const std::string& url) override { openedUrls.push_back(url); }

    int yields = 0;
    bool answerYes = false;
    std::vector<bool> busyChanges;
    std::vector<std::string> messages;
    std::vector<std::string> messageTitles;
    std::vector<std::string> questions;
    std::vector<std::string> errorReports;
    std::vector<std::string> openedUrls;
};

}  // namespace pictrova::testing
