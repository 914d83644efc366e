#pragma once
// An install directory that already exists, checked before anything is unpacked into it: it
// may have been made by another account, keep what a drive root hands down, or be a link that
// sends the files elsewhere.

#include <windows.h>

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
