#pragma once
// The client's publisher: the signer of its Authenticode signature, checked before the
// installer makes a shortcut to the client and starts it.

#include <windows.h>

#include <string>

#include "common/owners.h"

// Opens the file for reading without sharing write or delete access: while the handle is held,
// nobody can change, replace, rename or delete the file, so what was checked is what starts.
// Retried while another process holds the file (RetryWhileHeld); empty when it cannot be opened
// so.
UniqueHandle OpenUnchangeable(const std::wstring& path);

// The common name of the certificate that signed the file open as `file` (path names it), when
// its embedded signature verifies (WinVerifyTrust, generic verify v2, no user interface, nothing
// fetched over the network). False for an unsigned or changed file, or any other failure of the
// check; commonName is then left untouched. A name with a zero in it comes back whole.
bool ReadSigner(HANDLE file, const std::wstring& path, std::wstring& commonName);

// True when the signature of the file open as `file` verifies and its signer's common name is
// exactly the publisher. On failure the error text (when given) becomes "客户端签名校验失败".
bool VerifyPublisher(HANDLE file, const std::wstring& path, const std::wstring& publisher,
                     std::wstring* error);
