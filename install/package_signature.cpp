#include "install/package_signature.h"

#include <windows.h>
#include <bcrypt.h>
#include <wincrypt.h>

#include <algorithm>

#include "common/error_text.h"

namespace {

constexpr wchar_t kTextBadSignature[] = L"安装包签名校验失败";
constexpr size_t kCoordinateBytes = 32;

// A CRYPT_UINT_BLOB holds its value little-endian and without a sign byte; CNG wants it
// big-endian in a field of its own width.
bool PutBigEndian(const CRYPT_UINT_BLOB& value, unsigned char* field) {
    if (value.cbData == 0 || value.cbData > kCoordinateBytes) return false;
    std::fill(field, field + kCoordinateBytes, 0);
    std::reverse_copy(value.pbData, value.pbData + value.cbData,
                      field + kCoordinateBytes - value.cbData);
    return true;
}

bool ImportPublicKey(std::string_view der, UniqueKey& key) {
    CERT_PUBLIC_KEY_INFO* info = nullptr;
    DWORD size = 0;
    if (!CryptDecodeObjectEx(
            X509_ASN_ENCODING, X509_PUBLIC_KEY_INFO, reinterpret_cast<const BYTE*>(der.data()),
            static_cast<DWORD>(der.size()), CRYPT_DECODE_ALLOC_FLAG, nullptr, &info, &size)) {
        return false;
    }
    const UniqueLocalMem<CERT_PUBLIC_KEY_INFO> owned{info};
    BCRYPT_KEY_HANDLE imported = nullptr;
    if (!CryptImportPublicKeyInfoEx2(X509_ASN_ENCODING, info, 0, nullptr, &imported)) return false;
    key.reset(imported);
    return true;
}

bool DecodeBase64(const std::wstring& text, std::string& bytes) {
    DWORD size = 0;
    // An empty text decodes to nothing, successfully.
    if (text.empty() ||
        !CryptStringToBinaryW(text.c_str(), static_cast<DWORD>(text.size()), CRYPT_STRING_BASE64,
                              nullptr, &size, nullptr, nullptr)) {
        return false;
    }
    bytes.resize(size);
    return CryptStringToBinaryW(text.c_str(), static_cast<DWORD>(text.size()), CRYPT_STRING_BASE64,
                                reinterpret_cast<BYTE*>(bytes.data()), &size, nullptr, nullptr) &&
           size == bytes.size();
}

}  // namespace

Sha256::Sha256() {
    BCRYPT_ALG_HANDLE algorithm = nullptr;
    if (BCRYPT_SUCCESS(
            BCryptOpenAlgorithmProvider(&algorithm, BCRYPT_SHA256_ALGORITHM, nullptr, 0))) {
        algorithm_.reset(algorithm);
    }
    Restart();
}

void Sha256::Restart() {
    BCRYPT_HASH_HANDLE hash = nullptr;
    hash_.reset();
    failed_ = !algorithm_ ||
              !BCRYPT_SUCCESS(BCryptCreateHash(algorithm_.get(), &hash, nullptr, 0, nullptr, 0, 0));
    hash_.reset(hash);
}

void Sha256::Add(std::string_view bytes) {
    while (!failed_ && !bytes.empty()) {
        const ULONG piece = static_cast<ULONG>(std::min<size_t>(bytes.size(), 1u << 30));
        failed_ = !BCRYPT_SUCCESS(BCryptHashData(
            hash_.get(), reinterpret_cast<PUCHAR>(const_cast<char*>(bytes.data())), piece, 0));
        bytes.remove_prefix(piece);
    }
}

bool Sha256::Finish(std::array<unsigned char, 32>& digest) {
    failed_ = failed_ || !BCRYPT_SUCCESS(BCryptFinishHash(hash_.get(), digest.data(),
                                                          static_cast<ULONG>(digest.size()), 0));
    return !failed_;
}

bool DecodeEcdsaSignature(std::string_view der, std::array<unsigned char, 64>& rs) {
    // The system's decoder also takes a long-form length and trailing bytes, which DER has no
    // place for: a short-form outer SEQUENCE must span the bytes exactly.
    const auto* bytes = reinterpret_cast<const BYTE*>(der.data());
    if (der.size() < 2 || bytes[0] != 0x30 || bytes[1] >= 0x80 || der.size() != 2u + bytes[1]) {
        return false;
    }
    CERT_ECC_SIGNATURE* signature = nullptr;
    DWORD size = 0;
    if (!CryptDecodeObjectEx(X509_ASN_ENCODING, X509_ECC_SIGNATURE, bytes,
                             static_cast<DWORD>(der.size()), CRYPT_DECODE_ALLOC_FLAG, nullptr,
                             &signature, &size)) {
        return false;
    }
    const UniqueLocalMem<CERT_ECC_SIGNATURE> owned{signature};
    return PutBigEndian(signature->r, rs.data()) &&
           PutBigEndian(signature->s, rs.data() + kCoordinateBytes);
}

bool VerifyPackageSignature(Sha256& hash, const std::wstring& signatureBase64,
                            std::string_view publicKey, std::wstring* error) {
    std::array<unsigned char, 32> digest{};
    std::string der;
    std::array<unsigned char, 64> rs{};
    UniqueKey key;
    if (!hash.Finish(digest) || !DecodeBase64(signatureBase64, der) ||
        !DecodeEcdsaSignature(der, rs) || !ImportPublicKey(publicKey, key) ||
        !BCRYPT_SUCCESS(BCryptVerifySignature(key.get(), nullptr, digest.data(),
                                              static_cast<ULONG>(digest.size()), rs.data(),
                                              static_cast<ULONG>(rs.size()), 0))) {
        return Fail(error, kTextBadSignature);
    }
    return true;
}
