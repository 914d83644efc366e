#include "install/folder_check.h"

#include <windows.h>

namespace {

// Rights that let an account change the folder or plant something inside it. Inside a folder,
// write data is "add a file" and append data "add a subfolder".
constexpr ACCESS_MASK kChangingRights = FILE_WRITE_DATA | FILE_APPEND_DATA | FILE_WRITE_EA |
                                        FILE_WRITE_ATTRIBUTES | FILE_DELETE_CHILD | DELETE |
                                        WRITE_DAC | WRITE_OWNER | GENERIC_WRITE | GENERIC_ALL;

bool IsTrusted(PSID sid, PSID user) {
    return EqualSid(sid, user) || IsWellKnownSid(sid, WinLocalSystemSid) ||
           IsWellKnownSid(sid, WinBuiltinAdministratorsSid);
}

}  // namespace

FolderVerdict JudgeFolderSecurity(PSECURITY_DESCRIPTOR descriptor, PSID user) {
    PSID owner = nullptr;
    BOOL ownerDefaulted = FALSE;
    if (!GetSecurityDescriptorOwner(descriptor, &owner, &ownerDefaulted) || !owner ||
        !IsTrusted(owner, user)) {
        return FolderVerdict::kRefuse;
    }
    SECURITY_DESCRIPTOR_CONTROL control = 0;
    DWORD revision = 0;
    PACL dacl = nullptr;
    BOOL present = FALSE, defaulted = FALSE;
    if (!GetSecurityDescriptorControl(descriptor, &control, &revision) ||
        !(control & SE_DACL_PROTECTED) ||
        !GetSecurityDescriptorDacl(descriptor, &present, &dacl, &defaulted) || !present || !dacl) {
        return FolderVerdict::kReprotect;
    }
    for (DWORD index = 0; index < dacl->AceCount; ++index) {
        ACE_HEADER* header = nullptr;
        if (!GetAce(dacl, index, reinterpret_cast<void**>(&header)))
            return FolderVerdict::kReprotect;
        switch (header->AceType) {
            case ACCESS_DENIED_ACE_TYPE:
            case ACCESS_DENIED_OBJECT_ACE_TYPE:
            case ACCESS_DENIED_CALLBACK_ACE_TYPE:
            case ACCESS_DENIED_CALLBACK_OBJECT_ACE_TYPE:
                break;
            case ACCESS_ALLOWED_ACE_TYPE: {
                auto* allowed = reinterpret_cast<ACCESS_ALLOWED_ACE*>(header);
                if ((allowed->Mask & kChangingRights) && !IsTrusted(&allowed->SidStart, user)) {
                    return FolderVerdict::kReprotect;
                }
                break;
            }
            default:
                // Object, callback and compound entries may allow anything to anyone; the
                // installer's own DACL has none.
                return FolderVerdict::kReprotect;
        }
    }
    return FolderVerdict::kUse;
}
