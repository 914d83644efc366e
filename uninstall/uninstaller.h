#pragma once
// One uninstall, from the uninstaller's own folder to the removed entry. No window: the caller
// asks the user first and tells the outcome, or stays quiet.

#include <string>

enum class UninstallEnding {
    kRemoved,     // everything of ours is gone, or goes with the uninstaller once it has ended
    kKeptOthers,  // removed, and files that the package did not bring stay in the folder
    kIncomplete,  // a file of ours could not be removed
    kInUse,       // a file of the install is in use: nothing was removed
    kRefused,     // not an install folder of ours to remove from: nothing was removed
};

struct UninstallResult {
    UninstallEnding ending = UninstallEnding::kRefused;
    std::wstring folder;  // the install folder
    std::wstring error;   // why, for kInUse and kRefused
};

// Removes the install that the uninstaller (this program's file) lives in: only when its folder
// ends in kDedicatedFolderName, passes CheckFolderToRemove (no link, no other account's) and
// holds no file in use (the uninstaller aside). Then, in this order: both shortcuts where they
// still lead into the folder, what the record names (RemoveInstalledFiles), a partial download
// of ours in the temporary folder, and last the Apps & features entry, when it names this
// folder. The uninstaller itself and the then empty folder are left to StartSelfRemoval. COM
// must be initialised on the calling thread.
UninstallResult Uninstall(const std::wstring& uninstaller);
