#include "app/uninstall_prompts.h"

#include <windows.h>

#include <string>

#include "common/log.h"
#include "common/owners.h"
#include "install/apps_entry.h"
#include "install/log_heading.h"
#include "uninstall/self_removal.h"
#include "uninstall/uninstaller.h"

namespace {

constexpr wchar_t kTextAsk[] = L"确定要卸载 Vexa盒子 吗？";
constexpr wchar_t kTextRemoved[] = L"Vexa盒子 已卸载";
constexpr wchar_t kTextKeptOthers[] = L"Vexa盒子 已卸载，以下文件夹中保留了不属于安装包的文件：\n";
constexpr wchar_t kTextIncomplete[] = L"Vexa盒子 未能完全卸载，请手动删除以下文件夹：\n";
constexpr wchar_t kTextRefused[] = L"卸载失败：";

enum ExitCode : int { kRemoved = 0, kDeclined = 1, kInUse = 2, kRefused = 3, kIncomplete = 4 };

int Tell(bool quiet, const std::wstring& text, UINT icon, int code) {
    Log(L"ended " + std::to_wstring(code) + L": " + text);
    if (!quiet) MessageBoxW(nullptr, text.c_str(), kDisplayName, MB_OK | icon | MB_SETFOREGROUND);
    return code;
}

}  // namespace

int RunUninstaller(bool quiet) {
    BeginLog(LogHeading(quiet ? L"quiet uninstall" : L"uninstall", L""));
    if (!quiet && MessageBoxW(nullptr, kTextAsk, kDisplayName,
                              MB_YESNO | MB_ICONQUESTION | MB_SETFOREGROUND) != IDYES) {
        Log(L"ended " + std::to_wstring(kDeclined) + L": the user said no");
        return kDeclined;
    }
    const ComApartment apartment;  // for the shortcuts
    const std::wstring self = ThisProgram();
    const UninstallResult result = Uninstall(self);
    switch (result.ending) {
        case UninstallEnding::kInUse:
            return Tell(quiet, result.error, MB_ICONWARNING, kInUse);
        case UninstallEnding::kRefused:
            return Tell(quiet, kTextRefused + result.error, MB_ICONERROR, kRefused);
        default:
            break;
    }
    int code = kRemoved;
    if (result.ending == UninstallEnding::kRemoved) {
        Tell(quiet, kTextRemoved, MB_ICONINFORMATION, code);
    } else if (result.ending == UninstallEnding::kKeptOthers) {
        Tell(quiet, kTextKeptOthers + result.folder, MB_ICONINFORMATION, code);
    } else {
        code = Tell(quiet, kTextIncomplete + result.folder, MB_ICONWARNING, kIncomplete);
    }
    // Last, once nobody waits for a message box: this program's own file goes after it ends.
    if (!StartSelfRemoval(self, result.folder))
        Log(L"PowerShell did not start: " + self + L" stays");
    return code;
}
