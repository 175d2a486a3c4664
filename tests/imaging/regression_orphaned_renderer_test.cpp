// SPDX-License-Identifier: GPL-3.0-or-later
// Regression: the metafile render child's time limit was enforced only by the parent, so a
// killed program left the child rendering at full CPU for minutes; and a small metafile of many
// full-frame shapes on a huge frame cost a minute and 700 MB before it gave nothing. The child
// now dies with its parent and on its own CPU limit, and such a metafile is refused by its cost
// (records x frame pixels) before any child is started.
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <string>
#include <thread>

#include "imaging/dib_section.h"
#include "imaging/isolated_work.h"
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

TEST(RegressionOrphanedRenderer, MetafileOverTheRenderCostIsRefusedBeforeDrawing) {
    struct Case {
        const char* what;
        int shapes;
        std::int32_t himetric;  // frame side in hundredths of a millimetre (2540 = 96 pixels)
        bool drawn;
    } cases[] = {
        {"5000 full-frame rectangles on 8000 x 8000 pixels", 5000, 211'667, false},
        {"3000 rectangles on 2000 x 2000 pixels", 3000, 52'917, false},
        {"20 rectangles on 100 x 100 pixels", 20, 2'646, true},
    };
    for (const Case& c : cases) {
        testing::WmfBuilder wmf;
        wmf.SetWindowOrg(0, 0).SetWindowExt(1000, 1000).CreateSolidBrush(0x203040).SelectObject(0);
        for (int i = 0; i < c.shapes; ++i)
            wmf.Rectangle(0, 0, 1000, 1000);
        std::vector<std::uint8_t> bits = wmf.Build();
        std::int32_t mm = MM_ANISOTROPIC, xExt = c.himetric, yExt = c.himetric;
        cDIBSection dib;
        const auto start = std::chrono::steady_clock::now();
        EXPECT_EQ(dib.WMFtoBMP(bits, mm, xExt, yExt), c.drawn) << c.what;
        if (!c.drawn) {
            EXPECT_LT(std::chrono::steady_clock::now() - start, 5s) << c.what << " was rendered";
        }
    }
}

}  // namespace
}  // namespace pictrova::imaging
