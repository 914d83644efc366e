#include "config/server_config.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <functional>
#include <thread>

#include "config/endpoints.h"
#include "support/test_server.h"

namespace {

// Looks every 10 ms, on a thread of its own, for the largest region of committed memory in this
// process: memory reserved from an announced length shows there, touched or not (Wine's private
// bytes count touched pages only and keep no peak).
class LargestCommit {
public:
    LargestCommit()
        : sampler_([this] {
              while (!done_) {
                  MEMORY_BASIC_INFORMATION region{};
                  for (const char* at = nullptr; VirtualQuery(at, &region, sizeof(region));
                       at = static_cast<const char*>(region.BaseAddress) + region.RegionSize) {
                      if (region.State == MEM_COMMIT)
                          largest_ = std::max(largest_, region.RegionSize);
                  }
                  Sleep(10);
              }
          }) {}
    ~LargestCommit() { Stop(); }
    SIZE_T Stop() {
        done_ = true;
        if (sampler_.joinable()) sampler_.join();
        return largest_;
    }

private:
    std::atomic<bool> done_{false};
    SIZE_T largest_ = 0;
    std::thread sampler_;
};

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
        // A document announced as 1 GiB is not read, and nothing is reserved for it.
        {R"({"body_size": 10, "content_length": 1073741824, "chunk_delay_ms": 500})", fromFallback,
         L"https://fallback.example/api/", true},
        {unreachable, R"({"status": 503})", L"", true},
        {html, Body(R"({"api_base_url":null})"), L"", true}};
    LargestCommit commit;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.primary);
        SetRoute(kPrimary, c.primary);
        SetRoute(kFallback, c.fallback);
        const int primaryBefore = RequestCount(kPrimary);
        const int fallbackBefore = RequestCount(kFallback);
        std::vector<std::wstring> reported;

        EXPECT_EQ(
            FetchServerConfig({}, [&](std::wstring_view text) { reported.emplace_back(text); }),
            c.base);

        EXPECT_EQ(RequestCount(kPrimary) - primaryBefore, 1);
        EXPECT_EQ(RequestCount(kFallback) - fallbackBefore, c.fallbackAsked ? 1 : 0);
        const std::vector<std::wstring> posted(c.fallbackAsked ? 2 : 1, L"正在连接服务器...");
        EXPECT_EQ(reported, posted);
    }
    EXPECT_LT(commit.Stop(), SIZE_T{256} << 20);
}

}  // namespace
