#include "net/http_get.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <utility>

#include "support/test_files.h"
#include "support/test_server.h"
#include "test_config.h"

namespace {

const std::string kHttp = "http://localhost:" + std::to_string(kTestHttpPort);
const std::string kHttps = "https://localhost:" + std::to_string(kTestHttpsPort);
const std::string kMixedHttp = "http://localhost:" + std::to_string(kTestMixedPort);
const std::string kMixedHttps = "https://localhost:" + std::to_string(kTestMixedPort);

std::string Path(const std::string& rest) {
    return "/net/" + RunTag() + "/" + rest;
}

struct Fetched {
    bool ok = false;
    std::string body;
    std::wstring error;
    std::vector<ResponseHead> heads;
    std::vector<size_t> pieces;
};

// Starts from an error text that is not empty, so that "untouched" shows.
Fetched Get(const std::wstring& url, const HeaderLines& lines = {}) {
    Fetched result;
    result.error = L"untouched";
    const BodySink sink{[&](const ResponseHead& head, std::wstring*) {
                            result.heads.push_back(head);
                            return true;
                        },
                        [&](std::string_view piece, std::wstring*) {
                            result.body += piece;
                            result.pieces.push_back(piece.size());
                            return true;
                        }};
    result.ok = HttpGet({}, url, lines, sink, &result.error);
    return result;
}

bool Has(const std::vector<std::string>& lines, const std::string& line) {
    return std::count(lines.begin(), lines.end(), line) == 1;
}

// Redirects are resolved from the URL that answered with them and followed by the call itself;
// a fragment is never sent. The keyed lines may hold a credential: they go on only to the first
// URL's host and port, and never from HTTPS to plain HTTP, while the call goes on without them.
// What the caller asks of the document (a range) goes on to every hop.
TEST(HttpGet, FollowsRedirectsAndSendsExtraLinesOnlyToTheSameOrigin) {
    const std::string port = std::to_string(kTestHttpPort);
    const std::string loopback = "http://127.0.0.1:" + port;
    const struct {
        std::string start;  // the listener the first request goes to, at <dir>start
        std::vector<std::pair<int, std::string>> hops;  // status and Location; {d} is <dir>
        std::vector<std::string> paths;  // where each hop leads, under <dir>; the last answers
        bool keyed;                      // whether the requests after the first carry the lines
    } cases[] = {
        {kHttp, {{302, kHttp + "{d}target"}}, {"target"}, true},
        {kHttp, {{300, "target#part"}}, {"target"}, true},
        {kHttp, {{302, "//localhost:" + port + "{d}target"}}, {"target"}, true},
        {kHttp, {{302, "HTTP://LOCALHOST:" + port + "{d}target"}}, {"target"}, true},
        {kHttps, {{302, "{d}target"}}, {"target"}, true},
        {kHttp, {{300, kHttps + "{d}target"}}, {"target"}, false},  // another port
        {kHttp, {{302, loopback + "{d}target"}}, {"target"}, false},
        {kHttp, {{300, loopback + "{d}target"}}, {"target"}, false},
        {kHttps, {{300, kHttp + "{d}target"}}, {"target"}, false},
        // The same host and port, only the scheme goes down: one listener answers both.
        {kMixedHttps, {{302, kMixedHttp + "{d}target"}}, {"target"}, false},
        // Two hops: the rules hold against the first URL, not against the hop before.
        {kHttp, {{302, loopback + "{d}a/next"}, {302, "{d}target"}}, {"a/next", "target"}, false},
        {kHttps, {{300, kHttp + "{d}next"}, {300, "target"}}, {"next", "target"}, false},
        {kHttp,
         {{302, kHttps + "{d}a/b/next"}, {302, "../target"}},
         {"a/b/next", "a/target"},
         false}};
    int n = 0;
    for (const auto& c : cases) {
        const std::string dir = Path("redirect/") + std::to_string(n++) + "/";
        const auto located = [&](size_t hop) {
            std::string location = c.hops[hop].second;
            if (const size_t at = location.find("{d}"); at != std::string::npos)
                location.replace(at, 3, dir);
            return Redirect(c.hops[hop].first, location);
        };
        SCOPED_TRACE(c.start + " " + located(0));
        SetRoute(dir + "start", located(0));
        for (size_t i = 0; i < c.paths.size(); ++i)
            SetRoute(dir + c.paths[i], i + 1 < c.hops.size() ? located(i + 1) : Body("reached"));
        const Fetched got = Get(Widen(c.start + dir + "start"),
                                {L"X-API-Key: s3cr3t\r\nX-Two: 2\r\n", L"X-Range: bytes=5-"});
        ASSERT_TRUE(got.ok) << Narrow(got.error);
        EXPECT_EQ(got.body, "reached");
        // The request line, the fixed lines, Host and the caller's lines: nothing else (no
        // connection is kept, so there is no Connection line).
        const std::vector<std::string> start = RequestHeads(dir + "start").at(0);
        EXPECT_EQ(start.size(), 8u);
        for (const char* line :
             {"Accept: */*", "Accept-Language: zh-CN,zh;q=0.9", "User-Agent: DudaVedDownloader/1.0",
              "X-API-Key: s3cr3t", "X-Two: 2", "X-Range: bytes=5-"})
            EXPECT_TRUE(Has(start, line)) << line;
        for (const std::string& path : c.paths) {
            const std::vector<std::string> arrived = RequestHeads(dir + path).at(0);
            EXPECT_EQ(Has(arrived, "X-API-Key: s3cr3t"), c.keyed) << path;
            EXPECT_EQ(Has(arrived, "X-Two: 2"), c.keyed) << path;
            EXPECT_TRUE(Has(arrived, "X-Range: bytes=5-")) << path;
            EXPECT_TRUE(Has(arrived, "User-Agent: DudaVedDownloader/1.0"));
        }
    }
}

// WinHTTP followed 301, 302, 303, 307 and 308 by itself, ten in a row, but not from HTTPS down to
// plain HTTP; the other redirects came back to the installer, which followed four of them.
TEST(HttpGet, CountsRedirectsAsWinHttpCountedThem) {
    const std::vector<int> ten = {301, 302, 303, 307, 308, 301, 302, 303, 307, 308};
    std::vector<int> twentyOne = ten;
    twentyOne.push_back(300);
    twentyOne.insert(twentyOne.end(), ten.begin(), ten.end());
    const struct {
        const char* name;
        std::vector<int> hops;  // the redirects in turn; then the document
        bool ok;
        bool down = false;  // from HTTPS to HTTP and back, again and again, on one port
    } cases[] = {
        {"four of the others", {300, 300, 300, 300}, true},
        {"five of the others", {300, 300, 305, 300, 300}, false},
        {"four of the others and one of WinHTTP's", {300, 300, 300, 300, 302}, true},
        {"ten of WinHTTP's", ten, true},
        {"eleven of WinHTTP's", {302, 302, 302, 302, 302, 302, 302, 302, 302, 302, 302}, false},
        {"another kind starts WinHTTP's count afresh", twentyOne, true},
        {"down to HTTP four times", {302, 302, 302, 302, 302, 302, 302, 302}, true, true},
        {"down to HTTP five times", {302, 302, 302, 302, 302, 302, 302, 302, 302}, false, true},
    };
    int n = 0;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string chain = Path("chain/") + std::to_string(n++) + "/";
        const auto url = [&](size_t i) {
            const std::string& origin = !c.down ? kHttp : i % 2 ? kMixedHttp : kMixedHttps;
            return origin + chain + std::to_string(i);
        };
        for (size_t i = 0; i < c.hops.size(); ++i)
            SetRoute(chain + std::to_string(i), Redirect(c.hops[i], url(i + 1)));
        SetRoute(chain + std::to_string(c.hops.size()), Body("end"));

        const Fetched got = Get(Widen(url(0)));
        EXPECT_EQ(got.ok, c.ok);
        EXPECT_EQ(got.error, c.ok ? L"untouched" : L"下载重定向次数过多");
        EXPECT_EQ(got.body, c.ok ? "end" : "");
        EXPECT_EQ(got.heads.size(), c.ok ? 1u : 0u);
        if (c.ok) {
            EXPECT_EQ(got.heads[0].url, Widen(url(c.hops.size())));  // the URL that answered
        }
        EXPECT_EQ(RequestCount(chain), static_cast<int>(c.hops.size()) + (c.ok ? 1 : 0));
    }
}

