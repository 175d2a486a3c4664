// SPDX-License-Identifier: GPL-3.0-or-later
#include "run/field_reading.h"

#include <cerrno>
#include <fstream>
#include <system_error>
#include <vector>

#include "common/error.h"
#include "common/error_report.h"
#include "database/recordset.h"
#include "run/external_converter.h"

namespace pictrova::run {

namespace {

// A failed write leaves the system's reason in `writeError` (the stream keeps no other).
void WriteChunk(std::ofstream& out, const std::vector<std::uint8_t>& chunk, std::int64_t& written,
                int& writeError) {
    errno = 0;
    out.write(reinterpret_cast<const char*>(chunk.data()),
              static_cast<std::streamsize>(chunk.size()));
    if (!out) {
        writeError = errno;
        throw Error("Cannot write the work file.");
    }
    written += static_cast<std::int64_t>(chunk.size());
}

}  // namespace

std::optional<std::int64_t> FieldToFile(database::Field& field, const std::filesystem::path& path,
                                        Host& host, std::string* failure, int* writeError) {
    std::error_code ec;
    int writeErrorNumber = 0;
    if (std::filesystem::exists(path, ec))
        KillFile(host, path);
    try {
        // Truncating as well: a stale file that could not be deleted must not show through.
        std::ofstream out(path, std::ios::binary | std::ios::trunc);
        if (!out)
            throw Error("Cannot create the work file " + path.string() + ".");
        const std::int64_t size = field.ActualSize();
        const std::int64_t fullChunks = size / kChunkSize;
        const std::int64_t rest = size % kChunkSize;
        std::int64_t written = 0;
        WriteChunk(out, field.GetChunk(rest), written, writeErrorNumber);
        for (std::int64_t i = 0; i < fullChunks; ++i)
            WriteChunk(out, field.GetChunk(kChunkSize), written, writeErrorNumber);
        errno = 0;
        out.close();
        if (!out) {
            writeErrorNumber = errno;
            throw Error("Cannot write the work file.");
        }
        return written;
    } catch (...) {
        if (failure)
            *failure = DescribeCurrentException();
        if (writeError)
            *writeError = writeErrorNumber;
        std::filesystem::remove(path, ec);
        return std::nullopt;
    }
}

std::int64_t FileSize2(const std::filesystem::path& path) {
    std::error_code ec;
    auto size = std::filesystem::file_size(path, ec);
    return ec ? 0 : static_cast<std::int64_t>(size);
}

}  // namespace pictrova::run
