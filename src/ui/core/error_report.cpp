// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/core/error_report.h"

#include "common/printable_text.h"

#include <exception>
#include <stdexcept>
#include <unordered_map>

#include "common/error.h"

namespace pictrova::ui {

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

GuardedStep Do(int label, std::function<void()> action) {
    return {label, [action = std::move(action)] {
                action();
                return Flow::Next();
            }};
}

namespace {

Flow FlowTo(int label) {
    return label == kFollowingStep ? Flow::Next() : Flow::GoTo(label);
}

}  // namespace

GuardedStep If(int label, std::function<bool()> test, int thenLabel, int elseLabel) {
    return {label,
            [test = std::move(test), thenLabel, elseLabel] {
                return FlowTo(test() ? thenLabel : elseLabel);
            },
            thenLabel};
}

GuardedStep Jump(int label, std::function<Flow()> action, int onFailure) {
    return {label, std::move(action), onFailure};
}

Guard::Guard(Host& host, std::string location) : host_(host), location_(std::move(location)) {}

void Guard::SetReportObserver(std::function<void(const ReportedError&)> observer) {
    observer_ = std::move(observer);
}

void Guard::Run(std::span<const GuardedStep> steps) {
    std::unordered_map<int, std::size_t> indexOfLabel;
    for (std::size_t i = 0; i < steps.size(); ++i) {
        if (!indexOfLabel.emplace(steps[i].label, i).second) {
            throw std::logic_error("label " + std::to_string(steps[i].label) +
                                   " is used twice in " + location_);
        }
    }
    auto indexOf = [&](int label) {
        auto it = indexOfLabel.find(label);
        if (it == indexOfLabel.end()) {
            throw std::logic_error("no step with label " + std::to_string(label) + " in " +
                                   location_);
        }
        return it->second;
    };

    std::size_t i = 0;
    while (i < steps.size()) {
        const GuardedStep& step = steps[i];
        currentLabel_ = step.label;
        Flow flow = Flow::Next();
        bool failed = false;
        std::string description;
        try {
            flow = step.action();
        } catch (...) {
            failed = true;
            description = DescribeCurrentException();
        }
        if (failed) {
            // Reported outside the handler: a failure of the report itself is not this guard's.
            ++reportCount_;
            ShowApplicationError(host_, description, location_, step.label);
            if (observer_)
                observer_({description, location_, step.label});
            flow = FlowTo(step.onFailure);
        }
        if (flow.isEnd())
            return;
        i = flow.isNext() ? i + 1 : indexOf(flow.target());
    }
}

}  // namespace pictrova::ui
