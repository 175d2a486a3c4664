// SPDX-License-Identifier: GPL-3.0-or-later
#include "imaging/picture_files.h"

#include <cstring>
#include <fstream>
#include <string_view>

#include "common/byte_reader.h"
#include "imaging/engine_io.h"

namespace pictrova::imaging {
namespace {

constexpr std::size_t kPictureTextOffset = 20;
constexpr std::string_view kPictureText = "Picture";
constexpr std::size_t kDibTextOffset = 41;
constexpr std::string_view kDibText = "DIB";
constexpr std::size_t kWrappedBitsOffset = 45;

bool TextAt(std::span<const std::uint8_t> bytes, std::size_t offset, std::string_view text) {
    if (offset > bytes.size() || text.size() > bytes.size() - offset)
        return false;
    return std::memcmp(bytes.data() + offset, text.data(), text.size()) == 0;
}

}  // namespace

bool RepairPictureBytes(std::vector<std::uint8_t>& bytes) {
    if (!TextAt(bytes, kPictureTextOffset, kPictureText) ||
        !TextAt(bytes, kDibTextOffset, kDibText))
        return false;
    std::vector<std::uint8_t> repaired{'B', 'M'};
    if (bytes.size() > kWrappedBitsOffset)
        repaired.insert(repaired.end(), bytes.begin() + kWrappedBitsOffset, bytes.end());
    bytes = std::move(repaired);
    return true;
}

bool LoadPictureBytes(PictureHolder& target, std::span<const std::uint8_t> bytes,
                      std::optional<PictureSize>* tooBig,
                      std::optional<RenderRefusal>* notRendered) {
    target.Clear();
    try {
        target.LoadFromMemory(bytes);
    } catch (const PictureTooBig& e) {
        if (tooBig)
            *tooBig = PictureSize{e.width(), e.height()};
    } catch (const MetafileNotRendered& e) {
        if (notRendered)
            *notRendered = e.refusal();
    } catch (...) {
    }
    return target.HasPicture();
}

void RepairPictureFile(const std::filesystem::path& path) {
    std::vector<std::uint8_t> bytes = ReadWholeFile(path);
    if (!RepairPictureBytes(bytes))
        return;
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    if (out)
        out.write(reinterpret_cast<const char*>(bytes.data()),
                  static_cast<std::streamsize>(bytes.size()));
    if (out)
        out.close();
    if (!out)
        throw Error("Cannot rewrite " + path.string() + ": " + std::strerror(errno));
}

bool LoadPictureFile(Host& host, PictureHolder& target, const std::filesystem::path& path,
                     std::string& message, bool showTooBig, bool& tooBig) {
    target.Clear();
    std::optional<PictureSize> over;
    try {
        if (LoadPictureBytes(target, ReadWholeFile(path), &over))
            return true;
    } catch (...) {
        // A file that cannot be read holds no picture.
    }
    message += "\r\n" + path.string();
    if (over) {
        if (showTooBig) {
            try {
                host.ShowMessage("Picture " + path.string() + " is too big.");
            } catch (...) {
            }
        }
        tooBig = true;
    }
    return false;
}

}  // namespace pictrova::imaging
