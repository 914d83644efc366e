#include "app/silent_install.h"

#include "app/install_location.h"
#include "app/install_pins.h"
#include "common/owners.h"
#include "install/apps_entry.h"
#include "install/worker.h"

int RunSilentInstall(const std::wstring& typed) {
    const std::wstring registered = typed.empty() ? RegisteredInstallDir() : L"";
    const std::wstring directory = CompleteInstallDir(registered.empty() ? typed : registered);
    const ComApartment apartment;  // for the shortcuts
    InstallRun run{directory, kInstallPins, [](std::wstring_view) {}, [](int) {}};
    run.startClient = false;
    return static_cast<int>(RunInstall(run));
}
