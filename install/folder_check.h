#pragma once
// An install directory that already exists, checked before anything is unpacked into it: it
// may have been made by another account, keep what a drive root hands down, or be a link that
// sends the files elsewhere.

#include <windows.h>

#include <string>

#include "common/owners.h"

inline constexpr wchar_t kTextFolderOfOtherUser[] = L"安装目录属于其他用户";
inline constexpr wchar_t kTextCannotOpenFolder[] = L"无法打开安装目录";

enum class FolderVerdict {
    kUse,        // the user's own, and only the user, SYSTEM and Administrators may change it
    kReprotect,  // the user's own, but others may change it or what is put inside it
    kRefuse,     // owned by another account
};

// The verdict on a folder's descriptor for the installing user. Owned by anyone but the user,
// SYSTEM and Administrators (or by no one): kRefuse. Otherwise kReprotect when the DACL is
// missing or null, not protected, or has an entry other than a plain allowed or denied one, or
// an allowed entry (inherit-only ones too) that lets any other account write, append, add
// files or folders, write attributes or extended attributes, delete, delete children, or change
// the permissions or the owner. Otherwise kUse; denied entries never change the verdict.
FolderVerdict JudgeFolderSecurity(PSECURITY_DESCRIPTOR descriptor, PSID user);

// Whether an entry inside an install folder that the installer uses or re-protects may stay
// there: owned by the user, SYSTEM or Administrators, with a DACL that is not null, and, when
// that DACL is protected (and so keeps nothing the folder hands down), one that lets no other
// account change the entry by the same rules as JudgeFolderSecurity. Otherwise a file of another
// account (a DLL that the client would load, say) would stay in the folder.
bool MayStayInInstallFolder(PSECURITY_DESCRIPTOR descriptor, PSID user);

// Whether the folder's volume keeps permissions; true when it cannot be asked. FAT and exFAT do
// not.
bool KeepsPermissions(HANDLE folder);

// Checks the install directory as it stands on disk, without following a link in its place.
// True when nothing is there (or something other than a folder, which making the folder will
// report), with `held` empty. True for a folder on a volume that keeps no permissions (FAT,
// exFAT), or whose verdict is kUse, or kReprotect once it has the installer's own protected
// DACL (InstallFolderSecurity(), handed on to what is inside; no file is removed): then `held`
// is the open folder, which cannot be renamed, removed or replaced until the caller closes it.
// On failure `held` is empty and the error text (when given) becomes "安装目录是一个链接" for a
// reparse point that stands for another place (junction, symbolic link, mount point) or whose
// tag cannot be read, "安装目录属于其他用户" for kRefuse or a
// folder that cannot be given the installer's DACL, or "无法打开安装目录" when the folder or its
// descriptor cannot be read; on success it is left untouched.
bool CheckInstallFolder(const std::wstring& directory, UniqueHandle& held, std::wstring* error);

// The same check for an uninstall, which changes nothing: a folder whose verdict is kReprotect
// is taken as it is.
bool CheckFolderToRemove(const std::wstring& directory, UniqueHandle& held, std::wstring* error);
