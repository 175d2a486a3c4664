// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/cli_host.h"

#include <unistd.h>

#include <cstdio>
#include <iostream>

#include "cli/display_width.h"
#include "common/printable_text.h"

namespace pictrova::cli {

std::string AsTerminalLines(const std::string& text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\r') {
            out += '\n';
            if (i + 1 < text.size() && text[i + 1] == '\n')
                ++i;
        } else {
            out += text[i];
        }
    }
    return PrintableText(out, LineBreaks::Keep);
}

std::string ReportLine(const ReportedError& report, std::int64_t record, bool verbose) {
    std::string description;
    for (char c : report.description) {
        const bool lineBreak = c == '\r' || c == '\n';
        if (!lineBreak)
            description += c;
        else if (!description.empty() && description.back() != ' ')
            description += ' ';
    }
    while (!description.empty() && description.back() == ' ')
        description.pop_back();
    std::string line = record > 0 ? "Record " + std::to_string(record) + ": " : std::string();
    line += PrintableText(description);
    if (verbose)
        line += " (in " + PrintableText(report.location) + " at line " +
                std::to_string(report.label) + ")";
    return line;
}

CliHost::CliHost(bool quiet)
    : quiet_(quiet),
      showProgress_(!quiet && isatty(STDOUT_FILENO) && isatty(STDERR_FILENO)),
      start_(std::chrono::steady_clock::now()) {}

CliHost::~CliHost() {
    ClearProgress();
}

void CliHost::ShowMessage(const std::string& text, const std::string&, MessageIcon) {
    ClearProgress();
    if (!quiet_ && !holdMessages_)
        std::cout << AsTerminalLines(text) << std::endl;
}

bool CliHost::AskYesNo(const std::string& text, const std::string&) {
    ClearProgress();
    if (!quiet_)
        std::cerr << AsTerminalLines(text) << " (answered No)" << std::endl;
    return false;
}

void CliHost::ReportError(const std::string& message) {
    ClearProgress();
    if (!quiet_)
        std::cerr << AsTerminalLines(message) << "\n" << std::endl;
}

void CliHost::ReportRecordError(const ReportedError& report, std::int64_t record) {
    ClearProgress();
    if (!quiet_)
        std::cerr << ReportLine(report, record, verbose_) << std::endl;
}

void CliHost::ShowLibraryWarnings(std::int64_t record, const std::vector<std::string>& messages) {
    ClearProgress();
    if (quiet_)
        return;
    const std::string prefix = "Record " + std::to_string(record) + ": ";
    if (verbose_) {
        for (const std::string& message : messages)
            std::cerr << prefix << "libmdb: " << PrintableText(message) << std::endl;
        return;
    }
    std::cerr << prefix << "the database library reported " << messages.size()
              << (messages.size() == 1 ? " warning" : " warnings") << " (--verbose shows them)"
              << std::endl;
}

void CliHost::ShowProgramMessages(std::int64_t record, const std::vector<std::string>& messages) {
    if (quiet_ || !verbose_)
        return;
    ClearProgress();
    for (const std::string& message : messages)
        std::cerr << "Record " << record << ": " << PrintableText(message) << std::endl;
}

void CliHost::ShowProgress(const run::RunProgress& progress) {
    if (!showProgress_)
        return;
    auto now = std::chrono::steady_clock::now();
    bool last = progress.recordsTotal > 0 && progress.recordsDone >= progress.recordsTotal;
    if (progressShown_ && !last && now - lastDraw_ < std::chrono::milliseconds(100))
        return;
    lastDraw_ = now;
    double seconds = std::chrono::duration<double>(now - start_).count();
    double rate = seconds > 0 ? static_cast<double>(progress.picturesWritten) / seconds : 0.0;
    // Through std::cerr, never C's stderr: the data layer points that at a buffer while libmdb
    // runs on the reader thread.
    char line[160];
    std::snprintf(line, sizeof line, "%lld of %lld records, %lld pictures written, %.1f pictures/s",
                  static_cast<long long>(progress.recordsDone),
                  static_cast<long long>(progress.recordsTotal),
                  static_cast<long long>(progress.picturesWritten), rate);
    // Narrower than the terminal: a line that wrapped could not be wiped and would pile up.
    std::cerr << "\r\033[K" << FitToWidth(line, TerminalColumns() - 1) << std::flush;
    progressShown_ = true;
}

void CliHost::ClearProgress() {
    if (!progressShown_)
        return;
    std::cerr << "\r\033[K" << std::flush;
    progressShown_ = false;
}

}  // namespace pictrova::cli
