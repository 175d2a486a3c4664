// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Lets the builders' sample objects serve as test parameters with readable names.

#include <cctype>
#include <ostream>
#include <string>

#include "ole_builder/sample_objects.h"

namespace pictrova::fixtures {

inline void PrintTo(const SampleObject& sample, std::ostream* os) {
    *os << sample.name;
}

inline std::string SampleTestName(const SampleObject& sample) {
    std::string name = sample.name;
    for (char& c : name)
        if (!std::isalnum(static_cast<unsigned char>(c)))
            c = '_';
    return name;
}

}  // namespace pictrova::fixtures

#define PICTROVA_SAMPLE_NAME \
    [](const auto& info) { return ::pictrova::fixtures::SampleTestName(info.param); }
