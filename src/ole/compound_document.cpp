// SPDX-License-Identifier: GPL-3.0-or-later
#include "ole/compound_document.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <mutex>
#include <optional>
#include <vector>

#include "common/error.h"
#include "ole/compound_directory.h"
#include "ole/gsf_library.h"

namespace pictrova::ole {

namespace {

struct GObjectUnref {
    void operator()(gpointer object) const {
        if (object)
            LoadedGsf().objectUnref(object);
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

// Called with the library loaded, before its first document.
void SilenceLibGsf() {
    static std::once_flag once;
    std::call_once(once, [] {
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
GObjectPtr<GsfInfile> OpenDocument(const GsfCalls& gsf, std::span<const std::uint8_t> document) {
    if (!DirectoryIsWalkable(document))
        return nullptr;
    GObjectPtr<GsfInput> input(
        gsf.inputMemoryNew(document.data(), static_cast<gsf_off_t>(document.size()), FALSE));
    if (!input)
        return nullptr;
    GError* rawError = nullptr;
    GObjectPtr<GsfInfile> infile(gsf.infileMsoleNew(input.get(), &rawError));
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

// A child that is a storage (an infile; GSF_IS_INFILE) with a readable list of children.
GsfInfile* AsStorage(const GsfCalls& gsf, GsfInput* input) {
    if (!gsf.instanceIsA(reinterpret_cast<GTypeInstance*>(input), gsf.infileGetType()))
        return nullptr;
    auto* storage = reinterpret_cast<GsfInfile*>(input);
    return gsf.infileNumChildren(storage) >= 0 ? storage : nullptr;
}

// The stream called `wanted` directly inside `storage`.
GObjectPtr<GsfInput> FindStream(const GsfCalls& gsf, GsfInfile* storage, std::string_view wanted) {
    const int count = gsf.infileNumChildren(storage);
    for (int i = 0; i < count; ++i) {
        if (!StreamNameMatches(gsf.infileNameByIndex(storage, i), wanted))
            continue;
        GObjectPtr<GsfInput> child(gsf.infileChildByIndex(storage, i));
        if (child && !AsStorage(gsf, child.get()))
            return child;
    }
    return nullptr;
}

// Reads a whole stream. A size larger than the document that holds it is damage, not data.
std::optional<std::vector<std::uint8_t>> ReadStream(const GsfCalls& gsf, GsfInput* stream,
                                                    std::size_t documentSize) {
    const gsf_off_t size = gsf.inputSize(stream);
    if (size <= 0 || static_cast<std::uint64_t>(size) > documentSize)
        return std::nullopt;
    std::vector<std::uint8_t> bytes(static_cast<std::size_t>(size));
    if (!gsf.inputRead(stream, bytes.size(), bytes.data()))
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
    // Outside the try: a library that cannot be loaded is the record's failure, with its reason.
    const GsfCalls& gsf = LoadedGsf();
    try {
        SilenceLibGsf();
        QuietDefaultLogDomain quiet;
        auto root = OpenDocument(gsf, document);
        if (!root)
            return 0;
        auto stream = FindStream(gsf, root.get(), streamName);
        const int count =
            search == StreamSearch::RootThenChildStorages ? gsf.infileNumChildren(root.get()) : 0;
        for (int i = 0; !stream && i < count; ++i) {
            GObjectPtr<GsfInput> child(gsf.infileChildByIndex(root.get(), i));
            if (GsfInfile* storage = child ? AsStorage(gsf, child.get()) : nullptr)
                stream = FindStream(gsf, storage, streamName);
        }
        if (!stream)
            return 0;
        auto bytes = ReadStream(gsf, stream.get(), document.size());
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
    const GsfCalls& gsf = LoadedGsf();
    try {
        SilenceLibGsf();
        QuietDefaultLogDomain quiet;
        auto root = OpenDocument(gsf, document);
        if (!root || !FindStream(gsf, root.get(), streamName))
            return 0;
        root.reset();
        // The document already starts at the front of the buffer; only its length is decided.
        return CompoundDocumentExtent(document);
    } catch (...) {
        return 0;
    }
}

}  // namespace pictrova::ole
