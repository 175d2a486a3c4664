// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The command line's host: the final message to stdout, each error report to stderr as one line
// ("Record 7: could not write ..."; its location and line label too with --verbose), and a
// progress line that is drawn
// only when both stdout and stderr are terminals and is wiped before anything else is printed.

#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

#include "common/error_report.h"
#include "common/host.h"
#include "run/extraction_run.h"

namespace pictrova::cli {

class CliHost : public Host {
  public:
    // quiet: print nothing (the --json output is printed by the caller instead).
    explicit CliHost(bool quiet);
    ~CliHost() override;

    void ShowMessage(const std::string& text, const std::string& title, MessageIcon icon) override;
    bool AskYesNo(const std::string& text, const std::string& title) override;
    void ReportError(const std::string& message) override;
    void ReportRecordError(const ReportedError& report, std::int64_t record) override;
    // One line for the record ("Record 12: the database library reported 3 warnings"), or when
    // verbose each of them on its own line.
    void ShowLibraryWarnings(std::int64_t record,
                             const std::vector<std::string>& messages) override;
    // Only when verbose: each on its own line after "Record N: ".
    void ShowProgramMessages(std::int64_t record,
                             const std::vector<std::string>& messages) override;
    // --verbose: every library message and program message, and where each error report was raised.
    void BeVerbose() { verbose_ = true; }

    // Messages are kept from the terminal: the caller prints the run's end its own way.
    void HoldMessages() { holdMessages_ = true; }

    void ShowProgress(const run::RunProgress& progress);
    void ClearProgress();

  private:
    bool quiet_;
    bool holdMessages_ = false;
    bool verbose_ = false;
    bool showProgress_;
    bool progressShown_ = false;
    std::chrono::steady_clock::time_point start_;
    std::chrono::steady_clock::time_point lastDraw_;
};

// Every text the command line prints goes through here: CR LF and lone CR become line breaks,
// other control characters (a name holding ESC [2J, say) are shown escaped.
std::string AsTerminalLines(const std::string& text);

// An error report as the command line prints it: one line, its line breaks made spaces, text
// from the database escaped; "Record N: " in front for a record's; " (in LOCATION at line N)"
// after it when verbose.
std::string ReportLine(const ReportedError& report, std::int64_t record, bool verbose);

}  // namespace pictrova::cli
