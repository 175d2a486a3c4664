// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// What an open recordset holds: its own libmdb handle (one table scan per handle), the table
// definition, and per field the buffer libmdb binds the current value into.

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "database/attachment_table.h"
#include "database/long_value_reader.h"
#include "database/mdb_handles.h"

namespace pictrova::database {

struct FieldState {
    std::string name;
    std::string foldedName;
    MdbColumn* column = nullptr;
    int adoType = 0;
    bool bound = false;
    std::vector<std::uint8_t> buffer;
    int boundLength = 0;  // written by libmdb at every fetch; 0 means Null

    // Taken at fetch, before any read overwrites the buffer.
    std::array<std::uint8_t, kLongValueHeaderBytes> longValueHeader{};
    std::vector<std::uint8_t> binaryValue;

    // Where GetChunk continues within the current record's value.
    std::optional<LongValueReader> chunkReader;
    std::uint64_t chunkOffset = 0;

    // Attachment fields: where their files are, and the hidden table once it is first read.
    std::optional<AttachmentColumn> attachment;
    std::unique_ptr<AttachmentTable> attachmentTable;
};

struct RecordsetState {
    std::shared_ptr<const void> image;
    MdbHandlePtr handle;
    std::uint64_t imageBytes = 0;
    std::vector<FieldState> fields;  // never resized after open: libmdb holds their addresses
    MdbTableDefPtr table;
    std::string tableName;
    // The scan's bound (table_scan.h) and what libmdb printed during this recordset's calls.
    std::uint64_t rowsFetched = 0;
    std::uint64_t rowLimit = 0;
    std::vector<std::string> libmdbMessages;
    // What libmdb printed while the current record was fetched and its long values read, since
    // the caller last took them (Recordset::TakeLibraryMessages).
    std::vector<std::string> recordMessages;
    bool open = false;
    bool eof = true;
    bool bof = true;

    // The next row into the bound buffers; false at the end of the table. Throws the
    // damaged-table error when the scan passes its bound.
    bool Fetch();
    // Starts the scan again from the first row.
    void Rewind();
    void CheckCurrentRecord() const;
};

}  // namespace pictrova::database
