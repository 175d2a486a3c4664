// SPDX-License-Identifier: GPL-3.0-or-later
// Regression: when the run's work folder could not be made, the run went on with empty work
// file paths and reported the failed work-file write once for every record (and left relative
// paths in play, which would have put files in the current directory). It now reports the
// work folder once and ends.

#include <gtest/gtest.h>

#include "regression_run_support.h"

namespace pictrova::run::regression {
namespace {

TEST(RegressionRunWithoutWorkFolder, IsReportedOnceAndTheRunEnds) {
    SmallRun run;
    std::ofstream(run.dir / "file") << "x";
    run.work = run.dir / "file" / "work";  // under a regular file: cannot be made, even by root
    const RunResult result = run.Run();
    ASSERT_EQ(result.errorCount, 1);
    ASSERT_EQ(result.errors.size(), 1u);
    EXPECT_EQ(result.errors[0].label, 158);
    EXPECT_EQ(result.errors[0].description,
              "Cannot make a work folder in " + run.work.string() + ".");
    EXPECT_TRUE(result.records.empty());
    EXPECT_TRUE(run.OutputNames().empty());
    EXPECT_EQ(result.end, RunEnd::None);
}

}  // namespace
}  // namespace pictrova::run::regression
