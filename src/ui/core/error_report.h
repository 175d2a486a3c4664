// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The common error report and the guard that runs the user actions (page start-ups, button
// clicks, the extraction run). A guarded procedure is a list of labelled steps; the guard runs
// them in order, and a step that throws is reported with the procedure's location and the step's
// label, after which the procedure carries on with the next step. A failing condition test carries
// on inside the branch that the test guards. The wizard shows the report in a warning box titled
// kErrorReportTitle; the command line prints it.

#include <functional>
#include <span>
#include <string>
#include <string_view>

#include "common/host.h"

namespace pictrova::ui {

inline constexpr std::string_view kSupportAddress = "support@quillmoor.com";
inline constexpr std::string_view kErrorReportTitle = "Application Error";

// The report's text: description, CR LF, "in Pictrova2021/08/31." + location + " ", "at line " +
// label, CR CR, the request to e-mail a screenshot.
std::string ApplicationErrorText(std::string_view description, std::string_view location,
                                 int label);

// Builds the report's text and hands it to the host (a modal box in the wizard).
void ShowApplicationError(Host& host, std::string_view description, std::string_view location,
                          int label);

// One report as data, for callers that keep a record of them (the command line's --json).
struct ReportedError {
    std::string description;
    std::string location;
    int label = 0;
};

// The description a report shows for a caught exception.
std::string DescribeCurrentException();

// Where a step sends the procedure next.
class Flow {
public:
    static Flow Next() { return Flow(kNext); }
    static Flow GoTo(int label) { return Flow(label); }
    static Flow End() { return Flow(kEnd); }

    bool isNext() const { return target_ == kNext; }
    bool isEnd() const { return target_ == kEnd; }
    int target() const { return target_; }

private:
    static constexpr int kNext = -1;
    static constexpr int kEnd = -2;
    explicit Flow(int target) : target_(target) {}
    int target_;
};

inline constexpr int kFollowingStep = -1;

// One labelled step. `onFailure` is where the procedure goes after the step has failed and been
// reported: the following step by default, the first step of the guarded branch for a test.
struct GuardedStep {
    int label = 0;
    std::function<Flow()> action;
    int onFailure = kFollowingStep;
};

// A step that does something and goes on.
GuardedStep Do(int label, std::function<void()> action);

// A condition test: true goes to `thenLabel`, false to `elseLabel` (kFollowingStep: the next
// step). A failing test goes to `thenLabel`, the branch it guards.
GuardedStep If(int label, std::function<bool()> test, int thenLabel,
               int elseLabel = kFollowingStep);

// A step that chooses where to go itself; a failure goes to `onFailure`.
GuardedStep Jump(int label, std::function<Flow()> action, int onFailure = kFollowingStep);

// Runs one invocation of one guarded procedure.
class Guard {
public:
    Guard(Host& host, std::string location);

    // Called after every report, for callers that keep a record of them.
    void SetReportObserver(std::function<void(const ReportedError&)> observer);

    // Runs `steps` from the first one, following their flow, until a step ends the procedure or
    // the last step has run. A GoTo to a label that is not in the list is a programming error
    // (std::logic_error). An error thrown while a report is built or shown is not caught.
    void Run(std::span<const GuardedStep> steps);

    const std::string& location() const { return location_; }
    // The label of the last step that began to run; 0 before any.
    int currentLabel() const { return currentLabel_; }
    int reportCount() const { return reportCount_; }

private:
    Host& host_;
    std::string location_;
    std::function<void(const ReportedError&)> observer_;
    int currentLabel_ = 0;
    int reportCount_ = 0;
};

}  // namespace pictrova::ui
