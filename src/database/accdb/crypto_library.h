// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// libcrypto, opened the first time an encrypted database needs it (common/library_on_use.h):
// the functions crypto.cpp calls, typed by OpenSSL's own headers. Plain databases never open it.

#include <openssl/evp.h>

namespace pictrova::database {

struct CryptoCalls {
    decltype(&::EVP_MD_fetch) mdFetch;
    decltype(&::EVP_MD_free) mdFree;
    decltype(&::EVP_MD_get_size) mdGetSize;
    decltype(&::EVP_MD_CTX_new) mdCtxNew;
    decltype(&::EVP_MD_CTX_free) mdCtxFree;
    decltype(&::EVP_DigestInit_ex2) digestInit;
    decltype(&::EVP_DigestUpdate) digestUpdate;
    decltype(&::EVP_DigestFinal_ex) digestFinal;
    decltype(&::EVP_CIPHER_fetch) cipherFetch;
    decltype(&::EVP_CIPHER_free) cipherFree;
    decltype(&::EVP_CIPHER_CTX_new) cipherCtxNew;
    decltype(&::EVP_CIPHER_CTX_free) cipherCtxFree;
    decltype(&::EVP_CIPHER_CTX_set_padding) cipherCtxSetPadding;
    decltype(&::EVP_CipherInit_ex2) cipherInit;
    decltype(&::EVP_CipherUpdate) cipherUpdate;
    decltype(&::EVP_CipherFinal_ex) cipherFinal;
};

// The calls of libcrypto, opened on the first call, once for the process. Throws an Error naming
// the library and the loader's reason when it cannot be opened or lacks a function.
// $PICTROVA_CRYPTO_LIBRARY names the file to open instead of the soname the build found.
const CryptoCalls& LoadedCrypto();

}  // namespace pictrova::database
