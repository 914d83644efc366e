#pragma once
// The package's own signature: ECDSA P-256 over the SHA-256 of its exact bytes, checked with
// the public key the build pins, before any byte of the package reaches the disk.

#include <array>
#include <string>
#include <string_view>

#include "common/owners.h"

// SHA-256 through the system's CNG, taken piece by piece as the bytes arrive.
class Sha256 {
public:
    Sha256();
    Sha256(const Sha256&) = delete;
    Sha256& operator=(const Sha256&) = delete;
    void Add(std::string_view bytes);
    // Forgets everything added: the hash of nothing again.
    void Restart();
    // The digest of everything added; false when CNG failed at any point.
    bool Finish(std::array<unsigned char, 32>& digest);

private:
    UniqueAlgorithm algorithm_;
    UniqueHash hash_;
    bool failed_ = false;
};

// r and s of a DER ECDSA P-256 signature, each as 32 big-endian bytes one after the other, as
// CNG takes them. False when the bytes are not such a signature: the outer SEQUENCE must span
// them exactly, and r and s must each fit in 32 bytes.
bool DecodeEcdsaSignature(std::string_view der, std::array<unsigned char, 64>& rs);

// Finishes the hash and checks that signatureBase64, the base64 of a DER ECDSA signature,
// signs its digest for publicKey, a P-256 SubjectPublicKeyInfo in DER. On failure the error
// text (when given) becomes "安装包签名校验失败"; on success it is left untouched.
bool VerifyPackageSignature(Sha256& hash, const std::wstring& signatureBase64,
                            std::string_view publicKey, std::wstring* error);
