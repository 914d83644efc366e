#include "install/folder_check.h"

#include <windows.h>
#include <aclapi.h>
#include <sddl.h>

#include <utility>

#include "common/error_text.h"
#include "install/folder_walk.h"
#include "install/install_folder.h"

namespace {

constexpr wchar_t kTextLink[] = L"安装目录是一个链接";

// Rights that let an account change the folder or plant something inside it. Inside a folder,
// write data is "add a file" and append data "add a subfolder".
constexpr ACCESS_MASK kChangingRights = FILE_WRITE_DATA | FILE_APPEND_DATA | FILE_WRITE_EA |
                                        FILE_WRITE_ATTRIBUTES | FILE_DELETE_CHILD | DELETE |
                                        WRITE_DAC | WRITE_OWNER | GENERIC_WRITE | GENERIC_ALL;

// What the check reads through its handle, and what giving the folder a new DACL adds: the
// system hands the DACL's inheritable entries on to what is inside through the same handle.
constexpr DWORD kReadAccess = READ_CONTROL | FILE_READ_ATTRIBUTES;
constexpr DWORD kProtectAccess = kReadAccess | WRITE_DAC | FILE_LIST_DIRECTORY | FILE_TRAVERSE;

bool IsTrusted(PSID sid, PSID user) {
    return EqualSid(sid, user) || IsWellKnownSid(sid, WinLocalSystemSid) ||
           IsWellKnownSid(sid, WinBuiltinAdministratorsSid);
}

// The folder itself, not what a link in its place leads to. Without delete sharing, nobody can
// rename or remove it, or put a link in its place, while the handle is open.
UniqueHandle OpenInPlace(const std::wstring& path, DWORD access) {
    return UniqueHandle{ValidHandle(CreateFileW(
        path.c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
        FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr))};
}

bool GiveInstallerDacl(HANDLE folder) {
    const UniqueLocalMem<void> descriptor = InstallFolderSecurity();
    PACL dacl = nullptr;
    BOOL present = FALSE, defaulted = FALSE;
    if (!descriptor || !GetSecurityDescriptorDacl(descriptor.get(), &present, &dacl, &defaulted) ||
        !present || !dacl) {
        return false;
    }
    return SetSecurityInfo(folder, SE_FILE_OBJECT,
                           DACL_SECURITY_INFORMATION | PROTECTED_DACL_SECURITY_INFORMATION, nullptr,
                           nullptr, dacl, nullptr) == ERROR_SUCCESS;
}

bool HasTrustedOwner(PSECURITY_DESCRIPTOR descriptor, PSID user) {
    PSID owner = nullptr;
    BOOL defaulted = FALSE;
    return GetSecurityDescriptorOwner(descriptor, &owner, &defaulted) && owner &&
           IsTrusted(owner, user);
}

// The descriptor's DACL, when it has one that is not null (a null DACL lets anyone do anything).
PACL DaclOf(PSECURITY_DESCRIPTOR descriptor) {
    PACL dacl = nullptr;
    BOOL present = FALSE, defaulted = FALSE;
    return GetSecurityDescriptorDacl(descriptor, &present, &dacl, &defaulted) && present ? dacl
                                                                                         : nullptr;
}

bool IsProtected(PSECURITY_DESCRIPTOR descriptor) {
    SECURITY_DESCRIPTOR_CONTROL control = 0;
    DWORD revision = 0;
    return GetSecurityDescriptorControl(descriptor, &control, &revision) &&
           (control & SE_DACL_PROTECTED);
}

// Whether the DACL lets anyone but the user, SYSTEM and Administrators change what it guards.
// Object, callback and compound entries may allow anything to anyone: the installer's own DACL
// has none, and they count as such. Denied entries take nothing away.
bool OthersMayChange(PACL dacl, PSID user) {
    for (DWORD index = 0; index < dacl->AceCount; ++index) {
        ACE_HEADER* header = nullptr;
        if (!GetAce(dacl, index, reinterpret_cast<void**>(&header))) return true;
        switch (header->AceType) {
            case ACCESS_DENIED_ACE_TYPE:
            case ACCESS_DENIED_OBJECT_ACE_TYPE:
            case ACCESS_DENIED_CALLBACK_ACE_TYPE:
            case ACCESS_DENIED_CALLBACK_OBJECT_ACE_TYPE:
                break;
            case ACCESS_ALLOWED_ACE_TYPE: {
                auto* allowed = reinterpret_cast<ACCESS_ALLOWED_ACE*>(header);
                if ((allowed->Mask & kChangingRights) && !IsTrusted(&allowed->SidStart, user)) {
                    return true;
                }
                break;
            }
            default:
                return true;
        }
    }
    return false;
}

}  // namespace

