#include "config/json_value.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <iterator>
#include <random>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "support/test_server.h"

namespace {

struct Case {
    std::string document;
    std::vector<std::string> keys;
    std::wstring value;
};

void ExpectValues(const std::vector<Case>& cases) {
    for (const Case& c : cases) {
        EXPECT_EQ(JsonStringValue(c.document, c.keys), c.value) << "document: " << c.document;
    }
}

TEST(JsonStringValue, TakesTheStringAfterTheNextColon) {
    ExpectValues({
        {R"({"api_base_url":"v"})", {"api_base_url"}, L"v"},
        {R"({"data":{"directLink":"x"}})", {"directLink"}, L"x"},  // depth plays no part
        {R"([{"k":"in an array"}])", {"k"}, L"in an array"},
        {R"({"k" : "v"})", {"k"}, L"v"},
        // Whatever stands between the key and the colon is not looked at.
        {R"({"k" junk, [1] : "v"})", {"k"}, L"v"},
        // Six whitespace bytes may stand between the colon and the value, and nothing else.
        {"{\"k\":\x20\t\n\v\f\r\"v\"}", {"k"}, L"v"},
        {"{\"k\":\xC2\xA0\"v\"}", {"k"}, L""},  // a no-break space is no whitespace
        {R"({"k":x"v"})", {"k"}, L""},
        // A first occurrence that is a string value: the value after the next colon is taken.
        {R"({"a":"k","x":"y"})", {"k"}, L"y"},
        {R"({"a":"k"})", {"k"}, L""},
        {R"({"k":"中文值"})", {"k"}, L"中文值"},
        {R"({"k":"😀"})", {"k"}, L"\xD83D\xDE00"},
    });
}

TEST(JsonStringValue, MatchesWholeKeysOnlyAtTheirFirstOccurrence) {
    ExpectValues({
        {R"({"download_url":"d"})", {"url"}, L""},
        {R"({"download_url":"d","url":"u"})", {"url"}, L"u"},
        {R"({"pc_Box_Package_Url":"upper"})", {"pc_box_package_url"}, L""},
        {R"({"K":"upper","k":"lower"})", {"k"}, L"lower"},
        // Only the first occurrence counts, even when a later one has a string.
        {R"({"a":{"k":1},"k":"v"})", {"k"}, L""},
        {R"({"k":"first","k":"second"})", {"k"}, L"first"},
        // The key is matched as written; an escaped spelling of it is another byte sequence.
        {R"({"k\u0031":"escaped","k1":"plain"})", {"k1"}, L"plain"},
    });
}

TEST(JsonStringValue, PrefersKeysByListOrderAndFallsThroughUnusableValues) {
    ExpectValues({
        {R"({"b":"second","a":"first"})", {"a", "b"}, L"first"},
        {R"({"b":"second","a":"first"})", {"b", "a"}, L"second"},
        {R"({"k":123,"k2":"v"})", {"k", "k2"}, L"v"},
        {R"({"k":true,"k2":"v"})", {"k", "k2"}, L"v"},
        {R"({"k":null,"k2":"v"})", {"k", "k2"}, L"v"},
        {R"({"k":{"x":"inner"},"k2":"v"})", {"k", "k2"}, L"v"},
        {R"({"k":["v"],"k2":"v2"})", {"k", "k2"}, L"v2"},
        {R"({"k":"","k2":"v"})", {"k", "k2"}, L"v"},
        {R"({"k":"   "})", {"k", "k2"}, L""},
        {R"({"k":" \n\t\r"})", {"k", "k2"}, L""},
        {R"({"x":"v"})", {"absent", "x"}, L"v"},
        {R"({"x":"v"})", {}, L""},
    });
}

TEST(JsonStringValue, TrimsWhitespaceBytesAfterDecoding) {
    ExpectValues({
        {R"({"k":"  a b  "})", {"k"}, L"a b"},
        {R"({"k":"\n\t\r a\tb \r\n\t"})", {"k"}, L"a\tb"},
        {R"({"k":"\u0020x\u000b\f"})", {"k"}, L"x"},
        {"{\"k\":\"\v\fx\x0B\"}", {"k"}, L"x"},
        {R"({"k":"\u3000x\u3000"})", {"k"}, L"\x3000x\x3000"},  // not a whitespace byte
        {R"({"k":"\u00a0x"})", {"k"}, L"\xA0x"},
    });
}

TEST(JsonStringValue, DecodesEscapes) {
    ExpectValues({
        {R"({"k":"a\/b"})", {"k"}, L"a/b"},
        {R"({"k":"\"q\""})", {"k"}, L"\"q\""},
        {R"({"k":"a\\b"})", {"k"}, L"a\\b"},
        {R"({"k":"a\nb\rc\td"})", {"k"}, L"a\nb\rc\td"},
        {R"({"k":"a\bb\fc"})", {"k"}, L"a\bb\fc"},
        {R"({"k":"\x\q"})", {"k"}, L"xq"},  // any other escaped byte stands for itself
        {R"({"k":"x\u0041"})", {"k"}, L"xA"},
        {R"({"k":"\u00e9\u00E9\u4e2d\uFFFF"})", {"k"}, L"\xE9\xE9\x4E2D\xFFFF"},
        {R"({"k":"a\u0000b"})", {"k"}, std::wstring(L"a\0b", 3)},
        // What PHP's and Python's encoders write by default.
        {R"({"k":"https:\/\/pan.example.com\/s\/\u76d2\u5b50 v2.zip"})",
         {"k"},
         L"https://pan.example.com/s/盒子 v2.zip"},
        // Surrogate pairs become one character; a lone half becomes U+FFFD.
        {R"({"k":"\ud83d\ude00"})", {"k"}, L"\xD83D\xDE00"},
        {R"({"k":"\uD83D\uDE00!"})", {"k"}, L"\xD83D\xDE00!"},
        {R"({"k":"x\ud83d"})", {"k"}, L"x\xFFFD"},
        {R"({"k":"\ude00x"})", {"k"}, L"\xFFFDx"},
        {R"({"k":"\ude00\ud83d"})", {"k"}, L"\xFFFD\xFFFD"},
        {R"({"k":"\ud83d\ud83d\ude00"})", {"k"}, L"\xFFFD\xD83D\xDE00"},
        {R"({"k":"\ud83d\u0041"})",
         {"k"},
         L"\xFFFD"
         L"A"},
        {R"({"k":"\ud83dx\ude00"})", {"k"}, L"\xFFFDx\xFFFD"},
        {R"({"k":"\ud83d\nx"})", {"k"}, L"\xFFFD\nx"},
        {R"({"k":"\ud83d\\ude00"})", {"k"}, L"\xFFFD\\ude00"},
        // Without four hex digits the u stands for itself and the rest is read as it comes.
        {R"({"k":"\u12G4"})", {"k"}, L"u12G4"},
        {R"({"k":"\u+041x"})", {"k"}, L"u+041x"},
        {R"({"k":"\u 041"})", {"k"}, L"u 041"},
        {R"({"k":"C:\users"})", {"k"}, L"C:users"},
        {R"({"k":"\u12"})", {"k"}, L"u12"},
        {R"({"k":"\ud83d\u12"})", {"k"}, L"\xFFFDu12"},
    });
}

