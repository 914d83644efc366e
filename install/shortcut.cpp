#include "install/shortcut.h"

#include <windows.h>
#include <shlobj.h>
#include <shobjidl.h>

#include <filesystem>

#include "common/error_text.h"
#include "common/owners.h"
#include "common/text.h"

namespace {

constexpr wchar_t kShortcutName[] = L"Vexa盒子.lnk";
constexpr wchar_t kDescription[] = L"Vexa盒子";

constexpr wchar_t kTextNoDesktop[] = L"无法获取桌面路径";
constexpr wchar_t kTextNoShellLink[] = L"无法创建快捷方式对象";
constexpr wchar_t kTextSaveFailed[] = L"桌面快捷方式创建失败";

// Where the shortcut goes in the known folder; empty when the folder cannot be had.
std::wstring ShortcutPath(REFKNOWNFOLDERID folder) {
    wchar_t* path = nullptr;
    const HRESULT found = SHGetKnownFolderPath(folder, 0, nullptr, &path);
    const UniqueCoTaskMem<wchar_t> owned{path};
    if (FAILED(found) || !path) return {};
    return (std::filesystem::path(path) / kShortcutName).wstring();
}

bool SaveShortcut(REFKNOWNFOLDERID folder, const std::wstring& exePath, std::wstring* error) {
    const std::wstring shortcutPath = ShortcutPath(folder);
    if (shortcutPath.empty()) return Fail(error, kTextNoDesktop);

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

// The shortcut's target, read from its item id list (the path of GetPath goes through an ANSI
// copy under Wine); empty when it cannot be loaded.
std::wstring TargetOf(const std::wstring& shortcut) {
    ComPtr<IShellLinkW> link;
    ComPtr<IPersistFile> file;
    if (FAILED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER,
                                IID_PPV_ARGS(link.put()))) ||
        FAILED(link->QueryInterface(IID_PPV_ARGS(file.put()))) ||
        FAILED(file->Load(shortcut.c_str(), STGM_READ))) {
        return {};
    }
    PIDLIST_ABSOLUTE items = nullptr;
    link->GetIDList(&items);
    const UniqueCoTaskMem<ITEMIDLIST_ABSOLUTE> owned{items};
    wchar_t target[MAX_PATH] = {};
    return items && SHGetPathFromIDListW(items, target) ? target : L"";
}

}  // namespace

bool CreateDesktopShortcut(const std::wstring& exePath, std::wstring* error) {
    return SaveShortcut(FOLDERID_Desktop, exePath, error);
}

bool CreateStartMenuShortcut(const std::wstring& exePath) {
    return SaveShortcut(FOLDERID_Programs, exePath, nullptr);
}

bool RemoveShortcutsInto(const std::wstring& folder) {
    bool removed = true;
    for (const KNOWNFOLDERID* place : {&FOLDERID_Desktop, &FOLDERID_Programs}) {
        const std::wstring shortcut = ShortcutPath(*place);
        if (!shortcut.empty() && IsPathInside(TargetOf(shortcut), folder)) {
            removed = DeleteFileW(shortcut.c_str()) && removed;
        }
    }
    return removed;
}

std::wstring ParentDirectory(const std::wstring& path) {
    return std::filesystem::path(path).parent_path().wstring();
}
