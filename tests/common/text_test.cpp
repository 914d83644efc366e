#include "common/text.h"

#include <gtest/gtest.h>

#include "support/test_server.h"

namespace {

TEST(Utf8ToWide, DecodesLeniently) {
    EXPECT_EQ(Utf8ToWide("\xF0\x9F\x93\xA6\xE4\xB8\xAD"), L"\xD83D\xDCE6\x4E2D");
    EXPECT_EQ(Utf8ToWide("a\xFF\xE4\xB8"), L"a\xFFFD\xFFFD");  // malformed and cut short
    EXPECT_EQ(Utf8ToWide(std::string("a\0b", 3)), std::wstring(L"a\0b", 3));
}

TEST(TextRules, EncodeAndTrimAsTheDesignSays) {
    ExpectEach(PercentEncode,
               {{L"a-b_c.d~eAZ09", L"a-b_c.d~eAZ09"},
                {L"https://h/a b.zip?x=1&y#f", L"https%3A%2F%2Fh%2Fa%20b.zip%3Fx%3D1%26y%23f"},
                {L"100%+", L"100%25%2B"},
                {L"盒子", L"%E7%9B%92%E5%AD%90"},
                {L"\xD800", L"%EF%BF%BD"}});  // a lone surrogate goes as U+FFFD
    ExpectEach(TrimWide, {{L" \t\r\n a b \n\r\t ", L"a b"},
                          {L" \t\r\n", L""},
                          {L"\x3000\fx\v\x3000", L"\x3000\fx\v\x3000"}});  // only those four
}

}  // namespace
