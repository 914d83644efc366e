#include "install/client_start.h"

#include <windows.h>
#include <shellapi.h>

#include "common/error_text.h"
#include "common/log.h"
#include "common/owners.h"
#include "install/files_in_use.h"
#include "install/shortcut.h"

namespace {

constexpr wchar_t kTextCannotStart[] = L"无法启动 Vexa盒子";

}  // namespace

bool StartClient(const std::wstring& exePath, std::wstring* error) {
    const std::wstring folder = ParentDirectory(exePath);
    SHELLEXECUTEINFOW start{};
    start.cbSize = sizeof(start);
    // A process handle that shows the start succeeded; no dialog of the shell's own on failure;
    // done before the call returns, since this thread ends soon after.
    start.fMask = SEE_MASK_NOCLOSEPROCESS | SEE_MASK_FLAG_NO_UI | SEE_MASK_NOASYNC;
    start.lpVerb = L"open";
    start.lpFile = exePath.c_str();
    start.lpDirectory = folder.c_str();
    start.nShow = SW_SHOWNORMAL;
    if (!RetryWhileHeld([&] { return ShellExecuteExW(&start) != FALSE; })) {
        Log(L"the client did not start: error " + std::to_wstring(GetLastError()) + L", " +
            exePath);
        return Fail(error, kTextCannotStart);
    }
    const UniqueHandle client{start.hProcess};
    Log(L"the client started: " + exePath);
    return true;
}
