// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// What libmdb prints. libmdb reports problems with fprintf(stderr) and offers no hook, so the
// data layer captures them while libmdb runs: they never reach the terminal raw. A failure the
// layer reports carries a one-line summary of them; a front end that wants every line (the
// command line's --verbose) installs a sink. What libmdb says while a record is read does not go
// to the sink: it comes with that record (Recordset::TakeLibraryMessages), to be shown in record
// order.

#include <functional>
#include <string>

namespace pictrova::database {

// Receives each captured line, as libmdb wrote it, from the thread that called libmdb. An empty
// function drops them (the default).
void SetLibraryMessageSink(std::function<void(const std::string&)> sink);

}  // namespace pictrova::database
