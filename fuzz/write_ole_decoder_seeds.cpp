// SPDX-License-Identifier: GPL-3.0-or-later
// Writes one seed file per builder sample object (every dispatch row) into the folder given,
// the starting corpus of the OLE decoder fuzz target.
#include <cstdio>
#include <filesystem>
#include <fstream>

#include "ole_builder/sample_objects.h"

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: write_ole_decoder_seeds FOLDER\n");
        return 2;
    }
    const std::filesystem::path folder = argv[1];
    std::filesystem::create_directories(folder);
    for (const auto& sample : pictrova::fixtures::AllSampleObjects()) {
        std::ofstream(folder / (sample.name + ".ole"), std::ios::binary)
            .write(reinterpret_cast<const char*>(sample.field.data()), static_cast<std::streamsize>(sample.field.size()));
    }
    return 0;
}
