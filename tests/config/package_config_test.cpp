#include "config/package_config.h"

#include <gtest/gtest.h>

#include <string>

#include "support/test_server.h"

namespace {

TEST(ReadPackageConfig, TakesEachSettingByItsKeys) {
    const struct {
        std::string document;
        PackageConfig expected;
    } cases[] = {
        {R"({"download_url":"a","pc_box_package_url":"b"})", {L"b", L"", L""}},
        {R"({"app_package_url":"","box_package_url":"c"})", {L"c", L"", L""}},
        {R"({"pc_Box_Package_Url":"upper","pc_box_package_url":"lower"})", {L"lower", L"", L""}},
        {R"({"pc_Box_Package_Url":"upper","box_package_url":"c"})", {L"upper", L"", L""}},
        {R"({"download_url":"6","app_version_url":"5","box_package_url":"4",)"
         R"("pc_Box_Package_Url":"3","pc_box_package_url":"2","app_package_url":"1"})",
         {L"1", L"", L""}},
        {R"({"download_url":"d","app_version_url":"v"})", {L"v", L"", L""}},
        {R"({"app_package_url":7,"download_url":"d"})", {L"d", L"", L""}},
        {R"({"package_url":"p","url":"u"})", {L"", L"", L""}},
        // The service base gains a final slash; the key loses its surrounding whitespace.
        {R"({"app_package_url":"p","download_api_base_url":"https://svc.example/api",)"
         R"("download_api_key":"  k3y \t"})",
         {L"p", L"https://svc.example/api/", L"k3y"}},
        {R"({"app_package_url":"p","download_api_base_url":" https://svc.example/ "})",
         {L"p", L"https://svc.example/", L""}},
        {R"({"app_package_url":"p","download_api_base_url":"https://svc.example/v1?app=box"})",
         {L"p", L"https://svc.example/v1/?app=box", L""}},
        {R"({"app_package_url":"p","download_api_base_url":"","download_api_key":""})",
         {L"p", L"", L""}},
        // Members inside a wrapper object, written the way PHP writes them.
        {R"({"code":200,"msg":"ok","data":{"setting":{)"
         R"("app_package_url":"https:\/\/cdn.example.com\/box\/\u76d2\u5b50 v2.zip",)"
         R"("download_api_base_url":"https:\/\/svc.example\/api\/",)"
         R"("download_api_key":"\u0020key\u0020"}}})",
         {L"https://cdn.example.com/box/盒子 v2.zip", L"https://svc.example/api/", L"key"}},
        {"<html><body>Not JSON</body></html>", {L"", L"", L""}},
    };
    int n = 0;
    for (const auto& c : cases) {
        const std::string base = "/pkg/" + RunTag() + "/keys/" + std::to_string(n++) + "/";
        SetRoute(base + "setting", Body(c.document));
        const PackageConfig got = ReadPackageConfig(HttpUrl(base));
        EXPECT_EQ(got.app_package_url, c.expected.app_package_url) << c.document;
        EXPECT_EQ(got.download_api_base_url, c.expected.download_api_base_url) << c.document;
        EXPECT_EQ(got.download_api_key, c.expected.download_api_key) << c.document;
    }
}

TEST(ReadPackageConfig, RequestsTheSettingUnderTheBaseWithoutAKey) {
    const std::string document =
        R"({"app_package_url":"p","download_api_base_url":"s","download_api_key":"k"})";
    const std::string base = "/pkg/" + RunTag() + "/request/";
    SetRoute(base + "api/setting", Body(document));
    const PackageConfig got = ReadPackageConfig(HttpsUrl(base + "api/"));
    EXPECT_EQ(got.app_package_url, L"p");
    EXPECT_EQ(got.download_api_base_url, L"s/");

    const std::string log = RequestLog(base);
    EXPECT_EQ(log.find("listener: https\r\nGET " + base + "api/setting HTTP/1.1\r\n"), 0u) << log;
    EXPECT_EQ(log.find("X-API-Key"), std::string::npos) << log;
    EXPECT_EQ(RequestCount(base), 1);

    // A base with a query: the setting goes into the path, the query stays behind it.
    SetRoute(base + "q/setting?tenant=7", Body(document));
    EXPECT_EQ(ReadPackageConfig(HttpUrl(base + "q/?tenant=7")).app_package_url, L"p");
    EXPECT_EQ(RequestCount(base + "q/setting?tenant=7"), 1);
}

TEST(ReadPackageConfig, LeavesEverythingEmptyWhenTheRequestFails) {
    const std::string document =
        R"({"app_package_url":"p","download_api_base_url":"s","download_api_key":"k"})";
    const std::string fail = "/pkg/" + RunTag() + "/fail/";
    SetRoute(fail + "404/setting", R"([{"status": 404, "body": )" + JsonText(document) + "}]");
    SetRoute(fail + "500/setting", R"([{"status": 500, "body": )" + JsonText(document) + "}]");
    SetRoute(fail + "hangup/setting", R"([{"hangup": true}])");
    for (const std::wstring& base : {HttpUrl(fail + "404/"), HttpUrl(fail + "500/"),
                                     HttpUrl(fail + "hangup/"), RefusedUrl(fail), std::wstring()}) {
        const PackageConfig got = ReadPackageConfig(base);
        EXPECT_EQ(got.app_package_url, L"") << Narrow(base);
        EXPECT_EQ(got.download_api_base_url, L"") << Narrow(base);
        EXPECT_EQ(got.download_api_key, L"") << Narrow(base);
    }
    EXPECT_EQ(RequestCount(fail), 3);
}

}  // namespace
