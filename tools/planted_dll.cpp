// A DLL that must never be loaded by the installer: planted beside it under the name of a
// system DLL, it leaves "<its name>.loaded" beside itself when a process loads it.
#include <windows.h>

#include "common/owners.h"

BOOL WINAPI DllMain(HINSTANCE module, DWORD reason, LPVOID) {
    if (reason == DLL_PROCESS_ATTACH) {
        wchar_t path[MAX_PATH + 8] = {};
        const DWORD length = GetModuleFileNameW(module, path, MAX_PATH);
        if (length > 0 && length < MAX_PATH) {
            lstrcatW(path, L".loaded");
            const UniqueHandle marker{ValidHandle(CreateFileW(
                path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr))};
        }
    }
    return TRUE;
}