// The head first, with what the server announced, then the body of any 2xx piece by piece, in
// order, as it was sent: after five seconds' wait too (the time-outs are longer). A document of
// 1 MiB is read, one byte more is not, announced or not: it reads as empty.
TEST(HttpGet, HandsOnTheHeadThenTheBodyOfA2xxPieceByPiece) {
    constexpr size_t kMiB = 1 << 20;
    const struct {
        std::string route;  // empty: the URL is the test server's own
        std::wstring url;
        size_t size;
        std::uint64_t length;
        DWORD status = 200;
        bool document = false;  // read as a document (HttpGetText)
    } cases[] = {{"", HttpsUrl("/_gen/bytes?size=300000"), 300000, 300000},
                 {R"({"body_size": 50000, "chunked": true})", L"chunked", 50000, 0},
                 {R"({"status": 299, "body_size": 256})", L"299", 256, 256, 299},
                 {R"({"status": 204})", L"204", 0, 0, 204},
                 {R"({"chunk_delay_ms": 5000, "body_size": 4})", L"late", 4, 4},
                 {R"({"body_size": 1048576})", L"MiB", kMiB, kMiB, 200, true},
                 {R"({"body_size": 1048577})", L"MiB+1", 0, kMiB + 1, 200, true},
                 {R"({"body_size": 1048576, "chunked": true})", L"MiB-c", kMiB, 0, 200, true},
                 {R"({"body_size": 1048577, "chunked": true})", L"MiB+1-c", 0, 0, 200, true}};
    for (const auto& c : cases) {
        const std::wstring url = c.route.empty() ? c.url : HttpUrl(Path(Narrow(c.url)));
        if (!c.route.empty()) SetRoute(Path(Narrow(c.url)), c.route);
        SCOPED_TRACE(Narrow(url));
        Fetched got;
        if (c.document) {
            got.ok = HttpGetText({}, url, got.body, nullptr, L"");
        } else {
            got = Get(url);
            EXPECT_EQ(got.error, L"untouched");
            ASSERT_EQ(got.heads.size(), 1u);
            EXPECT_EQ(got.heads[0].status, c.status);
            EXPECT_EQ(got.heads[0].length, c.length);
            EXPECT_EQ(got.heads[0].url, url);
            EXPECT_EQ(got.pieces.empty(), c.size == 0);
        }
        ASSERT_TRUE(got.ok);
        ASSERT_EQ(got.body.size(), c.size);
        for (size_t i = 0; i < c.size; i += 997)
            ASSERT_EQ(static_cast<unsigned char>(got.body[i]), i % 256) << i;
    }
}

