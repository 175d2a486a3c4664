// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The cryptographic building blocks of encrypted .accdb files, each wrapping libcrypto once
// (opened when the first digest or cipher is made, crypto_library.h):
// buffers that wipe themselves, a reusable digest context and a reusable AES context (RC4 is in
// rc4.h). Nothing here knows the file
// format; key_derivation.h puts the pieces together.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string_view>
#include <vector>

#include <openssl/types.h>

namespace pictrova::database {

struct CryptoCalls;

void Cleanse(void* data, std::size_t size) noexcept;

// An allocator that overwrites memory before giving it back, so keys, hashes and the password
// never linger in freed heap blocks (also when a vector grows and moves).
template <typename T>
struct CleansingAllocator {
    using value_type = T;
    CleansingAllocator() = default;
    template <typename U>
    CleansingAllocator(const CleansingAllocator<U>&) noexcept {}
    T* allocate(std::size_t n) { return std::allocator<T>{}.allocate(n); }
    void deallocate(T* p, std::size_t n) noexcept {
        Cleanse(p, n * sizeof(T));
        std::allocator<T>{}.deallocate(p, n);
    }
    template <typename U>
    bool operator==(const CleansingAllocator<U>&) const noexcept {
        return true;
    }
};

using SecretBytes = std::vector<std::uint8_t, CleansingAllocator<std::uint8_t>>;

SecretBytes ToSecret(std::span<const std::uint8_t> bytes);

enum class HashAlgorithm { Sha1, Sha256, Sha384, Sha512 };

// One fetched digest and one context, reused for every hash: the password spin loops run it
// 100 000 times, and an implicit fetch per call doubles their cost.
class Digest {
  public:
    explicit Digest(HashAlgorithm algorithm);
    ~Digest();
    Digest(const Digest&) = delete;
    Digest& operator=(const Digest&) = delete;

    std::size_t size() const noexcept { return size_; }

    void Begin();
    void Add(std::span<const std::uint8_t> data);
    // Writes size() bytes; out may be the buffer that was just added.
    void Finish(std::span<std::uint8_t> out);

    SecretBytes Hash(std::span<const std::uint8_t> a, std::span<const std::uint8_t> b = {});

  private:
    const CryptoCalls& crypto_;
    EVP_MD* md_ = nullptr;
    EVP_MD_CTX* ctx_ = nullptr;
    std::size_t size_ = 0;
};

enum class AesChaining { Ecb, Cbc };
enum class CipherDirection { Decrypt, Encrypt };

// AES without padding over whole blocks, in place. The key schedule is kept between calls, so
// a key that stays the same (Agile pages) is expanded once.
class AesTransform {
  public:
    AesTransform(std::size_t keyBytes, AesChaining chaining, CipherDirection direction);
    ~AesTransform();
    AesTransform(const AesTransform&) = delete;
    AesTransform& operator=(const AesTransform&) = delete;

    void SetKey(std::span<const std::uint8_t> key);
    // iv is ignored for ECB; data must be a whole number of 16-byte blocks.
    void Apply(std::span<const std::uint8_t> iv, std::span<std::uint8_t> data);

  private:
    const CryptoCalls& crypto_;
    EVP_CIPHER* cipher_ = nullptr;
    EVP_CIPHER_CTX* ctx_ = nullptr;
    std::size_t keyBytes_;
    AesChaining chaining_;
    int encrypt_;
};

inline constexpr std::size_t kAesBlockSize = 16;

// Constant-time comparison of two equally long byte runs.
bool SameBytes(std::span<const std::uint8_t> a, std::span<const std::uint8_t> b) noexcept;

}  // namespace pictrova::database
