// SPDX-License-Identifier: GPL-3.0-or-later
// The options every database command shares: the password from standard input, and libmdb's own
// messages on request.
#include <iostream>
#include <string>

#include "cli/commands.h"
#include "common/printable_text.h"
#include "database/library_messages.h"

namespace pictrova::cli {

std::string ReadPasswordFromStandardInput() {
    std::string password;
    std::getline(std::cin, password);
    if (!password.empty() && password.back() == '\r')
        password.pop_back();
    return password;
}

void ShowLibraryMessages() {
    database::SetLibraryMessageSink([](const std::string& line) {
        std::cerr << "libmdb: " << PrintableText(line) << std::endl;
    });
}

}  // namespace pictrova::cli
