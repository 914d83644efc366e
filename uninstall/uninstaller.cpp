#include "uninstall/uninstaller.h"

#include <windows.h>

#include "common/log.h"
#include "common/owners.h"
#include "common/text.h"
#include "install/apps_entry.h"
#include "install/files_in_use.h"
#include "install/folder_check.h"
#include "install/folder_walk.h"
#include "install/install_folder.h"
#include "install/install_record.h"
#include "install/partial_download.h"
#include "install/shortcut.h"
#include "uninstall/removal.h"

namespace {

constexpr wchar_t kTextNotAnInstallFolder[] = L"卸载程序不在 Vexa游戏盒子 目录中";

UninstallResult Ended(UninstallResult result, UninstallEnding ending, const std::wstring& error) {
    result.ending = ending;
    result.error = error;
    if (!error.empty()) Log(L"nothing removed: " + error);
    return result;
}

}  // namespace

UninstallResult Uninstall(const std::wstring& uninstaller) {
    UninstallResult result;
    result.folder = ParentDirectory(uninstaller);
    Log(L"uninstalling " + result.folder);
    std::wstring error;
    if (!EndsInDedicatedFolder(result.folder)) {
        return Ended(result, UninstallEnding::kRefused, kTextNotAnInstallFolder);
    }
    // Held from here on, as it was checked: nobody can put a link in its place meanwhile.
    UniqueHandle held;
    if (!CheckFolderToRemove(result.folder, held, &error) || !held) {
        return Ended(result, UninstallEnding::kRefused, held ? error : kTextCannotReadFolder);
    }
    if (!CheckFolderContents(result.folder, false, uninstaller, &error)) {
        const bool inUse = error == kTextFilesInUse;
        return Ended(result, inUse ? UninstallEnding::kInUse : UninstallEnding::kRefused, error);
    }
    const std::vector<std::wstring> recorded = ReadInstallRecord(result.folder);
    Removal removal;
    removal.leftOurs = !RemoveShortcutsInto(result.folder);
    if (!RemoveInstalledFiles(result.folder, recorded, uninstaller, removal)) {
        return Ended(result, UninstallEnding::kRefused, kTextCannotReadFolder);
    }
    Log(L"removed " + std::to_wstring(removal.removed) + L" files of ours, kept " +
        std::to_wstring(removal.kept) + L" others");
    RemoveLeftDownload(TempDirectory());
    held.reset();
    removal.leftOurs = !RemoveAppsEntryFor(result.folder) || removal.leftOurs;
    return Ended(result,
                 removal.leftOurs     ? UninstallEnding::kIncomplete
                 : removal.keptOthers ? UninstallEnding::kKeptOthers
                                      : UninstallEnding::kRemoved,
                 L"");
}
