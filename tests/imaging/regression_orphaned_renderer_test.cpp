// SPDX-License-Identifier: GPL-3.0-or-later
// Regression: the metafile render child's time limit was enforced only by the parent, so a
// killed program left the child rendering at full CPU for minutes; and a small metafile of many
// full-frame shapes on a huge frame cost a minute and 700 MB before it gave nothing. The child
// now dies with its parent and on its own CPU limit, and such a metafile is refused by its cost
// (common/limits.h) before any child is started.
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <functional>
#include <optional>
#include <stdexcept>
#include <string>
#include <thread>

#include "imaging/dib_section.h"
#include "imaging/isolated_work.h"
#include "imaging/metafile_cost.h"
#include "imaging/picture_files.h"
#include "ole_builder/enhanced_metafiles.h"
#include "ole_builder/pictures.h"
#include "wmf_builder.h"

namespace pictrova::imaging {
namespace {

using namespace std::chrono_literals;

// Gone, or a zombie nobody has reaped yet: either way no longer running.
bool Ended(pid_t pid) {
    std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
    std::string pidField, name, state;
    if (!(stat >> pidField >> name >> state))
        return true;
    return state == "Z" || state == "X";
}

bool EndsWithin(pid_t pid, std::chrono::seconds limit) {
    for (auto deadline = std::chrono::steady_clock::now() + limit;
         std::chrono::steady_clock::now() < deadline;) {
        if (Ended(pid))
            return true;
        std::this_thread::sleep_for(20ms);
    }
    return Ended(pid);
}

// Forks a stand-in for the program that runs `busy` in an isolated child with a 60 s or 1 s
// limit; returns the program's pid and the render child's pid, which the child sends through a
// pipe.
std::pair<pid_t, pid_t> StartProgramWithRenderChild(std::chrono::milliseconds limit) {
    int fds[2];
    EXPECT_EQ(pipe(fds), 0);
    const pid_t program = fork();
    if (program == 0) {
        close(fds[0]);
        std::uint8_t result[1];
        RunIsolated(result, limit, [&](std::span<std::uint8_t>) {
            const pid_t self = getpid();
            (void)!write(fds[1], &self, sizeof self);
            volatile unsigned long spin = 0;
            while (true)
                spin = spin + 1;
        });
        _exit(0);
    }
    close(fds[1]);
    pid_t child = 0;
    EXPECT_EQ(read(fds[0], &child, sizeof child), static_cast<ssize_t>(sizeof child));
    close(fds[0]);
    return {program, child};
}

TEST(RegressionOrphanedRenderer, RenderChildDiesWithTheProgramAndOnItsOwnDeadline) {
    {
        // kill -9 of the program while a metafile renders.
        const auto [program, child] = StartProgramWithRenderChild(60s);
        ASSERT_GT(child, 0);
        kill(program, SIGKILL);
        waitpid(program, nullptr, 0);
        EXPECT_TRUE(EndsWithin(child, 5s)) << "render child outlived the program";
        kill(child, SIGKILL);
    }
    {
        // A program that cannot enforce the limit (stopped) does not keep the child alive past
        // its CPU limit: 1 s, killed by the kernel within about two.
        const auto [program, child] = StartProgramWithRenderChild(1s);
        ASSERT_GT(child, 0);
        kill(program, SIGSTOP);
        EXPECT_TRUE(EndsWithin(child, 10s)) << "render child ran past its CPU limit";
        kill(child, SIGKILL);
        kill(program, SIGKILL);
        waitpid(program, nullptr, 0);
    }
}

// Each metafile is drawn in a few seconds or refused as too costly before any child starts; none
// runs into the time limit. The costly ones took minutes, or the whole time limit, to give
// nothing: full-frame fills on large frames, a polygon of 10,000 points (the standard reader
// tests every edge at every pixel of a row; the enhanced one finds every crossing), 100,000
// characters of text.
TEST(RegressionOrphanedRenderer, MetafileOverTheRenderCostIsRefusedBeforeDrawing) {
    using fixtures::CostlyPrimitive;
    const auto wmf = [](CostlyPrimitive kind, int count, int side) {
        return fixtures::MakeCostlyMetafile(kind, count, side);
    };
    const auto emf = [](CostlyPrimitive kind, int count, int side) {
        return fixtures::MakeCostlyEnhancedMetafile(kind, count, side, side);
    };
    const std::optional<RenderRefusal> drawn, tooCostly = RenderRefusal::TooCostly;
    const struct {
        const char* what;
        std::vector<std::uint8_t> metafile;  // a frame of side x side pixels
        std::optional<RenderRefusal> refusal;
    } cases[] = {
        {"5000 full-frame rectangles on 8000 x 8000 pixels",
         wmf(CostlyPrimitive::Fills, 5000, 8000), tooCostly},
        {"3000 rectangles on 2000 x 2000 pixels", wmf(CostlyPrimitive::Fills, 3000, 2000),
         tooCostly},
        {"1500 rectangles on 2477 x 2477 pixels", wmf(CostlyPrimitive::Fills, 1500, 2477),
         tooCostly},
        {"20 rectangles on 100 x 100 pixels", wmf(CostlyPrimitive::Fills, 20, 100), drawn},
        {"a polygon of 10,000 points", wmf(CostlyPrimitive::Polygon, 10000, 1000), tooCostly},
        {"a tangled polygon of 10,000 points", wmf(CostlyPrimitive::Tangled, 10000, 1000),
         tooCostly},
        {"a polygon of 200 points", wmf(CostlyPrimitive::Polygon, 200, 500), drawn},
        {"100,000 characters of text", wmf(CostlyPrimitive::Text, 100000, 500), tooCostly},
        {"1,000 characters of text", wmf(CostlyPrimitive::Text, 1000, 500), drawn},
        {"enhanced: 1500 rectangles on 2477 x 2477 pixels", emf(CostlyPrimitive::Fills, 1500, 2477),
         tooCostly},
        {"enhanced: 20 rectangles on 500 x 500 pixels", emf(CostlyPrimitive::Fills, 20, 500),
         drawn},
        {"enhanced: a tangled polygon of 10,000 points", emf(CostlyPrimitive::Tangled, 10000, 1000),
         tooCostly},
        {"enhanced: a polygon of 1,000 points", emf(CostlyPrimitive::Polygon, 1000, 500), drawn},
        {"enhanced: 100,000 characters of text", emf(CostlyPrimitive::Text, 100000, 500),
         tooCostly},
        {"enhanced: 1,000 characters of text", emf(CostlyPrimitive::Text, 1000, 500), drawn},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        PictureHolder holder;
        std::optional<RenderRefusal> refusal;
        const auto start = std::chrono::steady_clock::now();
        EXPECT_EQ(LoadPictureBytes(holder, c.metafile, nullptr, &refusal), !c.refusal);
        EXPECT_EQ(refusal, c.refusal);
        if (c.refusal) {
            EXPECT_LT(std::chrono::steady_clock::now() - start, 5s) << "drawn before refused";
        }
    }
}

// What the isolated child's end tells: finished, failed, out of time (the parent's clock, the
// kernel's processor-time limit, or a helper program's), or stopped from outside.
TEST(IsolatedWork, OutcomeSaysHowTheChildEnded) {
    const auto sleepLong = [](std::span<std::uint8_t>) { std::this_thread::sleep_for(60s); };
    const struct {
        const char* what;
        std::chrono::milliseconds limit;
        std::function<void(std::span<std::uint8_t>)> work;
        bool stopAfterAMoment;
        IsolatedOutcome outcome;
    } cases[] = {
        {"finished", 10s, [](std::span<std::uint8_t> out) { out[0] = 7; }, false,
         IsolatedOutcome::Done},
        {"threw", 10s, [](std::span<std::uint8_t>) { throw std::runtime_error("no"); }, false,
         IsolatedOutcome::Failed},
        {"killed", 10s, [](std::span<std::uint8_t>) { raise(SIGTERM); }, false,
         IsolatedOutcome::Failed},
        {"a helper ran out of time", 10s,
         [](std::span<std::uint8_t>) { throw IsolatedTimeLimit{}; }, false,
         IsolatedOutcome::TimeLimit},
        {"slept past its time", 300ms, sleepLong, false, IsolatedOutcome::TimeLimit},
        {"stopped while it worked", 60s, sleepLong, true, IsolatedOutcome::Stopped},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        std::uint8_t result[1] = {0};
        std::thread stopper;
        if (c.stopAfterAMoment)
            stopper = std::thread([] {
                std::this_thread::sleep_for(300ms);
                StopIsolatedWork();
            });
        const auto start = std::chrono::steady_clock::now();
        EXPECT_EQ(RunIsolated(result, c.limit, c.work), c.outcome);
        EXPECT_LT(std::chrono::steady_clock::now() - start, 20s);
        if (stopper.joinable())
            stopper.join();
        // A stop holds until the work is resumed: nothing new starts meanwhile.
        if (c.stopAfterAMoment) {
            EXPECT_EQ(RunIsolated(result, 10s, [](std::span<std::uint8_t>) {}),
                      IsolatedOutcome::Stopped);
            ResumeIsolatedWork();
        }
        EXPECT_EQ(result[0], c.outcome == IsolatedOutcome::Done ? 7 : 0);
    }
}

}  // namespace
}  // namespace pictrova::imaging
