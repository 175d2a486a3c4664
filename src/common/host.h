// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// How the core talks to its surroundings. The wizard implements this with Qt (processEvents,
// QMessageBox, the override cursor), the command line prints, tests record. The core never
// prints and never opens a window itself.

#include <cstdint>
#include <string>
#include <vector>

namespace pictrova {

struct ReportedError;

enum class MessageIcon { None, Information, Warning, Critical, Question };

class Host {
  public:
    virtual ~Host() = default;

    // Lets the surroundings handle pending events during long work (once per record, inside
    // file deletion, while waiting for the converter).
    virtual void Yield() {}

    // Shows or clears the busy pointer.
    virtual void SetBusy(bool /*busy*/) {}

    // A modal message with an OK button. An empty title means the application title.
    virtual void ShowMessage(const std::string& text, const std::string& title = {},
                             MessageIcon icon = MessageIcon::None) = 0;

    // A modal Yes/No question; true for Yes.
    virtual bool AskYesNo(const std::string& text, const std::string& title = {}) = 0;

    // The common error report of a guarded procedure, already formatted as the user sees it.
    virtual void ReportError(const std::string& message) = 0;

    // The same report as data, with the record it concerns (0: none). By default shown as the
    // text above; the command line makes it one line.
    virtual void ReportRecordError(const ReportedError& report, std::int64_t record);

    // What the database library warned of while record `record` (1-based) was read. Not an
    // error: the record was read and handled as usual. Shown in record order; by default not
    // at all.
    virtual void ShowLibraryWarnings(std::int64_t /*record*/,
                                     const std::vector<std::string>& /*messages*/) {}

    // What the programs record `record`'s work started wrote to their output (not errors: a
    // failure is reported on its own). Shown in record order; by default not at all.
    virtual void ShowProgramMessages(std::int64_t /*record*/,
                                     const std::vector<std::string>& /*messages*/) {}

    // Opens a web page with the user's browser.
    virtual void OpenUrl(const std::string& /*url*/) {}
};

// Shows nothing, asks nothing (every question answered No) and reports nothing: for work whose
// outcome is kept as data, such as the run's worker threads and the preview.
class SilentHost : public Host {
  public:
    void ShowMessage(const std::string&, const std::string&, MessageIcon) override {}
    bool AskYesNo(const std::string&, const std::string&) override { return false; }
    void ReportError(const std::string&) override {}
    void ReportRecordError(const ReportedError&, std::int64_t) override {}
};

}  // namespace pictrova
