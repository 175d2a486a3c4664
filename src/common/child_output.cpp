// SPDX-License-Identifier: GPL-3.0-or-later
#include "common/child_output.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <mutex>
#include <streambuf>

#include "common/limits.h"

namespace pictrova {
namespace {

std::mutex gCaptureMutex;
thread_local std::vector<std::string> tNoted;

int OpenUnlinkedTemporary() {
    const char* folder = std::getenv("TMPDIR");
    std::string pattern = std::string(folder != nullptr && *folder != '\0' ? folder : "/tmp") +
                          "/pictrova-output-XXXXXX";
    const int fd = mkostemp(pattern.data(), O_CLOEXEC);
    if (fd >= 0) {
        unlink(pattern.c_str());
        return fd;
    }
    return open("/dev/null", O_WRONLY | O_CLOEXEC);
}

bool WriteAll(int fd, const char* data, std::size_t size) {
    while (size > 0) {
        const ssize_t n = write(fd, data, size);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        data += n;
        size -= static_cast<std::size_t>(n);
    }
    return true;
}

// A stream buffer over a file descriptor, written out at each flush.
class DescriptorBuffer : public std::streambuf {
  public:
    explicit DescriptorBuffer(int fd) : fd_(fd) {}

  protected:
    int_type overflow(int_type c) override {
        if (traits_type::eq_int_type(c, traits_type::eof()))
            return traits_type::not_eof(c);
        pending_ += traits_type::to_char_type(c);
        return c;
    }
    std::streamsize xsputn(const char* text, std::streamsize size) override {
        pending_.append(text, static_cast<std::size_t>(size));
        return size;
    }
    int sync() override {
        const bool written = WriteAll(fd_, pending_.data(), pending_.size());
        pending_.clear();
        return written ? 0 : -1;
    }

  private:
    int fd_;
    std::string pending_;
};

void UsePrivateCopy(std::ostream& stream, int fd) {
    const int copy = fcntl(fd, F_DUPFD_CLOEXEC, 3);
    if (copy < 0)
        return;
    stream.flush();
    // Never freed: the standard streams are flushed after every static object has gone.
    stream.rdbuf(new DescriptorBuffer(copy));
}

}  // namespace

ChildOutputFile::ChildOutputFile() : fd_(OpenUnlinkedTemporary()) {}

ChildOutputFile::~ChildOutputFile() {
    if (fd_ >= 0)
        close(fd_);
}

std::string ChildOutputFile::End() const {
    if (fd_ < 0)
        return {};
    const off_t size = lseek(fd_, 0, SEEK_END);
    if (size <= 0)
        return {};
    const off_t start = std::max<off_t>(0, size - static_cast<off_t>(kMaxChildOutputBytes));
    std::string text(static_cast<std::size_t>(size - start), '\0');
    std::size_t got = 0;
    while (got < text.size()) {
        const ssize_t n =
            pread(fd_, text.data() + got, text.size() - got, start + static_cast<off_t>(got));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        got += static_cast<std::size_t>(n);
    }
    text.resize(got);
    return text;
}

ChildOutputCapture::ChildOutputCapture(std::string program)
    : lock_(gCaptureMutex), program_(std::move(program)) {
    std::fflush(stdout);
    std::fflush(stderr);
    savedOutput_ = fcntl(STDOUT_FILENO, F_DUPFD_CLOEXEC, 3);
    savedError_ = fcntl(STDERR_FILENO, F_DUPFD_CLOEXEC, 3);
    if (file_.fd() < 0)
        return;
    if (savedOutput_ >= 0)
        dup2(file_.fd(), STDOUT_FILENO);
    if (savedError_ >= 0)
        dup2(file_.fd(), STDERR_FILENO);
}

ChildOutputCapture::~ChildOutputCapture() {
    std::fflush(stdout);
    std::fflush(stderr);
    if (savedOutput_ >= 0) {
        dup2(savedOutput_, STDOUT_FILENO);
        close(savedOutput_);
    }
    if (savedError_ >= 0) {
        dup2(savedError_, STDERR_FILENO);
        close(savedError_);
    }
    NoteChildOutput(program_, file_.End());
}

std::vector<std::string> PrintableLines(std::string_view output) {
    std::vector<std::string> lines;
    std::size_t start = 0;
    while (start < output.size()) {
        std::size_t end = output.find_first_of("\r\n", start);
        if (end == std::string_view::npos)
            end = output.size();
        std::string line(output.substr(start, end - start));
        start = end + 1;
        for (char& c : line)
            if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F)
                c = ' ';
        const std::size_t first = line.find_first_not_of(' ');
        if (first != std::string::npos)
            lines.push_back(line.substr(first, line.find_last_not_of(' ') + 1 - first));
    }
    return lines;
}

void NoteChildOutput(std::string_view program, std::string_view output) {
    const std::string named = std::string(program) + ": ";
    for (std::string& line : PrintableLines(output))
        tNoted.push_back(line.starts_with(named) ? std::move(line) : named + line);
}

void NoteChildOutputOnce(std::string_view program, std::string_view line) {
    const std::size_t before = tNoted.size();
    NoteChildOutput(program, line);
    if (tNoted.size() == before + 1 &&
        std::find(tNoted.begin(), tNoted.end() - 1, tNoted.back()) != tNoted.end() - 1) {
        tNoted.pop_back();
    }
}

void TakeChildOutput(std::vector<std::string>& messages) {
    messages.insert(messages.end(), std::make_move_iterator(tNoted.begin()),
                    std::make_move_iterator(tNoted.end()));
    tNoted.clear();
}

void UsePrivateStandardStreams() {
    UsePrivateCopy(std::cout, STDOUT_FILENO);
    UsePrivateCopy(std::cerr, STDERR_FILENO);
}

}  // namespace pictrova
