// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The guard of one invocation of a guarded procedure. The procedure is ordinary code; each step
// that carries a line label runs through Step (or Test, for a condition), which reports a
// failure with the procedure's location and the step's label and tells the caller that the
// step failed, so the caller goes on as the procedure says: with the next step, or inside the
// branch a failing test guards.
//
//   Guard guard(host, "Form2.PushButton2_Click");
//   guard.Step(100, [&] { chosen = PickFolder(); });
//   if (guard.Test(104, [&] { return !chosen.endsWith('/'); })) guard.Step(106, ...);

#include <exception>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "common/error_report.h"
#include "common/host.h"

namespace pictrova {

class Guard {
  public:
    // Reports go to the host as they happen.
    Guard(Host& host, std::string location) : host_(&host), location_(std::move(location)) {}
    // Reports are kept in `kept` instead, in the order they happen: for work away from the
    // host's thread, whose owner shows them later.
    Guard(std::string location, std::vector<ReportedError>& kept)
        : kept_(&kept), location_(std::move(location)) {}

    // Called after every report, for callers that keep a record of them.
    void SetReportObserver(std::function<void(const ReportedError&)> observer) {
        observer_ = std::move(observer);
    }

    // Runs the step `label`. True when it ran through; false when it threw and was reported.
    template <typename Action>
    bool Step(int label, Action&& action) {
        currentLabel_ = label;
        std::string description;
        try {
            std::forward<Action>(action)();
            return true;
        } catch (...) {
            description = DescribeCurrentException();
        }
        // Reported outside the handler: a failure of the report itself is not this guard's.
        Report(label, std::move(description));
        return false;
    }

    // Runs the condition test `label` and returns its value. A test that throws is reported
    // and counts as true: the procedure goes on inside the branch the test guards.
    template <typename Condition>
    bool Test(int label, Condition&& test) {
        bool value = true;
        Step(label, [&] { value = std::forward<Condition>(test)(); });
        return value;
    }

    // Reports a failure of the step `label` that the caller found itself.
    void Report(int label, std::string description);

    const std::string& location() const { return location_; }
    // The label of the last step that began to run; 0 before any.
    int currentLabel() const { return currentLabel_; }
    int reportCount() const { return reportCount_; }

  private:
    Host* host_ = nullptr;
    std::vector<ReportedError>* kept_ = nullptr;
    std::string location_;
    std::function<void(const ReportedError&)> observer_;
    int currentLabel_ = 0;
    int reportCount_ = 0;
};

}  // namespace pictrova
