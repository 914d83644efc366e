#include "net/url.h"

#include <gtest/gtest.h>

namespace {

UrlParts Split(const std::wstring& url) {
    UrlParts parts;
    EXPECT_TRUE(SplitUrl(url, parts)) << url.size();
    return parts;
}

TEST(SplitUrl, TakesSchemePortHostAndPathWithQuery) {
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
}

TEST(SplitUrl, RefusesWhatWinHttpCannotCrack) {
    UrlParts parts;
    for (const std::wstring url :
         {L"", L"example.com/a", L"ftp://example.com/a", L"http//x/y", L"file:///C:/a.zip"}) {
        EXPECT_FALSE(SplitUrl(url, parts)) << url.size();
    }
    // A host longer than the 512-unit area.
    EXPECT_FALSE(SplitUrl(L"http://" + std::wstring(600, L'a') + L"/x", parts));
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
        {L"http://a.example:443", L"http://a.example:443"},
        {L"not a url", L""},
    };
    for (const auto& c : cases)
        EXPECT_EQ(UrlOrigin(c.url), c.origin) << c.url;
}

TEST(ResolveRedirectTarget, ResolvesLikeABrowser) {
    const UrlParts current = Split(L"http://h.example:8080/dir/sub/file.zip?old=1");
    const struct {
        const wchar_t* location;
        const wchar_t* target;
    } cases[] = {
        // Absolute http(s) values are taken unchanged, whatever they hold.
        {L"https://other.example/x/../y", L"https://other.example/x/../y"},
        {L"http://other.example:81/a", L"http://other.example:81/a"},
        // Any scheme's case; only the scheme is changed.
        {L"HTTPS://Other.example/A", L"https://Other.example/A"},
        {L"Http://other.example/a", L"http://other.example/a"},
        {L"ftp://other.example/a", L"ftp://other.example/a"},
        // Network-path references keep the scheme only.
        {L"//cdn.example/p.zip", L"http://cdn.example/p.zip"},
        // Absolute paths keep scheme, host and port.
        {L"/new/p.zip", L"http://h.example:8080/new/p.zip"},
        {L"/a/./b/../c?q=1", L"http://h.example:8080/a/c?q=1"},
        // Relative paths resolve against the current directory.
        {L"p.zip", L"http://h.example:8080/dir/sub/p.zip"},
        {L"../p.zip", L"http://h.example:8080/dir/p.zip"},
        {L"../../../../p.zip", L"http://h.example:8080/p.zip"},
        {L"./x/", L"http://h.example:8080/dir/sub/x/"},
        {L"..", L"http://h.example:8080/dir/"},
        // Query-only and fragment-only references keep the path.
        {L"?new=2", L"http://h.example:8080/dir/sub/file.zip?new=2"},
        {L"#part", L"http://h.example:8080/dir/sub/file.zip?old=1#part"},
        {L"", L"http://h.example:8080/dir/sub/file.zip?old=1"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(ResolveRedirectTarget(c.location, current), c.target) << c.location;
}

TEST(ResolveRedirectTarget, LeavesOutDefaultPortsAndKeepsHttps) {
    EXPECT_EQ(ResolveRedirectTarget(L"/b", Split(L"https://h.example/a")), L"https://h.example/b");
    EXPECT_EQ(ResolveRedirectTarget(L"b", Split(L"https://h.example:444")),
              L"https://h.example:444/b");
    EXPECT_EQ(ResolveRedirectTarget(L"//x.example/b", Split(L"https://h.example/a")),
              L"https://x.example/b");
}

}  // namespace
