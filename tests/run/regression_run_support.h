// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// A small run for the run's regression tests: three paint pictures, PNG output, a converter
// program chosen by the test (a script that wraps the real one, say).

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <string>

#include "database/connection_string.h"
#include "imaging/image_engine.h"
#include "imaging/picture_holder.h"
#include "ole_builder/ole_fields.h"
#include "ole_builder/pictures.h"
#include "picture_database.h"
#include "recording_host.h"
#include "run/extraction_run.h"
#include "test_paths.h"

namespace pictrova::run::regression {

namespace fs = std::filesystem;

struct SmallRun {
    SmallRun() {
        imaging::StartImageEngine();
        fs::create_directories(out);
        fs::create_directories(work);
        std::vector<testing::PictureRow> rows;
        for (int i = 0; i < 3; ++i)
            rows.push_back(
                {fixtures::BuildPaintPicture(fixtures::MakeBmpFile(20 + i, 10)), std::nullopt});
        testing::WritePictureDatabase(db, rows);
    }

    // A converter script: `onSecondCall` (shell commands, $out the output path) runs when it
    // converts the second record's picture (the input's name ends in "-2.bmp"; the calls of a
    // run with several workers come in any order); every call then runs the real converter
    // unless those commands exit.
    void UseConverterScript(const std::string& onSecondCall) {
        const fs::path real = converter;
        converter = dir / "converter";
        std::ofstream(converter)
            << "#!/bin/sh\n"
            << "prev=; for a in \"$@\"; do [ \"$prev\" = -o ] && out=$a; prev=$a; done\n"
            << "case \"$*\" in *-2.bmp) " << onSecondCall << "\n;; esac\n"
            << "exec '" << real.string() << "' \"$@\"\n";
        fs::permissions(converter, fs::perms::owner_all);
    }

    RunResult Run() {
        ExtractionChoices choices;
        choices.table = "Pictures";
        choices.pictureField = "Picture";
        choices.outputFolder = out.string();
        choices.format = OutputFormat::PNG;
        FixedExtractionOptions options(choices);
        database::FixedDatabaseSelection selection(db.string(), "");
        RunSurroundings surroundings{.host = host,
                                     .database = selection,
                                     .creator = creator,
                                     .progress = {},
                                     .converter = converter,
                                     .workRoot = work};
        return RunExtraction(options, surroundings);
    }

    std::vector<std::string> OutputNames() const {
        std::vector<std::string> names;
        for (const auto& e : fs::directory_iterator(out))
            names.push_back(e.path().filename().string());
        std::sort(names.begin(), names.end());
        return names;
    }

    pictrova::testing::TempDir dir;
    fs::path db = dir / "pictures.mdb";
    fs::path out = dir / "out";
    fs::path work = dir / "work";
    fs::path converter = pictrova::testing::BinDir() / "pictrova-convert";
    pictrova::testing::RecordingHost host;
    imaging::PictureHolder creator;
};

}  // namespace pictrova::run::regression
