// SPDX-License-Identifier: GPL-3.0-or-later
#include "common/error_report.h"

#include <exception>

#include "common/error.h"
#include "common/guard.h"
#include "common/printable_text.h"

namespace pictrova {

std::string ApplicationErrorText(std::string_view description, std::string_view location,
                                 int label) {
    // The description can quote database text (names, values): its control characters are
    // shown, never obeyed by a terminal. Its own line breaks stay.
    std::string text = PrintableText(description, LineBreaks::Keep);
    text += "\r\n";
    text += "in Pictrova2021/08/31.";
    text += location;
    text += " at line ";
    text += std::to_string(label);
    text += "\r\r";
    text += "Please email screenshot of this message to ";
    text += kSupportAddress;
    return text;
}

void ShowApplicationError(Host& host, std::string_view description, std::string_view location,
                          int label) {
    host.ReportError(ApplicationErrorText(description, location, label));
}

void Host::ReportRecordError(const ReportedError& report, std::int64_t) {
    ReportError(ApplicationErrorText(report.description, report.location, report.label));
}

std::string DescribeCurrentException() {
    try {
        throw;
    } catch (const Error& e) {
        return e.description();
    } catch (const std::exception& e) {
        return e.what();
    } catch (...) {
        return "Unknown error";
    }
}

void Guard::Report(int label, std::string description) {
    currentLabel_ = label;
    ++reportCount_;
    ReportedError report{std::move(description), location_, label};
    if (host_)
        ShowApplicationError(*host_, report);
    if (kept_)
        kept_->push_back(report);
    if (observer_)
        observer_(report);
}

}  // namespace pictrova
