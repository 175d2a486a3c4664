// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "imaging/image_engine.h"

// Targets that reach the image engine start it with small limits: a 60-byte metafile may
// rightly declare a 50-megapixel picture, and rendering that under the sanitizers takes
// seconds per input. The refusal path is the one worth fuzzing; big pictures are the
// benchmarks' business.
inline constexpr pictrova::imaging::ImageEngineLimits kFuzzEngineLimits{.maxWidth = 4096,
                                                                        .maxHeight = 4096,
                                                                        .maxPixels = 4'000'000,
                                                                        .maxMemoryMiB = 256,
                                                                        .maxMapMiB = 256,
                                                                        .maxDiskGiB = 0};
