#include "support/test_server.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <stdexcept>

#include "common/owners.h"
#include "test_config.h"

namespace {

// A control request to the test server, or to the test proxy.
std::string Control(const wchar_t* verb, const std::string& target, const std::string& body,
                    const wchar_t* host = L"localhost", int port = kTestHttpPort) {
    const UniqueInternet session{WinHttpOpen(L"VexaTestControl", WINHTTP_ACCESS_TYPE_NO_PROXY,
                                             WINHTTP_NO_PROXY_NAME, WINHTTP_NO_PROXY_BYPASS, 0)};
    const UniqueInternet connection{
        session ? WinHttpConnect(session.get(), host, static_cast<INTERNET_PORT>(port), 0)
                : nullptr};
    const UniqueInternet request{
        connection ? WinHttpOpenRequest(connection.get(), verb, Widen(target).c_str(), nullptr,
                                        WINHTTP_NO_REFERER, WINHTTP_DEFAULT_ACCEPT_TYPES, 0)
                   : nullptr};
    const auto size = static_cast<DWORD>(body.size());
    if (!request ||
        !WinHttpSendRequest(request.get(), WINHTTP_NO_ADDITIONAL_HEADERS, 0,
                            const_cast<char*>(body.data()), size, size, 0) ||
        !WinHttpReceiveResponse(request.get(), nullptr)) {
        throw std::runtime_error("the test server does not answer: " + target);
    }
    std::string reply;
    char buffer[8192];
    for (DWORD read = 0; WinHttpReadData(request.get(), buffer, sizeof(buffer), &read) && read;)
        reply.append(buffer, read);
    return reply;
}

std::string HexOf(unsigned char c) {
    static const char kHex[] = "0123456789abcdef";
    return {kHex[c >> 4], kHex[c & 15]};
}

std::wstring Url(const char* scheme, int port, std::string_view path) {
    return Widen(std::string(scheme) + "://localhost:" + std::to_string(port) + std::string(path));
}

}  // namespace

std::wstring HttpUrl(std::string_view path) {
    return Url("http", kTestHttpPort, path);
}
std::wstring HttpsUrl(std::string_view path) {
    return Url("https", kTestHttpsPort, path);
}
std::wstring UntrustedUrl(std::string_view path) {
    return Url("https", kTestUntrustedPort, path);
}
std::wstring RefusedUrl(std::string_view path) {
    return Url("http", kTestRefusedPort, path);
}

std::string JsonText(std::string_view text) {
    std::string json = "\"";
    for (const unsigned char c : text) {
        if (c == '"' || c == '\\') json += '\\';
        json += c < 0x20 ? "\\u00" + HexOf(c) : std::string(1, static_cast<char>(c));
    }
    return json + "\"";
}

const std::string& RunTag() {
    static const std::string tag =
        "r" + std::to_string(GetTickCount64()) + "-" + std::to_string(GetCurrentProcessId());
    return tag;
}

std::string Body(std::string_view text) {
    return "{\"body\": " + JsonText(text) + "}";
}

std::string Redirect(int status, std::string_view location) {
    return "{\"status\": " + std::to_string(status) + ", \"headers\": [[\"Location\", " +
           JsonText(location) + "]]}";
}

void SetRoute(const std::string& path, const std::string& responsesJson) {
    const std::string responses =
        responsesJson.starts_with("{") ? "[" + responsesJson + "]" : responsesJson;
    const std::string reply =
        Control(L"POST", "/_ctl/route",
                "{\"path\": " + JsonText(path) + ", \"responses\": " + responses + "}");
    if (reply != "ok") throw std::runtime_error("route not set: " + path + ": " + reply);
}

void ReleaseHold(const std::string& name) {
    Control(L"POST", "/_ctl/release?name=" + Narrow(PercentEncode(Widen(name))), {});
}

std::string RequestLog(const std::string& prefix) {
    return Control(L"GET", "/_ctl/log?prefix=" + Narrow(PercentEncode(Widen(prefix))), {});
}

namespace {

// The heads of a control log, each as lines: the request line first, then the header lines.
std::vector<std::vector<std::string>> HeadsOf(const std::string& log) {
    std::vector<std::vector<std::string>> requests;
    size_t start = 0;
    for (size_t end; (end = log.find("\r\n", start)) != std::string::npos; start = end + 2) {
        const std::string line = log.substr(start, end - start);
        if (line.starts_with("listener: ")) {
            requests.emplace_back();
        } else if (!line.empty() && !requests.empty()) {
            requests.back().push_back(line);
        }
    }
    return requests;
}

}  // namespace

std::vector<std::vector<std::string>> RequestHeads(const std::string& prefix) {
    return HeadsOf(RequestLog(prefix));
}

std::vector<std::vector<std::string>> ProxyHeads() {
    return HeadsOf(Control(L"GET", "/_ctl/log", {}, L"127.0.0.2", kTestProxyPort));
}

int RequestCount(const std::string& prefix) {
    return static_cast<int>(RequestHeads(prefix).size());
}

void ExpectEach(const std::function<std::wstring(const std::wstring&)>& function,
                const Rows& rows) {
    for (const auto& [input, expected] : rows)
        EXPECT_EQ(function(input), expected) << Narrow(input);
}
