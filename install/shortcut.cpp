#include "install/shortcut.h"

#include <windows.h>
#include <shlobj.h>
#include <shobjidl.h>

#include <filesystem>
#include <memory>
#include <string_view>

namespace {

constexpr wchar_t kShortcutName[] = L"Vexa盒子.lnk";
constexpr wchar_t kDescription[] = L"Vexa盒子";

constexpr std::wstring_view kTextNoDesktop = L"无法获取桌面路径";
constexpr std::wstring_view kTextNoShellLink = L"无法创建快捷方式对象";
constexpr std::wstring_view kTextSaveFailed = L"桌面快捷方式创建失败";

struct Releaser {
    void operator()(IUnknown* object) const noexcept {
        if (object) object->Release();
    }
};
template <class Interface>
using ComPtr = std::unique_ptr<Interface, Releaser>;

struct TaskMemFree {
    void operator()(wchar_t* memory) const noexcept { CoTaskMemFree(memory); }
};
using UniqueTaskText = std::unique_ptr<wchar_t, TaskMemFree>;

bool Fail(std::wstring* error, std::wstring_view text) {
    if (error) error->assign(text);
    return false;
}

}  // namespace

bool CreateDesktopShortcut(const std::wstring& exePath, std::wstring* error) {
    std::wstring shortcutPath;
    {
        wchar_t* desktop = nullptr;
        const HRESULT found = SHGetKnownFolderPath(FOLDERID_Desktop, 0, nullptr, &desktop);
        const UniqueTaskText owned{desktop};
        if (FAILED(found) || !desktop) return Fail(error, kTextNoDesktop);
        shortcutPath = (std::filesystem::path(desktop) / kShortcutName).wstring();
    }

    IShellLinkW* rawLink = nullptr;
    const HRESULT created = CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER,
                                             IID_IShellLinkW, reinterpret_cast<void**>(&rawLink));
    const ComPtr<IShellLinkW> link{rawLink};
    if (FAILED(created) || !link) return Fail(error, kTextNoShellLink);

    link->SetPath(exePath.c_str());
    link->SetWorkingDirectory(ParentDirectory(exePath).c_str());
    link->SetDescription(kDescription);

    IPersistFile* rawFile = nullptr;
    HRESULT outcome = link->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&rawFile));
    const ComPtr<IPersistFile> file{rawFile};
    if (SUCCEEDED(outcome) && file) outcome = file->Save(shortcutPath.c_str(), TRUE);
    if (FAILED(outcome) || !file) return Fail(error, kTextSaveFailed);
    return true;
}

std::wstring ParentDirectory(const std::wstring& path) {
    return std::filesystem::path(path).parent_path().wstring();
}
