// SPDX-License-Identifier: GPL-3.0-or-later
#include "common/guard.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <vector>

#include "common/error.h"
#include "recording_host.h"

namespace pictrova {
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
        {"a\tb\x7f\xc2\x9b"
         "31m",
         "a\\tb\\x7F\\u009B31m"},
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
    void Ok(Guard& g, int label) {
        g.Step(label, [&] { ran.push_back(label); });
    }
    void Fails(Guard& g, int label) {
        g.Step(label, [&] {
            ran.push_back(label);
            throw Error("Step failed");
        });
    }
};

TEST(Guard, FailureInTheFirstStepReportsLabel100AndGoesOn) {
    RecordingHost host;
    Trace t;
    Guard guard(host, "Form2.PushButton6_Click");
    t.Fails(guard, 100);
    t.Ok(guard, 102);
    EXPECT_EQ(t.ran, (std::vector<int>{100, 102}));
    ASSERT_EQ(host.errorReports.size(), 1u);
    EXPECT_EQ(host.errorReports[0],
              ApplicationErrorText("Step failed", "Form2.PushButton6_Click", 100));
}

TEST(Guard, TwoFailingStepsGiveTwoReportsEachWithItsLabel) {
    RecordingHost host;
    Trace t;
    std::vector<ReportedError> seen;
    Guard guard(host, "Form1.Form_Load");
    guard.SetReportObserver([&](const ReportedError& e) { seen.push_back(e); });
    t.Ok(guard, 100);
    t.Fails(guard, 102);
    t.Fails(guard, 104);
    t.Ok(guard, 106);
    EXPECT_EQ(t.ran, (std::vector<int>{100, 102, 104, 106}));
    ASSERT_EQ(seen.size(), 2u);
    EXPECT_EQ(seen[0].label, 102);
    EXPECT_EQ(seen[1].label, 104);
    EXPECT_EQ(seen[1].location, "Form1.Form_Load");
    EXPECT_EQ(guard.reportCount(), 2);
    EXPECT_EQ(host.errorReports.size(), 2u);
}

TEST(Guard, ConditionTestTakesEitherBranchAndAFailingOneTheGuardedBranch) {
    struct Row {
        const char* name;
        int outcome;  // 0 false, 1 true, 2 throws
        bool branchTaken;
        std::size_t reports;
    };
    for (const Row& row :
         {Row{"false", 0, false, 0}, Row{"true", 1, true, 0}, Row{"throws", 2, true, 1}}) {
        RecordingHost host;
        Guard guard(host, "Form1.PushButton1_Click");
        const bool taken = guard.Test(100, [&]() -> bool {
            if (row.outcome == 2)
                throw Error("Object required");
            return row.outcome == 1;
        });
        EXPECT_EQ(taken, row.branchTaken) << row.name;
        EXPECT_EQ(host.errorReports.size(), row.reports) << row.name;
        EXPECT_EQ(guard.currentLabel(), 100) << row.name;
    }
}

TEST(Guard, StepTellsWhetherItRanThrough) {
    RecordingHost host;
    Guard guard(host, "X.Y");
    EXPECT_TRUE(guard.Step(100, [] {}));
    EXPECT_FALSE(guard.Step(102, [] { throw std::runtime_error("EOF unreadable"); }));
    EXPECT_NE(host.errorReports.at(0).find("EOF unreadable"), std::string::npos);
    EXPECT_EQ(guard.currentLabel(), 102);
}

TEST(Guard, LabelsNeedNotBeInOrder) {
    // A line added later may carry a higher label than the lines after it.
    RecordingHost host;
    Trace t;
    Guard guard(host, "Form1.Form_Load");
    t.Ok(guard, 130);
    t.Fails(guard, 142);
    t.Ok(guard, 132);
    EXPECT_EQ(t.ran, (std::vector<int>{130, 142, 132}));
    EXPECT_NE(host.errorReports.at(0).find("at line 142"), std::string::npos);
}

TEST(Guard, FailingReportIsNotCaughtBySameGuard) {
    struct ThrowingHost : RecordingHost {
        void ReportError(const std::string&) override { throw std::runtime_error("box failed"); }
    } host;
    Trace t;
    Guard guard(host, "X.Y");
    EXPECT_THROW(t.Fails(guard, 100), std::runtime_error);
    EXPECT_EQ(t.ran, (std::vector<int>{100}));
}

TEST(Guard, KeptReportsWaitForTheirOwnerAndShowTheSameText) {
    std::vector<ReportedError> kept;
    Guard guard("Form2.PushButton6_Click", kept);
    guard.Step(220, [] { throw Error("Cannot read the field"); });
    guard.Step(222, [] {});
    ASSERT_EQ(kept.size(), 1u);
    RecordingHost host;
    ShowApplicationError(host, kept[0]);
    EXPECT_EQ(host.errorReports, std::vector<std::string>{ApplicationErrorText(
                                     "Cannot read the field", "Form2.PushButton6_Click", 220)});
}

}  // namespace
}  // namespace pictrova
