// SPDX-License-Identifier: GPL-3.0-or-later
#include "database/page_stream.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <vector>

#include "common/limits.h"

namespace pictrova::database {
namespace {

struct PageSource {
    int fd = -1;
    off64_t size = 0;  // the file's size when it was opened: the end libmdb checks against
    off64_t position = 0;
    std::vector<char> buffer;  // the stream's buffer: one page
    std::vector<char> ahead = std::vector<char>(kPageReadAheadBytes);
    off64_t aheadStart = 0;
    std::size_t aheadBytes = 0;
    off64_t lastEnd = -1;  // where the last read ended
};

// Reads `count` bytes at `at` from the file itself; returns how many (fewer at the end of the
// file), or -1 when nothing could be read.
ssize_t ReadFromFile(int fd, char* buffer, size_t count, off64_t at) {
    size_t done = 0;
    while (done < count) {
        const ssize_t got =
            ::pread(fd, buffer + done, count - done, at + static_cast<off64_t>(done));
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0)
            return done > 0 ? static_cast<ssize_t>(done) : -1;
        if (got == 0)
            break;
        done += static_cast<size_t>(got);
    }
    return static_cast<ssize_t>(done);
}

bool InReadAhead(const PageSource& source, off64_t at, size_t count) {
    return at >= source.aheadStart && at - source.aheadStart + static_cast<off64_t>(count) <=
                                          static_cast<off64_t>(source.aheadBytes);
}

ssize_t ReadAt(void* cookie, char* buffer, size_t count) {
    auto* source = static_cast<PageSource*>(cookie);
    const off64_t at = source->position;
    ssize_t got = 0;
    if (!InReadAhead(*source, at, count) && at == source->lastEnd && count < kPageReadAheadBytes) {
        const ssize_t filled =
            ReadFromFile(source->fd, source->ahead.data(), kPageReadAheadBytes, at);
        source->aheadStart = at;
        source->aheadBytes = filled > 0 ? static_cast<std::size_t>(filled) : 0;
    }
    if (InReadAhead(*source, at, count)) {
        std::memcpy(buffer, source->ahead.data() + (at - source->aheadStart), count);
        got = static_cast<ssize_t>(count);
    } else {
        got = ReadFromFile(source->fd, buffer, count, at);
    }
    if (got > 0) {
        source->position += got;
        source->lastEnd = source->position;
    }
    return got;
}

int Seek(void* cookie, off64_t* offset, int whence) {
    auto* source = static_cast<PageSource*>(cookie);
    off64_t base = 0;
    switch (whence) {
        case SEEK_SET:
            base = 0;
            break;
        case SEEK_CUR:
            base = source->position;
            break;
        case SEEK_END:
            base = source->size;
            break;
        default:
            errno = EINVAL;
            return -1;
    }
    if ((*offset < 0 && base < -*offset) || (*offset > 0 && base > INT64_MAX - *offset)) {
        errno = EINVAL;
        return -1;
    }
    source->position = base + *offset;
    *offset = source->position;
    return 0;
}

int Close(void* cookie) {
    auto* source = static_cast<PageSource*>(cookie);
    const int result = ::close(source->fd);
    delete source;
    return result;
}

}  // namespace

void ReadPagesWithPread(MdbHandle* mdb, const std::string& path) {
    if (mdb == nullptr || mdb->f == nullptr)
        return;
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return;
    struct stat status {};
    if (::fstat(fd, &status) != 0 || !S_ISREG(status.st_mode)) {
        ::close(fd);
        return;
    }
    auto* source = new PageSource;
    source->fd = fd;
    source->size = status.st_size;
    source->buffer.resize(static_cast<std::size_t>(mdb->fmt->pg_size));
    FILE* stream = fopencookie(source, "r", cookie_io_functions_t{ReadAt, nullptr, Seek, Close});
    if (stream == nullptr) {
        Close(source);
        return;
    }
    // A buffer of one page: a read of a whole page goes straight into libmdb's page buffer (an
    // unbuffered stream would read it byte by byte).
    std::setvbuf(stream, source->buffer.data(), _IOFBF, source->buffer.size());
    std::fclose(mdb->f->stream);
    mdb->f->stream = stream;
}

}  // namespace pictrova::database