TEST(JsonStringValue, NeverReadsPastTheEnd) {
    ExpectValues({
        {"", {"k"}, L""},
        {R"("k")", {"k"}, L""},  // nothing behind the key
        {R"("k" )", {"k"}, L""},
        {R"("k":)", {"k"}, L""},
        {R"("k": )", {"k"}, L""},
        {R"({"k":"abc)", {"k"}, L"abc"},
        {R"({"k":"abc\)", {"k"}, L"abc"},
        {R"({"k":"abc\u)", {"k"}, L"abcu"},
        {R"({"k":"abc\u4)", {"k"}, L"abcu4"},
        {R"({"k":"abc\u4e2)", {"k"}, L"abcu4e2"},
        {R"({"k":"abc\u4e2d)", {"k"}, L"abc\x4E2D"},
        {R"({"k":"abc\ud83d)", {"k"}, L"abc\xFFFD"},
        {R"({"k":"abc\ud83d\)", {"k"}, L"abc\xFFFD"},
        {R"({"k":"abc\ud83d\u)", {"k"}, L"abc\xFFFDu"},
        {R"({"k":"abc\ud83d\ude0)", {"k"}, L"abc\xFFFDude0"},
        {R"({"k":"abc\ud83d\ude00)", {"k"}, L"abc\xD83D\xDE00"},
        // NUL bytes are ordinary bytes, before and inside the value.
        {std::string("\0{\"k\":\"a\0b\"}", 12), {"k"}, std::wstring(L"a\0b", 3)},
        {std::string("{\"k\0\":\"v\"}", 10), {"k"}, L""},
        // Malformed UTF-8 comes out as U+FFFD.
        {"{\"k\":\"a\xFF\xC0z\"}", {"k"}, L"a\xFFFD\xFFFDz"},
        {"{\"k\":\"a\xE4\xB8\"}", {"k"}, L"a\xFFFD"},
    });
}

