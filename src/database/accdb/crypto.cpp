// SPDX-License-Identifier: GPL-3.0-or-later
#include "database/accdb/crypto.h"

#include <string.h>

#include <utility>

#include "common/error.h"
#include "database/accdb/crypto_library.h"

namespace pictrova::database {

void Cleanse(void* data, std::size_t size) noexcept {
    if (data != nullptr && size != 0)
        explicit_bzero(data, size);
}

SecretBytes ToSecret(std::span<const std::uint8_t> bytes) {
    return SecretBytes(bytes.begin(), bytes.end());
}

// Every byte is looked at whatever the earlier ones were, so the time taken tells nothing about
// where the runs differ. (Our own, not libcrypto's: the plain databases' RC4 uses these too and
// should not open the library.)
bool SameBytes(std::span<const std::uint8_t> a, std::span<const std::uint8_t> b) noexcept {
    if (a.size() != b.size())
        return false;
    volatile std::uint8_t difference = 0;
    for (std::size_t i = 0; i < a.size(); ++i)
        difference = static_cast<std::uint8_t>(difference | (a[i] ^ b[i]));
    return difference == 0;
}

namespace {

constexpr const char* kDigestNames[] = {"SHA1", "SHA256", "SHA384", "SHA512"};

[[noreturn]] void CryptoFailure(const char* what) {
    throw Error(std::string("cryptographic library failure: ") + what);
}

}  // namespace

Digest::Digest(HashAlgorithm algorithm) : crypto_(LoadedCrypto()) {
    md_ = crypto_.mdFetch(nullptr, kDigestNames[static_cast<int>(algorithm)], nullptr);
    ctx_ = crypto_.mdCtxNew();
    if (md_ == nullptr || ctx_ == nullptr) {
        crypto_.mdFree(md_);
        crypto_.mdCtxFree(ctx_);
        CryptoFailure("digest unavailable");
    }
    size_ = static_cast<std::size_t>(crypto_.mdGetSize(md_));
}

Digest::~Digest() {
    crypto_.mdCtxFree(ctx_);
    crypto_.mdFree(md_);
}

void Digest::Begin() {
    if (crypto_.digestInit(ctx_, md_, nullptr) != 1)
        CryptoFailure("digest init");
}

void Digest::Add(std::span<const std::uint8_t> data) {
    if (crypto_.digestUpdate(ctx_, data.data(), data.size()) != 1)
        CryptoFailure("digest update");
}

void Digest::Finish(std::span<std::uint8_t> out) {
    if (out.size() < size_)
        throw Error("digest output buffer too small");
    if (crypto_.digestFinal(ctx_, out.data(), nullptr) != 1)
        CryptoFailure("digest final");
}

SecretBytes Digest::Hash(std::span<const std::uint8_t> a, std::span<const std::uint8_t> b) {
    SecretBytes out(size_);
    Begin();
    Add(a);
    Add(b);
    Finish(out);
    return out;
}

AesTransform::AesTransform(std::size_t keyBytes, AesChaining chaining, CipherDirection direction)
    : crypto_(LoadedCrypto()),
      keyBytes_(keyBytes),
      chaining_(chaining),
      encrypt_(direction == CipherDirection::Encrypt) {
    const char* name = nullptr;
    const bool cbc = chaining == AesChaining::Cbc;
    switch (keyBytes) {
        case 16:
            name = cbc ? "AES-128-CBC" : "AES-128-ECB";
            break;
        case 24:
            name = cbc ? "AES-192-CBC" : "AES-192-ECB";
            break;
        case 32:
            name = cbc ? "AES-256-CBC" : "AES-256-ECB";
            break;
        default:
            throw Error("AES key of " + std::to_string(keyBytes * 8) + " bits");
    }
    cipher_ = crypto_.cipherFetch(nullptr, name, nullptr);
    ctx_ = crypto_.cipherCtxNew();
    if (cipher_ == nullptr || ctx_ == nullptr) {
        crypto_.cipherFree(cipher_);
        crypto_.cipherCtxFree(ctx_);
        CryptoFailure("AES unavailable");
    }
}

AesTransform::~AesTransform() {
    crypto_.cipherCtxFree(ctx_);  // cleanses the key schedule
    crypto_.cipherFree(cipher_);
}

void AesTransform::SetKey(std::span<const std::uint8_t> key) {
    if (key.size() != keyBytes_)
        throw Error("AES key has the wrong length");
    if (crypto_.cipherInit(ctx_, cipher_, key.data(), nullptr, encrypt_, nullptr) != 1 ||
        crypto_.cipherCtxSetPadding(ctx_, 0) != 1)
        CryptoFailure("AES key setup");
}

void AesTransform::Apply(std::span<const std::uint8_t> iv, std::span<std::uint8_t> data) {
    if (data.size() % kAesBlockSize != 0)
        throw Error("AES data is not a whole number of blocks");
    const bool cbc = chaining_ == AesChaining::Cbc;
    if (cbc && iv.size() != kAesBlockSize)
        throw Error("AES-CBC needs a 16-byte IV");
    if (crypto_.cipherInit(ctx_, nullptr, nullptr, cbc ? iv.data() : nullptr, encrypt_, nullptr) !=
        1)
        CryptoFailure("AES init");
    std::size_t done = 0;
    // EVP lengths are int; pages are small, but keep large buffers correct too.
    constexpr std::size_t kChunk = std::size_t{1} << 30;
    while (done < data.size()) {
        const std::size_t n = std::min(kChunk, data.size() - done);
        int outLength = 0;
        if (crypto_.cipherUpdate(ctx_, data.data() + done, &outLength, data.data() + done,
                                 static_cast<int>(n)) != 1 ||
            static_cast<std::size_t>(outLength) != n)
            CryptoFailure("AES update");
        done += n;
    }
    int tail = 0;
    std::uint8_t scratch[kAesBlockSize];
    if (crypto_.cipherFinal(ctx_, scratch, &tail) != 1 || tail != 0)
        CryptoFailure("AES final");
}

}  // namespace pictrova::database
