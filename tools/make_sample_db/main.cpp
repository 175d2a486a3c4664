// SPDX-License-Identifier: GPL-3.0-or-later
// make-sample-db OUTPUT: writes the sample database the program ships, the .mdb or, for an
// OUTPUT ending in .accdb, its Access 2007 twin. Run by the build.

#include <cstdio>
#include <exception>
#include <filesystem>

#include "jet_writer/jet_writer.h"
#include "sample_database.h"

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: make-sample-db OUTPUT.mdb|OUTPUT.accdb\n");
        return 2;
    }
    try {
        std::filesystem::path output = argv[1];
        if (output.has_parent_path())
            std::filesystem::create_directories(output.parent_path());
        // Written under another name and renamed, so a failed run never leaves a file that the
        // build takes for finished.
        std::filesystem::path partial = output;
        partial += ".partial";
        bool accdb = output.extension() == ".accdb";
        pictrova::jet::WriteDatabase(
            partial, accdb ? pictrova::sample::SampleAccdb() : pictrova::sample::SampleDatabase());
        std::filesystem::rename(partial, output);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "make-sample-db: %s\n", e.what());
        return 1;
    }
    return 0;
}
