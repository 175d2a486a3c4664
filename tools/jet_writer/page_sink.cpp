// SPDX-License-Identifier: GPL-3.0-or-later
#include "jet_writer/page_sink.h"

#include <fcntl.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstring>
#include <string>

#include "common/error.h"
#include "database/accdb/rc4.h"

namespace pictrova::jet {

void PageSink::Write(std::uint32_t pageNumber, std::span<const std::uint8_t, kPageSize> page) {
    if (encodingKey_ == 0 || pageNumber == 0) {
        Store(pageNumber, page.data());
        return;
    }
    // Encoded database: page N is RC4 with the key (database key XOR N), little-endian.
    std::array<std::uint8_t, kPageSize> encoded;
    std::memcpy(encoded.data(), page.data(), kPageSize);
    std::array<std::uint8_t, 4> key;
    Put32(key.data(), encodingKey_ ^ pageNumber);
    database::Rc4(key).Apply(encoded);
    Store(pageNumber, encoded.data());
}

namespace {

std::string SystemError(const char* what, const std::filesystem::path& path) {
    return std::string(what) + " " + path.string() + ": " + std::strerror(errno);
}

// Collects consecutive pages and writes them with one call; pages out of sequence flush first.
class FileSink final : public PageSink {
  public:
    FileSink(const std::filesystem::path& path, std::uint32_t encodingKey)
        : PageSink(encodingKey), path_(path) {
        fd_ = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
        if (fd_ < 0)
            throw Error(SystemError("cannot create", path));
        buffer_.reserve(kBufferPages * kPageSize);
    }
    ~FileSink() override {
        if (fd_ >= 0)
            ::close(fd_);
    }

    void Close(std::uint32_t pageCount) override {
        Flush();
        if (::ftruncate(fd_, static_cast<off_t>(pageCount) * kPageSize) != 0 || ::close(fd_) != 0) {
            fd_ = -1;
            throw Error(SystemError("cannot write", path_));
        }
        fd_ = -1;
    }

  protected:
    void Store(std::uint32_t pageNumber, const std::uint8_t* page) override {
        std::size_t buffered = buffer_.size() / kPageSize;
        if (buffered != 0 && (pageNumber != firstPage_ + buffered || buffered == kBufferPages)) {
            Flush();
            buffered = 0;
        }
        if (buffered == 0)
            firstPage_ = pageNumber;
        buffer_.insert(buffer_.end(), page, page + kPageSize);
    }

  private:
    static constexpr std::size_t kBufferPages = 256;  // 1 MiB per write

    void Flush() {
        const std::uint8_t* p = buffer_.data();
        std::size_t left = buffer_.size();
        off_t offset = static_cast<off_t>(firstPage_) * kPageSize;
        while (left > 0) {
            ssize_t n = ::pwrite(fd_, p, left, offset);
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0)
                throw Error(SystemError("cannot write", path_));
            p += n;
            left -= static_cast<std::size_t>(n);
            offset += n;
        }
        buffer_.clear();
    }

    std::filesystem::path path_;
    int fd_ = -1;
    std::uint32_t firstPage_ = 0;
    std::vector<std::uint8_t> buffer_;
};

class MemorySink final : public PageSink {
  public:
    MemorySink(std::vector<std::uint8_t>& target, std::uint32_t encodingKey)
        : PageSink(encodingKey), target_(target) {
        target_.clear();
    }
    void Close(std::uint32_t pageCount) override {
        target_.resize(std::size_t{pageCount} * kPageSize);
    }

  protected:
    void Store(std::uint32_t pageNumber, const std::uint8_t* page) override {
        std::size_t end = (std::size_t{pageNumber} + 1) * kPageSize;
        if (target_.size() < end)
            target_.resize(end);
        std::memcpy(target_.data() + end - kPageSize, page, kPageSize);
    }

  private:
    std::vector<std::uint8_t>& target_;
};

}  // namespace

std::unique_ptr<PageSink> OpenFileSink(const std::filesystem::path& path,
                                       std::uint32_t encodingKey) {
    return std::make_unique<FileSink>(path, encodingKey);
}

std::unique_ptr<PageSink> OpenMemorySink(std::vector<std::uint8_t>& target,
                                         std::uint32_t encodingKey) {
    return std::make_unique<MemorySink>(target, encodingKey);
}

}  // namespace pictrova::jet
