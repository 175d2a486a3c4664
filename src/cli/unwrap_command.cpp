// SPDX-License-Identifier: GPL-3.0-or-later
#include <filesystem>
#include <fstream>
#include <iostream>
#include <iterator>

#include "cli/cli_host.h"
#include "cli/commands.h"
#include "cli/database_arguments.h"
#include "common/error.h"
#include "common/file_io.h"
#include "common/printable_text.h"
#include "imaging/image_engine.h"
#include "ole/ole_object_decoder.h"

namespace pictrova::cli {

namespace {

std::vector<std::uint8_t> ReadWholeFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in)
        throw Error("Cannot open " + path.string() + ".");
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

}  // namespace

int UnwrapCommand(const std::string& fieldFile, const std::optional<std::string>& output) {
    try {
        std::error_code ec;
        if (!std::filesystem::is_regular_file(fieldFile, ec)) {
            FailCheck("no field value file at " + fieldFile);
            return kExitUsage;
        }
        imaging::StartImageEngine();
        std::vector<std::uint8_t> bytes = ReadWholeFile(fieldFile);
        const ole::DecodeResult decoded = ole::DecodeOleObject(std::move(bytes));
        if (!decoded.ok()) {
            FailCheck(decoded.reason.empty()
                          ? std::string("The value holds no object that can be extracted.")
                          : decoded.reason.description);
            return kExitNoImages;
        }
        const std::string extension(ole::KindExtension(decoded.kind));
        std::filesystem::path target =
            output ? std::filesystem::path(*output)
                   : std::filesystem::path(fieldFile).replace_extension(extension);
        WriteFileAtomically(decoded.payload, target);
        std::cout << PrintableText(extension) << std::endl;
        if (decoded.source == ole::PayloadSource::StoredPreview)
            std::cerr
                << "The object's own data gave no file: the preview stored with it was written."
                << std::endl;
        // A package's name, on a line of its own even when it is empty.
        if (decoded.kind == ole::ObjectKind::Package)
            std::cout << PrintableText(decoded.packageName) << std::endl;
        return 0;
    } catch (const std::exception& e) {
        FailCheck(e.what());
        return kExitNoImages;
    }
}

}  // namespace pictrova::cli
