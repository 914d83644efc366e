#include "net/http_get.h"

#include <gtest/gtest.h>

#include <utility>

#include "support/run_tag.h"
#include "support/test_server.h"
#include "test_config.h"

namespace {

// Paths of this run: the test server keeps its request log across runs of the program.
std::string Path(const std::string& rest) {
    return "/net/" + RunTag() + "/" + rest;
}

struct Fetched {
    bool ok = false;
    std::string body;
    std::wstring error;
    std::vector<std::pair<std::uint64_t, std::uint64_t>> progress;
};

// Starts from a body and an error text that are not empty, so that "untouched" shows.
Fetched Get(const std::wstring& url, const std::wstring& headers = L"") {
    Fetched result;
    std::vector<char> body{'o', 'l', 'd'};
    result.error = L"untouched";
    result.ok = HttpGet(
        url, body, &result.error,
        [&](std::uint64_t received, std::uint64_t total) {
            result.progress.emplace_back(received, total);
        },
        headers);
    result.body.assign(body.begin(), body.end());
    return result;
}

std::string Redirect(const std::string& location, int status = 300) {
    return "{\"status\": " + std::to_string(status) + ", \"headers\": [[\"Location\", " +
           JsonText(location) + "]]}";
}

std::string Body(const std::string& text) {
    return "{\"body\": " + JsonText(text) + "}";
}

// The header lines of the one request in a log, without the request line and "listener".
std::vector<std::string> HeaderLines(const std::string& log) {
    std::vector<std::string> lines;
    size_t start = 0;
    for (size_t end; (end = log.find("\r\n", start)) != std::string::npos; start = end + 2) {
        lines.push_back(log.substr(start, end - start));
    }
    EXPECT_GE(lines.size(), 3u) << log;
    EXPECT_EQ(lines.back(), "") << "the head ends in one empty line";
    return {lines.begin() + 2, lines.end() - 1};
}

TEST(HttpGet, SendsTheFixedHeadersTheUserAgentAndExtraLines) {
    const struct {
        std::wstring extra;
        std::vector<std::string> added;
    } cases[] = {
        {L"", {}},
        {L"X-API-Key: secret", {"X-API-Key: secret"}},
        {L"X-API-Key: secret\r\n", {"X-API-Key: secret"}},
        {L"X-One: 1\r\nX-Two: 2", {"X-One: 1", "X-Two: 2"}},
    };
    int n = 0;
    for (const auto& c : cases) {
        const std::string path = Path("headers/") + std::to_string(n++);
        SetRoute(path, "[" + Body("hi") + "]");
        ASSERT_TRUE(Get(HttpUrl(path), c.extra).ok);
        const std::vector<std::string> lines = HeaderLines(RequestLog(path));
        auto has = [&](const std::string& line) {
            return std::count(lines.begin(), lines.end(), line) == 1;
        };
        EXPECT_TRUE(has("Accept: */*")) << path;
        EXPECT_TRUE(has("Accept-Language: zh-CN,zh;q=0.9")) << path;
        EXPECT_TRUE(has("User-Agent: DudaVedDownloader/1.0")) << path;
        for (const auto& line : c.added)
            EXPECT_TRUE(has(line)) << path << ": " << line;
        for (const auto& line : lines) {
            const bool known = line.starts_with("Host: ") || line.starts_with("Connection: ") ||
                               line.starts_with("Accept") || line.starts_with("User-Agent: ") ||
                               line.starts_with("X-");
            EXPECT_TRUE(known) << path << ": unexpected header line " << line;
        }
        EXPECT_EQ(lines.size(), 5 + c.added.size()) << path;
    }
}

TEST(HttpGet, ReturnsBodiesOfSuccessAnd3xxWithoutLocation) {
    SetRoute(Path("204"), R"([{"status": 204}])");
    Fetched got = Get(HttpUrl(Path("204")));
    EXPECT_TRUE(got.ok);
    EXPECT_EQ(got.body, "");
    EXPECT_TRUE(got.progress.empty());
    EXPECT_EQ(got.error, L"untouched");

    SetRoute(Path("300-bare"), R"([{"status": 300, "body": "choose"}])");
    got = Get(HttpUrl(Path("300-bare")));
    EXPECT_TRUE(got.ok);
    EXPECT_EQ(got.body, "choose");

    const std::string binary("a\0b\xff", 4);
    SetRoute(Path("binary"), "[{\"body_hex\": \"" + Hex(binary) + "\"}]");
    std::string text = "old";
    EXPECT_TRUE(HttpGetText(HttpUrl(Path("binary")), text, nullptr, L""));
    EXPECT_EQ(text, binary);
}

TEST(HttpGet, FollowsFourRedirectsAndFailsOnTheFifth) {
    for (int i = 0; i < 5; ++i) {
        SetRoute(Path("chain/") + std::to_string(i),
                 "[" + Redirect(Path("chain/") + std::to_string(i + 1)) + "]");
    }
    SetRoute(Path("chain/5"), "[" + Body("end") + "]");

    Fetched got = Get(HttpUrl(Path("chain/1")));
    EXPECT_TRUE(got.ok);
    EXPECT_EQ(got.body, "end");
    EXPECT_EQ(RequestCount(Path("chain/")), 5);

    got = Get(HttpUrl(Path("chain/0")));
    EXPECT_FALSE(got.ok);
    EXPECT_EQ(got.error, L"下载重定向次数过多");
    EXPECT_EQ(got.body, "old");
    EXPECT_EQ(RequestCount(Path("chain/")), 10);
    EXPECT_EQ(RequestCount(Path("chain/5")), 1);
}

TEST(HttpGet, ResolvesRelativeRedirectsOnTheSameServerAndPort) {
    const std::string base = Path("rel/");
    const std::string http = "http://localhost:" + std::to_string(kTestHttpPort);
    const std::string https = "https://localhost:" + std::to_string(kTestHttpsPort);
    const struct {
        std::string location;
        std::string target;  // the path the server must see
    } cases[] = {
        {base + "abs/target", base + "abs/target"},
        {"rel/target", base + "dir/rel/target"},
        {"../up/target", base + "up/target"},
        {"?q=1", base + "dir/start?q=1"},
        {"//localhost:" + std::to_string(kTestHttpPort) + base + "net-path", base + "net-path"},
        {"HTTP://localhost:" + std::to_string(kTestHttpPort) + base + "upper", base + "upper"},
        {https + base + "to-https", base + "to-https"},
    };
    for (const auto& c : cases) {
        SetRoute(base + "dir/start", "[" + Redirect(c.location) + "]");
        SetRoute(c.target, "[" + Body("reached " + c.target) + "]");
        const Fetched got = Get(HttpUrl(base + "dir/start"));
        EXPECT_TRUE(got.ok) << c.location << ": " << Narrow(got.error);
        EXPECT_EQ(got.body, "reached " + c.target) << c.location;
    }
    // And back from HTTPS to HTTP through a 300.
    SetRoute(base + "from-https", "[" + Redirect(http + base + "abs/target") + "]");
    const Fetched got = Get(HttpsUrl(base + "from-https"));
    EXPECT_TRUE(got.ok);
    EXPECT_EQ(got.body, "reached " + base + "abs/target");
}

TEST(HttpGet, NamesEachFailure) {
    SetRoute(Path("404"), R"([{"status": 404, "body": "missing"}])");
    SetRoute(Path("503"), R"([{"status": 503}])");
    SetRoute(Path("to-ftp"), "[" + Redirect("ftp://localhost/x") + "]");
    SetRoute(Path("hangup"), R"([{"hangup": true}])");
    const struct {
        std::wstring url;
        std::wstring error;
    } cases[] = {
        {HttpUrl(Path("404")), L"服务器返回错误：404"},
        {HttpUrl(Path("503")), L"服务器返回错误：503"},
        {L"ftp://localhost/a.zip", L"下载地址无效"},
        {L"localhost/a.zip", L"下载地址无效"},
        {HttpUrl(Path("to-ftp")), L"下载地址无效"},
        {RefusedUrl(Path("refused")), L"服务器无响应"},
        {HttpUrl(Path("hangup")), L"服务器无响应"},
        {UntrustedUrl("/_gen/bytes?size=10"), L"服务器无响应"},
    };
    for (const auto& c : cases) {
        const Fetched got = Get(c.url);
        EXPECT_FALSE(got.ok) << Narrow(c.url);
        EXPECT_EQ(got.error, c.error) << Narrow(c.url);
        EXPECT_EQ(got.body, "old") << Narrow(c.url);
    }
    std::vector<char> body{'x'};
    EXPECT_FALSE(HttpGet(HttpUrl(Path("404")), body, nullptr, {}, L""));
    EXPECT_EQ(body, std::vector<char>{'x'});
}

TEST(HttpGet, TrustsTheTestCaOverHttps) {
    const Fetched got = Get(HttpsUrl("/_gen/bytes?size=1000"));
    ASSERT_TRUE(got.ok) << Narrow(got.error);
    EXPECT_EQ(got.body.size(), 1000u);
    EXPECT_EQ(static_cast<unsigned char>(got.body[999]), 999 % 256);
}

TEST(HttpGet, ReportsProgressAfterEveryRead) {
    const size_t size = 300000;
    Fetched got = Get(HttpUrl("/_gen/bytes?size=" + std::to_string(size)));
    ASSERT_TRUE(got.ok);
    ASSERT_EQ(got.body.size(), size);
    ASSERT_FALSE(got.progress.empty());
    std::uint64_t last = 0;
    for (const auto& [received, total] : got.progress) {
        EXPECT_GT(received, last);
        EXPECT_EQ(total, size);
        last = received;
    }
    EXPECT_EQ(last, size);

    SetRoute(Path("chunked"), R"([{"body_size": 50000, "chunked": true}])");
    got = Get(HttpUrl(Path("chunked")));
    ASSERT_TRUE(got.ok);
    EXPECT_EQ(got.body.size(), 50000u);
    ASSERT_FALSE(got.progress.empty());
    for (const auto& step : got.progress)
        EXPECT_EQ(step.second, 0u);
    EXPECT_EQ(got.progress.back().first, 50000u);

    // More than announced is passed on as it came.
    SetRoute(Path("no-length"), R"([{"body_size": 20000, "content_length": "none"}])");
    got = Get(HttpUrl(Path("no-length")));
    EXPECT_TRUE(got.ok);
    EXPECT_EQ(got.body.size(), 20000u);
}

TEST(HttpGet, FailsOnABodyThatEndsEarly) {
    SetRoute(Path("short"), R"([{"body_size": 100000, "send": 40000}])");
    SetRoute(Path("overstated"), R"([{"body_size": 10, "content_length": 5000}])");
    // Announces a terabyte: the reservation is capped, nothing crashes.
    SetRoute(Path("terabyte"), R"([{"body_size": 10, "content_length": 1099511627776}])");
    for (const std::string& path : {Path("short"), Path("overstated"), Path("terabyte")}) {
        const Fetched got = Get(HttpUrl(path));
        EXPECT_FALSE(got.ok) << path;
        EXPECT_EQ(got.error, L"下载数据不完整") << path;
        EXPECT_EQ(got.body, "old") << path;
    }
}

}  // namespace
