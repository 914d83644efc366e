#include "config/package_config.h"

#include <gtest/gtest.h>

#include <string>

#include "support/test_server.h"

namespace {

TEST(ReadPackageConfig, TakesEachSettingByItsKeysOrNothingFromAFailedRequest) {
    const std::string all =
        R"({"app_package_url":"p","download_api_base_url":"s","download_api_key":"k"})";
    const struct {
        std::string response;
        PackageConfig expected;
    } cases[] = {
        {Body(R"({"download_url":"a","pc_box_package_url":"b"})"), {L"b"}},
        {Body(R"({"pc_box_package_url":"b","app_package_url":"a"})"), {L"a"}},
        {Body(R"({"app_package_url":"","box_package_url":"c"})"), {L"c"}},
        {Body(R"({"pc_Box_Package_Url":"upper","pc_box_package_url":"lower"})"), {L"lower"}},
        {Body(R"({"download_url":"6","app_version_url":"5","box_package_url":"4",)"
              R"("pc_Box_Package_Url":"3"})"),
         {L"3"}},
        {Body(R"({"download_url":"d","app_version_url":"v"})"), {L"v"}},
        {Body(R"({"app_package_url":7,"download_url":"d","url":"u"})"), {L"d"}},
        // The service base gains a final slash on its path; key and signature lose their
        // whitespace.
        {Body(R"({"data":{"app_package_url":"https:\/\/cdn.example.com\/\u76d2 v2.zip",)"
              R"("download_api_base_url":" https://svc.example/api","download_api_key":" k3y\t",)"
              R"("app_package_signature":" MEUCIQ+/= \n"}})"),
         {L"https://cdn.example.com/盒 v2.zip", L"https://svc.example/api/", L"k3y", L"MEUCIQ+/="}},
        {Body("<html><body>Not JSON</body></html>"), {}},
        {Body(R"({"app_package_url":"p"})" + std::string(2 << 20, ' ')), {}},  // over 1 MiB
        {R"({"status": 404, "body": )" + JsonText(all) + "}", {}},
        {R"({"hangup": true})", {}}};
    int n = 0;
    for (const auto& c : cases) {
        const std::string base = "/pkg/" + RunTag() + "/" + std::to_string(n++) + "/";
        SetRoute(base + "setting", c.response);
        const PackageConfig got = ReadPackageConfig({}, HttpUrl(base));
        EXPECT_EQ(got.app_package_url, c.expected.app_package_url) << c.response;
        EXPECT_EQ(got.download_api_base_url, c.expected.download_api_base_url) << c.response;
        EXPECT_EQ(got.download_api_key, c.expected.download_api_key) << c.response;
        EXPECT_EQ(got.app_package_signature, c.expected.app_package_signature) << c.response;
    }
}

TEST(ReadPackageConfig, RequestsTheSettingUnderTheBaseWithoutAKey) {
    const std::string base = "/pkg/" + RunTag() + "/request/";
    SetRoute(base + "api/setting", Body(R"({"app_package_url":"p","download_api_key":"k"})"));
    EXPECT_EQ(ReadPackageConfig({}, HttpsUrl(base + "api/")).app_package_url, L"p");
    const std::string log = RequestLog(base);
    EXPECT_EQ(log.find("listener: https\r\nGET " + base + "api/setting HTTP/1.1\r\n"), 0u) << log;
    EXPECT_EQ(log.find("X-API-Key"), std::string::npos) << log;

    // A base with a query: the setting goes into the path, the query stays behind it. A
    // fragment is never sent.
    SetRoute(base + "q/setting?tenant=7", Body(R"({"app_package_url":"q"})"));
    EXPECT_EQ(ReadPackageConfig({}, HttpUrl(base + "q/?tenant=7#top")).app_package_url, L"q");
    EXPECT_EQ(RequestCount(base), 2);
}

}  // namespace
