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

std::size_t LongValueReader::Read(std::span<std::uint8_t> out) {
    std::size_t written = 0;
    while (written < out.size() && served_ < declared_) {
        if (pieceOffset_ == pieceBytes_) {
            if (!NextPiece())
                Damaged("its pages hold " + std::to_string(served_) + " of the " +
                        std::to_string(declared_) + " bytes it declares");
            continue;
        }
        std::size_t take = std::min({out.size() - written, pieceBytes_ - pieceOffset_,
                                     static_cast<std::size_t>(declared_ - served_)});
        std::memcpy(out.data() + written, pieceBuffer_.data() + pieceOffset_, take);
        written += take;
        pieceOffset_ += take;
        served_ += take;
    }
    return written;
}

bool LongValueReader::NextPiece() {
    std::size_t got = 0;
    std::vector<std::string> unattributed;
    LibmdbCapture capture(recordMessages_ ? *recordMessages_ : unattributed,
                          recordMessages_ ? LibmdbCapture::MessageSink::Hold : LibmdbCapture::MessageSink::Pass);
    if (!started_) {
        started_ = true;
        if (storage_ != Storage::Inline) {
            ByteReader reader(libmdbHeader_);
            reader.skip(4);
            std::uint32_t first = reader.u32le();
            CheckRowInFile(first);
            cycleMark_ = first;
        }
        got = mdb_ole_read(mdb_, column_, libmdbHeader_.data(), pieceBuffer_.size());
    } else {
        if (storage_ != Storage::Chain) return false;
        std::uint32_t next = column_->cur_blob_pg_row;
        if (next == 0) return false;
        CheckRowInFile(next);
        CheckNotRevisited(next);
        got = mdb_ole_read_next(mdb_, column_, libmdbHeader_.data());
    }
    if (got > pieceBuffer_.size()) Damaged("a piece is larger than a page");
    pieceBytes_ = got;
    pieceOffset_ = 0;
    return got > 0;
}

void LongValueReader::CheckRowInFile(std::uint32_t pageRow) const {
    std::uint64_t page = pageRow >> 8;
    auto pageSize = static_cast<std::uint64_t>(mdb_->fmt->pg_size);
    if (page == 0 || page >= (imageBytes_ + pageSize - 1) / pageSize)
        Damaged("it refers to page " + std::to_string(page) + ", outside the file");
}

void LongValueReader::CheckNotRevisited(std::uint32_t pageRow) {
    if (pageRow == cycleMark_) Damaged("its chain of pages loops");
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
