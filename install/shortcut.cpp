#include "install/shortcut.h"

#include <windows.h>
#include <shlobj.h>
#include <shobjidl.h>

#include <filesystem>

#include "common/error_text.h"
#include "common/owners.h"

namespace {

constexpr wchar_t kShortcutName[] = L"Vexa盒子.lnk";
constexpr wchar_t kDescription[] = L"Vexa盒子";

constexpr wchar_t kTextNoDesktop[] = L"无法获取桌面路径";
constexpr wchar_t kTextNoShellLink[] = L"无法创建快捷方式对象";
constexpr wchar_t kTextSaveFailed[] = L"桌面快捷方式创建失败";

}  // namespace

bool CreateDesktopShortcut(const std::wstring& exePath, std::wstring* error) {
    std::wstring shortcutPath;
    {
        wchar_t* desktop = nullptr;
        const HRESULT found = SHGetKnownFolderPath(FOLDERID_Desktop, 0, nullptr, &desktop);
        const UniqueCoTaskMem<wchar_t> owned{desktop};
        if (FAILED(found) || !desktop) return Fail(error, kTextNoDesktop);
        shortcutPath = (std::filesystem::path(desktop) / kShortcutName).wstring();
    }

    ComPtr<IShellLinkW> link;
    const HRESULT created =
        CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(link.put()));
    if (FAILED(created) || !link) return Fail(error, kTextNoShellLink);

    link->SetPath(exePath.c_str());
    link->SetWorkingDirectory(ParentDirectory(exePath).c_str());
    link->SetDescription(kDescription);

    ComPtr<IPersistFile> file;
    HRESULT outcome = link->QueryInterface(IID_PPV_ARGS(file.put()));
    if (SUCCEEDED(outcome) && file) outcome = file->Save(shortcutPath.c_str(), TRUE);
    if (FAILED(outcome) || !file) return Fail(error, kTextSaveFailed);
    return true;
}

std::wstring ParentDirectory(const std::wstring& path) {
    return std::filesystem::path(path).parent_path().wstring();
}
