#include "net/url.h"

#include <gtest/gtest.h>

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
    const struct {
        const wchar_t* url;
        const wchar_t* origin;
    } cases[] = {
        {L"http://a.example/x/y?z", L"http://a.example"},
        {L"https://a.example:443/api/", L"https://a.example"},
        {L"http://a.example:8080/api/", L"http://a.example:8080"},
        {L"https://a.example:80/", L"https://a.example:80"},
        {L"not a url", L""},
    };
    for (const auto& c : cases)
        EXPECT_EQ(UrlOrigin(c.url), c.origin) << c.url;
}

TEST(ResolveRedirectTarget, ResolvesLikeABrowser) {
    const UrlParts current = Split(L"http://h.example:8080/dir/sub/file.zip?old=1");
    const UrlParts secure = Split(L"https://h.example/a");
    const struct {
        const UrlParts& from;
        const wchar_t* location;
        const wchar_t* target;
    } cases[] = {
        // Absolute values are taken as they are; only a scheme's case is changed.
        {current, L"https://other.example/x/../y", L"https://other.example/x/../y"},
        {current, L"HTTPS://Other.example/A", L"https://Other.example/A"},
        {current, L"ftp://other.example/a", L"ftp://other.example/a"},
        // Network-path references keep the scheme only.
        {current, L"//cdn.example/p.zip", L"http://cdn.example/p.zip"},
        {secure, L"//x.example/b", L"https://x.example/b"},
        // Paths keep scheme, host and port, and lose their dot segments.
        {current, L"/a/./b/../c?q=1", L"http://h.example:8080/a/c?q=1"},
        {secure, L"/b", L"https://h.example/b"},
        {current, L"p.zip", L"http://h.example:8080/dir/sub/p.zip"},
        {current, L"../p.zip", L"http://h.example:8080/dir/p.zip"},
        {current, L"../../../../p.zip", L"http://h.example:8080/p.zip"},
        {current, L"./x/", L"http://h.example:8080/dir/sub/x/"},
        {current, L"..", L"http://h.example:8080/dir/"},
        // Query-only and fragment-only references keep the path.
        {current, L"?new=2", L"http://h.example:8080/dir/sub/file.zip?new=2"},
        {current, L"#part", L"http://h.example:8080/dir/sub/file.zip?old=1#part"},
        {current, L"", L"http://h.example:8080/dir/sub/file.zip?old=1"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(ResolveRedirectTarget(c.location, c.from), c.target) << c.location;
}

}  // namespace
