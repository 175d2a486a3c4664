// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The core's host in the wizard: yielding handles pending Qt events, the busy pointer is the
// application's override cursor, messages and the error report are modal message boxes.

#include "common/host.h"

class QWidget;

namespace pictrova::ui {

class Dialogs;

class QtHost : public Host {
  public:
    // Messages are owned by the given window (the page the action runs on).
    QtHost(Dialogs& dialogs, QWidget* owner);
    ~QtHost() override;
    QtHost(const QtHost&) = delete;
    QtHost& operator=(const QtHost&) = delete;

    // A silent host (the program is ending) shows no messages and answers No.
    void SetSilent(bool silent) { silent_ = silent; }

    void Yield() override;
    void SetBusy(bool busy) override;
    void ShowMessage(const std::string& text, const std::string& title, MessageIcon icon) override;
    bool AskYesNo(const std::string& text, const std::string& title) override;
    void ReportError(const std::string& message) override;
    void OpenUrl(const std::string& url) override;

  private:
    Dialogs& dialogs_;
    QWidget* owner_;
    bool busy_ = false;
    bool silent_ = false;
};

// Shows the busy pointer for as long as it lives, also when the work in between throws.
class BusyPointer {
  public:
    explicit BusyPointer(Host& host) : host_(host) { host_.SetBusy(true); }
    ~BusyPointer() { host_.SetBusy(false); }
    BusyPointer(const BusyPointer&) = delete;
    BusyPointer& operator=(const BusyPointer&) = delete;

  private:
    Host& host_;
};

}  // namespace pictrova::ui
