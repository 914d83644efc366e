#include "support/shortcuts.h"

#include <windows.h>
#include <shlobj.h>
#include <shobjidl.h>

#include "common/owners.h"

std::wstring KnownFolder(const KNOWNFOLDERID& folder) {
    wchar_t* path = nullptr;
    const HRESULT found = SHGetKnownFolderPath(folder, 0, nullptr, &path);
    const UniqueCoTaskMem<wchar_t> owned{path};
    return SUCCEEDED(found) && path ? path : L"";
}

std::wstring DesktopPath() {
    return KnownFolder(FOLDERID_Desktop);
}

SavedShortcut LoadShortcut(const std::wstring& path) {
    SavedShortcut saved;
    ComPtr<IShellLinkW> link;
    ComPtr<IPersistFile> file;
    if (FAILED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER,
                                IID_PPV_ARGS(link.put()))) ||
        FAILED(link->QueryInterface(IID_PPV_ARGS(file.put()))) ||
        FAILED(file->Load(path.c_str(), STGM_READ))) {
        return saved;
    }
    PIDLIST_ABSOLUTE items = nullptr;
    link->GetIDList(&items);
    const UniqueCoTaskMem<ITEMIDLIST_ABSOLUTE> ownedItems{items};
    wchar_t text[MAX_PATH] = {};
    if (items && SHGetPathFromIDListW(items, text)) saved.target = text;
    link->GetWorkingDirectory(text, MAX_PATH);
    saved.workingDirectory = text;
    link->GetDescription(text, MAX_PATH);
    saved.description = text;
    return saved;
}
