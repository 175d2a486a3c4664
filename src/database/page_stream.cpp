// SPDX-License-Identifier: GPL-3.0-or-later
#include "database/page_stream.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <vector>

namespace pictrova::database {
namespace {

struct PageSource {
    int fd = -1;
    off64_t size = 0;      // the file's size when it was opened: the end libmdb checks against
    off64_t position = 0;
    std::vector<char> buffer;  // the stream's buffer: one page
};

ssize_t ReadAt(void* cookie, char* buffer, size_t count) {
    auto* source = static_cast<PageSource*>(cookie);
    size_t done = 0;
    while (done < count) {
        const ssize_t got = ::pread(source->fd, buffer + done, count - done, source->position);
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) return done > 0 ? static_cast<ssize_t>(done) : -1;
        if (got == 0) break;
        done += static_cast<size_t>(got);
        source->position += got;
    }
    return static_cast<ssize_t>(done);
}

int Seek(void* cookie, off64_t* offset, int whence) {
    auto* source = static_cast<PageSource*>(cookie);
    off64_t base = 0;
    switch (whence) {
        case SEEK_SET: base = 0; break;
        case SEEK_CUR: base = source->position; break;
        case SEEK_END: base = source->size; break;
        default: errno = EINVAL; return -1;
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
    if (mdb == nullptr || mdb->f == nullptr) return;
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return;
    struct stat status {};
    if (::fstat(fd, &status) != 0 || !S_ISREG(status.st_mode)) {
        ::close(fd);
        return;
    }
    auto* source = new PageSource{fd, status.st_size, 0, std::vector<char>(static_cast<std::size_t>(mdb->fmt->pg_size))};
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
