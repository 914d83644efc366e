#include "install/extraction.h"

#include <windows.h>
#include <aclapi.h>
#include <sddl.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>

#include "install/install_folder.h"
#include "support/test_files.h"
#include "support/test_server.h"
#include "test_config.h"

namespace fs = std::filesystem;

namespace {

// What package.zip holds (tools/make_test_zips.py).
constexpr wchar_t kPackageTree[] =
    L"O'Brien [1] $x ‘’.txt\nVexa盒子.exe\ndata\\\ndata\\big.bin\ndata\\深层\\\n"
    L"data\\深层\\文件.txt\nempty folder\\\nempty.txt\nreadme.txt\n";

// A copy of a prepared archive at a path of the test's choosing.
std::wstring PlaceZip(std::string_view name, const fs::path& path) {
    fs::create_directories(path.parent_path());
    fs::copy_file(TestZipPath(name), path, fs::copy_options::overwrite_existing);
    return path.wstring();
}

TEST(ExtractPackage, UnpacksIntoANewDirectoryWhateverThePathsHold) {
    const ScratchDir scratch;
    const std::wstring archive =
        PlaceZip("package.zip", scratch / L"下载 it's ‘a’ [1] $(x)\\p.zip");
    // Every quote PowerShell knows (the stand-in reads them as it does): a path that ended its
    // literal early would run the rest as code.
    const std::wstring destination =
        scratch / L"D' ; exit 0 ;'\\Tom’s [x] $HOME ‚b‛\\deep\\Vexa游戏盒子";
    std::wstring error = L"untouched";
    ASSERT_TRUE(ExtractPackage(archive, destination, &error));
    EXPECT_EQ(error, L"untouched");
    EXPECT_EQ(ListTree(destination), kPackageTree);
    EXPECT_EQ(ReadWholeFile(destination + L"\\data\\深层\\文件.txt"), "第一版");
    EXPECT_EQ(ReadWholeFile(archive), ReadWholeFile(TestZipPath("package.zip")));
    // Nothing was written anywhere but the destination and its missing parents: the archive's
    // folder and file, the destination's four levels and the package's nine entries.
    const std::wstring tree = ListTree(scratch.Path());
    EXPECT_EQ(std::count(tree.begin(), tree.end(), L'\n'), 15) << Narrow(tree);
}

// PowerShell's exit code decides: anything but 0 is a failed unpacking, and the archive stays.
TEST(ExtractPackage, ReportsAnyNonZeroExitCode) {
    const ScratchDir scratch;
    const struct {
        const char* archive;
        std::wstring exitCode;  // the stand-in's, when set; otherwise it unpacks
    } cases[] = {{"page.zip", L""},
                 {"truncated.zip", L""},
                 {"damaged.zip", L""},
                 {"package.uro", L""},
                 {"package.zip", L"2"},
                 {"package.zip", L"7"},
                 {"package.zip", L"4294967295"}};
    for (const auto& c : cases) {
        const std::wstring archive = PlaceZip(c.archive, scratch / Widen(c.archive));
        const std::wstring destination = scratch / (Widen(c.archive) + L" " + c.exitCode + L" out");
        const Finally exitCode = SetVariables({{L"VEXA_POWERSHELL_STANDIN_EXIT_CODE", c.exitCode}});
        std::wstring error = L"before";
        EXPECT_FALSE(ExtractPackage(archive, destination, &error)) << c.archive;
        EXPECT_EQ(error, L"解压失败，请确认安装包是 zip 格式") << c.archive;
        EXPECT_TRUE(fs::is_directory(destination)) << c.archive;  // made before PowerShell starts
        EXPECT_TRUE(fs::exists(archive)) << c.archive;
    }
}

TEST(ExtractPackage, RunsTheSystemPowerShellOnly) {
    const ScratchDir scratch;
    wchar_t system[MAX_PATH] = {};
    GetSystemDirectoryW(system, MAX_PATH);
    {
        const std::wstring powerShell =
            std::wstring(system) + L"\\WindowsPowerShell\\v1.0\\powershell.exe";
        ASSERT_TRUE(MoveFileW(powerShell.c_str(), (powerShell + L".aside").c_str()));
        const Finally back(
            [&] { MoveFileW((powerShell + L".aside").c_str(), powerShell.c_str()); });
        std::wstring error;
        EXPECT_FALSE(ExtractPackage(TestZipPath("package.zip"), scratch / L"gone", &error));
        EXPECT_EQ(error, L"无法启动系统解压组件");
    }
    // Windows looks in the program's own folder first for a command without a full path; a
    // powershell.exe planted there (beside a downloaded installer, say) must not run.
    // trust_ca.exe ends with exit code 2 on this command line, and unpacks nothing.
    wchar_t self[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, self, MAX_PATH);
    const fs::path planted = fs::path(self).parent_path() / L"powershell.exe";
    fs::copy_file(WindowsPathOfHost(std::string(kTestBuildDir) + "/tools/trust_ca.exe"), planted,
                  fs::copy_options::overwrite_existing);
    std::wstring error;
    EXPECT_TRUE(ExtractPackage(TestZipPath("package.zip"), scratch / L"here", &error))
        << Narrow(error);
    fs::remove(planted);
    EXPECT_EQ(ListTree(scratch / L"here"), kPackageTree);
}

// The ACEs of a DACL as "SID:mask:flags", in order.
std::wstring Aces(PACL acl) {
    std::wstring aces;
    for (DWORD i = 0; acl && i < acl->AceCount; ++i) {
        ACCESS_ALLOWED_ACE* ace = nullptr;
        if (!GetAce(acl, i, reinterpret_cast<void**>(&ace))) break;
        wchar_t* sid = nullptr;
        ConvertSidToStringSidW(&ace->SidStart, &sid);
        const UniqueLocalMem<wchar_t> owned{sid};
        wchar_t mask[16];
        swprintf(mask, 16, L":%lx:%x ", ace->Mask, ace->Header.AceFlags);
        aces += (ace->Header.AceType == ACCESS_ALLOWED_ACE_TYPE ? L"" : L"not allowed ") +
                std::wstring(sid ? sid : L"?") + mask;
    }
    return aces;
}

// What AccessCheck grants, at most, to this process's user with the Administrators group made
// deny-only or not, on the descriptor given an owner and a group (AccessCheck wants both).
ACCESS_MASK MostGranted(PSECURITY_DESCRIPTOR dacl, bool withoutAdministrators) {
    wchar_t* text = nullptr;
    ConvertSecurityDescriptorToStringSecurityDescriptorW(dacl, SDDL_REVISION_1,
                                                         DACL_SECURITY_INFORMATION, &text, nullptr);
    const UniqueLocalMem<wchar_t> ownedText{text};
    PSECURITY_DESCRIPTOR full = nullptr;
    ConvertStringSecurityDescriptorToSecurityDescriptorW((L"O:SYG:SY" + std::wstring(text)).c_str(),
                                                         SDDL_REVISION_1, &full, nullptr);
    const UniqueLocalMem<void> ownedFull{full};
    HANDLE process = nullptr, restricted = nullptr, token = nullptr;
    OpenProcessToken(GetCurrentProcess(), TOKEN_ALL_ACCESS, &process);
    const UniqueHandle ownedProcess{process};
    BYTE administrators[SECURITY_MAX_SID_SIZE];
    DWORD sidSize = sizeof(administrators);
    CreateWellKnownSid(WinBuiltinAdministratorsSid, nullptr, administrators, &sidSize);
    SID_AND_ATTRIBUTES disabled{administrators, 0};
    CreateRestrictedToken(process, 0, withoutAdministrators ? 1 : 0, &disabled, 0, nullptr, 0,
                          nullptr, &restricted);
    const UniqueHandle ownedRestricted{restricted};
    DuplicateToken(restricted, SecurityImpersonation, &token);
    const UniqueHandle ownedToken{token};
    GENERIC_MAPPING mapping{FILE_GENERIC_READ, FILE_GENERIC_WRITE, FILE_GENERIC_EXECUTE,
                            FILE_ALL_ACCESS};
    PRIVILEGE_SET privileges{};
    DWORD privilegesSize = sizeof(privileges);
    DWORD granted = 0;
    BOOL allowed = FALSE;
    if (!AccessCheck(full, token, MAXIMUM_ALLOWED, &mapping, &privileges, &privilegesSize, &granted,
                     &allowed)) {
        return 0;
    }
    return allowed ? granted : 0;
}

bool EveryoneMayRead(const std::wstring& folder) {
    PACL acl = nullptr;
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    GetNamedSecurityInfoW(folder.c_str(), SE_FILE_OBJECT, DACL_SECURITY_INFORMATION, nullptr,
                          nullptr, &acl, nullptr, &descriptor);
    const UniqueLocalMem<void> owned{descriptor};
    return Aces(acl).find(L"S-1-1-0:") != std::wstring::npos;
}

// The folders the installer makes are the user's own: a protected descriptor gives the user,
// SYSTEM and Administrators full control and Users read and execute, each handed on inside.
// Wine keeps no descriptor on disk but turns it into a Unix mode, where a folder made with it
// lacks the read for Everyone that a plain folder gets: that shows each level made with it,
// and an existing level keeping its own.
TEST(CreateInstallFolder, MakesEachNewLevelTheUsersOwn) {
    const UniqueLocalMem<void> descriptor = InstallFolderSecurity();
    ASSERT_TRUE(descriptor);
    SECURITY_DESCRIPTOR_CONTROL control = 0;
    DWORD revision = 0;
    ASSERT_TRUE(GetSecurityDescriptorControl(descriptor.get(), &control, &revision));
    EXPECT_EQ(control & (SE_DACL_PRESENT | SE_DACL_PROTECTED), SE_DACL_PRESENT | SE_DACL_PROTECTED);
    PACL acl = nullptr;
    BOOL present = FALSE, defaulted = FALSE;
    ASSERT_TRUE(GetSecurityDescriptorDacl(descriptor.get(), &present, &acl, &defaulted));
    HANDLE process = nullptr;
    OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &process);
    const UniqueHandle ownedProcess{process};
    BYTE user[SECURITY_MAX_SID_SIZE + sizeof(TOKEN_USER)];
    DWORD size = sizeof(user);
    ASSERT_TRUE(GetTokenInformation(process, TokenUser, user, size, &size));
    wchar_t* me = nullptr;
    ConvertSidToStringSidW(reinterpret_cast<TOKEN_USER*>(user)->User.Sid, &me);
    const UniqueLocalMem<wchar_t> ownedMe{me};
    EXPECT_EQ(Aces(acl), std::wstring(me) +
                             L":1f01ff:3 S-1-5-18:1f01ff:3 S-1-5-32-544:1f01ff:3 "
                             L"S-1-5-32-545:1200a9:3 ");
    // The user has full control through the user's own entry, also without Administrators.
    EXPECT_EQ(MostGranted(descriptor.get(), false), static_cast<ACCESS_MASK>(FILE_ALL_ACCESS));
    EXPECT_EQ(MostGranted(descriptor.get(), true), static_cast<ACCESS_MASK>(FILE_ALL_ACCESS));

    const ScratchDir scratch;
    const std::wstring existing = scratch / L"existing";
    fs::create_directories(existing);
    const std::wstring inner = existing + L"\\new\\Vexa游戏盒子";
    std::wstring error = L"untouched";
    ASSERT_TRUE(CreateInstallFolder(inner + L"\\", &error));
    EXPECT_EQ(error, L"untouched");
    EXPECT_TRUE(EveryoneMayRead(existing));
    EXPECT_FALSE(EveryoneMayRead(existing + L"\\new"));
    EXPECT_FALSE(EveryoneMayRead(inner));
}

}  // namespace
