#include "app/command_line.h"

#include <gtest/gtest.h>

#include "support/test_server.h"

namespace {

// Without /S the installer takes no arguments; /D= is the last, unquoted, spaces and all.
TEST(ParseCommandLine, FollowsTheSilentInstallersConvention) {
    using Mode = Invocation::Mode;
    const struct {
        std::wstring arguments;
        Mode mode;
        std::wstring directory;
    } cases[] = {{L"", Mode::kWindow, L""},
                 {L"/D=E:\\Games", Mode::kWindow, L""},
                 {L"/s", Mode::kWindow, L""},
                 {L"-S", Mode::kWindow, L""},
                 {L"/S", Mode::kSilentInstall, L""},
                 {L"  /S  ", Mode::kSilentInstall, L""},
                 {L"/S /D=E:\\Program Files\\My Games  ", Mode::kSilentInstall,
                  L"E:\\Program Files\\My Games"},
                 {L"/S /D=\"E:\\My Games\"", Mode::kSilentInstall, L"E:\\My Games"},
                 {L"/S /D=E:\\a /S /x", Mode::kSilentInstall, L"E:\\a /S /x"},
                 {L"/D=E:\\a /S", Mode::kWindow, L""},  // /S after /D= is the directory's
                 {L"/other /S", Mode::kSilentInstall, L""},
                 {L"/uninstall", Mode::kUninstall, L""},
                 {L"/UNINSTALL /S", Mode::kQuietUninstall, L""},
                 {L"/S /uninstall", Mode::kQuietUninstall, L""}};
    for (const auto& c : cases) {
        const Invocation invocation = ParseCommandLine(c.arguments);
        EXPECT_EQ(invocation.mode, c.mode) << Narrow(c.arguments);
        EXPECT_EQ(invocation.directory, c.directory) << Narrow(c.arguments);
    }
}

}  // namespace
