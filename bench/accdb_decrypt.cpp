// SPDX-License-Identifier: GPL-3.0-or-later
// Opening Office-encrypted .accdb files: the time to open an Agile file (the password's key
// derivation dominates), and decryption throughput per encryption kind on one core.
//
//   bench_accdb_decrypt [megabytes]     (default 64)

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <vector>

#include "database/accdb/decrypt.h"
#include "jet_writer/accdb_encrypt.h"

using namespace pictrova;
using database::AccdbEncryption;
using database::HashAlgorithm;

namespace {

constexpr std::size_t kPage = 4096;
constexpr int kRounds = 5;

std::vector<std::uint8_t> PlainImage(std::size_t pages) {
    std::vector<std::uint8_t> image(pages * kPage);
    std::mt19937_64 random(1);
    for (std::size_t k = 0; k < image.size(); k += 8) {
        const auto v = random();
        std::memcpy(image.data() + k, &v, 8);
    }
    std::fill_n(image.begin(), kPage, 0);
    const char engine[] = "Standard ACE DB";
    std::memcpy(image.data() + 4, engine, sizeof engine);
    image[database::kVersionOffset] = 3;
    database::ApplyHeaderMask(std::span(image).first(kPage));
    return image;
}

template <typename F>
double BestSeconds(F&& run) {
    double best = 1e30;
    for (int k = 0; k < kRounds; ++k) {
        const auto start = std::chrono::steady_clock::now();
        run();
        best = std::min(
            best, std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
    }
    return best;
}

struct Kind {
    const char* name;
    jet::AccdbEncryptionSettings settings;
};

jet::AccdbEncryptionSettings Settings(AccdbEncryption kind, std::uint32_t bits,
                                      HashAlgorithm hash = HashAlgorithm::Sha512) {
    jet::AccdbEncryptionSettings s;
    s.kind = kind;
    s.keyBits = bits;
    s.agileHash = hash;
    return s;
}

}  // namespace

int main(int argc, char** argv) {
    const std::size_t megabytes = argc > 1 ? std::strtoul(argv[1], nullptr, 10) : 64;
    const std::size_t pages = std::max<std::size_t>(2, megabytes * (1 << 20) / kPage);
    const Kind kinds[] = {
        {"RC4 CryptoAPI 40-bit", Settings(AccdbEncryption::Rc4CryptoApi, 40)},
        {"RC4 CryptoAPI 128-bit", Settings(AccdbEncryption::Rc4CryptoApi, 128)},
        {"CryptoAPI AES-256 (no rounds)", Settings(AccdbEncryption::CryptoApiAes, 256)},
        {"standard AES-128", Settings(AccdbEncryption::StandardAes, 128)},
        {"Agile SHA-1 AES-128", Settings(AccdbEncryption::Agile, 128, HashAlgorithm::Sha1)},
        {"Agile SHA-512 AES-256", Settings(AccdbEncryption::Agile, 256, HashAlgorithm::Sha512)},
    };

    std::printf(
        "Opening a small encrypted file (3 pages): password check and key derivation, best of "
        "%d\n\n",
        kRounds);
    std::printf("| %-30s | %10s |\n|%s|%s|\n", "kind", "open (ms)", std::string(32, '-').c_str(),
                std::string(12, '-').c_str());
    const auto small = PlainImage(3);
    for (const auto& kind : kinds) {
        const auto encrypted = jet::EncryptAccdbImage(small, kind.settings, "password");
        const double s = BestSeconds([&] { database::DecryptAccdbImage(encrypted, "password"); });
        std::printf("| %-30s | %10.2f |\n", kind.name, s * 1e3);
    }

    const double mib = static_cast<double>((pages - 1) * kPage) / (1 << 20);
    std::printf("\nDecrypting %zu pages (%.0f MiB), one core, best of %d\n\n", pages - 1, mib,
                kRounds);
    std::printf("| %-30s | %14s | %18s |\n|%s|%s|%s|\n", "kind", "pages (MiB/s)",
                "whole open (MiB/s)", std::string(32, '-').c_str(), std::string(16, '-').c_str(),
                std::string(20, '-').c_str());
    const auto plain = PlainImage(pages);
    for (const auto& kind : kinds) {
        const auto encrypted = jet::EncryptAccdbImage(plain, kind.settings, "password");
        const auto header = database::ReadHeaderPage(encrypted);
        const auto description = database::ParseEncryptionDescription(header.description);
        const auto cipher = database::UnlockPageCipher(description, header.databaseKey, "password");
        std::vector<std::uint8_t> work(encrypted);
        const double pagesOnly = BestSeconds([&] {
            std::memcpy(work.data(), encrypted.data(), work.size());
            for (std::size_t p = 1; p < pages; ++p)
                cipher->Transform(static_cast<std::uint32_t>(p),
                                  std::span(work).subspan(p * kPage, kPage));
        });
        if (!std::equal(work.begin() + kPage, work.end(), plain.begin() + kPage)) {
            std::fprintf(stderr, "%s: decryption does not give the plain pages back\n", kind.name);
            return 1;
        }
        const double whole =
            BestSeconds([&] { database::DecryptAccdbImage(encrypted, "password"); });
        std::printf("| %-30s | %14.0f | %18.0f |\n", kind.name, mib / pagesOnly, mib / whole);
    }
    std::printf(
        "\n(\"pages\" includes copying the pages into place; \"whole open\" adds the password "
        "check and the allocation.)\n");
    return 0;
}