TEST(JsonStringValue, ReadsMegabytesOfGarbageInOnePass) {
    const size_t n = 1 << 20;
    std::string lone = R"({"k":")";
    for (size_t i = 0; i < n; ++i)
        lone += R"(\ud83d)";
    EXPECT_EQ(JsonStringValue(lone, {"k"}), std::wstring(n, L'\xFFFD'));

    EXPECT_EQ(JsonStringValue(R"({"k":")" + std::string(2 * n, '\\'), {"k"}),
              std::wstring(n, L'\\'));
    EXPECT_EQ(JsonStringValue(R"({"k":")" + std::string(4 * n, ' '), {"k"}), L"");
    EXPECT_EQ(JsonStringValue(std::string(4 * n, '"') + ":", {"k", ""}), L"");
    EXPECT_EQ(JsonStringValue(std::string(4 * n, ':'), {"k"}), L"");
}

// Random JSON around planted members, written with every spelling JSON allows (raw UTF-8,
// short escapes, \u escapes in either case, surrogate pairs) and whitespace from the six bytes
// the scanner skips. The expected values are built as UTF-16 directly from the code points.
class RandomJson {
public:
    explicit RandomJson(std::uint32_t seed) : rng_(seed) {}

    size_t Below(size_t n) { return std::uniform_int_distribution<size_t>(0, n - 1)(rng_); }
    bool OneIn(size_t n) { return Below(n) == 0; }

    std::string Space() {
        static constexpr char kSpace[] = " \t\n\v\f\r";
        std::string space;
        for (size_t n = Below(3); n > 0; --n)
            space += kSpace[Below(6)];
        return space;
    }

    char32_t CodePoint() {
        switch (Below(7)) {
            case 0:
                return static_cast<char32_t>(U' ' + Below(95));
            case 1:
                return static_cast<char32_t>(Below(0x20));
            case 2:
                return static_cast<char32_t>(0x80 + Below(0x780));
            case 3: {
                const auto c = static_cast<char32_t>(0x800 + Below(0x10000 - 0x800));
                return c >= 0xD800 && c <= 0xDFFF ? U'盒' : c;
            }
            case 4:
                return static_cast<char32_t>(0x10000 + Below(0x100000));
            case 5:
                return U"\"\\/:{}[],"[Below(9)];
            default:
                return U"中文盒子😀"[Below(5)];
        }
    }

    // A value that does not begin or end in whitespace, and its UTF-16 form.
    std::pair<std::string, std::wstring> Value() {
        std::vector<char32_t> text(1 + Below(12));
        for (char32_t& c : text) {
            do {
                c = CodePoint();
            } while ((&c == &text.front() || &c == &text.back()) && IsSpace(c));
        }
        std::string json;
        std::wstring wide;
        for (const char32_t c : text) {
            Write(c, json);
            AppendUtf16(c, wide);
        }
        return {json, wide};
    }

    // A value made of whitespace only, which the scanner takes as no value.
    std::string BlankValue() {
        static const char* const kBlank[] = {" ",       "\\n",     "\\t", "\\r",    "\\f",
                                             "\\u0020", "\\u000B", "\t",  "\\u000c"};
        std::string json;
        for (size_t n = Below(4); n > 0; --n)
            json += kBlank[Below(std::size(kBlank))];
        return json;
    }

    std::string Member(const std::string& key, const std::string& value) {
        return "\"" + key + "\"" + Space() + ":" + Space() + "\"" + value + "\"";
    }

