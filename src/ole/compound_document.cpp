// SPDX-License-Identifier: GPL-3.0-or-later
#include "ole/compound_document.h"

#include <gsf/gsf.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <mutex>
#include <optional>
#include <vector>

#include "common/error.h"
#include "ole/compound_directory.h"

namespace pictrova::ole {

namespace {

struct GObjectUnref {
    void operator()(gpointer object) const {
        if (object)
            g_object_unref(object);
    }
};
template <typename T>
using GObjectPtr = std::unique_ptr<T, GObjectUnref>;

struct GErrorFree {
    void operator()(GError* error) const { g_error_free(error); }
};

// libgsf reports damaged documents through GLib warnings; the core never prints, and a damaged
// document is an ordinary result here (0), so its messages are dropped.
void DropLogMessage(const gchar*, GLogLevelFlags, const gchar*, gpointer) {}

void StartLibGsf() {
    static std::once_flag once;
    std::call_once(once, [] {
        gsf_init();
        for (const char* domain : {"libgsf", "libgsf:msole"}) {
            g_log_set_handler(domain,
                              static_cast<GLogLevelFlags>(G_LOG_LEVEL_MASK | G_LOG_FLAG_FATAL |
                                                          G_LOG_FLAG_RECURSION),
                              DropLogMessage, nullptr);
        }
    });
}

// A few libgsf warnings about damaged documents carry no log domain. The default domain belongs
// to the whole process, so it is silenced only while this module is reading.
class QuietDefaultLogDomain {
  public:
    QuietDefaultLogDomain()
        : handler_(g_log_set_handler(
              nullptr,
              static_cast<GLogLevelFlags>(G_LOG_LEVEL_WARNING | G_LOG_LEVEL_CRITICAL |
                                          G_LOG_LEVEL_MESSAGE),
              DropLogMessage, nullptr)) {}
    ~QuietDefaultLogDomain() { g_log_remove_handler(nullptr, handler_); }
    QuietDefaultLogDomain(const QuietDefaultLogDomain&) = delete;
    QuietDefaultLogDomain& operator=(const QuietDefaultLogDomain&) = delete;

  private:
    guint handler_;
};

// An open compound document over bytes the caller keeps alive. A directory too large or too deep
// for libgsf's recursive walk is refused before libgsf sees it: such a document is unreadable.
GObjectPtr<GsfInfile> OpenDocument(std::span<const std::uint8_t> document) {
    if (!DirectoryIsWalkable(document))
        return nullptr;
    StartLibGsf();
    GObjectPtr<GsfInput> input(
        gsf_input_memory_new(document.data(), static_cast<gsf_off_t>(document.size()), FALSE));
    if (!input)
        return nullptr;
    GError* rawError = nullptr;
    GObjectPtr<GsfInfile> infile(gsf_infile_msole_new(input.get(), &rawError));
    std::unique_ptr<GError, GErrorFree> error(rawError);
    return infile;
}

// Directory-entry names compare without regard to ASCII case; a leading control character (the
// "\x01" of "\x01Ole10Native") is not part of the name a caller asks for.
bool StreamNameMatches(const char* stored, std::string_view wanted) {
    if (!stored)
        return false;
    std::string_view name(stored);
    if (!name.empty() && static_cast<unsigned char>(name.front()) < 0x20)
        name.remove_prefix(1);
    return name.size() == wanted.size() &&
           std::equal(name.begin(), name.end(), wanted.begin(),
                      [](char a, char b) { return g_ascii_tolower(a) == g_ascii_tolower(b); });
}

bool IsStorage(GsfInput* input) {
    return GSF_IS_INFILE(input) && gsf_infile_num_children(GSF_INFILE(input)) >= 0;
}

// The stream called `wanted` directly inside `storage`.
GObjectPtr<GsfInput> FindStream(GsfInfile* storage, std::string_view wanted) {
    const int count = gsf_infile_num_children(storage);
    for (int i = 0; i < count; ++i) {
        if (!StreamNameMatches(gsf_infile_name_by_index(storage, i), wanted))
            continue;
        GObjectPtr<GsfInput> child(gsf_infile_child_by_index(storage, i));
        if (child && !IsStorage(child.get()))
            return child;
    }
    return nullptr;
}

// Reads a whole stream. A size larger than the document that holds it is damage, not data.
std::optional<std::vector<std::uint8_t>> ReadStream(GsfInput* stream, std::size_t documentSize) {
    const gsf_off_t size = gsf_input_size(stream);
    if (size <= 0 || static_cast<std::uint64_t>(size) > documentSize)
        return std::nullopt;
    std::vector<std::uint8_t> bytes(static_cast<std::size_t>(size));
    if (!gsf_input_read(stream, bytes.size(), bytes.data()))
        return std::nullopt;
    return bytes;
}

std::size_t CopyToFront(std::span<std::uint8_t> document, const std::vector<std::uint8_t>& bytes) {
    if (bytes.empty() || bytes.size() > document.size())
        return 0;
    std::copy(bytes.begin(), bytes.end(), document.begin());
    return bytes.size();
}

enum class StreamSearch { RootOnly, RootThenChildStorages };

// Finds the named stream and writes its bytes over the front of the document.
std::size_t CopyStreamToFront(std::span<std::uint8_t> document, std::string_view streamName,
                              StreamSearch search) {
    try {
        StartLibGsf();
        QuietDefaultLogDomain quiet;
        auto root = OpenDocument(document);
        if (!root)
            return 0;
        auto stream = FindStream(root.get(), streamName);
        const int count =
            search == StreamSearch::RootThenChildStorages ? gsf_infile_num_children(root.get()) : 0;
        for (int i = 0; !stream && i < count; ++i) {
            GObjectPtr<GsfInput> child(gsf_infile_child_by_index(root.get(), i));
            if (child && IsStorage(child.get()))
                stream = FindStream(GSF_INFILE(child.get()), streamName);
        }
        if (!stream)
            return 0;
        auto bytes = ReadStream(stream.get(), document.size());
        // The reader still maps the document: let go of it before its bytes are overwritten.
        stream.reset();
        root.reset();
        return bytes ? CopyToFront(document, *bytes) : 0;
    } catch (...) {
        return 0;
    }
}

}  // namespace

std::size_t GetContentsStream(std::span<std::uint8_t> document, std::string_view streamName) {
    return CopyStreamToFront(document, streamName, StreamSearch::RootOnly);
}

std::size_t GetContentsStreamChild(std::span<std::uint8_t> document, std::string_view streamName) {
    return CopyStreamToFront(document, streamName, StreamSearch::RootThenChildStorages);
}

std::size_t ExtractOfficeDocument(std::span<std::uint8_t> document, std::string_view streamName) {
    try {
        StartLibGsf();
        QuietDefaultLogDomain quiet;
        auto root = OpenDocument(document);
        if (!root || !FindStream(root.get(), streamName))
            return 0;
        root.reset();
        // The document already starts at the front of the buffer; only its length is decided.
        return CompoundDocumentExtent(document);
    } catch (...) {
        return 0;
    }
}

}  // namespace pictrova::ole
