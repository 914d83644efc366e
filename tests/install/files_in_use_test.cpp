#include "install/files_in_use.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <functional>
#include <utility>
#include <thread>

#include "support/programs.h"
#include "support/test_files.h"
#include "support/test_server.h"

namespace fs = std::filesystem;
using namespace std::chrono_literals;

namespace {

UniqueHandle Open(const std::wstring& path, DWORD access, DWORD sharing) {
    return UniqueHandle{ValidHandle(
        CreateFileW(path.c_str(), access, sharing, nullptr, OPEN_EXISTING, 0, nullptr))};
}

// A file is in use when another holder keeps it from being written: a running program, or a
// handle that shares no writing; a read-only file or one opened with full sharing is not, and
// neither is one behind a linked folder (a cache the user moved elsewhere), which is not walked
// into.
TEST(CheckFolderContents, FindsAFileThatCannotBeReplacedAnywhereBelow) {
    const ScratchDir scratch;
    const std::wstring deep = scratch / L"dir\\深层\\data.bin";
    const std::wstring program = scratch / L"dir\\Vexa盒子.exe";
    const std::wstring elsewhere = scratch / L"moved cache\\cache.bin";
    WriteWholeFile(scratch / L"dir\\top.txt", "top");
    WriteWholeFile(deep, "deep");
    WriteWholeFile(elsewhere, "cache");
    ASSERT_TRUE(MakeHostLink(scratch / L"dir", "../moved cache", "cache"));
    fs::copy_file(BuildPath("tools/demo_client.exe"), program);
    const struct {
        const char* name;
        std::function<std::function<void()>()> hold;  // returns what lets go again
        bool inUse;
        bool byTheProgram = false;
    } cases[] = {
        {"nothing held", [] { return [] {}; }, false},
        {"read by a sharing reader",
         [&] {
             auto held = std::make_shared<UniqueHandle>(
                 Open(deep, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE));
             return [held] { held->reset(); };
         },
         false},
        {"read-only",
         [&] {
             SetFileAttributesW(deep.c_str(), FILE_ATTRIBUTE_READONLY);
             return [&] { SetFileAttributesW(deep.c_str(), FILE_ATTRIBUTE_NORMAL); };
         },
         false},
        {"held without sharing, deep down",
         [&] {
             auto held = std::make_shared<UniqueHandle>(Open(deep, GENERIC_READ, FILE_SHARE_READ));
             return [held] { held->reset(); };
         },
         true},
        {"held without sharing, behind a linked folder",
         [&] {
             auto held = std::make_shared<UniqueHandle>(Open(elsewhere, GENERIC_READ, 0));
             return [held] { held->reset(); };
         },
         false},
        {"a program running",
         [&] {
             auto process = std::make_shared<UniqueProcess>();
             StartDetached(program, L"\"" + program + L"\"", *process);
             WaitUntil([&] { return fs::exists(scratch / L"dir\\client-started.txt"); }, 20s);
             return [process] {
                 TerminateProcess(process->info.hProcess, 0);
                 WaitForSingleObject(process->info.hProcess, 10000);
             };
         },
         true, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const std::function<void()> letGo = c.hold();
        std::wstring error = L"untouched";
        EXPECT_EQ(CheckFolderContents(scratch / L"dir", true, L"", &error), !c.inUse);
        EXPECT_EQ(error, c.inUse ? L"Vexa盒子正在运行，请先退出" : L"untouched");
        // The one file a caller leaves out (an uninstaller that runs from the folder, say).
        EXPECT_EQ(CheckFolderContents(scratch / L"dir", false, program, nullptr),
                  !c.inUse || c.byTheProgram);
        letGo();
        EXPECT_EQ(ReadWholeFile(deep), "deep") << "nothing is changed";
    }
    EXPECT_TRUE(CheckFolderContents(scratch / L"no such folder", true, L"", nullptr));
}

// Only another process's hold makes a file in use: a read-only file, or one this user may not
// write, is no holder's (under Wine a read-only file opens for writing when the tests run as
// root, so its error is given here).
TEST(IsHolderFailure, CountsSharingAndLockViolationsOnly) {
    for (const auto& [failure, held] : {std::pair<DWORD, bool>{ERROR_SHARING_VIOLATION, true},
                                        {ERROR_LOCK_VIOLATION, true},
                                        {ERROR_ACCESS_DENIED, false},
                                        {ERROR_FILE_NOT_FOUND, false},
                                        {ERROR_SUCCESS, false}})
        EXPECT_EQ(IsHolderFailure(failure), held) << failure;
}

// Retried while the file is held, until the holder lets go, and while access is denied, as it is
// to a file a scanner has just opened on Windows; any other failure at once.
TEST(RetryWhileHeld, TriesAgainOnlyWhileAnotherHolderKeepsTheFile) {
    const ScratchDir scratch;
    const std::wstring file = scratch / L"client.exe";
    WriteWholeFile(file, "MZ");
    int attempts = 0;
    const auto openForWriting = [&] {
        ++attempts;
        return static_cast<bool>(Open(file, GENERIC_WRITE, FILE_SHARE_READ));
    };
    auto held = Open(file, GENERIC_READ, 0);
    std::thread letGo([&] {
        Sleep(300);
        held.reset();
    });
    EXPECT_TRUE(RetryWhileHeld(openForWriting));
    letGo.join();
    EXPECT_GT(attempts, 1);

    attempts = 0;
    EXPECT_TRUE(RetryWhileHeld([&] {
        SetLastError(ERROR_ACCESS_DENIED);
        return ++attempts == 3;
    }));
    EXPECT_EQ(attempts, 3);

    attempts = 0;
    EXPECT_FALSE(RetryWhileHeld([&] {
        ++attempts;
        return static_cast<bool>(Open(scratch / L"missing.exe", GENERIC_READ, 0));
    }));
    EXPECT_EQ(attempts, 1);
}

}  // namespace
