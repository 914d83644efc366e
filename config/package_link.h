#pragma once
// The direct download link of the package: the package address itself, or what the
// link-resolution service named in the package settings makes of it.

#include <string>

#include "config/package_config.h"
#include "config/status.h"
#include "net/session.h"

// No service configured: the link is app_package_url unchanged. Otherwise reports
// "正在解析安装包地址..." and asks the service, json/parser form first, /v2/linkInfo form
// second, sending "X-API-Key: <key>" when the trimmed key is not empty and all printable ASCII
// (0x20 to 0x7E). On failure the error text (when given) is set and link is left untouched.
bool ResolvePackageLink(const ProxySettings& proxies, const PackageConfig& config,
                        std::wstring& link, std::wstring* error, const StatusFunction& status);

// <base>json/parser?url=<encoded package address>: the base's path (before any '?' or '#')
// gains "json/parser" unless it already holds "/json/parser"; the base's query follows it, the
// query key joined with '&' when there is one, and then the base's fragment. Empty when the
// base is blank.
std::wstring ParserServiceUrl(const std::wstring& base, const std::wstring& packageUrl);

// <origin of base>/v2/linkInfo?url=<encoded package address>; the base's path plays no part.
// Empty when the base is no http:// or https:// URL.
std::wstring LinkInfoServiceUrl(const std::wstring& base, const std::wstring& packageUrl);
