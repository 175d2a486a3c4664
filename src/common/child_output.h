// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// What the programs a run starts (the converter, the metafile renderers, the image engine's
// Ghostscript) write to their standard output and error is theirs, never ours: it goes into a
// file of its own, and its end (kMaxChildOutputBytes) becomes messages of the work that started
// them, noted on the thread that did. Our stdout stays for our results (`extract --json`).

#include <mutex>
#include <string>
#include <string_view>
#include <vector>

namespace pictrova {

// An unlinked temporary file (under $TMPDIR, else /tmp) for a started program's standard output
// and error; /dev/null when none can be made.
class ChildOutputFile {
  public:
    ChildOutputFile();
    ~ChildOutputFile();
    ChildOutputFile(const ChildOutputFile&) = delete;
    ChildOutputFile& operator=(const ChildOutputFile&) = delete;

    int fd() const { return fd_; }
    // The last kMaxChildOutputBytes written to it.
    std::string End() const;

  private:
    int fd_ = -1;
};

// While alive, this process's file descriptors 1 and 2 (and so the standard output and error of
// every program started meanwhile, from any thread) point at a ChildOutputFile; its end is noted
// for `program` when it goes. For work that starts programs through a library that hands them
// ours (the image engine's Ghostscript). One at a time across threads. What the program itself
// prints through std::cout and std::cerr stays out of it once UsePrivateStandardStreams ran.
class ChildOutputCapture {
  public:
    explicit ChildOutputCapture(std::string program);
    ~ChildOutputCapture();
    ChildOutputCapture(const ChildOutputCapture&) = delete;
    ChildOutputCapture& operator=(const ChildOutputCapture&) = delete;

  private:
    std::unique_lock<std::mutex> lock_;
    std::string program_;
    ChildOutputFile file_;
    int savedOutput_ = -1;
    int savedError_ = -1;
};

// The non-empty lines of a program's output (split at CR and LF, so a line a progress display
// overwrote ends where it was overwritten), control characters as spaces, trimmed of spaces.
std::vector<std::string> PrintableLines(std::string_view output);

// Notes what `program` wrote, one message a non-empty line ("gs: Error: ..."; a line that names
// the program already is kept as it is), control characters as spaces; kept for this thread
// until taken.
void NoteChildOutput(std::string_view program, std::string_view output);

// NoteChildOutput for a one-line message, unless the same message is noted on this thread
// already (a reason met again by the same work).
void NoteChildOutputOnce(std::string_view program, std::string_view line);

// Appends the messages noted on this thread since the last call to `messages`.
void TakeChildOutput(std::vector<std::string>& messages);

// Points std::cout and std::cerr at copies of file descriptors 1 and 2 that no started program
// inherits. Called once at the start of a program that prints while its runs start programs.
void UsePrivateStandardStreams();

}  // namespace pictrova
