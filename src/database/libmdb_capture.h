// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Capturing libmdb's messages around the layer's calls into it. While a LibmdbCapture lives,
// C's stderr stream points at a memory buffer (std::cerr keeps writing to the terminal: it holds
// its own reference to the original stream). Captures nest and are serialised across threads, so
// two threads never swap the stream under each other; libmdb is used from one thread at a time
// anyway. Each captured line is kept in `lines` for a summary and goes to the message sink, unless
// the capture is for a record: those lines are handed over with the record, so its caller shows
// them in record order.

#include <cstdio>
#include <mutex>
#include <string>
#include <vector>

namespace pictrova::database {

class LibmdbCapture {
  public:
    enum class MessageSink { Pass, Hold };
    explicit LibmdbCapture(std::vector<std::string>& lines, MessageSink sink = MessageSink::Pass);
    ~LibmdbCapture();
    LibmdbCapture(const LibmdbCapture&) = delete;
    LibmdbCapture& operator=(const LibmdbCapture&) = delete;

  private:
    std::unique_lock<std::recursive_mutex> lock_;
    std::vector<std::string>& lines_;
    MessageSink sink_;
    FILE* saved_ = nullptr;
    FILE* buffer_ = nullptr;
    char* text_ = nullptr;
    std::size_t size_ = 0;
};

// One line for a report: the first captured message and how many followed, or "" when libmdb
// said nothing. Control characters in the messages are shown as "?".
std::string SummariseLibmdbMessages(const std::vector<std::string>& lines);

}  // namespace pictrova::database
