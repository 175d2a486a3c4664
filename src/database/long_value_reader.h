// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Streams one long binary value (OLE Object) of the current row out of libmdb's page-sized
// pieces. The value's 12-byte header in the row says how it is stored:
//
//   0  4  length in the low 30 bits; top bits: 0x80000000 inline, 0x40000000 one row on a
//         long-value page, neither: a chain of long-value rows
//   4  4  page << 8 | row of the (first) long-value row; 0 when inline
//   8  4  unused
//   12    inline data
//
// A chain row starts with the page/row of the next one (0 ends the chain), then data.
//
// libmdb's reading is trusted only as far as it can be checked: the reader serves exactly the
// declared length (an inline slot or single row with more bytes is cut there), fails when the
// pieces end before it, when a piece lies outside the file, when the chain returns to a row
// it has visited, and when the storage flags are unknown. Chain values of 256 MB and more have
// length bits where libmdb looks for flags, so libmdb gets a copy of the header without them.

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "database/mdb_handles.h"

namespace pictrova::database {

inline constexpr std::size_t kLongValueHeaderBytes = 12;

// The length a long value's header declares, read without following the value.
std::uint64_t LongValueDeclaredSize(std::span<const std::uint8_t, kLongValueHeaderBytes> header);

class LongValueReader {
  public:
    // `column` is bound to `pieceBuffer` (at least one page), and the current row's value is
    // not Null; `header` is its 12-byte header as fetched, `slotBytes` the length of its slot
    // in the row. Fails on a slot too short to hold a header. What libmdb prints while the value
    // is read goes to `recordMessages` when given (held from the message sink), else to the sink.
    LongValueReader(MdbHandle* mdb, MdbColumn* column, std::span<std::uint8_t> pieceBuffer,
                    std::span<const std::uint8_t, kLongValueHeaderBytes> header, int slotBytes,
                    std::uint64_t imageBytes, std::string fieldName,
                    std::vector<std::string>* recordMessages = nullptr);

    std::uint64_t DeclaredSize() const { return declared_; }
    std::uint64_t Served() const { return served_; }

    // Copies the next bytes of the value into `out`; returns how many (0 at the end).
    std::size_t Read(std::span<std::uint8_t> out);

    // Appends up to `count` next bytes of the value to `out`; returns how many. Unlike Read
    // into a sized buffer, nothing is filled twice: a whole picture is copied once.
    std::size_t AppendTo(std::vector<std::uint8_t>& out, std::size_t count);

  private:
    enum class Storage { Inline, SingleRow, Chain };

    // Hands the next pieces of the value, up to `count` bytes, to `take(bytes)`.
    template <typename Take>
    std::size_t Serve(std::size_t count, Take take);
    bool NextPiece();
    std::span<const std::uint8_t> ReadChainRow(std::uint32_t pageRow);
    void KeepRestOfPiece();
    void CheckRowInFile(std::uint32_t pageRow) const;
    void CheckNotRevisited(std::uint32_t pageRow);
    [[noreturn]] void Damaged(const std::string& why) const;

    MdbHandle* mdb_;
    MdbColumn* column_;
    std::span<std::uint8_t> pieceBuffer_;
    std::array<std::uint8_t, kLongValueHeaderBytes> libmdbHeader_{};
    Storage storage_ = Storage::Inline;
    std::uint64_t declared_ = 0;
    std::uint64_t served_ = 0;
    std::uint64_t imageBytes_;
    std::string fieldName_;
    std::vector<std::string>* recordMessages_;
    bool started_ = false;
    std::span<const std::uint8_t>
        piece_;  // in pieceBuffer_, or a chain row in libmdb's page buffer
    std::size_t pieceOffset_ = 0;
    // Brent's cycle detection over the chain's page/row references: constant memory whatever
    // the chain's length.
    std::uint32_t cycleMark_ = 0;
    std::uint64_t cyclePower_ = 1;
    std::uint64_t cycleLength_ = 0;
};

}  // namespace pictrova::database