// A failure's text: the status, no answer, no usable address, a body short of what it
// announced (a terabyte announced reserves nothing up front) or past it (a length announced
// beside a chunked body, which WinHTTP reads on to the last chunk). WinHTTP under Wine cuts
// header lines at about 1,460 bytes: whatever it makes of a longer Location, the redirect page is
// never taken for the document. The body's receiver stops the call with its own text.
TEST(HttpGet, NamesEachFailure) {
    const struct {
        std::string route;  // empty: the URL is as given
        std::wstring url;
        std::wstring error;  // empty: any failure text
    } cases[] = {
        {R"({"status": 400, "body": "bad"})", L"400", L"服务器返回错误：400"},
        {R"({"status": 503})", L"503", L"服务器返回错误：503"},
        {R"({"status": 300, "body": "choose"})", L"300-bare", L"服务器返回错误：300"},
        {Redirect(302, "/" + std::string(5000, 'a')), L"long-location", L""},
        {R"({"status": 101})", L"101", L"服务器无响应"},
        {"", L"ftp://localhost/a.zip", L"下载地址无效"},
        {Redirect(300, "ftp://localhost/x"), L"to-ftp", L"下载地址无效"},
        {"", RefusedUrl(Path("refused")), L"服务器无响应"},
        {R"({"hangup": true})", L"hangup", L"服务器无响应"},
        {"", UntrustedUrl("/_gen/bytes?size=10"), L"服务器无响应"},
        {R"({"body_size": 100000, "send": 40000})", L"cut", L"下载数据不完整"},
        {R"({"body_size": 10, "content_length": 5000})", L"overstated", L"下载数据不完整"},
        {R"({"body_size": 10, "content_length": 1099511627776})", L"terabyte", L"下载数据不完整"},
        {R"({"body_size": 50000, "chunked": true, "send": 20000, "reset_ms": 500})", L"chunk-cut",
         L"下载数据不完整"},
        {R"({"body_size": 300000, "chunked": true, "headers": [["Content-Length", "20000"]]})",
         L"beyond", L"下载数据不完整"}};
    for (const auto& c : cases) {
        const std::wstring url = c.route.empty() ? c.url : HttpUrl(Path(Narrow(c.url)));
        if (!c.route.empty()) SetRoute(Path(Narrow(c.url)), c.route);
        const Fetched got = Get(url);
        EXPECT_FALSE(got.ok) << Narrow(url);
        if (!c.error.empty()) {
            EXPECT_EQ(got.error, c.error) << Narrow(url);
        }
        // Never a byte beyond an announced length.
        const std::uint64_t announced = got.heads.empty() ? 0 : got.heads[0].length;
        if (announced > 0) {
            EXPECT_LE(got.body.size(), announced) << Narrow(url);
        }
    }
    EXPECT_FALSE(HttpGet({}, HttpUrl(Path("400")), {}, {}, nullptr));
    for (const bool inHead : {true, false}) {
        std::wstring error;
        const auto stop = [](std::wstring* stopError) {
            *stopError = L"stopped";
            return false;
        };
        const BodySink sink{
            [&](const ResponseHead&, std::wstring* e) { return inHead ? stop(e) : true; },
            [&](std::string_view, std::wstring* e) { return stop(e); }};
        EXPECT_FALSE(HttpGet({}, HttpUrl("/_gen/bytes?size=10"), {}, sink, &error));
        EXPECT_EQ(error, L"stopped");
    }
}

