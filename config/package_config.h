#pragma once
// The package settings that the back end serves under its api base address.

#include <string>

#include "net/session.h"

struct PackageConfig {
    std::wstring app_package_url{};        // the package, or what the link service resolves
    std::wstring download_api_base_url{};  // link service base, path ending in '/'; empty: none
    std::wstring download_api_key{};       // link service key, as found; empty: no key
    std::wstring app_package_signature{};  // base64 of the package's signature; empty: none
};

// Reads <apiBaseUrl>setting (the base's path already ends in '/'; a query stays behind it).
// Never fails as such: a failed request or a missing setting leaves the field empty.
PackageConfig ReadPackageConfig(const ProxySettings& proxies, const std::wstring& apiBaseUrl);
