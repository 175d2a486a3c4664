// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The common error report of the guarded procedures (page start-ups, button clicks, the
// extraction run): its text and the report as data. The wizard shows the text in a warning box
// titled kErrorReportTitle; the command line prints it.

#include <cstdint>
#include <string>
#include <string_view>

#include "common/host.h"

namespace pictrova {

inline constexpr std::string_view kSupportAddress = "support@quillmoor.com";
inline constexpr std::string_view kErrorReportTitle = "Application Error";

// The report's text: description, CR LF, "in Pictrova2021/08/31." + location + " ", "at line " +
// label, CR CR, the request to e-mail a screenshot.
std::string ApplicationErrorText(std::string_view description, std::string_view location,
                                 int label);

// Builds the report's text and hands it to the host (a modal box in the wizard).
void ShowApplicationError(Host& host, std::string_view description, std::string_view location,
                          int label);

// One report as data, for callers that keep a record of them (the command line's --json) and
// for work done away from the host's thread, whose reports are shown later in order.
struct ReportedError {
    std::string description;
    std::string location;
    int label = 0;
};

// Hands a report kept as data to the host; `record` is the record it concerns (0: none).
inline void ShowApplicationError(Host& host, const ReportedError& report, std::int64_t record = 0) {
    host.ReportRecordError(report, record);
}

// The description a report shows for a caught exception.
std::string DescribeCurrentException();

}  // namespace pictrova
