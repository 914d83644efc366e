#include "common/log.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "support/test_files.h"
#include "support/test_server.h"

namespace {

// Each line after the time to the millisecond; a log of more than 1 MiB as a run begins becomes
// the old log, replacing the one before.
TEST(Log, TurnsOverAtOneMebibyteAsARunBegins) {
    const ScratchDir scratch;
    // This process's temporary folder, to the end (then TEMP's, the same folder under Wine).
    const Finally temp = SetVariables({{L"TMP", scratch.Path().wstring() + L"\\"}});
    const std::wstring log = scratch / L"VexaBoxInstaller.log";
    const std::wstring old = scratch / L"VexaBoxInstaller.old.log";
    const std::string full(1 << 20, 'x');
    const struct {
        std::string before, olderBefore;
        bool turned;
    } cases[] = {{full, "older", false}, {full + "y", "older", true}, {"", "", false}};
    for (const auto& c : cases) {
        WriteWholeFile(log, c.before);
        WriteWholeFile(old, c.olderBefore);
        BeginLog(L"heading 盒子");
        Log(L"one\r\nline\t.");
        const std::string written = ReadWholeFile(log);
        EXPECT_EQ(ReadWholeFile(old), c.turned ? c.before : c.olderBefore);
        const std::string run = written.substr(c.turned ? 0 : c.before.size());
        ASSERT_EQ(run.size(), 2 * 24 + std::string("heading 盒子\r\none  line .\r\n").size());
        EXPECT_EQ(run.substr(4, 1) + run.substr(10, 1) + run.substr(19, 1), "- .");
        EXPECT_EQ(run.substr(24, 16), "heading 盒子\r\n");
        EXPECT_EQ(run.substr(run.size() - 13), "one  line .\r\n");
    }
}

}  // namespace
