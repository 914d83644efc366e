#include "config/base_url.h"

#include <gtest/gtest.h>

#include "support/test_server.h"

namespace {

TEST(BaseUrl, CompletesThePathBeforeTheQueryOrTheFragment) {
    ExpectEach(NormalizeBaseUrl, {{L"  https://h/api \r\n", L"https://h/api/"},
                                  {L"https://h/api/", L"https://h/api/"},
                                  {L" \t ", L""},
                                  {L"https://h/v1?tenant=7&a=b/c", L"https://h/v1/?tenant=7&a=b/c"},
                                  {L"https://h/v1/?t=1?", L"https://h/v1/?t=1?"},
                                  {L"https://h/v1#top?x", L"https://h/v1/#top?x"}});
    EXPECT_EQ(AppendToBasePath(L"https://h/v1/", L"setting"), L"https://h/v1/setting");
    EXPECT_EQ(AppendToBasePath(L"https://h/v1/?t=7?x", L"setting"), L"https://h/v1/setting?t=7?x");
    EXPECT_EQ(AppendToBasePath(L"https://h/v1/#a?b", L"setting"), L"https://h/v1/setting#a?b");
}

}  // namespace
