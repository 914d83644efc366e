#include "config/package_link.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/status_window.h"
#include "support/test_server.h"

namespace {

constexpr wchar_t kResolving[] = L"正在解析安装包地址...";
// A package address with reserved characters, a space and Chinese text, and its encoding.
constexpr wchar_t kPackage[] = L"https://pan.example.com/s/盒子 v2?x=1&y";
constexpr char kEncoded[] =
    "https%3A%2F%2Fpan.example.com%2Fs%2F%E7%9B%92%E5%AD%90%20v2%3Fx%3D1%26y";

// The header lines of a request that the installer adds of its own ("X-...").
std::vector<std::string> KeyHeaders(const std::vector<std::string>& request) {
    std::vector<std::string> keys;
    for (const std::string& line : request)
        if (line.starts_with("X-")) keys.push_back(line);
    return keys;
}

TEST(ParserServiceUrl, ExtendsTheBaseAndAddsTheEncodedAddress) {
    const struct {
        std::wstring base, package, url;
    } cases[] = {
        {L"https://svc.example/api/", L"a.zip", L"https://svc.example/api/json/parser?url=a.zip"},
        {L"https://svc.example/api", L"a.zip", L"https://svc.example/api/json/parser?url=a.zip"},
        {L" https://svc.example \t", L"a.zip", L"https://svc.example/json/parser?url=a.zip"},
        {L"https://svc.example/json/parser/", L"a.zip",
         L"https://svc.example/json/parser/?url=a.zip"},
        {L"https://svc.example/v1/json/parser?app=box", L"a.zip",
         L"https://svc.example/v1/json/parser?app=box&url=a.zip"},
        {L"https://svc.example/api?token=1", L"a.zip",
         L"https://svc.example/api/json/parser?token=1&url=a.zip"},
        {L"https://svc.example/json/parser?app=box", L"a.zip",
         L"https://svc.example/json/parser?app=box&url=a.zip"},
        {L"https://svc.example/json/parserx", L"a.zip",
         L"https://svc.example/json/parserx?url=a.zip"},
        {L"https://svc.example/api/", L"x/y z",
         L"https://svc.example/api/json/parser?url=x%2Fy%20z"},
        {L"https://svc.example/api/", kPackage,
         L"https://svc.example/api/json/parser?url=" + Widen(kEncoded)},
        {L"https://svc.example/api/", L"", L"https://svc.example/api/json/parser?url="},
        {L" \t\r\n", L"a.zip", L""},
        {L"", L"a.zip", L""},
    };
    for (const auto& c : cases)
        EXPECT_EQ(ParserServiceUrl(c.base, c.package), c.url) << Narrow(c.base);
}

TEST(LinkInfoServiceUrl, KeepsOnlyTheOriginOfTheBase) {
    const struct {
        std::wstring base, url;
    } cases[] = {
        {L"https://svc.example/api/", L"https://svc.example/v2/linkInfo?url=x%2Fy%20z"},
        {L"https://svc.example:443/a/b?c=d", L"https://svc.example/v2/linkInfo?url=x%2Fy%20z"},
        {L"http://svc.example:80/", L"http://svc.example/v2/linkInfo?url=x%2Fy%20z"},
        {L"https://svc.example:8443/api/", L"https://svc.example:8443/v2/linkInfo?url=x%2Fy%20z"},
        {L"http://svc.example:443/api/", L"http://svc.example:443/v2/linkInfo?url=x%2Fy%20z"},
        {L" https://svc.example/api/ ", L"https://svc.example/v2/linkInfo?url=x%2Fy%20z"},
        {L"ftp://svc.example/api/", L""},
        {L"svc.example/api/", L""},
        {L"", L""},
    };
    for (const auto& c : cases)
        EXPECT_EQ(LinkInfoServiceUrl(c.base, L"x/y z"), c.url) << Narrow(c.base);
}

TEST(ResolvePackageLink, UsesThePackageAddressWhenNoServiceIsConfigured) {
    const std::string direct = "/link/" + RunTag() + "/direct/";
    const std::wstring package = HttpUrl(direct + "box.zip");
    const struct {
        PackageConfig config;
        bool ok;
        std::wstring link, error;
        std::vector<std::wstring> posted;
    } cases[] = {
        {{L"", L"https://svc.example/", L"k"}, false, L"old", L"后端未配置 app_package_url", {}},
        {{L"", L"", L""}, false, L"old", L"后端未配置 app_package_url", {}},
        {{package, L"", L"k"}, true, package, L"untouched", {}},
        {{L" as written ", L"", L""}, true, L" as written ", L"untouched", {}},
        {{package, L" \t", L"k"}, false, L"old", L"第三方解析接口地址无效", {kResolving}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(Narrow(c.config.app_package_url + L" | " + c.config.download_api_base_url));
        StatusWindow window;
        std::wstring link = L"old";
        std::wstring error = L"untouched";
        EXPECT_EQ(ResolvePackageLink(c.config, link, &error), c.ok);
        EXPECT_EQ(link, c.link);
        EXPECT_EQ(error, c.error);
        EXPECT_EQ(window.TakeStatusTexts(), c.posted);
        std::wstring quiet = L"old";
        EXPECT_EQ(ResolvePackageLink(c.config, quiet, nullptr), c.ok);
        EXPECT_EQ(quiet, c.link);
    }
    EXPECT_EQ(RequestCount(direct), 0);
}

TEST(ResolvePackageLink, AsksTheParserFormThenTheLinkInfoForm) {
    const std::string not_found = R"({"status": 404, "body": "{\"directLink\":\"nope\"}"})";
    const std::string unavailable = R"({"status": 503})";
    const std::string hangup = R"({"hangup": true})";
    const struct {
        const char* what;
        std::string parser, link_info;  // responses; empty: the form must not be asked
        bool ok;
        std::wstring link_or_error;
    } cases[] = {
        {"parser answers", Body(R"({"directLink":" https://cdn.example/a.zip "})"), "", true,
         L"https://cdn.example/a.zip"},
        {"parser answers inside a wrapper",
         Body(R"({"code":0,"data":{"directLink":"https:\/\/cdn.example\/\u76d2.zip"}})"), "", true,
         L"https://cdn.example/盒.zip"},
        {"parser unreachable, linkInfo answers", hangup,
         Body(R"({"data":{"downLink":"https://cdn.example/b.zip"}})"), true,
         L"https://cdn.example/b.zip"},
        {"parser without directLink, linkInfo answers", Body(R"({"directLink":""})"),
         Body(R"({"downLink":"https://cdn.example/c.zip"})"), true, L"https://cdn.example/c.zip"},
        {"parser answers downLink only", Body(R"({"downLink":"https://cdn.example/wrong.zip"})"),
         Body(R"({"downLink":"https://cdn.example/d.zip"})"), true, L"https://cdn.example/d.zip"},
        {"parser without directLink, linkInfo fails", Body(R"({"code":1})"), unavailable, false,
         L"服务器返回错误：503"},
        {"parser fails, linkInfo without downLink", not_found, Body(R"({"downLink":7})"), false,
         L"服务器返回错误：404"},
        {"parser fails, linkInfo answers HTML", not_found, Body("<html>busy</html>"), false,
         L"服务器返回错误：404"},
        {"both fail, the later failure wins", not_found, unavailable, false,
         L"服务器返回错误：503"},
        {"parser hangs up, linkInfo 404", hangup, not_found, false, L"服务器返回错误：404"},
        {"linkInfo hangs up", not_found, hangup, false, L"服务器无响应"},
        {"neither reply has its key", Body(R"({"directLink":null})"),
         Body(R"({"directLink":"https://cdn.example/wrong.zip"})"), false,
         L"第三方接口未返回可下载地址"},
    };
    int n = 0;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        // Every case has its own service base and package address, so its own routes.
        const std::string id = RunTag() + "-" + std::to_string(n++);
        const std::string parser_path = "/link/form/" + id + "/api/json/parser";
        const std::string link_info_target = "/v2/linkInfo?url=case-" + id + ".zip";
        SetRoute(parser_path, "[" + c.parser + "]");
        if (!c.link_info.empty()) SetRoute(link_info_target, "[" + c.link_info + "]");
        const PackageConfig config{Widen("case-" + id + ".zip"),
                                   HttpUrl("/link/form/" + id + "/api/"), L""};
        StatusWindow window;
        std::wstring link = L"old";
        std::wstring error = L"untouched";

        EXPECT_EQ(ResolvePackageLink(config, link, &error), c.ok);

        EXPECT_EQ(c.ok ? link : error, c.link_or_error);
        EXPECT_EQ(c.ok ? error : link, c.ok ? L"untouched" : L"old");
        EXPECT_EQ(window.TakeStatusTexts(), std::vector<std::wstring>{kResolving});
        EXPECT_EQ(RequestCount(parser_path + "?url=case-" + id + ".zip"), 1);
        EXPECT_EQ(RequestCount(link_info_target), c.link_info.empty() ? 0 : 1);
    }
}

TEST(ResolvePackageLink, MakesNoLinkInfoRequestWithoutAnOrigin) {
    StatusWindow window;
    std::wstring link = L"old";
    std::wstring error;
    EXPECT_FALSE(ResolvePackageLink({L"a.zip", L"ftp://localhost/api/", L""}, link, &error));
    EXPECT_EQ(error, L"下载地址无效");  // the parser request's own failure
    EXPECT_EQ(link, L"old");
    EXPECT_EQ(window.TakeStatusTexts(), std::vector<std::wstring>{kResolving});
}

TEST(ResolvePackageLink, SendsBothFormsWithTheEncodedAddressAndTheTrimmedKey) {
    const std::string service = "/link/" + RunTag();
    const std::string link_info_target = std::string("/v2/linkInfo?url=") + kEncoded;
    const struct {
        std::string base;  // under the service path, on the HTTPS listener
        std::wstring key;
        std::string parser_target;  // under the service path, up to the encoded address
        std::vector<std::string> key_headers;
    } cases[] = {
        {"/keyed/api/", L"  s3cr3t \t", "/keyed/api/json/parser?url=", {"X-API-Key: s3cr3t"}},
        {"/blank/json/parser?app=box", L" \t ", "/blank/json/parser?app=box&url=", {}},
        {"/none/api", L"", "/none/api/json/parser?url=", {}},
        // A line break in the key would add header lines of the back end's choosing.
        {"/broken/api/", L"abc\r\nX-Evil: 1", "/broken/api/json/parser?url=", {}},
    };
    // No parser reply has a directLink, so that both forms are asked.
    for (const char* path : {"/keyed/api/json/parser", "/blank/json/parser",
                             "/none/api/json/parser", "/broken/api/json/parser"})
        SetRoute(service + path, Body("{}"));
    SetRoute(link_info_target, Body(R"({"downLink":"https://cdn.example/e.zip"})"));
    for (const auto& c : cases) {
        SCOPED_TRACE(c.base);
        const size_t before = RequestHeads(link_info_target).size();
        std::wstring link;
        ASSERT_TRUE(
            ResolvePackageLink({kPackage, HttpsUrl(service + c.base), c.key}, link, nullptr));
        EXPECT_EQ(link, L"https://cdn.example/e.zip");

        const auto parser = RequestHeads(service + c.parser_target);
        ASSERT_EQ(parser.size(), 1u);
        EXPECT_EQ(parser[0][0], "GET " + service + c.parser_target + kEncoded + " HTTP/1.1");
        EXPECT_EQ(KeyHeaders(parser[0]), c.key_headers);

        // The origin keeps the listener's port; the base's path is dropped.
        const auto link_info = RequestHeads(link_info_target);
        ASSERT_EQ(link_info.size(), before + 1);
        EXPECT_EQ(link_info.back()[0], "GET " + link_info_target + " HTTP/1.1");
        EXPECT_EQ(KeyHeaders(link_info.back()), c.key_headers);
    }
    EXPECT_EQ(RequestLog(link_info_target).find("listener: http\r\n"), std::string::npos)
        << "every /v2/linkInfo request went to the HTTPS listener";
}

}  // namespace
