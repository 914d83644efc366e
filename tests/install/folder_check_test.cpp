#include "install/folder_check.h"

#include <windows.h>
#include <aclapi.h>
#include <sddl.h>

#include <gtest/gtest.h>

#include <cstddef>
#include <filesystem>
#include <string>

#include "install/extraction.h"
#include "install/install_folder.h"
#include "support/test_files.h"
#include "support/test_server.h"
#include "test_config.h"

namespace fs = std::filesystem;

namespace {

constexpr wchar_t kUser[] = L"S-1-5-21-1-2-3-1001";
constexpr wchar_t kOtherUser[] = L"S-1-5-21-1-2-3-1002";

std::wstring ReplaceAll(std::wstring text, std::wstring_view from, std::wstring_view to) {
    for (size_t at = text.find(from); at != std::wstring::npos;
         at = text.find(from, at + to.size()))
        text.replace(at, from.size(), to);
    return text;
}

// The descriptor an SDDL text describes, "{user}" and "{other}" standing for the two test users.
// Wine reads NO_ACCESS_CONTROL as an empty DACL where Windows reads a null DACL: for such a text
// the descriptor gets the null DACL here, with the owner and protection the text gives.
class Descriptor {
public:
    explicit Descriptor(const std::wstring& sddl) {
        const std::wstring text =
            ReplaceAll(ReplaceAll(sddl, L"{user}", kUser), L"{other}", kOtherUser);
        PSECURITY_DESCRIPTOR descriptor = nullptr;
        if (!ConvertStringSecurityDescriptorToSecurityDescriptorW(text.c_str(), SDDL_REVISION_1,
                                                                  &descriptor, nullptr)) {
            return;
        }
        parsed_.reset(descriptor);
        if (text.find(L"NO_ACCESS_CONTROL") == std::wstring::npos) return;
        PSID owner = nullptr;
        BOOL defaulted = FALSE;
        SECURITY_DESCRIPTOR_CONTROL control = 0;
        DWORD revision = 0;
        GetSecurityDescriptorOwner(descriptor, &owner, &defaulted);
        GetSecurityDescriptorControl(descriptor, &control, &revision);
        InitializeSecurityDescriptor(&nullDacl_, SECURITY_DESCRIPTOR_REVISION);
        SetSecurityDescriptorOwner(&nullDacl_, owner, FALSE);
        SetSecurityDescriptorDacl(&nullDacl_, TRUE, nullptr, FALSE);
        SetSecurityDescriptorControl(&nullDacl_, SE_DACL_PROTECTED, control & SE_DACL_PROTECTED);
        useNullDacl_ = true;
    }
    PSECURITY_DESCRIPTOR get() { return useNullDacl_ ? &nullDacl_ : parsed_.get(); }

private:
    UniqueLocalMem<void> parsed_;
    SECURITY_DESCRIPTOR nullDacl_{};
    bool useNullDacl_ = false;
};

UniqueLocalMem<void> Sid(const std::wstring& text) {
    PSID sid = nullptr;
    ConvertStringSidToSidW(text.c_str(), &sid);
    return UniqueLocalMem<void>{sid};
}

const char* Name(FolderVerdict verdict) {
    switch (verdict) {
        case FolderVerdict::kUse:
            return "use";
        case FolderVerdict::kReprotect:
            return "re-protect";
        case FolderVerdict::kRefuse:
            return "refuse";
    }
    return "?";
}

// The installer's own DACL, as SDDL.
std::wstring InstallerDacl() {
    const UniqueLocalMem<void> descriptor = InstallFolderSecurity();
    wchar_t* text = nullptr;
    if (!descriptor ||
        !ConvertSecurityDescriptorToStringSecurityDescriptorW(
            descriptor.get(), SDDL_REVISION_1, DACL_SECURITY_INFORMATION, &text, nullptr)) {
        return L"";
    }
    const UniqueLocalMem<wchar_t> owned{text};
    return text;
}

// What the check makes of a descriptor: of the install folder's, whether it is used as it is,
// re-protected or refused; of an entry's inside it, whether the entry may stay. An entry that
// inherits takes what the folder hands down once the folder is re-protected; one of another
// account, or whose own protected DACL lets others change it, does not stay (a DLL that the
// client would load, say). Wine keeps no descriptors: the rules are tested on descriptors built
// here.
TEST(JudgeFolderSecurity, UsesOnlyWhatTheUserOwnsAndOnlyTrustedAccountsMayChange) {
    const std::wstring me = CurrentUserSid();
    ASSERT_FALSE(me.empty());
    const std::wstring installerDacl = InstallerDacl();
    ASSERT_FALSE(installerDacl.empty());
    constexpr FolderVerdict kUse = FolderVerdict::kUse;
    constexpr FolderVerdict kReprotect = FolderVerdict::kReprotect;
    constexpr FolderVerdict kRefuse = FolderVerdict::kRefuse;
    const struct {
        std::wstring sddl;
        FolderVerdict verdict;
        bool stays;  // as an entry inside the folder
        std::wstring user = kUser;
    } cases[] = {
        // The user's own protected folder, as the installer makes it, and with generic rights.
        {L"O:{user}D:P(A;OICI;FA;;;{user})(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)(A;OICI;FRFX;;;BU)", kUse,
         true},
        {L"O:{user}D:P(A;OICI;GA;;;{user})(A;OICI;GA;;;SY)(A;OICI;GA;;;BA)", kUse, true},
        {L"O:" + me + installerDacl, kUse, true, me},
        // Owned by SYSTEM or Administrators, protected.
        {L"O:BAD:P(A;OICI;FA;;;{user})(A;OICI;FA;;;BA)", kUse, true},
        {L"O:SYD:P(A;OICI;FA;;;SY)(A;OICI;FA;;;{user})", kUse, true},
        // Reading, listing, running and reading the descriptor are no change.
        {L"O:{user}D:P(A;OICI;FA;;;{user})(A;OICI;0x1200a9;;;{other})(A;;GRGX;;;WD)"
         L"(A;;0x1000a9;;;AU)",
         kUse, true},
        // Denied entries take nothing away from the verdict.
        {L"O:{user}D:P(D;OICI;FA;;;WD)", kUse, true},
        {L"O:{user}D:P(A;OICI;FA;;;{user})(D;;FA;;;{other})(D;OICIIO;GA;;;AU)", kUse, true},

        // Owned by another account: another user, Users, Everyone, or nobody.
        {L"O:{other}D:P(A;OICI;FA;;;{user})", kRefuse, false},
        {L"O:BUD:P(A;OICI;FA;;;{user})", kRefuse, false},
        {L"O:WDD:P(A;OICI;FA;;;{user})", kRefuse, false},
        {L"D:P(A;OICI;FA;;;{user})", kRefuse, false},
        // Refused before anything else counts.
        {L"O:{other}D:NO_ACCESS_CONTROL", kRefuse, false},
        {L"O:{other}D:AI(A;OICIID;0x1301bf;;;AU)", kRefuse, false},
        // The user's folder under a drive root: Authenticated Users may modify, inherited.
        {L"O:{user}D:AI(A;OICIID;FA;;;{user})(A;OICIID;FA;;;SY)(A;OICIID;FA;;;BA)"
         L"(A;OICIID;0x1301bf;;;AU)(A;OICIID;FRFX;;;BU)",
         kReprotect, true},
        // Not protected, even with trusted entries only: what is above may still hand down more.
        // An entry so takes what the re-protected folder hands down, whatever it held.
        {L"O:{user}D:(A;OICI;FA;;;{user})(A;OICI;FA;;;SY)", kReprotect, true},
        {L"O:{user}D:AI(A;OICIID;FA;;;{user})", kReprotect, true},
        {L"O:{user}D:(A;;FA;;;{user})(A;;FW;;;WD)", kReprotect, true},
        // A null DACL, protected or not, and no DACL at all.
        {L"O:{user}D:NO_ACCESS_CONTROL", kReprotect, false},
        {L"O:{user}D:PNO_ACCESS_CONTROL", kReprotect, false},
        {L"O:{user}", kReprotect, false},
        // Everyone may write.
        {L"O:{user}D:P(A;OICI;FA;;;{user})(A;OICI;FW;;;WD)", kReprotect, false},
        // Each changing right alone, for another user: write data (add a file), append data
        // (add a subfolder), write extended attributes, delete a child, write attributes,
        // delete, change the DACL, change the owner, generic write, generic all.
        {L"O:{user}D:P(A;;0x2;;;{other})", kReprotect, false},
        {L"O:{user}D:P(A;;0x4;;;{other})", kReprotect, false},
        {L"O:{user}D:P(A;;0x10;;;{other})", kReprotect, false},
        {L"O:{user}D:P(A;;0x40;;;{other})", kReprotect, false},
        {L"O:{user}D:P(A;;0x100;;;{other})", kReprotect, false},
        {L"O:{user}D:P(A;;0x10000;;;{other})", kReprotect, false},
        {L"O:{user}D:P(A;;0x40000;;;{other})", kReprotect, false},
        {L"O:{user}D:P(A;;0x80000;;;{other})", kReprotect, false},
        {L"O:{user}D:P(A;;0x40000000;;;{other})", kReprotect, false},
        {L"O:{user}D:P(A;;0x10000000;;;{other})", kReprotect, false},
        // Inherit-only entries reach what is made inside: another user, and the creator of
        // each new file or folder (as drive roots hand down).
        {L"O:{user}D:P(A;OICI;FA;;;{user})(A;OICIIO;FA;;;{other})", kReprotect, false},
        {L"O:{user}D:P(A;OICI;FA;;;{user})(A;OICIIO;GA;;;CO)", kReprotect, false},
        // A denied entry is not weighed against an allowed one.
        {L"O:{user}D:P(D;;FA;;;{other})(A;;FA;;;{other})", kReprotect, false},
        // The user's own folder judged for another user.
        {L"O:{user}D:P(A;OICI;FA;;;{user})", kRefuse, false, kOtherUser},
        {L"O:BAD:P(A;OICI;FA;;;BA)(A;OICI;FA;;;{user})", kReprotect, false, kOtherUser},
    };
    for (const auto& c : cases) {
        Descriptor descriptor(c.sddl);
        ASSERT_TRUE(descriptor.get()) << Narrow(c.sddl);
        const UniqueLocalMem<void> user = Sid(c.user);
        ASSERT_TRUE(user);
        const FolderVerdict verdict = JudgeFolderSecurity(descriptor.get(), user.get());
        EXPECT_EQ(verdict, c.verdict) << Narrow(c.sddl) << " for " << Narrow(c.user) << ": "
                                      << Name(verdict) << " instead of " << Name(c.verdict);
        EXPECT_EQ(MayStayInInstallFolder(descriptor.get(), user.get()), c.stays)
            << "entry " << Narrow(c.sddl) << " for " << Narrow(c.user);
        if (c.sddl.find(L"NO_ACCESS_CONTROL") != std::wstring::npos) {
            PACL dacl = nullptr;
            BOOL present = FALSE, defaulted = FALSE;
            GetSecurityDescriptorDacl(descriptor.get(), &present, &dacl, &defaulted);
            EXPECT_TRUE(present && !dacl) << "not a null DACL: " << Narrow(c.sddl);
        }
    }
}

// Object entries carry flags (and object types) before their SID: an entry of a kind the
// decision does not read counts as one that may give anything. Wine's AddAccessAllowedObjectAce
// fails, so the entry is put together here: no object types, Everyone may read.
TEST(JudgeFolderSecurity, ReprotectsAnEntryOfAnotherKind) {
    const UniqueLocalMem<void> user = Sid(kUser);
    const UniqueLocalMem<void> everyone = Sid(L"S-1-1-0");
    ASSERT_TRUE(user && everyone);
    alignas(DWORD) BYTE buffer[256] = {};
    auto* dacl = reinterpret_cast<PACL>(buffer);
    ASSERT_TRUE(InitializeAcl(dacl, sizeof(buffer), ACL_REVISION_DS));
    ASSERT_TRUE(AddAccessAllowedAceEx(dacl, ACL_REVISION_DS, 0, FILE_ALL_ACCESS, user.get()));
    alignas(DWORD) BYTE entry[64] = {};
    auto* object = reinterpret_cast<ACCESS_ALLOWED_OBJECT_ACE*>(entry);
    const DWORD sidSize = GetLengthSid(everyone.get());
    const size_t sidOffset = offsetof(ACCESS_ALLOWED_OBJECT_ACE, ObjectType);
    object->Header.AceType = ACCESS_ALLOWED_OBJECT_ACE_TYPE;
    object->Header.AceSize = static_cast<WORD>(sidOffset + sidSize);
    object->Mask = FILE_GENERIC_READ;
    object->Flags = 0;
    ASSERT_TRUE(CopySid(sidSize, entry + sidOffset, everyone.get()));
    ASSERT_TRUE(AddAce(dacl, ACL_REVISION_DS, MAXDWORD, entry, object->Header.AceSize));
    SECURITY_DESCRIPTOR descriptor{};
    ASSERT_TRUE(InitializeSecurityDescriptor(&descriptor, SECURITY_DESCRIPTOR_REVISION));
    ASSERT_TRUE(SetSecurityDescriptorOwner(&descriptor, user.get(), FALSE));
    ASSERT_TRUE(SetSecurityDescriptorDacl(&descriptor, TRUE, dacl, FALSE));
    ASSERT_TRUE(SetSecurityDescriptorControl(&descriptor, SE_DACL_PROTECTED, SE_DACL_PROTECTED));
    EXPECT_EQ(JudgeFolderSecurity(&descriptor, user.get()), FolderVerdict::kReprotect);
    // The same descriptor without the object entry is the user's own.
    ASSERT_TRUE(DeleteAce(dacl, 1));
    EXPECT_EQ(JudgeFolderSecurity(&descriptor, user.get()), FolderVerdict::kUse);
}

// Whether an allowed entry of the folder's DACL, as read back from the disk, lets Everyone add
// a file.
bool EveryoneMayAddFiles(const std::wstring& folder) {
    PACL dacl = nullptr;
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (GetNamedSecurityInfoW(folder.c_str(), SE_FILE_OBJECT, DACL_SECURITY_INFORMATION, nullptr,
                              nullptr, &dacl, nullptr, &descriptor) != ERROR_SUCCESS) {
        return false;
    }
    const UniqueLocalMem<void> owned{descriptor};
    const UniqueLocalMem<void> everyone = Sid(L"S-1-1-0");
    for (DWORD i = 0; dacl && i < dacl->AceCount; ++i) {
        ACCESS_ALLOWED_ACE* ace = nullptr;
        if (GetAce(dacl, i, reinterpret_cast<void**>(&ace)) &&
            ace->Header.AceType == ACCESS_ALLOWED_ACE_TYPE && (ace->Mask & FILE_ADD_FILE) &&
            EqualSid(&ace->SidStart, everyone.get())) {
            return true;
        }
    }
    return false;
}

// What stands at the install directory, as the check takes it: nothing yet (or no folder, which
// making it will report) passes with nothing held; the user's folder is held, and loses what
// lets everyone write to it (Wine keeps no descriptor but a Unix mode, which setting the DACL
// changes: Users keep reading); a link in its place (Wine shows a Unix link's entry as a reparse
// point without a tag, and opens what it leads to even when told not to) and a folder of
// another account (Wine's ANONYMOUS LOGON, when scripts/test-folders ran as root) are refused.
TEST(CheckInstallFolder, HoldsTheUsersFolderAndRefusesALinkOrAnotherAccounts) {
    const ScratchDir scratch;
    WriteWholeFile(scratch / L"a file", "not a folder");
    WriteWholeFile(scratch / L"open\\Vexa游戏盒子\\earlier.txt", "earlier");
    WriteWholeFile(scratch / L"target\\kept.txt", "kept");
    ASSERT_TRUE(MakeHostLink(scratch.Path(), "target", "link"));
    const std::wstring open = scratch / L"open\\Vexa游戏盒子";
    const std::wstring sddl = L"D:(A;OICI;FA;;;WD)(A;OICI;FA;;;" + CurrentUserSid() + L")";
    Descriptor everyone(sddl);
    PACL dacl = nullptr;
    BOOL present = FALSE, defaulted = FALSE;
    ASSERT_TRUE(GetSecurityDescriptorDacl(everyone.get(), &present, &dacl, &defaulted));
    ASSERT_EQ(SetNamedSecurityInfoW(const_cast<wchar_t*>(open.c_str()), SE_FILE_OBJECT,
                                    DACL_SECURITY_INFORMATION, nullptr, nullptr, dacl, nullptr),
              static_cast<DWORD>(ERROR_SUCCESS));
    ASSERT_TRUE(EveryoneMayAddFiles(open));
    const std::wstring foreign =
        WindowsPathOfHost(std::string(kTestBuildDir) + "/test-folders/foreign");
    const struct {
        std::wstring directory;
        std::wstring error;  // empty: it passes
        bool held;
    } cases[] = {{scratch / L"Vexa游戏盒子", L"", false},
                 {scratch / L"missing\\deeper\\Vexa游戏盒子", L"", false},
                 {scratch / L"a file", L"", false},
                 {open, L"", true},
                 {scratch / L"link", L"安装目录是一个链接", false},
                 {scratch / L"link\\", L"安装目录是一个链接", false},
                 {foreign, L"安装目录属于其他用户", false}};
    for (const auto& c : cases) {
        if (c.directory == foreign && !fs::is_directory(foreign)) {
            std::printf("skipped: scripts/test-folders made no folder of another account\n");
            continue;
        }
        UniqueHandle held{CreateEventW(nullptr, TRUE, FALSE, nullptr)};  // to be let go of
        std::wstring error = L"untouched";
        EXPECT_EQ(CheckInstallFolder(c.directory, held, &error), c.error.empty())
            << Narrow(c.directory);
        EXPECT_EQ(error, c.error.empty() ? L"untouched" : c.error) << Narrow(c.directory);
        EXPECT_EQ(static_cast<bool>(held), c.held) << Narrow(c.directory);
    }
    EXPECT_FALSE(fs::exists(scratch / L"Vexa游戏盒子"));
    EXPECT_EQ(ReadWholeFile(scratch / L"a file"), "not a folder");
    EXPECT_FALSE(EveryoneMayAddFiles(open));
    EXPECT_EQ(ListTree(scratch / L"target"), L"kept.txt\n");
    if (fs::is_directory(foreign)) {
        EXPECT_EQ(ListTree(foreign), L"");
    }
}

// While the caller holds the folder, nobody can rename or remove it (and so put a link in its
// place), but the package is unpacked into it, next to what was there; once it lets go, the
// folder can move again.
TEST(CheckInstallFolder, HoldsTheFolderAgainstRenamingAndRemoval) {
    const ScratchDir scratch;
    const std::wstring folder = scratch / L"Vexa游戏盒子";
    const std::wstring moved = scratch / L"moved";
    WriteWholeFile(folder + L"\\earlier.txt", "earlier");
    UniqueHandle held;
    std::wstring error = L"untouched";
    ASSERT_TRUE(CheckInstallFolder(folder + L"\\", held, &error)) << Narrow(error);
    EXPECT_EQ(error, L"untouched");
    ASSERT_TRUE(held);

    EXPECT_FALSE(MoveFileW(folder.c_str(), moved.c_str()));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SHARING_VIOLATION));
    EXPECT_FALSE(RemoveDirectoryW(folder.c_str()));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SHARING_VIOLATION));
    EXPECT_FALSE(ValidHandle(
        CreateFileW(folder.c_str(), DELETE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                    nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr)));
    EXPECT_TRUE(ExtractPackage(TestZipPath("package.zip"), folder, &error)) << Narrow(error);
    EXPECT_EQ(ReadWholeFile(folder + L"\\data\\深层\\文件.txt"), "第一版");

    held.reset();
    EXPECT_TRUE(MoveFileW(folder.c_str(), moved.c_str()));
    EXPECT_EQ(ReadWholeFile(moved + L"\\earlier.txt"), "earlier");
}

}  // namespace
