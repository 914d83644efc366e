// Many failed install runs in one installer window, each started by clicking install again,
// then one successful run; the installer's handles, GDI objects, private bytes and working set
// before and after the failed runs show whether a run leaks.
// Usage: soak_install.exe RUNS PACKAGE_FILE
#include <windows.h>

#include <filesystem>

#include "app/layout.h"
#include "bench_support.h"
#include "e2e/installer_window.h"
#include "support/test_server.h"
#include "test_config.h"

namespace fs = std::filesystem;
using namespace std::chrono_literals;

int wmain(int argc, wchar_t** argv) {
    if (argc != 3) return 2;
    const int runs = _wtoi(argv[1]);
    const std::string package = Narrow(argv[2]);
    const std::string http = "http://localhost:" + std::to_string(kTestHttpPort);
    auto document = [](const std::string& json) { return "[{\"body\": " + JsonText(json) + "}]"; };
    // Failures at four depths: no configuration; no package address; the download; unpacking.
    SetRoute("/soak/api/setting",
             document("{\"app_package_url\": \"" + http + "/soak/files/package.zip\"}"));
    SetRoute("/soak/empty/setting", document("{}"));
    SetRoute("/soak/files/not-a-zip.zip", R"([{"body": "<html>not a zip</html>"}])");
    const std::string failDownload =
        document("{\"app_package_url\": \"" + http + "/soak/missing.zip\"}");
    const std::string failUnpack =
        document("{\"app_package_url\": \"" + http + "/soak/files/not-a-zip.zip\"}");
    auto arrange = [&](int run) {
        switch (run % 4) {
            case 0:
                SetRoute("/primary/version.json", R"([{"status": 503}])");
                SetRoute("/fallback/version.json", R"([{"status": 503}])");
                break;
            case 1:
                SetRoute("/primary/version.json",
                         document("{\"api_base_url\": \"" + http + "/soak/empty\"}"));
                break;
            case 2:
                SetRoute("/primary/version.json",
                         document("{\"api_base_url\": \"" + http + "/soak/api\"}"));
                SetRoute("/soak/api/setting", failDownload);
                break;
            default:
                SetRoute("/soak/api/setting", failUnpack);
                break;
        }
    };

    wchar_t temp[MAX_PATH] = {};
    GetTempPathW(MAX_PATH, temp);
    const fs::path root = fs::path(temp) / L"vexa-soak";
    fs::remove_all(root);
    InstallerWindow installer(BuildPath("app/VexaBoxInstaller.exe"),
                              {{L"VEXA_CLIENT_EXIT_AT_ONCE", L"1"}});
    installer.SetInstallDir(root.wstring());
    auto runOnce = [&](int run) {
        installer.Click(kInstallId);
        return installer.WaitForLine(L"button 立即安装", 60s, run + 1);
    };

    // The first run loads WinHTTP, COM and the shell: measure from after it.
    arrange(0);
    bool allEnded = runOnce(0);
    const ProcessCounters before = ReadCounters(installer.Process());
    for (int run = 1; run <= runs && allEnded; ++run) {
        arrange(run);
        allEnded = runOnce(run);
    }
    const ProcessCounters after = ReadCounters(installer.Process());

    SetRoute("/primary/version.json", document("{\"api_base_url\": \"" + http + "/soak/api\"}"));
    SetRoute("/soak/api/setting",
             document("{\"app_package_url\": \"" + http + "/soak/files/package.zip\"}"));
    SetRoute("/soak/files/package.zip", "[{\"body_file\": " + JsonText(package) + "}]");
    installer.Click(kInstallId);
    const bool finalSuccess =
        installer.WaitForLine(L"finished", 120s) && installer.WaitForExit(10s) == 0;
    fs::remove_all(root);

    const long handles = static_cast<long>(after.handles) - static_cast<long>(before.handles);
    const long gdi = static_cast<long>(after.gdi_objects) - static_cast<long>(before.gdi_objects);
    const double privateMib = MiB(after.private_bytes) - MiB(before.private_bytes);
    const std::string label = std::to_string(runs) + " failed installs in one window";
    PrintRow(label + ": every run ended", allEnded ? "yes" : "NO", "yes", allEnded);
    PrintRow(label + ": handles",
             std::to_string(before.handles) + " -> " + std::to_string(after.handles), "+-5",
             std::abs(handles) <= 5);
    PrintRow(label + ": GDI objects",
             std::to_string(before.gdi_objects) + " -> " + std::to_string(after.gdi_objects), "+-2",
             std::abs(gdi) <= 2);
    PrintRow(label + ": working set", Format("%.1f", MiB(before.working_set)) + " -> " +
                                          Format("%.1f MiB", MiB(after.working_set)));
    PrintRow(label + ": private bytes",
             Format("%.1f", MiB(before.private_bytes)) + " -> " +
                 Format("%.1f MiB", MiB(after.private_bytes)),
             "no growth beyond noise (2 MiB)", privateMib <= 2.0);
    PrintRow("Then one successful install", finalSuccess ? "completed" : "FAILED", "completes",
             finalSuccess);
    return allEnded && finalSuccess && std::abs(handles) <= 5 && std::abs(gdi) <= 2 &&
                   privateMib <= 2.0
               ? 0
               : 1;
}
