// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// libmdb reads every page through its stdio stream: a seek to the end and a tell (to check that
// the page lies inside the file), a seek to the page, then the read. On the stream mdb_open
// makes that is four system calls per page (fstat, two lseeks, read), and long values are read
// page by page, so for pictures of a few megabytes those calls were most of the reading
// thread's time. The stream made here answers the seeks from the size the file had when it was
// opened and reads with pread, 64 KB at a time while the pages read follow each other.

#include <string>

#include "database/mdb_handles.h"

namespace pictrova::database {

// Makes `mdb` (and every clone of it, which share its file) read `path` through a page stream.
// Leaves libmdb's own stream in place when the file cannot be opened again: reading still
// works, only more slowly.
void ReadPagesWithPread(MdbHandle* mdb, const std::string& path);

}  // namespace pictrova::database
