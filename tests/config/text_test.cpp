#include "config/text.h"

#include <gtest/gtest.h>

namespace {

TEST(Utf8ToWide, DecodesLeniently) {
    EXPECT_EQ(Utf8ToWide("\xE4\xB8\xAD"), L"\x4E2D");
    EXPECT_EQ(Utf8ToWide("\xF0\x9F\x93\xA6"), L"\xD83D\xDCE6");  // one character, two units
    EXPECT_EQ(Utf8ToWide("a\xFF"
                         "b"),
              L"a\xFFFD"
              L"b");
    EXPECT_EQ(Utf8ToWide("\xE4\xB8"), L"\xFFFD");  // cut short
    EXPECT_EQ(Utf8ToWide(std::string("a\0b", 3)), std::wstring(L"a\0b", 3));
    EXPECT_EQ(Utf8ToWide(""), L"");
}

TEST(PercentEncode, KeepsOnlyUnreservedBytes) {
    const struct {
        std::wstring text;
        std::wstring encoded;
    } cases[] = {
        {L"a-b_c.d~eAZ09", L"a-b_c.d~eAZ09"},
        {L"a b", L"a%20b"},
        {L"x/y?z=1&w", L"x%2Fy%3Fz%3D1%26w"},
        {L"https://h/a b.zip#f", L"https%3A%2F%2Fh%2Fa%20b.zip%23f"},
        {L"100%+", L"100%25%2B"},
        {L"中", L"%E4%B8%AD"},
        {L"盒子 v2", L"%E7%9B%92%E5%AD%90%20v2"},
        {L"\xD800", L"%EF%BF%BD"},  // a lone surrogate goes as U+FFFD
        {L"", L""},
    };
    for (const auto& c : cases)
        EXPECT_EQ(PercentEncode(c.text), c.encoded);
}

TEST(TrimWide, RemovesOnlySpaceTabCrLfAtTheEnds) {
    EXPECT_EQ(TrimWide(L" \t\r\n a b \n\r\t "), L"a b");
    EXPECT_EQ(TrimWide(L" \t\r\n"), L"");
    EXPECT_EQ(TrimWide(L"\x3000x\x3000"), L"\x3000x\x3000");  // ideographic space stays
    EXPECT_EQ(TrimWide(L"\fx\v"), L"\fx\v");
    EXPECT_EQ(TrimWide(L""), L"");
}

TEST(NormalizeBaseUrl, TrimsAndEndsThePathInOneSlash) {
    EXPECT_EQ(NormalizeBaseUrl(L"  https://h/api \r\n"), L"https://h/api/");
    EXPECT_EQ(NormalizeBaseUrl(L"https://h/api/"), L"https://h/api/");
    EXPECT_EQ(NormalizeBaseUrl(L"https://h\\"), L"https://h\\/");
    EXPECT_EQ(NormalizeBaseUrl(L" \t "), L"");
    EXPECT_EQ(NormalizeBaseUrl(L"https://h/v1?tenant=7&a=b/c"), L"https://h/v1/?tenant=7&a=b/c");
    EXPECT_EQ(NormalizeBaseUrl(L"https://h/v1/?t=1?"), L"https://h/v1/?t=1?");
}

TEST(AppendToBasePath, PutsThePathBeforeTheQuery) {
    EXPECT_EQ(AppendToBasePath(L"https://h/v1/", L"setting"), L"https://h/v1/setting");
    EXPECT_EQ(AppendToBasePath(L"https://h/v1/?tenant=7?x", L"setting"),
              L"https://h/v1/setting?tenant=7?x");
}

}  // namespace
