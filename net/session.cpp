#include "net/session.h"

namespace {

constexpr wchar_t kUserAgent[] = L"DudaVedDownloader/1.0";
constexpr int kResolveTimeoutMs = 15000;
constexpr int kConnectTimeoutMs = 15000;
constexpr int kSendTimeoutMs = 30000;
constexpr int kReceiveTimeoutMs = 30000;

std::wstring TakeText(LPWSTR text) {
    const UniqueGlobalMem<wchar_t> owned{text};
    return text ? std::wstring(text) : std::wstring();
}

// What the PAC file says for the URL; false when it cannot be fetched or evaluated.
bool AskPacFile(HINTERNET resolver, const std::wstring& pac, const std::wstring& url,
                ProxyRoute& route) {
    WINHTTP_AUTOPROXY_OPTIONS options{};
    options.dwFlags = WINHTTP_AUTOPROXY_CONFIG_URL;
    options.lpszAutoConfigUrl = pac.c_str();
    WINHTTP_PROXY_INFO answer{};
    if (!WinHttpGetProxyForUrl(resolver, url.c_str(), &options, &answer)) return false;
    route.proxy = TakeText(answer.lpszProxy);
    route.bypass = TakeText(answer.lpszProxyBypass);
    // Anything but a proxy is the PAC file's DIRECT.
    route.accessType =
        answer.dwAccessType == WINHTTP_ACCESS_TYPE_NAMED_PROXY && !route.proxy.empty()
            ? WINHTTP_ACCESS_TYPE_NAMED_PROXY
            : WINHTTP_ACCESS_TYPE_NO_PROXY;
    return true;
}

}  // namespace

ProxySettings ReadProxySettings() {
    ProxySettings settings;
    WINHTTP_CURRENT_USER_IE_PROXY_CONFIG options{};
    if (!WinHttpGetIEProxyConfigForCurrentUser(&options)) return settings;
    settings.autoConfigUrl = TakeText(options.lpszAutoConfigUrl);
    settings.proxy = TakeText(options.lpszProxy);
    settings.bypass = TakeText(options.lpszProxyBypass);
    if (!options.fAutoDetect && settings.autoConfigUrl.empty()) return settings;
    // The PAC files are fetched directly, by the same session all run long, which keeps them.
    settings.resolver = OpenSession({WINHTTP_ACCESS_TYPE_NO_PROXY});
    LPWSTR detected = nullptr;
    if (options.fAutoDetect &&
        WinHttpDetectAutoProxyConfigUrl(
            WINHTTP_AUTO_DETECT_TYPE_DHCP | WINHTTP_AUTO_DETECT_TYPE_DNS_A, &detected)) {
        settings.detectedUrl = TakeText(detected);
    }
    if (settings.autoConfigUrl.empty() && settings.detectedUrl.empty()) settings.resolver.reset();
    return settings;
}

ProxyRoute ChooseProxyRoute(const ProxySettings& settings, const std::wstring& url) {
    ProxyRoute route;
    route.fromPac = true;
    for (const std::wstring* pac : {&settings.autoConfigUrl, &settings.detectedUrl}) {
        if (pac->empty()) continue;
        if (settings.resolver && AskPacFile(settings.resolver.get(), *pac, url, route)) {
            return route;
        }
        route.pacFailure = settings.resolver ? GetLastError() : ERROR_WINHTTP_INTERNAL_ERROR;
    }
    if (!settings.autoConfigUrl.empty() || !settings.detectedUrl.empty()) {
        ProxyRoute straight{WINHTTP_ACCESS_TYPE_NO_PROXY};
        straight.fromPac = true;
        straight.pacFailure = route.pacFailure;
        return straight;
    }
    if (!settings.proxy.empty()) {
        return {WINHTTP_ACCESS_TYPE_NAMED_PROXY, settings.proxy, settings.bypass};
    }
    return {};
}

UniqueInternet OpenSession(const ProxyRoute& route) {
    const bool named = route.accessType == WINHTTP_ACCESS_TYPE_NAMED_PROXY;
    UniqueInternet session{WinHttpOpen(
        kUserAgent, route.accessType, named ? route.proxy.c_str() : WINHTTP_NO_PROXY_NAME,
        named && !route.bypass.empty() ? route.bypass.c_str() : WINHTTP_NO_PROXY_BYPASS, 0)};
    if (session) {
        WinHttpSetTimeouts(session.get(), kResolveTimeoutMs, kConnectTimeoutMs, kSendTimeoutMs,
                           kReceiveTimeoutMs);
    }
    return session;
}
