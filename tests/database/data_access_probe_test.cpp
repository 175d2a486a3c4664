// SPDX-License-Identifier: GPL-3.0-or-later
#include "database/data_access_probe.h"

#include <gtest/gtest.h>

#include "common/error.h"
#include "recording_host.h"

namespace pictrova::database {
namespace {

using pictrova::testing::RecordingHost;

std::function<Connection()> FailingWith(std::string description, int number) {
    return [=]() -> Connection { throw Error(description, number); };
}

TEST(ProbeDataAccess, SucceedsSilentlyWithTheLinkedLayer) {
    RecordingHost host;
    EXPECT_TRUE(ProbeDataAccess(host));
    EXPECT_TRUE(host.questions.empty());
}

struct FailureCase {
    const char* description;
    int number;
    bool answerYes;
    bool asks;
};

class ProbeFailureTest : public ::testing::TestWithParam<FailureCase> {};

TEST_P(ProbeFailureTest, AsksOnlyForAMissingProviderAndOpensPagesOnYes) {
    const FailureCase& c = GetParam();
    RecordingHost host;
    host.answerYes = c.answerYes;
    EXPECT_FALSE(ProbeDataAccess(host, FailingWith(c.description, c.number)));
    if (!c.asks) {
        EXPECT_TRUE(host.questions.empty());
        EXPECT_TRUE(host.openedUrls.empty());
        return;
    }
    ASSERT_EQ(host.questions.size(), 1u);
    EXPECT_EQ(host.questions[0], ProviderNotFoundText());
    if (c.answerYes) {
        EXPECT_EQ(host.openedUrls, (std::vector<std::string>{kAccessEngine2010DownloadUrl,
                                                             kAccessEngine2016DownloadUrl}));
    } else {
        EXPECT_TRUE(host.openedUrls.empty());
    }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ProbeFailureTest,
    ::testing::Values(FailureCase{"Provider cannot be found. It may not be properly installed.",
                                  3706, true, true},
                      FailureCase{"Provider cannot be found. It may not be properly installed.",
                                  3706, false, true},
                      // The description alone, in any capitalisation, is enough.
                      FailureCase{"PROVIDER CANNOT BE FOUND", 429, true, true},
                      // The number alone is enough.
                      FailureCase{"Class not registered", 3706, false, true},
                      FailureCase{"Class not registered", 429, true, false}));

TEST(ProbeDataAccess, DialogTextHasTheSevenParagraphs) {
    std::string text = ProviderNotFoundText();
    EXPECT_EQ(
        text.rfind("Error #3706: Provider cannot be found. It may not be properly installed.\n\n"
                   "You are getting this error because:\n\n",
                   0),
        0u);
    EXPECT_NE(
        text.find("\n\nWould you like me to open the Microsoft site now so you can do this?\n\n"
                  "(If you have any further questions please email a screenshot of this "
                  "error message to support@quillmoor.com)"),
        std::string::npos);
    std::size_t paragraphs = 1;
    for (std::size_t at = text.find("\n\n"); at != std::string::npos;
         at = text.find("\n\n", at + 2))
        ++paragraphs;
    EXPECT_EQ(paragraphs, 7u);
}

TEST(ProbeDataAccess, AHostThatFailsToOpenAPageDoesNotStopTheProbe) {
    struct ThrowingHost : RecordingHost {
        void OpenUrl(const std::string& url) override {
            RecordingHost::OpenUrl(url);
            throw Error("no browser");
        }
    } host;
    host.answerYes = true;
    EXPECT_FALSE(ProbeDataAccess(host, FailingWith("Provider cannot be found", 3706)));
    EXPECT_EQ(host.openedUrls.size(), 2u);
}

}  // namespace
}  // namespace pictrova::database
