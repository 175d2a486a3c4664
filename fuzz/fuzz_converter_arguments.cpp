// SPDX-License-Identifier: GPL-3.0-or-later
// The converter's argument grammar. Input bytes are split at zero bytes into the argument
// vector, so one argument without a zero is the whole-line form.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "converter/converter.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::vector<std::string> args(1);
    for (std::size_t i = 0; i < size; ++i) {
        if (data[i] == 0) {
            args.emplace_back();
        } else {
            args.back().push_back(static_cast<char>(data[i]));
        }
    }
    try {
        pictrova::converter::ParseConverterArguments(args);
    } catch (const pictrova::Error&) {
    }
    return 0;
}
