#include "config/server_config.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "config/endpoints.h"
#include "support/status_window.h"
#include "support/test_server.h"

namespace {

constexpr char kPrimaryPath[] = "/primary/version.json";
constexpr char kFallbackPath[] = "/fallback/version.json";
constexpr wchar_t kConnecting[] = L"正在连接服务器...";

// The listener that served the last request whose target starts with prefix.
std::string LastListener(const std::string& prefix) {
    const std::string log = RequestLog(prefix);
    const size_t at = log.rfind("listener: ");
    if (at == std::string::npos) return "none";
    return log.substr(at + 10, log.find("\r\n", at) - at - 10);
}

class ConfigEndpoints : public ::testing::Test {
protected:
    void SetUp() override {
        if (VEXA_TEST_ENDPOINTS_SET_BY_HAND) {
            GTEST_SKIP() << "the configuration endpoints were set by hand for this build";
        }
        ASSERT_EQ(std::wstring(kPrimaryConfigUrl), HttpsUrl(kPrimaryPath));
        ASSERT_EQ(std::wstring(kFallbackConfigUrl), HttpUrl(kFallbackPath));
    }
};

TEST_F(ConfigEndpoints, FetchServerConfigFallsBackUntilAUsableBaseAddress) {
    const std::string unreachable = R"([{"hangup": true}])";
    const std::string unavailable = R"([{"status": 503, "body": "maintenance"}])";
    const std::string html = R"([{"body": "<html><body>502 Bad Gateway</body></html>",)"
                             R"( "headers": [["Content-Type", "text/html"]]}])";
    const std::string from_fallback = Body(R"({"api_base_url":"https://fallback.example/api"})");
    const struct {
        const char* what;
        std::string primary, fallback;
        std::wstring base;
        bool fallback_asked;
    } cases[] = {
        {"primary usable", Body(R"({"api_base_url":"https://b.example/api"})"), from_fallback,
         L"https://b.example/api/", false},
        {"already ends in a slash", Body(R"({"api_base_url":"https://b.example/"})"), from_fallback,
         L"https://b.example/", false},
        {"spaces around", Body("{\"api_base_url\":\" \\t https://b.example/v1 \\r\\n\"}"),
         from_fallback, L"https://b.example/v1/", false},
        {"with a query", Body(R"({"api_base_url":"https://b.example/v1?tenant=7"})"), from_fallback,
         L"https://b.example/v1/?tenant=7", false},
        {"escaped slashes, wrapped",
         Body(R"({"code":0,"data":{"api_base_url":"https:\/\/b.example\/\u76d2"}})"), from_fallback,
         L"https://b.example/盒/", false},
        {"primary unreachable", unreachable, from_fallback, L"https://fallback.example/api/", true},
        {"primary 503", unavailable, from_fallback, L"https://fallback.example/api/", true},
        {"primary HTML", html, from_fallback, L"https://fallback.example/api/", true},
        {"no member", Body(R"({"version":"1.0"})"), from_fallback, L"https://fallback.example/api/",
         true},
        {"empty string", Body(R"({"api_base_url":""})"), from_fallback,
         L"https://fallback.example/api/", true},
        {"blank string", Body(R"({"api_base_url":" \n "})"), from_fallback,
         L"https://fallback.example/api/", true},
        {"number", Body(R"({"api_base_url":8080})"), from_fallback,
         L"https://fallback.example/api/", true},
        {"both fail", unreachable, unavailable, L"", true},
        {"both unusable", html, Body(R"({"api_base_url":null})"), L"", true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        SetRoute(kPrimaryPath, c.primary);
        SetRoute(kFallbackPath, c.fallback);
        const int primary_before = RequestCount(kPrimaryPath);
        const int fallback_before = RequestCount(kFallbackPath);
        StatusWindow window;

        EXPECT_EQ(FetchServerConfig(), c.base);

        EXPECT_EQ(RequestCount(kPrimaryPath) - primary_before, 1);
        EXPECT_EQ(RequestCount(kFallbackPath) - fallback_before, c.fallback_asked ? 1 : 0);
        const std::vector<std::wstring> posted(c.fallback_asked ? 2 : 1, kConnecting);
        EXPECT_EQ(window.TakeStatusTexts(), posted);
    }
    // The primary is the HTTPS endpoint, the fallback the plain HTTP one.
    EXPECT_EQ(LastListener(kPrimaryPath), "https");
    EXPECT_EQ(LastListener(kFallbackPath), "http");
}

}  // namespace
