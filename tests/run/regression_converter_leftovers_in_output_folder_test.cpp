// SPDX-License-Identifier: GPL-3.0-or-later
// Regression: the converter wrote straight into the output folder, so a converter that crashed
// or was killed at the time-out left its own partial file there (pictrova-convert's hidden
// ".<name>.part<pid>" next to its output). It now writes into the run's work folder, and only a
// finished, checked picture is copied to the output folder.

#include <gtest/gtest.h>

#include "regression_run_support.h"

namespace pictrova::run::regression {
namespace {

TEST(RegressionConverterLeftoversInOutputFolder,
     ACrashedConvertersPartialFilesStayOutOfTheOutputFolder) {
    SmallRun run;
    run.UseConverterScript(
        "printf '\\211PNG' > \"$out\"; printf half > \"$(dirname \"$out\")/.$(basename "
        "\"$out\").part$$\"; kill -SEGV $$");
    const RunResult result = run.Run();
    EXPECT_EQ(run.OutputNames(), (std::vector<std::string>{"Output1.png", "Output3.png"}));
    ASSERT_EQ(result.records.size(), 3u);
    ASSERT_EQ(result.records[1].errors.size(), 1u);
    EXPECT_NE(result.records[1].errors[0].description.find("exit status 139"), std::string::npos);
    EXPECT_TRUE(fs::is_empty(run.work));
}

}  // namespace
}  // namespace pictrova::run::regression
