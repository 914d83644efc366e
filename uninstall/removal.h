#pragma once
// Removing what installs of ours put into the install folder, and nothing else: the client and
// the user keep games, saves and settings there.

#include <string>
#include <vector>

struct Removal {
    bool keptOthers = false;    // files that the package did not bring stay, or links of the user's
    bool leftOurs = false;      // a file of ours could not be removed
    int removed = 0, kept = 0;  // files and links, for the log
};

// Removes from the install folder every file that the record names (as IsRemovablePath allows),
// and the record and the uninstaller beside them, but for `running` (this program, when it lies
// in the folder; StartSelfRemoval takes it). Nothing is removed through a link: the walk never
// enters one, and a link that stands where the record names a file or a folder is removed as a
// link (one that cannot be removed is kept, as any other link); then every folder inside that is
// left empty goes. False when the folder could not be walked (nothing is removed then).
bool RemoveInstalledFiles(const std::wstring& directory, const std::vector<std::wstring>& recorded,
                          const std::wstring& running, Removal& removal);
