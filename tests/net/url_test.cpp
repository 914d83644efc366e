#include "net/url.h"

#include <gtest/gtest.h>

#include "support/test_server.h"

namespace {

UrlParts Split(const std::wstring& url) {
    UrlParts parts;
    EXPECT_TRUE(SplitUrl(url, parts)) << url.size();
    return parts;
}

TEST(SplitUrl, TakesSchemePortHostAndPathWithQueryOrRefuses) {
    UrlParts parts = Split(L"http://example.com/a/b.zip?x=1&y=2#frag");
    EXPECT_EQ(parts.scheme, INTERNET_SCHEME_HTTP);
    EXPECT_EQ(parts.port, 80);
    EXPECT_EQ(parts.host, L"example.com");
    EXPECT_EQ(parts.path_with_query, L"/a/b.zip?x=1&y=2#frag");
    parts = Split(L"https://例子.cn:8443/下载/包.zip");
    EXPECT_EQ(parts.scheme, INTERNET_SCHEME_HTTPS);
    EXPECT_EQ(parts.port, 8443);
    EXPECT_EQ(parts.host, L"例子.cn");
    EXPECT_EQ(parts.path_with_query, L"/下载/包.zip");
    EXPECT_EQ(Split(L"https://example.com/").port, 443);

    for (const std::wstring& url :
         {std::wstring(), std::wstring(L"example.com/a"), std::wstring(L"ftp://example.com/a"),
          std::wstring(L"http//x/y"), L"http://" + std::wstring(600, L'a') + L"/x"}) {
        EXPECT_FALSE(SplitUrl(url, parts)) << url.size();
    }
}

TEST(UrlOrigin, LeavesOutOnlyTheSchemesOwnDefaultPort) {
    ExpectEach(UrlOrigin, {{L"http://a.example/x/y?z", L"http://a.example"},
                           {L"https://a.example:443/api/", L"https://a.example"},
                           {L"http://a.example:8080/api/", L"http://a.example:8080"},
                           {L"https://a.example:80/", L"https://a.example:80"},
                           {L"not a url", L""}});
}

TEST(ResolveRedirectTarget, ResolvesLikeABrowser) {
    const UrlParts secure = Split(L"https://h.example/a");
    EXPECT_EQ(ResolveRedirectTarget(L"//x.example/b", secure), L"https://x.example/b");
    EXPECT_EQ(ResolveRedirectTarget(L"/b", secure), L"https://h.example/b");
    const UrlParts current = Split(L"http://h.example:8080/dir/sub/file.zip?old=1");
    const auto resolve = [&](const std::wstring& location) {
        return ResolveRedirectTarget(location, current);
    };
    ExpectEach(resolve, {// Absolute values are taken as they are; only a scheme's case changes.
                         {L"https://other.example/x/../y", L"https://other.example/x/../y"},
                         {L"HTTPS://Other.example/A", L"https://Other.example/A"},
                         {L"ftp://other.example/a", L"ftp://other.example/a"},
                         // Network-path references keep the scheme only.
                         {L"//cdn.example/p.zip", L"http://cdn.example/p.zip"},
                         // Paths keep scheme, host and port, and lose their dot segments.
                         {L"/a/./b/../c?q=1", L"http://h.example:8080/a/c?q=1"},
                         {L"p.zip", L"http://h.example:8080/dir/sub/p.zip"},
                         {L"../../../../p.zip", L"http://h.example:8080/p.zip"},
                         {L"./x/", L"http://h.example:8080/dir/sub/x/"},
                         {L"..", L"http://h.example:8080/dir/"},
                         // Query-only and fragment-only references keep the path.
                         {L"?new=2", L"http://h.example:8080/dir/sub/file.zip?new=2"},
                         {L"#part", L"http://h.example:8080/dir/sub/file.zip?old=1#part"},
                         {L"", L"http://h.example:8080/dir/sub/file.zip?old=1"}});
}

}  // namespace
