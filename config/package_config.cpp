#include "config/package_config.h"

#include "config/base_url.h"
#include "config/json_value.h"
#include "net/http_get.h"

PackageConfig ReadPackageConfig(const ProxySettings& proxies, const std::wstring& apiBaseUrl) {
    PackageConfig config;
    std::string document;
    if (!HttpGetText(proxies, AppendToBasePath(apiBaseUrl, L"setting"), document, nullptr, L"")) {
        return config;
    }
    // Back ends of different ages name the package address differently; the first name with
    // a value wins.
    config.app_package_url =
        JsonStringValue(document, {"app_package_url", "pc_box_package_url", "pc_Box_Package_Url",
                                   "box_package_url", "app_version_url", "download_url"});
    config.download_api_base_url =
        NormalizeBaseUrl(JsonStringValue(document, {"download_api_base_url"}));
    config.download_api_key = JsonStringValue(document, {"download_api_key"});
    config.app_package_signature = JsonStringValue(document, {"app_package_signature"});
    return config;
}
