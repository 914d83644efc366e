#include "config/json_value.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <utility>
#include <vector>

namespace {

struct Case {
    std::string document;
    std::vector<std::string> keys;
    std::wstring value;
};

void ExpectValues(const std::vector<Case>& cases) {
    for (const Case& c : cases)
        EXPECT_EQ(JsonStringValue(c.document, c.keys), c.value) << "document: " << c.document;
}

TEST(JsonStringValue, TakesTheFirstUsableStringAfterAKeyInTheListsOrder) {
    ExpectValues(
        {{R"({"data":{"directLink":"x"}})", {"directLink"}, L"x"},  // depth plays no part
         {R"({"k" junk, [1] : "v"})", {"k"}, L"v"},  // up to the next colon, nothing is read
         {"{\"k\":\x20\t\n\v\f\r\"v\"}", {"k"}, L"v"},
         {"{\"k\":\xC2\xA0\"v\"}", {"k"}, L""},  // a no-break space is no whitespace
         {R"({"k":x"v"})", {"k"}, L""},
         {R"({"a":"k","x":"y"})", {"k"}, L"y"},  // a first occurrence as a value counts too
         {R"({"download_url":"d"})", {"url"}, L""},
         {R"({"pc_Box_Package_Url":"upper"})", {"pc_box_package_url"}, L""},
         {R"({"a":{"k":1},"k":"v"})", {"k"}, L""},
         {R"({"k":"first","k":"second"})", {"k"}, L"first"},
         {R"({"k\u0031":"escaped","k1":"plain"})", {"k1"}, L"plain"},
         // Keys in the list's order; values that are no string, empty or blank are passed over.
         {R"({"b":"second","a":"first"})", {"a", "b"}, L"first"},
         {R"({"b":"second","a":"first"})", {"b", "a"}, L"second"},
         {R"({"k":123,"k2":"v"})", {"k", "k2"}, L"v"},
         {R"({"k":null,"k2":"v"})", {"k", "k2"}, L"v"},
         {R"({"k":"","k2":"v"})", {"k", "k2"}, L"v"},
         {R"({"k":" \n\t\r","k2":"v"})", {"k", "k2"}, L"v"},
         {R"({"x":"v"})", {}, L""}});
}

TEST(JsonStringValue, DecodesEscapesThenTrimsWhitespaceBytes) {
    ExpectValues({
        {R"({"k":"\n\t\r a\tb \r\n\t"})", {"k"}, L"a\tb"},
        {R"({"k":"\u0020x\u000b\f"})", {"k"}, L"x"},
        {R"({"k":"\u3000x\u00a0"})", {"k"}, L"\x3000x\xA0"},  // no whitespace bytes
        {R"({"k":"a\/b\"\\\b\f\n\r\tz"})", {"k"}, L"a/b\"\\\b\f\n\r\tz"},
        {R"({"k":"\x\q"})", {"k"}, L"xq"},  // any other escaped byte stands for itself
        {R"({"k":"\u00e9\u4E2D\uFFFF"})", {"k"}, L"\xE9\x4E2D\xFFFF"},
        {R"({"k":"a\u0000b"})", {"k"}, std::wstring(L"a\0b", 3)},
        // Surrogate pairs become one character; a lone half becomes U+FFFD.
        {R"({"k":"\ud83d\ude00!"})", {"k"}, L"\xD83D\xDE00!"},
        {R"({"k":"x\ud83d"})", {"k"}, L"x\xFFFD"},
        {R"({"k":"\ude00\ud83d\ud83d\ude00"})", {"k"}, L"\xFFFD\xFFFD\xD83D\xDE00"},
        {R"({"k":"\ud83d\u0041"})", {"k"}, L"\xFFFD\x41"},
        {R"({"k":"\ud83d\\ude00"})", {"k"}, L"\xFFFD\\ude00"},
        // Without four hex digits the u stands for itself and the rest is read as it comes.
        {R"({"k":"\u12G4"})", {"k"}, L"u12G4"},
        {"{\"k\":\"a\xFF\xC0z\"}", {"k"}, L"a\xFFFD\xFFFDz"},  // malformed UTF-8
    });
}

