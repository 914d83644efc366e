#pragma once
// The client's publisher: the signer of its Authenticode signature, checked before the
// installer makes a shortcut to the client and starts it.

#include <string>

// The common name of the certificate that signed the file, when its signature verifies
// (WinVerifyTrust, generic verify v2, no user interface, nothing fetched over the network).
// False for an unsigned or changed file, or any other failure of the check; commonName is then
// left untouched.
bool ReadSigner(const std::wstring& path, std::wstring& commonName);

// True when the file's signature verifies and its signer's common name is exactly the
// publisher. On failure the error text (when given) becomes "客户端签名校验失败".
bool VerifyPublisher(const std::wstring& path, const std::wstring& publisher, std::wstring* error);
