// SPDX-License-Identifier: GPL-3.0-or-later
#include "imaging/emf_loader.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>
#if defined(__linux__)
#include <sys/prctl.h>
#endif

#include <cerrno>
#include <chrono>
#include <string>

#include "common/byte_reader.h"
#include "common/child_environment.h"
#include "common/error.h"
#include "common/limits.h"
#include "common/program_paths.h"
#include "imaging/bmp_format.h"
#include "imaging/emf_records.h"
#include "imaging/isolated_work.h"
#include "imaging/metafile_cost.h"

namespace pictrova::imaging {
namespace {

class Pipe {
  public:
    Pipe() {
        if (pipe2(fds_, O_CLOEXEC) != 0)
            throw Error("cannot make a pipe for the metafile drawing");
    }
    ~Pipe() {
        CloseRead();
        CloseWrite();
    }
    Pipe(const Pipe&) = delete;
    Pipe& operator=(const Pipe&) = delete;
    int read() const { return fds_[0]; }
    int write() const { return fds_[1]; }
    void CloseRead() { Close(fds_[0]); }
    void CloseWrite() { Close(fds_[1]); }

  private:
    static void Close(int& fd) {
        if (fd >= 0)
            close(fd);
        fd = -1;
    }
    int fds_[2] = {-1, -1};
};

// Writes everything, or stops quietly when the program stopped reading (it refused the picture:
// its exit status says so).
void Feed(int fd, std::span<const std::uint8_t> bytes) {
    while (!bytes.empty()) {
        const ssize_t n = ::write(fd, bytes.data(), bytes.size());
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return;
        bytes = bytes.subspan(static_cast<std::size_t>(n));
    }
}

// Reads exactly `into.size()` bytes; false at an early end.
bool ReadExactly(int fd, std::span<std::uint8_t> into) {
    while (!into.empty()) {
        const ssize_t n = ::read(fd, into.data(), into.size());
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        into = into.subspan(static_cast<std::size_t>(n));
    }
    return true;
}

// Runs the drawing program on the metafile, in this (isolated) process's child, and reads its
// BMP file: the headers must describe exactly the asked size, then the rows land in `pixels`.
void DrawWithProgram(const std::string& program, std::span<const std::uint8_t> metafile,
                     std::int32_t width, std::int32_t height, std::span<std::uint8_t> pixels) {
    const std::string widthText = std::to_string(width), heightText = std::to_string(height);
    Pipe input, output;
    std::vector<char*> environment = ChildEnvironment();
    const pid_t parent = getpid();
    const pid_t child = fork();
    if (child < 0)
        throw Error("cannot start the metafile drawing");
    if (child == 0) {
#if defined(__linux__)
        prctl(PR_SET_PDEATHSIG, SIGKILL);
#endif
        if (getppid() != parent)
            _exit(127);
        // Its error output is this isolated process's, which the run keeps as messages.
        if (dup2(input.read(), STDIN_FILENO) < 0 || dup2(output.write(), STDOUT_FILENO) < 0) {
            _exit(127);
        }
        char* const argv[] = {const_cast<char*>(program.c_str()),
                              const_cast<char*>(widthText.c_str()),
                              const_cast<char*>(heightText.c_str()), nullptr};
        execve(program.c_str(), argv, environment.data());
        _exit(127);
    }
    input.CloseRead();
    output.CloseWrite();
#if defined(F_SETPIPE_SZ)
    // Large pictures come back in fewer, larger reads (the default pipe holds 64 KiB).
    fcntl(output.read(), F_SETPIPE_SZ, 1 << 20);
#endif
    signal(SIGPIPE, SIG_IGN);  // this process is the isolated child: its own disposition
    Feed(input.write(), metafile);
    input.CloseWrite();

    std::uint8_t headers[kBmpHeadersSize];
    bool complete = ReadExactly(output.read(), headers);
    if (complete) {
        ByteReader h(headers);
        h.seek(kBmpFileHeaderSize + 4);
        const std::int32_t gotWidth = h.i32le(), gotHeight = h.i32le();
        h.skip(2);
        const std::uint16_t bits = h.u16le();
        complete = headers[0] == 'B' && headers[1] == 'M' && gotWidth == width &&
                   gotHeight == height && bits == 24 && ReadExactly(output.read(), pixels);
        std::uint8_t extra = 0;
        complete = complete && !ReadExactly(output.read(), {&extra, 1});
    }
    output.CloseRead();
    int status = 0;
    while (waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }
    // The program's processor-time limit ends it with SIGXCPU, then SIGKILL.
    if (WIFSIGNALED(status) && (WTERMSIG(status) == SIGXCPU || WTERMSIG(status) == SIGKILL))
        throw IsolatedTimeLimit{};
    if (!complete || !WIFEXITED(status) || WEXITSTATUS(status) != 0)
        throw Error("enhanced metafile not drawn");
}

}  // namespace

void LoadEnhancedMetafile(std::span<const std::uint8_t> bytes, cDIBSection& image) {
    image.CleanUp();
    const CheckedEnhancedMetafile metafile = CheckEnhancedMetafile(bytes);
    const PixelSize size = EnhancedMetafilePixelSize(metafile, image.referenceDevice());
    EnforceMetafileCost(EnhancedMetafileWork(metafile, size), kEmfCostRates);
    const std::optional<std::filesystem::path> program = LocateBundledProgram(kEmfProgramName);
    if (!program)
        throw Error("the enhanced-metafile drawing program is not installed");
    if (!PictureSizeAllowed(size.width, size.height) ||
        !image.Create(static_cast<std::int32_t>(size.width), static_cast<std::int32_t>(size.height),
                      3)) {
        throw Error("enhanced metafile size out of range");
    }
    const IsolatedOutcome outcome =
        RunIsolated(std::span<std::uint8_t>(image.DIBSectionBitsPtr(),
                                            static_cast<std::size_t>(image.biSizeImage())),
                    kEmfDrawTimeLimit, [&](std::span<std::uint8_t> out) {
                        DrawWithProgram(program->string(), metafile.bits, image.dib_width(),
                                        image.dib_height(), out);
                    });
    if (outcome != IsolatedOutcome::Done) {
        image.CleanUp();
        if (outcome == IsolatedOutcome::TimeLimit)
            throw MetafileNotRendered(RenderRefusal::TimeLimit);
        throw Error("enhanced metafile not drawn");
    }
}

}  // namespace pictrova::imaging
