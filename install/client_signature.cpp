#include "install/client_signature.h"

#include <windows.h>
#include <softpub.h>
#include <wintrust.h>

#include "common/error_text.h"
#include "common/owners.h"
#include "install/files_in_use.h"

namespace {

constexpr wchar_t kTextUntrusted[] = L"客户端签名校验失败";

std::wstring CommonName(PCCERT_CONTEXT certificate) {
    auto* commonName = const_cast<char*>(szOID_COMMON_NAME);
    const DWORD units =
        CertGetNameStringW(certificate, CERT_NAME_ATTR_TYPE, 0, commonName, nullptr, 0);
    std::wstring name(units, L'\0');
    CertGetNameStringW(certificate, CERT_NAME_ATTR_TYPE, 0, commonName, name.data(), units);
    // Only the terminating zero goes: a name cut at a zero inside it could pass for another.
    name.resize(units > 0 ? units - 1 : 0);
    return name;
}

}  // namespace

UniqueHandle OpenUnchangeable(const std::wstring& path) {
    HANDLE file = nullptr;
    RetryWhileHeld([&] {
        file = ValidHandle(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                       OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
        return file != nullptr;
    });
    return UniqueHandle{file};
}

bool ReadSigner(HANDLE file, const std::wstring& path, std::wstring& commonName) {
    if (!file) return false;  // WinVerifyTrust would open the path itself
    WINTRUST_FILE_INFO fileInfo{};
    fileInfo.cbStruct = sizeof(fileInfo);
    fileInfo.pcwszFilePath = path.c_str();
    fileInfo.hFile = file;
    WINTRUST_DATA data{};
    data.cbStruct = sizeof(data);
    data.dwUIChoice = WTD_UI_NONE;
    data.fdwRevocationChecks = WTD_REVOKE_NONE;
    data.dwUnionChoice = WTD_CHOICE_FILE;
    data.pFile = &fileInfo;
    data.dwStateAction = WTD_STATEACTION_VERIFY;
    // Nothing is looked up over the network: the check never waits for it.
    data.dwProvFlags = WTD_REVOCATION_CHECK_NONE | WTD_CACHE_ONLY_URL_RETRIEVAL;
    GUID action = WINTRUST_ACTION_GENERIC_VERIFY_V2;
    const LONG verdict = WinVerifyTrust(static_cast<HWND>(INVALID_HANDLE_VALUE), &action, &data);
    const TrustState state(action, data);
    if (verdict != ERROR_SUCCESS) return false;

    CRYPT_PROVIDER_DATA* provider = WTHelperProvDataFromStateData(data.hWVTStateData);
    const CRYPT_PROVIDER_SGNR* signer =
        provider ? WTHelperGetProvSignerFromChain(provider, 0, FALSE, 0) : nullptr;
    if (!signer || signer->csCertChain == 0 || !signer->pasCertChain[0].pCert) return false;
    commonName = CommonName(signer->pasCertChain[0].pCert);
    return true;
}

bool VerifyPublisher(HANDLE file, const std::wstring& path, const std::wstring& publisher,
                     std::wstring* error) {
    std::wstring signer;
    if (!ReadSigner(file, path, signer) || signer != publisher) return Fail(error, kTextUntrusted);
    return true;
}