// Each request goes the way the user's browser would send it: through the proxy that the
// Internet Options name for it, fixed or by a PAC file, or straight. A proxy that cannot be
// reached, or a PAC file that cannot be had, leaves the request to go straight; a proxy that
// answers is an answer.
TEST(HttpGet, GoesThroughTheUsersProxyAsTheBrowserWould) {
    const std::string proxy = "127.0.0.2:" + std::to_string(kTestProxyPort);
    const std::string pac = Path("proxy.pac");
    SetRoute(pac, Body("function FindProxyForURL(url, host) { return host == \"localhost\" ? "
                       "\"PROXY " +
                       proxy + "\" : \"DIRECT\"; }"));
    SetRoute(Path("missing.pac"), R"({"status": 404})");
    SetRoute(Path("via"), Body("arrived"));
    const std::string direct = "http://127.0.0.1:" + std::to_string(kTestHttpPort) + Path("via");
    const std::string connect = "CONNECT localhost:" + std::to_string(kTestHttpsPort) + " HTTP/1.1";
    const struct {
        const char* name;
        unsigned flags;
        std::string proxy, bypass, pac;
        std::string url;
        std::string proxied;       // the request line the proxy sees; empty: nothing reaches it
        std::wstring error = L"";  // empty: the body arrives
    } cases[] = {
        {"fixed, http", 0x2, proxy, "", "", kHttp + Path("via"),
         "GET " + kHttp + Path("via") + " HTTP/1.1"},
        {"fixed, https", 0x2, proxy, "", "", kHttps + Path("via"), connect},
        {"bypassed", 0x2, proxy, "<local>", "", kHttp + Path("via"), ""},
        {"not bypassed", 0x2, proxy, "<local>", "", direct, "GET " + direct + " HTTP/1.1"},
        {"pac, proxied", 0x4, "", "", kHttp + pac, kHttps + Path("via"), connect},
        {"pac, direct", 0x4, "", "", kHttp + pac, direct, ""},
        {"dead proxy", 0x2, "127.0.0.2:" + std::to_string(kTestRefusedPort), "", "",
         kHttp + Path("via"), ""},
        {"no such proxy", 0x2, "vexa-no-such-proxy.invalid:8080", "", "", kHttp + Path("via"), ""},
        {"pac missing", 0x4, "", "", kHttp + Path("missing.pac"), kHttp + Path("via"), ""},
        // A PAC file that cannot be had sends the request straight, not through the fixed proxy.
        {"pac missing, fixed proxy too", 0x6, proxy, "", kHttp + Path("missing.pac"),
         kHttp + Path("via"), ""},
        {"proxy answers 407", 0x2, "127.0.0.2:" + std::to_string(kTestProxy407Port), "", "",
         kHttp + Path("via"), "GET " + kHttp + Path("via") + " HTTP/1.1", L"服务器返回错误：407"},
        {"no settings", 0, "", "", "", kHttp + Path("via"), ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const Finally restored = SetInternetOptions(c.flags, c.proxy, c.bypass, c.pac);
        const ProxySettings settings = ReadProxySettings();
        const size_t before = ProxyHeads().size();
        Fetched got;
        got.error = L"untouched";
        got.ok = HttpGet(settings, Widen(c.url), {},
                         {{},
                          [&](std::string_view piece, std::wstring*) {
                              got.body += piece;
                              return true;
                          }},
                         &got.error);
        EXPECT_EQ(got.ok, c.error.empty());
        EXPECT_EQ(got.error, c.error.empty() ? L"untouched" : c.error);
        EXPECT_EQ(got.body, c.error.empty() ? "arrived" : "");
        const auto heads = ProxyHeads();
        ASSERT_EQ(heads.size(), before + (c.proxied.empty() ? 0 : 1));
        if (!c.proxied.empty()) {
            EXPECT_EQ(heads.back().at(0), c.proxied);
        }
    }
    // Through the tunnel the link service's key still reaches its origin.
    const Finally fixed = SetInternetOptions(0x2, proxy);
    SetRoute(Path("keyed"), Body("arrived"));
    EXPECT_TRUE(
        HttpGet(ReadProxySettings(), HttpsUrl(Path("keyed")), {L"X-API-Key: s3cr3t"}, {}, nullptr));
    EXPECT_TRUE(Has(RequestHeads(Path("keyed")).at(0), "X-API-Key: s3cr3t"));
}

}  // namespace
