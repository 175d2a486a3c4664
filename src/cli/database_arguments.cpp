// SPDX-License-Identifier: GPL-3.0-or-later
// The options every database command shares: libmdb's own messages on request.
#include <iostream>
#include <string>

#include "cli/commands.h"
#include "common/printable_text.h"
#include "database/library_messages.h"

namespace pictrova::cli {

void ShowLibraryMessages() {
    database::SetLibraryMessageSink(
        [](const std::string& line) { std::cerr << "libmdb: " << PrintableText(line) << std::endl; });
}

}  // namespace pictrova::cli
