#include "install/download_target.h"

#include <gtest/gtest.h>

#include <string>

#include "support/test_server.h"

namespace {

const std::wstring kDefault = L"Ruvirud.uro.zip";

TEST(PackageFileName, TakesTheLastSegmentBeforeTheFirstQuestionMark) {
    ExpectEach(PackageFileName,
               {{L"https://cdn.example.com/files/Box.ZIP?x=1", L"Box.ZIP"},
                {L"https://cdn.example.com/box.zip?token=a/b/c.zip?d", L"box.zip"},
                {L"https://cdn.example.com/files/box?name=a/b.zip", kDefault},
                {L"https://cdn.example.com/files/", kDefault},
                {L"https://cdn.example.com:8443", kDefault},  // the port's colon: no file name
                {L"https://cdn.example.com", L"cdn.example.com.zip"},
                {L"https://cdn.example.com/a\\b\\box.zip", L"box.zip"},
                {L"https://cdn.example.com/盒子 1.0.tar.gz", L"盒子 1.0.tar.gz.zip"},
                {L"https://cdn.example.com/box.zip.", kDefault},
                {L"https://cdn.example.com/box.zip ", kDefault},
                {L"", kDefault},
                {L"..", kDefault},
                // Not one plain file in the temporary directory.
                {L"https://cdn.example.com/C:evil.zip", kDefault},
                {L"https://cdn.example.com/a|b<c>\".zip", kDefault},
                {L"https://cdn.example.com/a\tb.zip", kDefault},
                {L"https://cdn.example.com/con.tar.zip", kDefault},
                {L"https://cdn.example.com/aux .zip", kDefault},
                {L"https://cdn.example.com/COM².zip", kDefault},
                {L"https://cdn.example.com/lpt9.zip", kDefault},
                {L"https://cdn.example.com/CONOUT$.zip", kDefault},
                {L"https://cdn.example.com/my.con.zip", L"my.con.zip"},
                {L"https://c.example/" + std::wstring(96, L'a') + L".zip",
                 std::wstring(96, L'a') + L".zip"},
                {L"https://c.example/" + std::wstring(97, L'a') + L".zip", kDefault}});
}

}  // namespace