    // An object with some random members around the planted ones, each planted member either
    // here or in a nested object.
    std::string Object(int depth, const std::vector<std::string>& planted) {
        std::vector<std::string> members;
        for (size_t n = Below(4); n > 0; --n)
            members.push_back(RandomString() + Space() + ":" + Space() + Any(depth + 1));
        std::vector<std::string> deeper;
        for (const std::string& member : planted) {
            if (depth < 4 && OneIn(2)) {
                deeper.push_back(member);
            } else {
                members.insert(members.begin() + Below(members.size() + 1), member);
            }
        }
        if (!deeper.empty()) {
            std::string inner = Object(depth + 1, deeper);
            if (OneIn(3)) inner = "[" + Any(depth + 1) + "," + inner + "]";
            members.insert(members.begin() + Below(members.size() + 1),
                           RandomString() + ":" + Space() + inner);
        }
        std::string json = "{" + Space();
        for (size_t i = 0; i < members.size(); ++i)
            json += (i ? "," + Space() : "") + members[i] + Space();
        return json + "}";
    }

    std::string Any(int depth) {
        switch (depth < 4 ? Below(8) : Below(5)) {
            case 0:
                return std::to_string(static_cast<long long>(Below(1 << 30)) - (1 << 29));
            case 1:
                return OneIn(2) ? "true" : "false";
            case 2:
                return "null";
            case 3:
            case 4:
                return RandomString();
            case 5: {
                std::string array = "[";
                for (size_t n = Below(4); n > 0; --n)
                    array += Any(depth + 1) + (n > 1 ? "," : "");
                return array + "]";
            }
            default:
                return Object(depth, {});
        }
    }

    // Damages the text: flips, inserts, deletes, duplicates or cuts bytes at random places
    // from position `from` on.
    void Mutate(std::string& text, size_t from) {
        static constexpr char kTricky[] = "\"\\:u0aF \t\v{}\xFF\xC0\xE4\xED";
        for (size_t n = 1 + Below(4); n > 0 && text.size() > from; --n) {
            const size_t at = from + Below(text.size() - from);
            switch (Below(5)) {
                case 0:
                    text[at] = static_cast<char>(Below(256));
                    break;
                case 1:
                    text.insert(at, 1, kTricky[Below(sizeof(kTricky))]);
                    break;
                case 2:
                    text.erase(at, Below(8));
                    break;
                case 3:
                    text.insert(at, text.substr(at, Below(16)));
                    break;
                default:
                    text.resize(at);
                    break;
            }
        }
    }

    std::string Garbage(size_t size) {
        std::string garbage(size, '\0');
        for (char& c : garbage)
            c = OneIn(2) ? "\"\\:u{} "[Below(7)] : static_cast<char>(Below(256));
        return garbage;
    }

private:
    static bool IsSpace(char32_t c) { return c == ' ' || (c >= '\t' && c <= '\r'); }

    static void AppendUtf16(char32_t c, std::wstring& wide) {
        if (c < 0x10000) {
            wide += static_cast<wchar_t>(c);
        } else {
            wide += static_cast<wchar_t>(0xD800 + ((c - 0x10000) >> 10));
            wide += static_cast<wchar_t>(0xDC00 + ((c - 0x10000) & 0x3FF));
        }
    }

    std::string Hex4(char32_t unit) {
        const char* digits = OneIn(2) ? "0123456789abcdef" : "0123456789ABCDEF";
        std::string hex = "\\u";
        for (int shift = 12; shift >= 0; shift -= 4)
            hex += digits[(unit >> shift) & 0xF];
        return hex;
    }

    void Write(char32_t c, std::string& json) {
        static constexpr std::string_view kShort = "\"\\/\b\f\n\r\t";
        static constexpr std::string_view kShortLetter = "\"\\/bfnrt";
        const size_t choice = Below(4);
        if (choice == 0 || c == '"' || c == '\\') {
            if (c < 0x10000) {
                json += Hex4(c);
            } else {
                json += Hex4(0xD800 + ((c - 0x10000) >> 10));
                json += Hex4(0xDC00 + ((c - 0x10000) & 0x3FF));
            }
            return;
        }
        if (choice == 1 && c < 0x80 && kShort.find(static_cast<char>(c)) != kShort.npos) {
            json += '\\';
            json += kShortLetter[kShort.find(static_cast<char>(c))];
            return;
        }
        if (choice == 2 && c < 0x80 &&
            std::string_view("bfnrtu").find(static_cast<char>(c)) == std::string_view::npos) {
            json += '\\';  // an escaped byte without a meaning of its own stands for itself
        }
        AppendUtf8(c, json);
    }

