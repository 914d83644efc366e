#include "net/url.h"

#include <gtest/gtest.h>

#include "support/test_server.h"

namespace {

// The parts on one line: scheme (1 http, 2 https), port, host, path with query.
std::wstring Split(const std::wstring& url) {
    UrlParts p;
    return SplitUrl(url, p) ? std::to_wstring(p.scheme) + L" " + std::to_wstring(p.port) + L" " +
                                  p.host + L" " + p.path_with_query
                            : L"refused";
}

TEST(SplitUrl, TakesSchemePortHostAndPathWithQueryOrRefuses) {
    ExpectEach(Split, {{L"http://example.com/a/b.zip?x=1&y=2#frag",
                        L"1 80 example.com /a/b.zip?x=1&y=2#frag"},
                       {L"https://例子.cn:8443/下载/包.zip", L"2 8443 例子.cn /下载/包.zip"},
                       {L"https://example.com/", L"2 443 example.com /"},
                       {L"", L"refused"},
                       {L"example.com/a", L"refused"},
                       {L"ftp://example.com/a", L"refused"},
                       {L"http//x/y", L"refused"},
                       {L"http://" + std::wstring(600, L'a') + L"/x", L"refused"}});
}

TEST(UrlOrigin, LeavesOutOnlyTheSchemesOwnDefaultPort) {
    ExpectEach(UrlOrigin, {{L"http://a.example/x/y?z", L"http://a.example"},
                           {L"https://a.example:443/api/", L"https://a.example"},
                           {L"http://a.example:8080/api/", L"http://a.example:8080"},
                           {L"https://a.example:80/", L"https://a.example:80"},
                           {L"not a url", L""}});
}

TEST(ResolveRedirectTarget, ResolvesLikeABrowser) {
    UrlParts secure, current;
    ASSERT_TRUE(SplitUrl(L"https://h.example/a", secure));
    EXPECT_EQ(ResolveRedirectTarget(L"//x.example/b", secure), L"https://x.example/b");
    EXPECT_EQ(ResolveRedirectTarget(L"/b", secure), L"https://h.example/b");
    ASSERT_TRUE(SplitUrl(L"http://h.example:8080/dir/sub/file.zip?old=1", current));
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
                         {L"/dir/sub/..", L"http://h.example:8080/dir/"},
                         // Query-only and fragment-only references keep the path.
                         {L"?new=2", L"http://h.example:8080/dir/sub/file.zip?new=2"},
                         {L"#part", L"http://h.example:8080/dir/sub/file.zip?old=1#part"},
                         {L"p.zip#a?b", L"http://h.example:8080/dir/sub/p.zip#a?b"},
                         {L"", L"http://h.example:8080/dir/sub/file.zip?old=1"}});
}

}  // namespace