FolderVerdict JudgeFolderSecurity(PSECURITY_DESCRIPTOR descriptor, PSID user) {
    if (!HasTrustedOwner(descriptor, user)) return FolderVerdict::kRefuse;
    const PACL dacl = DaclOf(descriptor);
    if (!IsProtected(descriptor) || !dacl || OthersMayChange(dacl, user)) {
        return FolderVerdict::kReprotect;
    }
    return FolderVerdict::kUse;
}

bool MayStayInInstallFolder(PSECURITY_DESCRIPTOR descriptor, PSID user) {
    if (!HasTrustedOwner(descriptor, user)) return false;
    const PACL dacl = DaclOf(descriptor);
    // Without a DACL of its own, an entry takes what the install folder hands down to it.
    return dacl && !(IsProtected(descriptor) && OthersMayChange(dacl, user));
}

bool KeepsPermissions(HANDLE folder) {
    DWORD flags = 0;
    return !GetVolumeInformationByHandleW(folder, nullptr, 0, nullptr, nullptr, &flags, nullptr,
                                          0) ||
           (flags & FILE_PERSISTENT_ACLS);
}

namespace {

bool CheckFolder(const std::wstring& directory, bool reprotect, UniqueHandle& held,
                 std::wstring* error) {
    held.reset();
    // The entry itself is named without a separator at its end.
    std::wstring path = directory;
    while (path.size() > 3 && (path.back() == L'\\' || path.back() == L'/'))
        path.pop_back();

    // Without the right to change its DACL the folder can still be judged, and used when it
    // needs no change.
    bool mayProtect = true;
    UniqueHandle folder = OpenInPlace(path, kProtectAccess);
    if (!folder && GetLastError() == ERROR_ACCESS_DENIED) {
        mayProtect = false;
        folder = OpenInPlace(path, kReadAccess);
    }
    if (!folder) {
        const DWORD failure = GetLastError();
        if (failure == ERROR_FILE_NOT_FOUND || failure == ERROR_PATH_NOT_FOUND) return true;
        return Fail(
            error, failure == ERROR_ACCESS_DENIED ? kTextFolderOfOtherUser : kTextCannotOpenFolder);
    }

    BY_HANDLE_FILE_INFORMATION info{};
    if (!GetFileInformationByHandle(folder.get(), &info)) return Fail(error, kTextCannotOpenFolder);
    // On Windows the handle is the link itself. Wine opens what a Unix symbolic link leads to
    // even when told not to follow it, and only the directory entry still shows the link.
    FILE_ATTRIBUTE_TAG_INFO tag{};
    WIN32_FIND_DATAW entry{};
    const UniqueFind found{ValidHandle(FindFirstFileW(path.c_str(), &entry))};
    if (((info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) &&
         (!GetFileInformationByHandleEx(folder.get(), FileAttributeTagInfo, &tag, sizeof(tag)) ||
          IsLinkTag(tag.ReparseTag))) ||
        (found && (entry.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) &&
         IsLinkTag(entry.dwReserved0))) {
        return Fail(error, kTextLink);
    }
    if (!(info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) return true;

    if (!KeepsPermissions(folder.get())) {
        held = std::move(folder);
        return true;
    }

    PSID owner = nullptr;
    PACL dacl = nullptr;
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (GetSecurityInfo(folder.get(), SE_FILE_OBJECT,
                        OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION, &owner, nullptr,
                        &dacl, nullptr, &descriptor) != ERROR_SUCCESS) {
        return Fail(error, kTextCannotOpenFolder);
    }
    const UniqueLocalMem<void> ownedDescriptor{descriptor};
    PSID user = nullptr;
    if (!ConvertStringSidToSidW(CurrentUserSid().c_str(), &user)) {
        return Fail(error, kTextFolderOfOtherUser);
    }
    const UniqueLocalMem<void> ownedUser{user};

    switch (JudgeFolderSecurity(descriptor, user)) {
        case FolderVerdict::kRefuse:
            return Fail(error, kTextFolderOfOtherUser);
        case FolderVerdict::kReprotect:
            if (reprotect && (!mayProtect || !GiveInstallerDacl(folder.get()))) {
                return Fail(error, kTextFolderOfOtherUser);
            }
            break;
        case FolderVerdict::kUse:
            break;
    }
    held = std::move(folder);
    return true;
}

}  // namespace

bool CheckInstallFolder(const std::wstring& directory, UniqueHandle& held, std::wstring* error) {
    return CheckFolder(directory, true, held, error);
}

bool CheckFolderToRemove(const std::wstring& directory, UniqueHandle& held, std::wstring* error) {
    return CheckFolder(directory, false, held, error);
}
