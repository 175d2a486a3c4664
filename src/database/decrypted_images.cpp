// SPDX-License-Identifier: GPL-3.0-or-later
#include "database/decrypted_images.h"

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <iostream>
#include <mutex>
#include <optional>
#include <vector>

#include "common/printable_text.h"
#include "database/file_identity.h"

namespace pictrova::database {
namespace {

struct KeptImage {
    std::string path;
    std::string password;
    FileIdentity identity;
    std::weak_ptr<const PlainImage> image;
};

std::mutex keptMutex;
std::vector<KeptImage> kept;
std::atomic<std::uint64_t> decrypted{0};

}  // namespace

std::shared_ptr<const PlainImage> SharedDecryptedImage(const std::string& path, int fd,
                                                       const std::string& password) {
    const std::optional<FileIdentity> identity = IdentityOfOpenFile(fd);
    {
        std::lock_guard lock(keptMutex);
        std::erase_if(kept, [](const KeptImage& k) { return k.image.expired(); });
        for (const KeptImage& k : kept)
            if (identity && k.identity == *identity && k.path == path && k.password == password)
                if (auto image = k.image.lock())
                    return image;
    }
    // Decrypted outside the lock: another file's open need not wait for this one.
    auto image = std::make_shared<const PlainImage>(DecryptAccdbImage(fd, password));
    ++decrypted;
    TraceOpen("decrypted", path);
    if (identity) {
        std::lock_guard lock(keptMutex);
        kept.push_back({path, password, *identity, image});
    }
    return image;
}

std::uint64_t DecryptedImageCount() {
    return decrypted.load();
}

void TraceOpen(const char* what, const std::string& path) {
    static const bool traced = std::getenv("PICTROVA_TRACE_OPENS") != nullptr;
    if (traced)
        std::cerr << "pictrova: database " << what << ": " << PrintableText(path) << std::endl;
}

}  // namespace pictrova::database
