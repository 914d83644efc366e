#include "config/server_config.h"

#include <gtest/gtest.h>

#include "config/endpoints.h"
#include "support/test_server.h"

namespace {

constexpr char kPrimary[] = "/primary/version.json";
constexpr char kFallback[] = "/fallback/version.json";

TEST(FetchServerConfig, FallsBackUntilAUsableBaseAddress) {
    if (VEXA_TEST_ENDPOINTS_SET_BY_HAND) GTEST_SKIP() << "this build's endpoints were set by hand";
    ASSERT_EQ(std::wstring(kPrimaryConfigUrl), HttpsUrl(kPrimary));
    ASSERT_EQ(std::wstring(kFallbackConfigUrl), HttpUrl(kFallback));

    const std::string unreachable = R"({"hangup": true})";
    const std::string html = Body("<html><body>502 Bad Gateway</body></html>");
    const std::string fromFallback = Body(R"({"api_base_url":"https://fallback.example/api"})");
    const struct {
        std::string primary, fallback;
        std::wstring base;
        bool fallbackAsked;
    } cases[] = {
        {Body(R"({"api_base_url":"https://b.example/api"})"), fromFallback,
         L"https://b.example/api/", false},
        {Body("{\"api_base_url\":\" \\t https://b.example/v1/ \\r\\n\"}"), fromFallback,
         L"https://b.example/v1/", false},
        {Body(R"({"code":0,"data":{"api_base_url":"https:\/\/b.example\/\u76d2"}})"), fromFallback,
         L"https://b.example/盒/", false},
        {unreachable, fromFallback, L"https://fallback.example/api/", true},
        {R"({"status": 503, "body": "{\"api_base_url\":\"https://b.example/\"}"})", fromFallback,
         L"https://fallback.example/api/", true},
        {html, fromFallback, L"https://fallback.example/api/", true},
        {Body(R"({"api_base_url":" \n "})"), fromFallback, L"https://fallback.example/api/", true},
        {unreachable, R"({"status": 503})", L"", true},
        {html, Body(R"({"api_base_url":null})"), L"", true}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.primary);
        SetRoute(kPrimary, c.primary);
        SetRoute(kFallback, c.fallback);
        const int primaryBefore = RequestCount(kPrimary);
        const int fallbackBefore = RequestCount(kFallback);
        std::vector<std::wstring> reported;

        EXPECT_EQ(FetchServerConfig([&](std::wstring_view text) { reported.emplace_back(text); }),
                  c.base);

        EXPECT_EQ(RequestCount(kPrimary) - primaryBefore, 1);
        EXPECT_EQ(RequestCount(kFallback) - fallbackBefore, c.fallbackAsked ? 1 : 0);
        const std::vector<std::wstring> posted(c.fallbackAsked ? 2 : 1, L"正在连接服务器...");
        EXPECT_EQ(reported, posted);
    }
}

}  // namespace