TEST(JsonStringValue, NeverReadsPastTheEnd) {
    ExpectValues({{"", {"k"}, L""},
                  {R"("k":)", {"k"}, L""},
                  {R"({"k":"abc\)", {"k"}, L"abc"},
                  {R"({"k":"abc\u4e2)", {"k"}, L"abcu4e2"},
                  {R"({"k":"abc\u4e2d)", {"k"}, L"abc\x4E2D"},
                  {R"({"k":"abc\ud83d\)", {"k"}, L"abc\xFFFD"},
                  {R"({"k":"abc\ud83d\ude0)", {"k"}, L"abc\xFFFDude0"},
                  {std::string("\0{\"k\":\"a\0b\"}", 12), {"k"}, std::wstring(L"a\0b", 3)},
                  {std::string("{\"k\0\":\"v\"}", 10), {"k"}, L""},
                  {R"({"k":")" + std::string(1 << 20, '\\'), {"k"}, std::wstring(1 << 19, L'\\')}});
}

// Random documents around two planted members whose values are pieced together from every
// spelling JSON allows (raw UTF-8, short escapes, \u escapes in either case, surrogate pairs):
// the planted values come back, whatever surrounds them, follows them or is cut off behind them.
TEST(JsonStringValue, FindsPlantedValuesInRandomDocumentsAndSurvivesDamage) {
    const std::pair<std::string, std::wstring> pieces[] = {
        {"a", L"a"},     {"\xE7\x9B\x92", L"盒"},    {"\\u76D2", L"盒"},       {"\\u00e9", L"\xE9"},
        {"\\\"", L"\""}, {"\xF0\x9F\x98\x80", L"😀"}, {"\\ud83d\\uDE00", L"😀"}, {"\\\\", L"\\"},
        {"\\n", L"\n"},  {"{}[],:", L"{}[],:"},      {"\\uD83D!", L"\xFFFD!"}};
    const std::string noise[] = {
        "1", "true", "null", "\"k\"", "[1,{\"x\":\"y\"}]", "\"\\\"k\\\"\""};
    const std::string blanks[] = {"", " ", "\t\n", "\r\v\f"};
    std::mt19937 random(20240611);
    const auto pick = [&](const auto& list) {
        return list[std::uniform_int_distribution<size_t>(0, std::size(list) - 1)(random)];
    };
    const auto value = [&] {  // no whitespace at either end
        std::pair<std::string, std::wstring> made{"x", L"x"};
        for (int n = random() % 8; n > 0; --n) {
            const auto& [json, text] = pick(pieces);
            made = {made.first + json, made.second + text};
        }
        return std::pair{made.first + "z", made.second + L"z"};
    };
    const auto object = [&](std::vector<std::string> members) {
        for (int n = random() % 4; n > 0; --n)
            members.insert(members.begin() + random() % (members.size() + 1),
                           "\"" + value().first + "\"" + pick(blanks) + ":" + pick(noise));
        std::string json = "{" + pick(blanks);
        for (size_t i = 0; i < members.size(); ++i)
            json += (i ? "," + pick(blanks) : "") + members[i];
        return json + "}";
    };
    for (int i = 0; i < 2000; ++i) {
        SCOPED_TRACE("document " + std::to_string(i));
        const auto [firstJson, first] = value();
        const auto [secondJson, second] = value();
        const std::string kept =
            "\"app_package_url\"" + pick(blanks) + ":" + pick(blanks) + "\"" + firstJson + "\"";
        const std::string document =
            object({"\"download_url\":\"" + secondJson + "\"", "\"data\":" + object({kept})});
        ASSERT_EQ(JsonStringValue(document, {"absent", "app_package_url", "download_url"}), first)
            << document;
        ASSERT_EQ(JsonStringValue(document, {"download_url", "app_package_url"}), second);

        // Whatever follows the value plays no part, down to its closing quote.
        const size_t end = document.find(kept) + kept.size();
        std::string damaged = document;
        damaged.replace(end + random() % (document.size() - end + 1), random() % 8,
                        std::string(random() % 3, "\"\\:u{ \xC0"[random() % 7]));
        ASSERT_EQ(JsonStringValue(damaged, {"app_package_url"}), first) << damaged;
        ASSERT_EQ(JsonStringValue(document.substr(0, end - 1), {"app_package_url"}), first);
    }
}

}  // namespace
