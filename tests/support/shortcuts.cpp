#include "support/shortcuts.h"

#include <windows.h>
#include <objbase.h>
#include <shlobj.h>
#include <shobjidl.h>

#include <memory>

namespace {

struct Releaser {
    void operator()(IUnknown* object) const noexcept { object->Release(); }
};

}  // namespace

std::wstring DesktopPath() {
    wchar_t* desktop = nullptr;
    if (FAILED(SHGetKnownFolderPath(FOLDERID_Desktop, 0, nullptr, &desktop)) || !desktop) return {};
    std::wstring path = desktop;
    CoTaskMemFree(desktop);
    return path;
}

SavedShortcut LoadShortcut(const std::wstring& path) {
    SavedShortcut saved;
    IShellLinkW* raw_link = nullptr;
    if (FAILED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW,
                                reinterpret_cast<void**>(&raw_link)))) {
        return saved;
    }
    const std::unique_ptr<IShellLinkW, Releaser> link{raw_link};
    IPersistFile* raw_file = nullptr;
    if (FAILED(link->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&raw_file)))) {
        return saved;
    }
    const std::unique_ptr<IPersistFile, Releaser> file{raw_file};
    if (FAILED(file->Load(path.c_str(), STGM_READ))) return saved;

    PIDLIST_ABSOLUTE items = nullptr;
    if (SUCCEEDED(link->GetIDList(&items)) && items) {
        wchar_t target[MAX_PATH] = {};
        if (SHGetPathFromIDListW(items, target)) saved.target = target;
        CoTaskMemFree(items);
    }
    wchar_t text[MAX_PATH] = {};
    link->GetWorkingDirectory(text, MAX_PATH);
    saved.workingDirectory = text;
    text[0] = L'\0';
    link->GetDescription(text, MAX_PATH);
    saved.description = text;
    return saved;
}
