#pragma once

#include <windows.h>
#include <bcrypt.h>

#include <array>
#include <string>
#include <vector>

// SHA-256 and the signature check of update descriptions, on Windows' own
// crypto API (CNG).

using Sha256Digest = std::array<unsigned char, 32>;

// SHA-256 of data given in pieces.
class Sha256 {
public:
    Sha256();
    ~Sha256();
    Sha256(const Sha256&) = delete;
    Sha256& operator=(const Sha256&) = delete;

    bool Add(const void* data, size_t size);
    // The digest of everything added; false when the system could not hash.
    bool Finish(Sha256Digest& digest);

private:
    BCRYPT_ALG_HANDLE algorithm_ = nullptr;
    BCRYPT_HASH_HANDLE hash_ = nullptr;
    bool failed_ = false;
};

// True when `signature` is an RSA PKCS #1 v1.5 signature of the SHA-256 of
// `data` made with the private half of `publicKeyPem` (a "PUBLIC KEY" PEM block).
bool VerifySignature(const std::string& data, const std::vector<unsigned char>& signature,
                     const char* publicKeyPem);

// Base64 without line breaks; false for anything else.
bool DecodeBase64(const std::string& text, std::vector<unsigned char>& bytes);
