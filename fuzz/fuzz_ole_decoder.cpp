// SPDX-License-Identifier: GPL-3.0-or-later
// The whole decoder on one field value: header, class dispatch and every class branch,
// including the compound-document reads, the metafile rendering of static pictures and the
// stored preview a failing object falls back on.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "fuzz_limits.h"
#include "imaging/image_engine.h"
#include "ole/ole_object_decoder.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    pictrova::imaging::StartImageEngine(kFuzzEngineLimits);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::vector<std::uint8_t> bytes(data, data + size);
    std::string extension;
    std::string label;
    pictrova::ole::FailureReason reason;
    pictrova::ole::fGetContentsStream(bytes, extension, label, &reason);
    return 0;
}
