#include "uninstall/removal.h"

#include <windows.h>

#include <unordered_set>

#include "common/log.h"
#include "common/text.h"
#include "install/apps_entry.h"
#include "install/folder_walk.h"
#include "install/install_record.h"

bool RemoveInstalledFiles(const std::wstring& directory, const std::vector<std::wstring>& recorded,
                          const std::wstring& running, Removal& removal) {
    std::unordered_set<std::wstring> files{PathKey(kInstallRecordName), PathKey(kUninstallerName)};
    std::unordered_set<std::wstring> folders;  // the folders the package brought its files in
    for (const std::wstring& path : recorded) {
        if (!IsRemovablePath(path)) continue;
        const std::wstring key = PathKey(path);
        files.insert(key);
        for (size_t cut = key.find(L'\\'); cut != std::wstring::npos;
             cut = key.find(L'\\', cut + 1))
            folders.insert(key.substr(0, cut));
    }
    std::vector<FolderEntry> entries;
    if (!WalkFolder(directory, [&](const FolderEntry& entry) {
            entries.push_back(entry);
            return true;
        })) {
        return false;
    }
    // Each entry after all that it holds.
    for (auto entry = entries.rbegin(); entry != entries.rend(); ++entry) {
        const std::wstring key = PathKey(entry->relative);
        const bool folder = entry->attributes & FILE_ATTRIBUTE_DIRECTORY;
        if (entry->IsLink()) {
            // No install of ours makes a link: one that stays is the user's.
            const bool ours = files.contains(key) || folders.contains(key);
            if (!ours || !(folder ? RemoveDirectoryW(entry->path.c_str())
                                  : DeleteFileW(entry->path.c_str()))) {
                removal.keptOthers = true;
                ++removal.kept;
            } else {
                ++removal.removed;
            }
        } else if (folder) {
            RemoveDirectoryW(entry->path.c_str());  // only an empty one goes
        } else if (!files.contains(key)) {
            removal.keptOthers = true;
            ++removal.kept;
        } else if (!SamePath(entry->path, running)) {
            if (entry->attributes & FILE_ATTRIBUTE_READONLY) {
                SetFileAttributesW(entry->path.c_str(),
                                   entry->attributes & ~DWORD{FILE_ATTRIBUTE_READONLY});
            }
            if (DeleteFileW(entry->path.c_str())) {
                ++removal.removed;
            } else {
                removal.leftOurs = true;
                Log(L"not removed: error " + std::to_wstring(GetLastError()) + L", " + entry->path);
            }
        }
    }
    return true;
}
