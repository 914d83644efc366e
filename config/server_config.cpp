#include "config/server_config.h"

#include "config/base_url.h"
#include "config/endpoints.h"
#include "config/json_value.h"
#include "net/http_get.h"

namespace {

constexpr wchar_t kTextConnecting[] = L"正在连接服务器...";

}  // namespace

std::wstring FetchServerConfig(const ProxySettings& proxies, const StatusFunction& status) {
    for (const wchar_t* endpoint : {kPrimaryConfigUrl, kFallbackConfigUrl}) {
        status(kTextConnecting);
        // Why an endpoint failed is never shown: the caller reports the configuration as a
        // whole as unavailable.
        std::string document;
        if (!HttpGetText(proxies, endpoint, document, nullptr, L"")) continue;
        const std::wstring base = NormalizeBaseUrl(JsonStringValue(document, {"api_base_url"}));
        if (!base.empty()) return base;
    }
    return {};
}
