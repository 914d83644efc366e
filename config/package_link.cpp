#include "config/package_link.h"

#include <algorithm>
#include <string_view>
#include <utility>

#include "common/error_text.h"
#include "common/text.h"
#include "config/base_url.h"
#include "config/json_value.h"
#include "net/http_get.h"
#include "net/url.h"

namespace {

constexpr wchar_t kTextResolving[] = L"正在解析安装包地址...";
constexpr wchar_t kTextNoPackageUrl[] = L"后端未配置 app_package_url";
constexpr wchar_t kTextInvalidParserUrl[] = L"第三方解析接口地址无效";
constexpr wchar_t kTextNoDownloadLink[] = L"第三方接口未返回可下载地址";

constexpr wchar_t kParserPath[] = L"json/parser";
constexpr wchar_t kLinkInfoPath[] = L"/v2/linkInfo?url=";
constexpr wchar_t kKeyHeader[] = L"X-API-Key: ";

// Only a key of printable ASCII is sent: a line break in it would add header lines of the back
// end's choosing, and other characters are not what a header value may carry.
std::wstring KeyHeader(const std::wstring& key) {
    const std::wstring trimmed = TrimWide(key);
    const bool printable = std::all_of(trimmed.begin(), trimmed.end(),
                                       [](wchar_t c) { return c >= 0x20 && c <= 0x7E; });
    if (trimmed.empty() || !printable) return {};
    return kKeyHeader + trimmed + L"\r\n";
}

// Asks one form of the service and takes the reply key's value. The error text is written
// only when the request fails, so it keeps an earlier failure through a later success.
bool AskService(const ProxySettings& proxies, const std::wstring& url, const std::wstring& headers,
                const char* replyKey, std::wstring& link, std::wstring& failure) {
    std::string reply;
    if (!HttpGetText(proxies, url, reply, &failure, headers)) return false;
    std::wstring found = JsonStringValue(reply, {replyKey});
    if (found.empty()) return false;
    link = std::move(found);
    return true;
}

}  // namespace

bool ResolvePackageLink(const ProxySettings& proxies, const PackageConfig& config,
                        std::wstring& link, std::wstring* error, const StatusFunction& status) {
    if (config.app_package_url.empty()) return Fail(error, kTextNoPackageUrl);
    if (config.download_api_base_url.empty()) {
        link = config.app_package_url;
        return true;
    }
    status(kTextResolving);

    const std::wstring parserUrl =
        ParserServiceUrl(config.download_api_base_url, config.app_package_url);
    if (parserUrl.empty()) return Fail(error, kTextInvalidParserUrl);
    const std::wstring headers = KeyHeader(config.download_api_key);

    std::wstring failure;
    if (AskService(proxies, parserUrl, headers, "directLink", link, failure)) return true;
    const std::wstring linkInfoUrl =
        LinkInfoServiceUrl(config.download_api_base_url, config.app_package_url);
    if (!linkInfoUrl.empty() &&
        AskService(proxies, linkInfoUrl, headers, "downLink", link, failure)) {
        return true;
    }
    if (failure.empty()) return Fail(error, kTextNoDownloadLink);
    return Fail(error, failure);  // the most recent request that failed
}

std::wstring ParserServiceUrl(const std::wstring& base, const std::wstring& packageUrl) {
    std::wstring url = TrimWide(base);
    if (url.empty()) return {};
    // The path is completed before the query and the fragment, which follow unchanged; the
    // query key goes at the end of the query.
    const std::wstring_view path = std::wstring_view(url).substr(0, url.find_first_of(L"?#"));
    if (path.find(L"/json/parser") == std::wstring_view::npos) {
        url = AppendToBasePath(NormalizeBaseUrl(url), kParserPath);
    }
    const size_t fragment = std::min(url.find(L'#'), url.size());
    const bool query = url.find(L'?') < fragment;
    url.insert(fragment, (query ? L"&url=" : L"?url=") + PercentEncode(packageUrl));
    return url;
}

std::wstring LinkInfoServiceUrl(const std::wstring& base, const std::wstring& packageUrl) {
    const std::wstring origin = UrlOrigin(TrimWide(base));
    if (origin.empty()) return {};
    return origin + kLinkInfoPath + PercentEncode(packageUrl);
}
