#pragma once
// How the installer's requests go out: the user's proxy settings, read once per run, the route
// that each URL takes, as the user's browser would pick it, and a WinHTTP session for a route.

#include <windows.h>
#include <winhttp.h>

#include <string>

#include "common/owners.h"

// The current user's Internet Options for proxies.
struct ProxySettings {
    std::wstring autoConfigUrl;  // a PAC file the user named; empty: none
    std::wstring detectedUrl;    // the PAC file that auto-detection found; empty: none, or off
    std::wstring proxy;          // a fixed proxy, or one for each scheme; empty: none
    std::wstring bypass;         // where the fixed proxy is not used (<local> included)
    UniqueInternet resolver;     // fetches and evaluates the PAC files, once each for a run
};

// Reads the settings (WinHttpGetIEProxyConfigForCurrentUser); with auto-detection on, looks for
// a PAC file once. Without settings: an empty record, as when they cannot be read.
ProxySettings ReadProxySettings();

// How one request goes out.
struct ProxyRoute {
    DWORD accessType = WINHTTP_ACCESS_TYPE_DEFAULT_PROXY;
    std::wstring proxy{};   // for WINHTTP_ACCESS_TYPE_NAMED_PROXY
    std::wstring bypass{};  // likewise; empty: none
    bool fromPac = false;   // a PAC file gave it, or could not be had (then pacFailure says why)
    DWORD pacFailure = ERROR_SUCCESS;
};

// The route for the URL: the answer of a PAC file (the one the user named first, then the one
// auto-detection found), straight to the server when neither can be fetched or evaluated;
// otherwise the fixed proxy with its bypass list; otherwise the machine-wide WinHTTP setting
// (WINHTTP_ACCESS_TYPE_DEFAULT_PROXY), as without any settings.
ProxyRoute ChooseProxyRoute(const ProxySettings& settings, const std::wstring& url);

// A synchronous session for the route, with the installer's user agent and time-outs; empty
// when WinHTTP cannot make one.
UniqueInternet OpenSession(const ProxyRoute& route);
