#include "support/test_server.h"

#include <windows.h>
#include <winhttp.h>

#include <memory>
#include <stdexcept>
#include <vector>

#include "test_config.h"

namespace {

struct InternetCloser {
    void operator()(HINTERNET handle) const noexcept { WinHttpCloseHandle(handle); }
};
using UniqueInternet = std::unique_ptr<void, InternetCloser>;

std::string Control(const wchar_t* verb, const std::string& target, const std::string& body) {
    UniqueInternet session{WinHttpOpen(L"VexaTestControl", WINHTTP_ACCESS_TYPE_NO_PROXY,
                                       WINHTTP_NO_PROXY_NAME, WINHTTP_NO_PROXY_BYPASS, 0)};
    UniqueInternet connection{session ? WinHttpConnect(session.get(), L"localhost",
                                                       static_cast<INTERNET_PORT>(kTestHttpPort), 0)
                                      : nullptr};
    const std::wstring wide_target = Widen(target);
    UniqueInternet request{
        connection ? WinHttpOpenRequest(connection.get(), verb, wide_target.c_str(), nullptr,
                                        WINHTTP_NO_REFERER, WINHTTP_DEFAULT_ACCEPT_TYPES, 0)
                   : nullptr};
    if (!request ||
        !WinHttpSendRequest(request.get(), WINHTTP_NO_ADDITIONAL_HEADERS, 0,
                            const_cast<char*>(body.data()), static_cast<DWORD>(body.size()),
                            static_cast<DWORD>(body.size()), 0) ||
        !WinHttpReceiveResponse(request.get(), nullptr)) {
        throw std::runtime_error("the test server does not answer: " + target);
    }
    std::string reply;
    for (;;) {
        char buffer[8192];
        DWORD read = 0;
        if (!WinHttpReadData(request.get(), buffer, sizeof(buffer), &read) || read == 0) break;
        reply.append(buffer, read);
    }
    return reply;
}

std::string QueryValue(std::string_view text) {
    static const char kHex[] = "0123456789ABCDEF";
    std::string encoded;
    for (const unsigned char c : text) {
        if (isalnum(c) || c == '/' || c == '-' || c == '_' || c == '.') {
            encoded += static_cast<char>(c);
        } else {
            encoded += '%';
            encoded += kHex[c >> 4];
            encoded += kHex[c & 15];
        }
    }
    return encoded;
}

std::wstring Url(const char* scheme, int port, std::string_view path) {
    return Widen(std::string(scheme) + "://localhost:" + std::to_string(port) + std::string(path));
}

}  // namespace

std::wstring Widen(std::string_view text) {
    if (text.empty()) return {};
    const int units =
        MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::wstring wide(static_cast<size_t>(units), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), wide.data(), units);
    return wide;
}

std::string Narrow(std::wstring_view text) {
    if (text.empty()) return {};
    const int bytes = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()),
                                          nullptr, 0, nullptr, nullptr);
    std::string narrow(static_cast<size_t>(bytes), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), narrow.data(),
                        bytes, nullptr, nullptr);
    return narrow;
}

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
    static const char kHex[] = "0123456789abcdef";
    std::string json = "\"";
    for (const unsigned char c : text) {
        if (c == '"' || c == '\\') {
            json += '\\';
            json += static_cast<char>(c);
        } else if (c < 0x20) {
            json += "\\u00";
            json += kHex[c >> 4];
            json += kHex[c & 15];
        } else {
            json += static_cast<char>(c);
        }
    }
    return json + "\"";
}

std::string Hex(std::string_view bytes) {
    static const char kHex[] = "0123456789abcdef";
    std::string hex;
    for (const unsigned char c : bytes) {
        hex += kHex[c >> 4];
        hex += kHex[c & 15];
    }
    return hex;
}

const std::string& RunTag() {
    static const std::string tag = [] {
        FILETIME now;
        GetSystemTimeAsFileTime(&now);
        return "r" + std::to_string((static_cast<unsigned long long>(now.dwHighDateTime) << 32) |
                                    now.dwLowDateTime);
    }();
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

std::string RequestLog(const std::string& prefix) {
    return Control(L"GET", "/_ctl/log?prefix=" + QueryValue(prefix), {});
}

std::vector<std::vector<std::string>> RequestHeads(const std::string& prefix) {
    std::vector<std::vector<std::string>> requests;
    const std::string log = RequestLog(prefix);
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

int RequestCount(const std::string& prefix) {
    return std::stoi(Control(L"GET", "/_ctl/count?prefix=" + QueryValue(prefix), {}));
}
