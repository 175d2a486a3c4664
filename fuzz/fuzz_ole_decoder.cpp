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
    pictrova::ole::DecodeOleObject(std::vector<std::uint8_t>(data, data + size));
    return 0;
}
