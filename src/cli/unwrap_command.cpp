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
        std::string extension;
        std::string label;
        ole::FailureReason reason;
        ole::DecodeNotes notes;
        if (!ole::fGetContentsStream(bytes, extension, label, &reason, &notes)) {
            FailCheck(reason.empty()
                          ? std::string("The value holds no object that can be extracted.")
                          : reason.description);
            return kExitNoImages;
        }
        std::filesystem::path target =
            output ? std::filesystem::path(*output)
                   : std::filesystem::path(fieldFile).replace_extension(extension);
        WriteFileAtomically(bytes, target);
        std::cout << PrintableText(extension) << std::endl;
        if (notes.storedPreviewUsed)
            std::cerr
                << "The object's own data gave no file: the preview stored with it was written."
                << std::endl;
        if (!label.empty()) {
            std::string shown = label;
            if (!shown.empty() && shown.back() == '\0')
                shown.pop_back();
            std::cout << PrintableText(shown) << std::endl;
        }
        return 0;
    } catch (const std::exception& e) {
        FailCheck(e.what());
        return kExitNoImages;
    }
}

}  // namespace pictrova::cli
