#include "updater/UpdateCrypto.h"

#include <wincrypt.h>

#include <cstring>

namespace {

bool Succeeded(NTSTATUS status)
{
    return status >= 0;
}

// The key of a PEM "PUBLIC KEY" block (an X.509 SubjectPublicKeyInfo), or null.
BCRYPT_KEY_HANDLE ImportPublicKey(const char* pem)
{
    DWORD derSize = 0;
    if (!CryptStringToBinaryA(pem, 0, CRYPT_STRING_BASE64HEADER, nullptr, &derSize, nullptr, nullptr))
        return nullptr;
    std::vector<BYTE> der(derSize);
    if (!CryptStringToBinaryA(pem, 0, CRYPT_STRING_BASE64HEADER, der.data(), &derSize, nullptr, nullptr))
        return nullptr;
    CERT_PUBLIC_KEY_INFO* info = nullptr;
    DWORD infoSize = 0;
    if (!CryptDecodeObjectEx(X509_ASN_ENCODING, X509_PUBLIC_KEY_INFO, der.data(), derSize, CRYPT_DECODE_ALLOC_FLAG,
                             nullptr, &info, &infoSize))
        return nullptr;
    BCRYPT_KEY_HANDLE key = nullptr;
    const bool isRsa = std::strcmp(info->Algorithm.pszObjId, szOID_RSA_RSA) == 0;
    if (!isRsa || !CryptImportPublicKeyInfoEx2(X509_ASN_ENCODING, info, 0, nullptr, &key))
        key = nullptr;
    LocalFree(info);
    return key;
}

}  // namespace

Sha256::Sha256()
{
    failed_ = !Succeeded(BCryptOpenAlgorithmProvider(&algorithm_, BCRYPT_SHA256_ALGORITHM, nullptr, 0)) ||
              !Succeeded(BCryptCreateHash(algorithm_, &hash_, nullptr, 0, nullptr, 0, 0));
}

Sha256::~Sha256()
{
    if (hash_)
        BCryptDestroyHash(hash_);
    if (algorithm_)
        BCryptCloseAlgorithmProvider(algorithm_, 0);
}

bool Sha256::Add(const void* data, size_t size)
{
    // BCryptHashData takes at most 4 GiB a call.
    const auto* bytes = static_cast<const unsigned char*>(data);
    while (!failed_ && size > 0) {
        const ULONG piece = size > 0x40000000 ? 0x40000000 : static_cast<ULONG>(size);
        failed_ = !Succeeded(BCryptHashData(hash_, const_cast<PUCHAR>(bytes), piece, 0));
        bytes += piece;
        size -= piece;
    }
    return !failed_;
}

bool Sha256::Finish(Sha256Digest& digest)
{
    if (failed_)
        return false;
    failed_ = !Succeeded(BCryptFinishHash(hash_, digest.data(), static_cast<ULONG>(digest.size()), 0));
    return !failed_;
}

bool VerifySignature(const std::string& data, const std::vector<unsigned char>& signature, const char* publicKeyPem)
{
    Sha256 hash;
    Sha256Digest digest;
    if (signature.empty() || !hash.Add(data.data(), data.size()) || !hash.Finish(digest))
        return false;
    BCRYPT_KEY_HANDLE key = ImportPublicKey(publicKeyPem);
    if (!key)
        return false;
    BCRYPT_PKCS1_PADDING_INFO padding = {BCRYPT_SHA256_ALGORITHM};
    const NTSTATUS status =
        BCryptVerifySignature(key, &padding, digest.data(), static_cast<ULONG>(digest.size()),
                              const_cast<PUCHAR>(signature.data()), static_cast<ULONG>(signature.size()),
                              BCRYPT_PAD_PKCS1);
    BCryptDestroyKey(key);
    return Succeeded(status);
}

bool DecodeBase64(const std::string& text, std::vector<unsigned char>& bytes)
{
    // CryptStringToBinary skips blanks and line breaks; a signature line has none.
    if (text.empty() || text.find_first_not_of("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/=") !=
                            std::string::npos)
        return false;
    DWORD size = 0;
    const DWORD length = static_cast<DWORD>(text.size());
    if (!CryptStringToBinaryA(text.data(), length, CRYPT_STRING_BASE64, nullptr, &size, nullptr, nullptr))
        return false;
    bytes.resize(size);
    if (!CryptStringToBinaryA(text.data(), length, CRYPT_STRING_BASE64, bytes.data(), &size, nullptr, nullptr))
        return false;
    bytes.resize(size);
    return true;
}
