#include "config/package_link.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/test_server.h"

namespace {

constexpr wchar_t kResolving[] = L"正在解析安装包地址...";
// A package address with reserved characters, a space and Chinese text, and its encoding.
constexpr wchar_t kPackage[] = L"https://pan.example.com/s/盒子 v2?x=1&y";
constexpr char kEncoded[] =
    "https%3A%2F%2Fpan.example.com%2Fs%2F%E7%9B%92%E5%AD%90%20v2%3Fx%3D1%26y";

TEST(ServiceUrls, ExtendTheBasesPathAndKeepItsQueryOrTakeItsOrigin) {
    ExpectEach(
        [](const std::wstring& base) { return ParserServiceUrl(base, L"p"); },
        {{L" https://s.example:8443/api \t", L"https://s.example:8443/api/json/parser?url=p"},
         {L"https://s.example/json/parser/", L"https://s.example/json/parser/?url=p"},
         {L"https://s.example/json/parserx", L"https://s.example/json/parserx?url=p"},
         {L"http://s.example/api?token=1", L"http://s.example/api/json/parser?token=1&url=p"},
         {L"http://s.example/api#f?g", L"http://s.example/api/json/parser?url=p#f?g"},
         {L"http://s.example/api?t=1#f", L"http://s.example/api/json/parser?t=1&url=p#f"},
         {L" \t\r\n", L""}});
    ExpectEach([](const std::wstring& base) { return LinkInfoServiceUrl(base, L"p"); },
               {{L" https://s.example:8443/api/ ", L"https://s.example:8443/v2/linkInfo?url=p"},
                {L"https://s.example:443/a?b", L"https://s.example/v2/linkInfo?url=p"},
                {L"http://s.example:443/", L"http://s.example:443/v2/linkInfo?url=p"},
                {L"s.example/api/", L""}});
    EXPECT_EQ(ParserServiceUrl(L"https://s.example/", kPackage),
              L"https://s.example/json/parser?url=" + Widen(kEncoded));
}

TEST(ResolvePackageLink, AsksTheParserFormThenTheLinkInfoFormWhenAServiceIsSet) {
    const std::string notFound = R"({"status": 404, "body": "{\"directLink\":\"nope\"}"})";
    const std::string unavailable = R"({"status": 503})";
    const std::string hangup = R"({"hangup": true})";
    const struct {
        std::wstring package, service;  // service "*": this case's own on the test server
        std::string parser, linkInfo;   // responses; empty: that form is never asked
        bool ok;
        std::wstring linkOrError;
    } cases[] = {
        {L"", L"*", "", "", false, L"后端未配置 app_package_url"},
        {L" as written ", L"", "", "", true, L" as written "},
        {L"p.zip", L" \t", "", "", false, L"第三方解析接口地址无效"},
        {L"p.zip", L"ftp://localhost/api/", "", "", false, L"下载地址无效"},
        {L"p.zip", L"*", Body(R"({"directLink":" https://cdn.example/a.zip "})"), "", true,
         L"https://cdn.example/a.zip"},
        {L"p.zip", L"*", hangup, Body(R"({"data":{"downLink":"https://cdn.example/b.zip"}})"), true,
         L"https://cdn.example/b.zip"},
        // An answer longer than 1 MiB is read no further than a broken one.
        {L"p.zip", L"*",
         Body(R"({"directLink":"https://cdn.example/big.zip"})" + std::string(2 << 20, ' ')),
         Body(R"({"downLink":"https://cdn.example/c.zip"})"), true, L"https://cdn.example/c.zip"},
        {L"p.zip", L"*", Body(R"({"downLink":"https://cdn.example/wrong.zip"})"),
         Body(R"({"downLink":"https://cdn.example/d.zip"})"), true, L"https://cdn.example/d.zip"},
        {L"p.zip", L"*", Body(R"({"code":1})"), unavailable, false, L"服务器返回错误：503"},
        {L"p.zip", L"*", notFound, Body(R"({"downLink":7})"), false, L"服务器返回错误：404"},
        {L"p.zip", L"*", notFound, unavailable, false, L"服务器返回错误：503"},
        {L"p.zip", L"*", notFound, hangup, false, L"服务器无响应"},
        {L"p.zip", L"*", Body(R"({"directLink":null})"),
         Body(R"({"directLink":"https://cdn.example/wrong.zip"})"), false,
         L"第三方接口未返回可下载地址"}};
    int n = 0;
    for (const auto& c : cases) {
        // Each case has its own service path and package address, so its own routes.
        const std::string id = RunTag() + "-" + std::to_string(n++);
        const std::string parserPath = "/link/" + id + "/api/json/parser";
        const std::string linkInfoTarget = "/v2/linkInfo?url=" + id + ".zip";
        if (!c.parser.empty()) SetRoute(parserPath, c.parser);
        if (!c.linkInfo.empty()) SetRoute(linkInfoTarget, c.linkInfo);
        const std::wstring service =
            c.service == L"*" ? HttpUrl("/link/" + id + "/api/") : c.service;
        const std::wstring package = c.package == L"p.zip" ? Widen(id + ".zip") : c.package;
        SCOPED_TRACE(Narrow(c.linkOrError));
        std::vector<std::wstring> reported;
        const auto report = [&](std::wstring_view text) { reported.emplace_back(text); };
        std::wstring link = L"old";
        std::wstring error = L"untouched";

        EXPECT_EQ(ResolvePackageLink({}, {package, service, L""}, link, &error, report), c.ok);

        EXPECT_EQ(c.ok ? link : error, c.linkOrError);
        EXPECT_EQ(c.ok ? error : link, c.ok ? L"untouched" : L"old");
        const bool asked = !c.package.empty() && !c.service.empty();
        EXPECT_EQ(reported, std::vector<std::wstring>(asked ? 1 : 0, kResolving));
        EXPECT_EQ(RequestCount(parserPath), c.parser.empty() ? 0 : 1);
        EXPECT_EQ(RequestCount(linkInfoTarget), c.linkInfo.empty() ? 0 : 1);
        std::wstring quiet = L"old";
        EXPECT_EQ(ResolvePackageLink({}, {package, service, L""}, quiet, nullptr, report), c.ok);
    }
}

TEST(ResolvePackageLink, SendsBothFormsWithTheEncodedAddressAndASafeTrimmedKey) {
    const std::string service = "/link/" + RunTag();
    const std::string linkInfoTarget = std::string("/v2/linkInfo?url=") + kEncoded;
    const struct {
        std::string base;  // under the service path, on the HTTPS listener
        std::wstring key;
        std::string parserTarget;  // under the service path, up to the encoded address
        std::vector<std::string> added;
    } cases[] = {
        {"/keyed/api/", L"  s3cr3t \t", "/keyed/api/json/parser?url=", {"X-API-Key: s3cr3t"}},
        {"/blank/json/parser?app=box", L" \t ", "/blank/json/parser?app=box&url=", {}},
        // A line break in the key would add header lines of the back end's choosing.
        {"/broken/api", L"abc\r\nX-Evil: 1", "/broken/api/json/parser?url=", {}},
        {"/del/api/", L"a\x7F", "/del/api/json/parser?url=", {}},
        {"/accent/api/", L"k\xE9y", "/accent/api/json/parser?url=", {}}};
    // No parser reply has a directLink, so that both forms are asked.
    for (const auto& c : cases)
        SetRoute(service + c.parserTarget.substr(0, c.parserTarget.find('?')), Body("{}"));
    SetRoute(linkInfoTarget, Body(R"({"downLink":"https://cdn.example/e.zip"})"));
    const auto added = [](const std::vector<std::string>& head) {
        std::vector<std::string> lines;
        for (const std::string& line : head)
            if (line.starts_with("X-")) lines.push_back(line);
        return lines;
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.base);
        const size_t before = RequestHeads(linkInfoTarget).size();
        std::wstring link;
        ASSERT_TRUE(ResolvePackageLink({}, {kPackage, HttpsUrl(service + c.base), c.key}, link,
                                       nullptr, [](std::wstring_view) {}));
        EXPECT_EQ(link, L"https://cdn.example/e.zip");

        const auto parser = RequestHeads(service + c.parserTarget);
        ASSERT_EQ(parser.size(), 1u);
        EXPECT_EQ(parser[0][0], "GET " + service + c.parserTarget + kEncoded + " HTTP/1.1");
        EXPECT_EQ(added(parser[0]), c.added);
        // The origin keeps the listener's port; the base's path is dropped.
        const auto linkInfo = RequestHeads(linkInfoTarget);
        ASSERT_EQ(linkInfo.size(), before + 1);
        EXPECT_EQ(added(linkInfo.back()), c.added);
    }
    EXPECT_EQ(RequestLog(linkInfoTarget).find("listener: http\r\n"), std::string::npos)
        << "every /v2/linkInfo request went to the HTTPS listener";
}

}  // namespace
