// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Where finished pages go: a file (written with few large writes) or a byte vector. Pages
// arrive in any order; the sink applies the page encoding of an encoded database.

#include <cstdint>
#include <filesystem>
#include <memory>
#include <span>
#include <vector>

#include "jet_writer/page_format.h"

namespace pictrova::jet {

class PageSink {
  public:
    explicit PageSink(std::uint32_t encodingKey) : encodingKey_(encodingKey) {}
    virtual ~PageSink() = default;

    void Write(std::uint32_t pageNumber, std::span<const std::uint8_t, kPageSize> page);
    // Called once all pages are written; the file then holds exactly pageCount pages.
    virtual void Close(std::uint32_t pageCount) = 0;

  protected:
    virtual void Store(std::uint32_t pageNumber, const std::uint8_t* page) = 0;

  private:
    std::uint32_t encodingKey_;
};

std::unique_ptr<PageSink> OpenFileSink(const std::filesystem::path& path,
                                       std::uint32_t encodingKey);
std::unique_ptr<PageSink> OpenMemorySink(std::vector<std::uint8_t>& target,
                                         std::uint32_t encodingKey);

}  // namespace pictrova::jet
