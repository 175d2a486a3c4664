// SPDX-License-Identifier: GPL-3.0-or-later
#include "database/long_value_reader.h"

#include <algorithm>
#include <cstring>

#include "common/byte_reader.h"
#include "common/error.h"
#include "database/libmdb_capture.h"

namespace pictrova::database {
namespace {

constexpr std::uint32_t kInlineFlag = 0x80000000;
constexpr std::uint32_t kSingleRowFlag = 0x40000000;
constexpr std::uint32_t kLengthMask = 0x3FFFFFFF;

}  // namespace

std::uint64_t LongValueDeclaredSize(std::span<const std::uint8_t, kLongValueHeaderBytes> header) {
    ByteReader reader(header);
    return reader.u32le() & kLengthMask;
}

LongValueReader::LongValueReader(MdbHandle* mdb, MdbColumn* column,
                                 std::span<std::uint8_t> pieceBuffer,
                                 std::span<const std::uint8_t, kLongValueHeaderBytes> header,
                                 int slotBytes, std::uint64_t imageBytes, std::string fieldName,
                                 std::vector<std::string>* recordMessages)
    : mdb_(mdb),
      column_(column),
      pieceBuffer_(pieceBuffer),
      imageBytes_(imageBytes),
      fieldName_(std::move(fieldName)),
      recordMessages_(recordMessages) {
    if (slotBytes < static_cast<int>(kLongValueHeaderBytes))
        Damaged("its header is cut short");
    ByteReader reader(header);
    std::uint32_t lengthAndFlags = reader.u32le();
    declared_ = lengthAndFlags & kLengthMask;
    std::copy(header.begin(), header.end(), libmdbHeader_.begin());
    if ((lengthAndFlags & kInlineFlag) && (lengthAndFlags & kSingleRowFlag)) {
        Damaged("its storage flags are unknown");
    } else if (lengthAndFlags & kInlineFlag) {
        storage_ = Storage::Inline;
    } else if (lengthAndFlags & kSingleRowFlag) {
        storage_ = Storage::SingleRow;
    } else {
        storage_ = Storage::Chain;
        std::fill_n(libmdbHeader_.begin(), 4, 0);
    }
}

template <typename Take>
std::size_t LongValueReader::Serve(std::size_t count, Take take) {
    // One capture for the whole call, not one per page: opening and closing it costs as much as
    // reading a page.
    std::vector<std::string> unattributed;
    LibmdbCapture capture(
        recordMessages_ ? *recordMessages_ : unattributed,
        recordMessages_ ? LibmdbCapture::MessageSink::Hold : LibmdbCapture::MessageSink::Pass);
    std::size_t written = 0;
    while (written < count && served_ < declared_) {
        if (pieceOffset_ == piece_.size()) {
            if (!NextPiece())
                Damaged("its pages hold " + std::to_string(served_) + " of the " +
                        std::to_string(declared_) + " bytes it declares");
            continue;
        }
        std::size_t part = std::min({count - written, piece_.size() - pieceOffset_,
                                     static_cast<std::size_t>(declared_ - served_)});
        take(piece_.subspan(pieceOffset_, part));
        written += part;
        pieceOffset_ += part;
        served_ += part;
    }
    KeepRestOfPiece();
    return written;
}

// A chain row is served straight from libmdb's page buffer, which the next libmdb call may
// overwrite: what the caller did not take yet moves to the reader's own buffer.
void LongValueReader::KeepRestOfPiece() {
    if (piece_.data() == pieceBuffer_.data() || pieceOffset_ == piece_.size())
        return;
    const std::span<const std::uint8_t> rest = piece_.subspan(pieceOffset_);
    std::memmove(pieceBuffer_.data(), rest.data(), rest.size());
    piece_ = std::span<const std::uint8_t>(pieceBuffer_.data(), rest.size());
    pieceOffset_ = 0;
}

std::size_t LongValueReader::Read(std::span<std::uint8_t> out) {
    std::size_t written = 0;
    return Serve(out.size(), [&](std::span<const std::uint8_t> part) {
        std::memcpy(out.data() + written, part.data(), part.size());
        written += part.size();
    });
}

std::size_t LongValueReader::AppendTo(std::vector<std::uint8_t>& out, std::size_t count) {
    return Serve(count, [&](std::span<const std::uint8_t> part) {
        out.insert(out.end(), part.begin(), part.end());
    });
}

bool LongValueReader::NextPiece() {
    piece_ = {};
    pieceOffset_ = 0;
    if (!started_) {
        started_ = true;
        if (storage_ != Storage::Inline) {
            ByteReader reader(libmdbHeader_);
            reader.skip(4);
            std::uint32_t first = reader.u32le();
            CheckRowInFile(first);
            cycleMark_ = first;
        }
        const std::size_t got =
            mdb_ole_read(mdb_, column_, libmdbHeader_.data(), pieceBuffer_.size());
        if (got > pieceBuffer_.size())
            Damaged("a piece is larger than a page");
        piece_ = std::span<const std::uint8_t>(pieceBuffer_.data(), got);
    } else {
        if (storage_ != Storage::Chain)
            return false;
        std::uint32_t next = column_->cur_blob_pg_row;
        if (next == 0)
            return false;
        CheckRowInFile(next);
        CheckNotRevisited(next);
        piece_ = ReadChainRow(next);
    }
    return !piece_.empty();
}

// What mdb_ole_read_next does for a chain row, without its two swaps of whole page buffers per
// row: the page is read into libmdb's second page buffer (which undoes the old page encoding),
// the row is found in the page's row table as libmdb finds it. Returns the row's data in that
// buffer; empty when the page or the row cannot be read.
std::span<const std::uint8_t> LongValueReader::ReadChainRow(std::uint32_t pageRow) {
    constexpr std::uint16_t kRowOffsetMask = 0x1FFF;  // the bits above flag deleted and moved rows
    const auto pageSize = static_cast<std::size_t>(mdb_->fmt->pg_size);
    if (mdb_read_alt_pg(mdb_, pageRow >> 8) != mdb_->fmt->pg_size)
        return {};
    ByteReader page(std::span<const std::uint8_t>(
        reinterpret_cast<const std::uint8_t*>(mdb_->alt_pg_buf), pageSize));
    const std::size_t row = pageRow & 0xFF;
    const std::size_t rowTable = mdb_->fmt->row_count_offset;
    std::size_t start = 0;
    std::size_t end = pageSize;
    try {
        page.seek(rowTable + 2 + row * 2);
        start = page.u16le() & kRowOffsetMask;
        if (row > 0) {
            page.seek(rowTable + row * 2);
            end = page.u16le() & kRowOffsetMask;
        }
    } catch (const FormatError&) {
        return {};
    }
    if (start >= pageSize || start > end || end - start < 4)
        return {};
    const std::size_t length = end - start - 4;
    if (length > pieceBuffer_.size())
        Damaged("a piece is larger than a page");
    page.seek(start);
    column_->cur_blob_pg_row = page.u32le();
    return page.bytes(length);
}

void LongValueReader::CheckRowInFile(std::uint32_t pageRow) const {
    std::uint64_t page = pageRow >> 8;
    auto pageSize = static_cast<std::uint64_t>(mdb_->fmt->pg_size);
    if (page == 0 || page >= (imageBytes_ + pageSize - 1) / pageSize)
        Damaged("it refers to page " + std::to_string(page) + ", outside the file");
}

void LongValueReader::CheckNotRevisited(std::uint32_t pageRow) {
    if (pageRow == cycleMark_)
        Damaged("its chain of pages loops");
    if (++cycleLength_ == cyclePower_) {
        cycleMark_ = pageRow;
        cyclePower_ *= 2;
        cycleLength_ = 0;
    }
}

void LongValueReader::Damaged(const std::string& why) const {
    throw Error("The value of field '" + fieldName_ + "' is damaged: " + why + ".");
}

}  // namespace pictrova::database
