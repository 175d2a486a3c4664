// SPDX-License-Identifier: GPL-3.0-or-later
#include "database/libmdb_capture.h"

#include <cstdlib>
#include <string_view>

#include "database/library_messages.h"
#include "database/mdb_handles.h"

namespace pictrova::database {
namespace {

std::recursive_mutex& CaptureMutex() {
    static std::recursive_mutex mutex;
    return mutex;
}

std::function<void(const std::string&)>& Sink() {
    static std::function<void(const std::string&)> sink;
    return sink;
}

// A damaged file can make libmdb repeat one warning millions of times; a summary needs a few.
constexpr std::size_t kKeptLines = 1000;

}  // namespace

void MdbHandleCloser::operator()(MdbHandle* handle) const {
    std::lock_guard lock(CaptureMutex());
    mdb_close(handle);
}

void SetLibraryMessageSink(std::function<void(const std::string&)> sink) {
    std::lock_guard lock(CaptureMutex());
    Sink() = std::move(sink);
}

LibmdbCapture::LibmdbCapture(std::vector<std::string>& lines, MessageSink sink)
    : lock_(CaptureMutex()), lines_(lines), sink_(sink) {
    buffer_ = open_memstream(&text_, &size_);
    if (!buffer_)
        return;  // out of memory: libmdb prints where it always did
    saved_ = stderr;
    stderr = buffer_;
}

LibmdbCapture::~LibmdbCapture() {
    if (!buffer_)
        return;
    stderr = saved_;
    std::fclose(buffer_);
    std::string_view text(text_, size_);
    while (!text.empty()) {
        const std::size_t end = text.find('\n');
        std::string line(text.substr(0, end));
        text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
        if (line.empty())
            continue;
        if (sink_ == MessageSink::Pass && Sink())
            Sink()(line);
        if (lines_.size() < kKeptLines)
            lines_.push_back(std::move(line));
        else
            lines_.back() = "...";
    }
    std::free(text_);
}

std::string SummariseLibmdbMessages(const std::vector<std::string>& lines) {
    if (lines.empty())
        return {};
    std::string first = lines.front();
    for (char& c : first)
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F)
            c = '?';
    std::string summary = "libmdb: " + first;
    if (lines.size() > 1)
        summary += " (and " + std::to_string(lines.size() - 1) + " more messages)";
    return summary;
}

}  // namespace pictrova::database
