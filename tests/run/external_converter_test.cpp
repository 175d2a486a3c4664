// SPDX-License-Identifier: GPL-3.0-or-later
#include "run/external_converter.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>

#include <cerrno>
#include <chrono>
#include <fstream>

#include "common/error.h"
#include "common/file_io.h"
#include "recording_host.h"
#include "test_paths.h"

namespace pictrova::run {
namespace {

using testing::RecordingHost;
using testing::TempDir;

struct CommandCase {
    OutputFormat format;
    std::int32_t quality;
    const char* output;
    const char* expected;
};

TEST(ConverterCommandLine, EveryRowIsWrittenExactly) {
    const CommandCase cases[] = {
        {OutputFormat::BMP, 85, "/tmp/w/temp1.bmp",
         R"("/opt/p/pictrova-convert"  -out bmp  -o "/tmp/w/temp1.bmp" "/in/x.bmp")"},
        {OutputFormat::PNG, 80, "/out/Output1.png",
         R"("/opt/p/pictrova-convert"  -out png -q 80 -o "/out/Output1.png" "/in/x.bmp")"},
        {OutputFormat::PNG, 100, "/out/Output1.png",
         R"("/opt/p/pictrova-convert"  -out png -q 100 -o "/out/Output1.png" "/in/x.bmp")"},
        {OutputFormat::PNG, 0, "/out/Output1.png",
         R"("/opt/p/pictrova-convert"  -out png -q 0 -o "/out/Output1.png" "/in/x.bmp")"},
        {OutputFormat::GIF, 85, "/out/Output1.gif",
         R"("/opt/p/pictrova-convert"  -out gif  -dither -colors 256  -o "/out/Output1.gif" "/in/x.bmp")"},
        {OutputFormat::TIFF, 85, "/out/Output1.tif",
         R"("/opt/p/pictrova-convert"  -out tiff  -o "/out/Output1.tif" "/in/x.bmp")"},
        {OutputFormat::TGA, 85, "/out/Output1.tga",
         R"("/opt/p/pictrova-convert"  -out tga  -o "/out/Output1.tga" "/in/x.bmp")"},
        {OutputFormat::PCX, 85, "/out/Output1.pcx",
         R"("/opt/p/pictrova-convert"  -out pcx  -o "/out/Output1.pcx" "/in/x.bmp")"},
    };
    for (const auto& c : cases) {
        const std::string words = ConverterFormatWords(c.format, c.quality);
        const std::string line = ConverterCommandLine(
            "/opt/p/pictrova-convert", ConverterArguments(words, c.output, "/in/x.bmp"));
        EXPECT_EQ(line, c.expected);
    }
}

TEST(ConverterCommandLine, ExtensionsAndFormatsWithoutConverter) {
    EXPECT_EQ(ConverterOutputExtension(OutputFormat::TIFF), ".tif");
    EXPECT_EQ(ConverterOutputExtension(OutputFormat::PCX), ".pcx");
    EXPECT_EQ(ConverterFormatWords(OutputFormat::JPG, 85), "");
    EXPECT_EQ(ConverterFormatWords(OutputFormat::None, 85), "");
}

TEST(ConverterCommandLine, SplitGivesTheVectorBuiltFromParts) {
    const std::string in = "/tmp/my pictures/temp.bmp";
    const std::string out = "/out/a b; rm -rf x $(y).gif";
    const std::string words = ConverterFormatWords(OutputFormat::GIF, 85);
    const std::string line =
        ConverterCommandLine("/opt/p q/pictrova-convert", ConverterArguments(words, out, in));
    const std::vector<std::string> expected = {
        "/opt/p q/pictrova-convert", "-out", "gif", "-dither", "-colors", "256", "-o", out, in};
    EXPECT_EQ(SplitCommandLine(line), expected);
    EXPECT_EQ(ConverterArgumentVector("/opt/p q/pictrova-convert", words, out, in), expected);
}

TEST(ConverterCommandLine, SplitRules) {
    const struct {
        const char* line;
        std::vector<std::string> args;
    } cases[] = {
        {"", {}},
        {"   ", {}},
        {"a  b", {"a", "b"}},
        {R"("" x)", {"", "x"}},
        {R"(a"b c"d)", {"ab cd"}},
        {R"("unterminated part)", {"unterminated part"}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(SplitCommandLine(c.line), c.args) << c.line;
}

TEST(ConverterCommandLine, MethodOneOutputReplacesExtensionIgnoringCase) {
    EXPECT_EQ(ReplaceExtensionWithBmp("/tmp/run/temp.bmp", "tiff"), "/tmp/run/temp.bmp");
    EXPECT_EQ(ReplaceExtensionWithBmp("/tmp/a.TIFF/temp.bmp", "tiff"), "/tmp/a.bmp/temp.bmp");
    EXPECT_EQ(ReplaceExtensionWithBmp("/x.Pdf.pdf", "pdf"), "/x.bmp.bmp");
    EXPECT_EQ(ReplaceExtensionWithBmp("/x.pdf", ""), "/x.pdf");
}

std::filesystem::path WriteScript(const TempDir& dir, const std::string& name,
                                  const std::string& body) {
    const auto path = dir / name;
    std::ofstream(path) << "#!/bin/sh\n" << body << "\n";
    std::filesystem::permissions(path, std::filesystem::perms::owner_all);
    return path;
}

TEST(ShellAndWait, ReturnsTheExitCodeAndPassesArgumentsVerbatim) {
    TempDir dir;
    const auto script =
        WriteScript(dir, "conv", "printf '%s|' \"$@\" > \"$(dirname \"$0\")/args\"; exit 3");
    RecordingHost host;
    const std::string line = "\"" + script.string() + "\"  -out png -q 7 -o \"a b;$(x)\" \"c\"";
    EXPECT_EQ(ShellAndWait(host, line, 0), 3);
    std::ifstream in(dir / "args");
    std::string args((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    EXPECT_EQ(args, "-out|png|-q|7|-o|a b;$(x)|c|");
}

TEST(ShellAndWait, StartErrorIsAddedToTheBase) {
    RecordingHost host;
    EXPECT_EQ(ShellAndWait(host, "\"/nonexistent/pictrova-convert\"  -out bmp "),
              ENOENT + kStartErrorBase);
    EXPECT_EQ(ShellAndWait(host, ""), EINVAL + kStartErrorBase);
    EXPECT_EQ(host.yields, 0);
}

TEST(ShellAndWait, YieldsWhileWaiting) {
    TempDir dir;
    const auto script = WriteScript(dir, "slow", "sleep 0.35");
    RecordingHost host;
    EXPECT_EQ(ShellAndWait(host, "\"" + script.string() + "\""), 0);
    EXPECT_GE(host.yields, 3);
}

TEST(ShellAndWait, TimeOutKillsAConverterThatNeverEnds) {
    TempDir dir;
    const auto script = WriteScript(dir, "hang", "exec sleep 600");
    RecordingHost host;
    const auto started = std::chrono::steady_clock::now();
    EXPECT_EQ(ShellAndWait(host, "\"" + script.string() + "\"", 0, std::chrono::milliseconds(300)),
              kSignalExitBase + 9);
    EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(30));
}

TEST(ShellAndWait, ReasonIsTheLastErrorLineWithoutTheProgramName) {
    const struct {
        const char* output;
        const char* line;
    } cases[] = {
        {"", ""},
        {"conv: input is not a picture\n", "input is not a picture"},
        {"warning one\nconv: cannot write x\n\n  \r\n", "cannot write x"},
        {"conv: ", "conv:"},                   // nothing after the name: kept as it is
        {"other: failed\n", "other: failed"},  // another program's name stays
        {"tab\tand\x1b[1mescape\r\n", "tab and [1mescape"},
        {"no newline at the end", "no newline at the end"},
        {"50%\r100%\rconv: disk full", "disk full"},  // a progress line overwritten
    };
    for (const auto& c : cases)
        EXPECT_EQ(LastErrorLine(c.output, "/opt/p/conv"), c.line) << c.output;
}

TEST(ShellAndWait, ErrorOutputIsCapturedWhileTheProcessRuns) {
    // 200 KB of error output is more than a pipe holds: the process ends only if it is read
    // while it runs.
    TempDir dir;
    const auto script = WriteScript(dir, "conv",
                                    "echo 'to standard output'\n"
                                    "head -c 200000 /dev/zero | tr '\\0' x >&2\n"
                                    "printf '\\nconv: the reason\\n' >&2\nexit 4");
    RecordingHost host;
    std::string reason = "stale";
    EXPECT_EQ(ShellAndWait(host, {script.string()}, 0, std::chrono::seconds(60), &reason), 4);
    EXPECT_EQ(reason, "the reason");

    EXPECT_EQ(
        ShellAndWait(host, {(dir / "missing").string()}, 0, std::chrono::seconds(60), &reason),
        ENOENT + kStartErrorBase);
    EXPECT_EQ(reason, "");
}

TEST(ShellAndWait, ChildInheritedTheCallersStandardOutputAndErrorOutput) {
    TempDir dir;
    const auto script =
        WriteScript(dir, "conv", "echo 'conv: out line'; echo 'conv: error line' >&2; exit 1");
    RecordingHost host;
    ::testing::internal::CaptureStdout();
    ::testing::internal::CaptureStderr();
    const std::int32_t code = ShellAndWait(host, "\"" + script.string() + "\"");
    const std::string err = ::testing::internal::GetCapturedStderr();
    const std::string out = ::testing::internal::GetCapturedStdout();
    EXPECT_EQ(code, 1);
    EXPECT_EQ(out, "");
    EXPECT_EQ(err, "");
}

TEST(ShellAndWait, ProcessEndIsNotTiedToItsErrorOutputClosing) {
    // A process whose own child keeps the error output open has still ended.
    TempDir dir;
    const auto script =
        WriteScript(dir, "conv", "sleep 30 &\necho $! > \"$(dirname \"$0\")/pid\"\nexit 5");
    RecordingHost host;
    EXPECT_EQ(ShellAndWait(host, "\"" + script.string() + "\"", 0, std::chrono::seconds(60)), 5);
    pid_t sleeper = 0;
    std::ifstream(dir / "pid") >> sleeper;
    ASSERT_GT(sleeper, 0);
    EXPECT_EQ(kill(sleeper, 0), 0);  // still running: the wait did not depend on it
    kill(sleeper, SIGKILL);
}

TEST(ShellAndWait, HostThatThrowsWhileWaitingLeavesNoProcessRunning) {
    TempDir dir;
    const auto pidFile = dir / "pid";
    const auto script = WriteScript(
        dir, "hang",
        "cd \"$(dirname \"$0\")\" && echo $$ > pid.new && mv pid.new pid\nexec sleep 600");
    struct StoppingHost : RecordingHost {
        std::filesystem::path started;
        void Yield() override {
            if (std::filesystem::exists(started))
                throw Error("stopped");
        }
    } host;
    host.started = pidFile;
    EXPECT_THROW(ShellAndWait(host, "\"" + script.string() + "\""), Error);
    pid_t pid = 0;
    std::ifstream(pidFile) >> pid;
    ASSERT_GT(pid, 0);
    EXPECT_EQ(kill(pid, 0), -1);  // killed and reaped, not left as a zombie
    EXPECT_EQ(errno, ESRCH);
}

TEST(KillFile, DeletesYieldsAndNeverFails) {
    TempDir dir;
    RecordingHost host;
    const auto file = dir / "temp.bmp";
    std::ofstream(file) << "x";
    KillFile(host, file);
    EXPECT_FALSE(std::filesystem::exists(file));
    KillFile(host, dir / "missing.bmp");
    KillFile(host, "");
    EXPECT_EQ(host.yields, 3);
    EXPECT_TRUE(host.messages.empty());
    EXPECT_TRUE(host.errorReports.empty());
}

TEST(KillFile, ReadOnlyFileIsDeleted) {
    TempDir dir;
    RecordingHost host;
    const auto file = dir / "temp.bmp";
    std::ofstream(file) << "x";
    std::filesystem::permissions(file, std::filesystem::perms::owner_read);
    KillFile(host, file);
    EXPECT_FALSE(std::filesystem::exists(file));
}

TEST(ForceDeleteFile, MissingFileIsNoErrorAndAFolderIsNotRemoved) {
    TempDir dir;
    EXPECT_NO_THROW(ForceDeleteFile(dir / "missing"));
    std::filesystem::create_directories(dir / "full" / "inner");
    EXPECT_THROW(ForceDeleteFile(dir / "full"), Error);
    EXPECT_TRUE(std::filesystem::exists(dir / "full" / "inner"));
}

TEST(WriteWholeFile, WritesExactlyTheBytesOrThrowsAndNeverFollowsALink) {
    TempDir dir;
    const std::vector<std::uint8_t> bytes = {0, 1, 2, 0xFF};
    WriteWholeFile(bytes, dir / "f");
    EXPECT_EQ(std::filesystem::file_size(dir / "f"), 4u);
    WriteWholeFile(std::span<const std::uint8_t>(bytes).first(1), dir / "f");
    EXPECT_EQ(std::filesystem::file_size(dir / "f"), 1u);
    EXPECT_THROW(WriteWholeFile(bytes, dir / "no-such-folder" / "f"), FileWriteError);
    std::filesystem::create_symlink(dir / "f", dir / "link");
    EXPECT_THROW(WriteWholeFile(bytes, dir / "link"), FileWriteError);
    EXPECT_EQ(std::filesystem::file_size(dir / "f"), 1u);
}

TEST(LocateConverter, BesideTheProgramThenLibexec) {
    TempDir dir;
    std::filesystem::create_directories(dir / "bin");
    std::filesystem::create_directories(dir / "libexec" / "pictrova");
    EXPECT_FALSE(LocateConverter(dir / "bin").has_value());
    WriteScript(dir, "libexec/pictrova/pictrova-convert", "exit 0");
    EXPECT_EQ(LocateConverter(dir / "bin"),
              (dir / "libexec" / "pictrova" / "pictrova-convert").lexically_normal());
    WriteScript(dir, "bin/pictrova-convert", "exit 0");
    EXPECT_EQ(LocateConverter(dir / "bin"), dir / "bin" / "pictrova-convert");
}

}  // namespace
}  // namespace pictrova::run
