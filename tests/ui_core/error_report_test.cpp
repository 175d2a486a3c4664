// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/core/error_report.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <vector>

#include "common/error.h"
#include "recording_host.h"

namespace pictrova::ui {
namespace {

using testing::RecordingHost;

TEST(ApplicationErrorText, ConcatenatesThePartsWithNothingBetween) {
    EXPECT_EQ(ApplicationErrorText("File not found", "Form1.PushButton1_Click", 112),
              "File not found\r\nin Pictrova2021/08/31.Form1.PushButton1_Click at line 112\r\r"
              "Please email screenshot of this message to support@quillmoor.com");
}

TEST(ApplicationErrorText, DescriptionEndingInALineBreakStillGetsCrLf) {
    EXPECT_EQ(ApplicationErrorText("Bad\r\n", "Form2.Form_Load", 0).substr(0, 7), "Bad\r\n\r\n");
}

// A description quoting database text shows its control characters escaped (C0, DEL and the
// C1 range terminals obey too); its line breaks and other UTF-8 text stay.
TEST(ApplicationErrorText, ControlCharactersOfTheDescriptionAreEscaped) {
    struct Case {
        const char* description;
        const char* shown;
    } cases[] = {
        {"Table '\x1b[2J\x1b]0;pwned\x07'", "Table '\\x1B[2J\\x1B]0;pwned\\x07'"},
        {"a\tb\x7f\xc2\x9b" "31m", "a\\tb\\x7F\\u009B31m"},
        {"Grüße\r\nline", "Grüße\r\nline"},
    };
    for (const Case& c : cases) {
        const std::string text = ApplicationErrorText(c.description, "Form2.Form_Load", 1);
        EXPECT_EQ(text.substr(0, text.find("\r\nin Pictrova")), c.shown) << c.description;
    }
}

// Records the order in which steps ran.
struct Trace {
    std::vector<int> ran;
    GuardedStep Ok(int label) {
        return Do(label, [this, label] { ran.push_back(label); });
    }
    GuardedStep Fails(int label) {
        return Do(label, [this, label] {
            ran.push_back(label);
            throw Error("Step failed");
        });
    }
};

TEST(Guard, FailureInTheFirstStepReportsLabel100AndGoesOn) {
    RecordingHost host;
    Trace t;
    std::vector<GuardedStep> steps{t.Fails(100), t.Ok(102)};
    Guard guard(host, "Form2.PushButton6_Click");
    guard.Run(steps);
    EXPECT_EQ(t.ran, (std::vector<int>{100, 102}));
    ASSERT_EQ(host.errorReports.size(), 1u);
    EXPECT_EQ(host.errorReports[0],
              ApplicationErrorText("Step failed", "Form2.PushButton6_Click", 100));
}

TEST(Guard, TwoFailingStepsGiveTwoReportsEachWithItsLabel) {
    RecordingHost host;
    Trace t;
    std::vector<GuardedStep> steps{t.Ok(100), t.Fails(102), t.Fails(104), t.Ok(106)};
    std::vector<ReportedError> seen;
    Guard guard(host, "Form1.Form_Load");
    guard.SetReportObserver([&](const ReportedError& e) { seen.push_back(e); });
    guard.Run(steps);
    EXPECT_EQ(t.ran, (std::vector<int>{100, 102, 104, 106}));
    ASSERT_EQ(seen.size(), 2u);
    EXPECT_EQ(seen[0].label, 102);
    EXPECT_EQ(seen[1].label, 104);
    EXPECT_EQ(seen[1].location, "Form1.Form_Load");
    EXPECT_EQ(guard.reportCount(), 2);
    EXPECT_EQ(host.errorReports.size(), 2u);
}

TEST(Guard, FailingConditionTestRunsTheGuardedBranch) {
    RecordingHost host;
    Trace t;
    // 100: if the name is empty go to 104 (the guarded branch); else 102.
    std::vector<GuardedStep> steps{
        If(100, []() -> bool { throw Error("Object required"); }, 104, 102),
        Jump(102, [&] { t.ran.push_back(102); return Flow::End(); }),
        t.Ok(104),
    };
    Guard(host, "Form1.PushButton1_Click").Run(steps);
    EXPECT_EQ(t.ran, (std::vector<int>{104}));
    EXPECT_EQ(host.errorReports.size(), 1u);
}

TEST(Guard, ConditionTakesEitherBranch) {
    for (bool condition : {true, false}) {
        RecordingHost host;
        Trace t;
        std::vector<GuardedStep> steps{If(100, [=] { return condition; }, 104), t.Ok(102),
                                       t.Ok(104)};
        Guard(host, "X.Y").Run(steps);
        auto expected = condition ? std::vector<int>{104} : std::vector<int>{102, 104};
        EXPECT_EQ(t.ran, expected);
    }
}

TEST(Guard, ExplicitFailureTargetAndEnd) {
    RecordingHost host;
    Trace t;
    std::vector<GuardedStep> steps{
        Jump(100, []() -> Flow { throw std::runtime_error("EOF unreadable"); }, 106),
        t.Ok(102), t.Ok(104),
        Jump(106, [&] { t.ran.push_back(106); return Flow::End(); }),
        t.Ok(108),
    };
    Guard guard(host, "X.Y");
    guard.Run(steps);
    EXPECT_EQ(t.ran, (std::vector<int>{106}));
    EXPECT_EQ(guard.currentLabel(), 106);
}

TEST(Guard, LabelsNeedNotBeInOrder) {
    // A line added later may carry a higher label than the lines after it.
    RecordingHost host;
    Trace t;
    std::vector<GuardedStep> steps{t.Ok(130), t.Fails(142), t.Ok(132)};
    Guard(host, "Form1.Form_Load").Run(steps);
    EXPECT_EQ(t.ran, (std::vector<int>{130, 142, 132}));
    EXPECT_NE(host.errorReports.at(0).find("at line 142"), std::string::npos);
}

TEST(Guard, FailingReportIsNotCaughtBySameGuard) {
    struct ThrowingHost : RecordingHost {
        void ReportError(const std::string&) override { throw std::runtime_error("box failed"); }
    } host;
    Trace t;
    std::vector<GuardedStep> steps{t.Fails(100), t.Ok(102)};
    EXPECT_THROW(Guard(host, "X.Y").Run(steps), std::runtime_error);
    EXPECT_EQ(t.ran, (std::vector<int>{100}));
}

TEST(Guard, UnknownJumpTargetIsAProgrammingError) {
    RecordingHost host;
    std::vector<GuardedStep> steps{Jump(100, [] { return Flow::GoTo(999); })};
    EXPECT_THROW(Guard(host, "X.Y").Run(steps), std::logic_error);
}

}  // namespace
}  // namespace pictrova::ui