    std::string RandomString() { return "\"" + Value().first + "\""; }

    static void AppendUtf8(char32_t c, std::string& utf8) {
        if (c < 0x80) {
            utf8 += static_cast<char>(c);
        } else if (c < 0x800) {
            utf8 += static_cast<char>(0xC0 | (c >> 6));
            utf8 += static_cast<char>(0x80 | (c & 0x3F));
        } else if (c < 0x10000) {
            utf8 += static_cast<char>(0xE0 | (c >> 12));
            utf8 += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            utf8 += static_cast<char>(0x80 | (c & 0x3F));
        } else {
            utf8 += static_cast<char>(0xF0 | (c >> 18));
            utf8 += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
            utf8 += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            utf8 += static_cast<char>(0x80 | (c & 0x3F));
        }
    }

    std::mt19937 rng_;
};

bool EndsInSpace(const std::wstring& value) {
    const auto space = [](wchar_t c) { return c == L' ' || (c >= L'\t' && c <= L'\r'); };
    return !value.empty() && (space(value.front()) || space(value.back()));
}

size_t Occurrences(const std::string& text, const std::string& pattern) {
    size_t count = 0;
    for (size_t at = text.find(pattern); at != std::string::npos; at = text.find(pattern, at + 1))
        ++count;
    return count;
}

TEST(JsonStringValue, FindsPlantedValuesInRandomDocumentsAndSurvivesDamage) {
    constexpr std::uint32_t kSeed = 20240611;
    constexpr int kDocuments = 3000;
    constexpr int kPrefixChecked = 150;  // documents cut at every length
    RandomJson random(kSeed);
    const std::string first = "app_package_url";
    const std::string second = "download_url";
    int checked = 0;
    for (int i = 0; i < kDocuments; ++i) {
        SCOPED_TRACE("seed " + std::to_string(kSeed) + ", document " + std::to_string(i));
        const auto [first_json, first_value] = random.Value();
        const auto [second_json, second_value] = random.Value();
        const bool first_blank = random.OneIn(4);
        const std::string first_member =
            random.Member(first, first_blank ? random.BlankValue() : first_json);
        const std::string second_member = random.Member(second, second_json);
        const std::string document =
            random.Object(0, random.OneIn(2) ? std::vector{first_member, second_member}
                                             : std::vector{second_member, first_member});
        // The surroundings may not spell a planted key themselves (they practically never do).
        if (Occurrences(document, "\"" + first + "\"") != 1 ||
            Occurrences(document, "\"" + second + "\"") != 1) {
            continue;
        }
        ++checked;
        const std::wstring preferred = first_blank ? second_value : first_value;
        ASSERT_EQ(JsonStringValue(document, {"absent", first, second}), preferred) << document;
        ASSERT_EQ(JsonStringValue(document, {second, first}), second_value) << document;

        // Whatever follows the preferred member's value plays no part.
        const std::string& kept_key = first_blank ? second : first;
        const std::string& kept_member = first_blank ? second_member : first_member;
        const size_t value_end = document.find(kept_member) + kept_member.size();
        std::string damaged = document;
        random.Mutate(damaged, value_end);
        ASSERT_EQ(JsonStringValue(damaged, {kept_key}), preferred) << damaged;

        // Damage anywhere: the scanner returns, and never with whitespace at either end.
        damaged = document;
        random.Mutate(damaged, 0);
        const std::wstring found = JsonStringValue(damaged, {first, second, "k", ""});
        ASSERT_FALSE(EndsInSpace(found)) << damaged;

        if (i < kPrefixChecked) {
            for (size_t length = 0; length <= document.size(); ++length) {
                const std::wstring cut = JsonStringValue(document.substr(0, length), {kept_key});
                if (length >= value_end) {
                    ASSERT_EQ(cut, preferred) << length;
                } else {
                    ASSERT_FALSE(EndsInSpace(cut)) << length;
                }
            }
        }
    }
    EXPECT_GT(checked, kDocuments * 9 / 10);

    for (int i = 0; i < 20; ++i) {
        const std::string garbage = random.Garbage(1 + random.Below(200000));
        EXPECT_FALSE(EndsInSpace(JsonStringValue(garbage, {"k", "u", ""})));
    }
}

}  // namespace
