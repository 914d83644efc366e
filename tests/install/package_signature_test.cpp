#include "install/package_signature.h"

#include <gtest/gtest.h>

#include <string>

namespace {

// SEQUENCE { INTEGER r, INTEGER s } with the integers' contents as given.
std::string Der(const std::string& r, const std::string& s) {
    const std::string body = '\x02' + std::string(1, static_cast<char>(r.size())) + r + '\x02' +
                             std::string(1, static_cast<char>(s.size())) + s;
    return '\x30' + std::string(1, static_cast<char>(body.size())) + body;
}

std::string Decoded(const std::string& der) {
    std::array<unsigned char, 64> rs{};
    if (!DecodeEcdsaSignature(der, rs)) return "refused";
    return std::string(rs.begin(), rs.end());
}

// What the system's decoder hands back for r and s of every width, as CNG takes them; and what
// is not one DER signature.
TEST(DecodeEcdsaSignature, GivesRAndSAs32BigEndianBytesEach) {
    const std::string r(32, '\x11'), s(32, '\x22'), high = '\x81' + std::string(31, '\x11');
    const std::string good = Der(r, s);
    const struct {
        std::string der, rs;
    } cases[] = {{good, r + s},
                 {Der('\0' + high, s), high + s},  // the sign byte of a high r goes
                 {Der(r.substr(1), s), '\0' + r.substr(1) + s},
                 {Der(r, '\x01' + s), "refused"},  // wider than 256 bits
                 {Der(r, ""), "refused"},
                 {good.substr(0, good.size() - 1), "refused"},
                 {good + '\0', "refused"},
                 {"\x30\x81\x44" + good.substr(2), "refused"},  // a long-form length
                 {"", "refused"}};
    for (const auto& c : cases)
        EXPECT_EQ(Decoded(c.der), c.rs) << testing::PrintToString(c.der);
}

}  // namespace
