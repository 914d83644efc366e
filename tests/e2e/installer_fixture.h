#pragma once
// What the end-to-end tests share: one back end per test, an install root of its own, and the
// real installer started against them.

#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "app/layout.h"
#include "e2e/installer_window.h"
#include "install/apps_entry.h"
#include "support/shortcuts.h"
#include "support/test_files.h"
#include "support/test_server.h"
#include "test_config.h"

namespace fs = std::filesystem;
using namespace std::chrono_literals;

inline const fs::path kTemp = fs::temp_directory_path();
inline const std::string kHttp = "http://localhost:" + std::to_string(kTestHttpPort);

inline fs::path ShortcutPath() {
    return fs::path(DesktopPath()) / L"Vexa盒子.lnk";
}
inline fs::path StartMenuShortcutPath() {
    return fs::path(KnownFolder(FOLDERID_Programs)) / L"Vexa盒子.lnk";
}

// The values of the Apps & features entry, as text (numbers in decimal); empty when there is none.
inline std::map<std::wstring, std::wstring> AppsEntryValues() {
    std::map<std::wstring, std::wstring> values;
    HKEY opened = nullptr;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, kAppsEntryKey, 0, KEY_READ, &opened) != ERROR_SUCCESS) {
        return values;
    }
    const UniqueRegKey key{opened};
    for (DWORD i = 0;; ++i) {
        wchar_t name[256];
        DWORD nameSize = 256, type = 0;
        BYTE data[4096];
        DWORD dataSize = sizeof(data);
        if (RegEnumValueW(key.get(), i, name, &nameSize, nullptr, &type, data, &dataSize) !=
            ERROR_SUCCESS) {
            break;
        }
        values[name] = type == REG_DWORD ? std::to_wstring(*reinterpret_cast<DWORD*>(data))
                                         : std::wstring(reinterpret_cast<wchar_t*>(data));
    }
    return values;
}

// One back end per test: the primary configuration endpoint names an api base of its own.
class Installer : public ::testing::Test {
public:
    void SetUp() override {
        name_ = ::testing::UnitTest::GetInstance()->current_test_info()->name();
        UseBackEnd(name_);
        UseInstallRoot(name_);
        std::error_code ignored;
        fs::remove(kTemp / L"client-top.zip", ignored);  // a file or folder a test left there
        fs::remove(UnpackGate(), ignored);
    }
    void TearDown() override {
        fs::remove_all(ShortcutPath());
        std::error_code ignored;
        fs::remove(StartMenuShortcutPath(), ignored);
        fs::remove(UnpackGate(), ignored);
        RegDeleteTreeW(HKEY_CURRENT_USER, kAppsEntryKey);
    }

    void UseBackEnd(const std::string& name) {
        base_ = "/e2e/" + RunTag() + "/" + name + "/";
        SetRoute("/primary/version.json", Body("{\"api_base_url\": \"" + kHttp + base_ + "api\"}"));
    }
    void UseInstallRoot(const std::string& name) {
        installRoot_ = kTemp / L"vexa-e2e" / Widen(name);
        ASSERT_TRUE(RemoveTree(installRoot_));
        fs::remove_all(ShortcutPath());
    }

    // The settings name the package: one of the build's test packages, or a path below the
    // build folder; with a signature, they carry it too. Each request for the package gets the
    // next of the responses, the last again and again: the file, with the members of `sendings`
    // added (a cut, a delay, a validator, another file), or as it is.
    void ServePackage(const std::string& file, const std::string& sending = "",
                      const std::string& signature = "") {
        ServePackageInTurn(file, {sending}, signature);
    }
    void ServePackageInTurn(const std::string& file, const std::vector<std::string>& sendings,
                            const std::string& signature = "") {
        std::string responses;
        for (const std::string& sending : sendings)
            responses += (responses.empty() ? "[" : ", ") + BodyFile(file) + sending + "}";
        SetRoute(base_ + "files/" + file, responses + "]");
        const std::string signed_ =
            signature.empty() ? "" : ", \"app_package_signature\": " + JsonText(signature);
        SetRoute(base_ + "api/setting",
                 Body("{\"app_package_url\": \"" + PackageUrl(file) + "\"" + signed_ + "}"));
    }
    // The start of a response whose body is the file (a test package, or a path below the build
    // folder), still open for more members.
    static std::string BodyFile(const std::string& file) {
        const std::string path =
            file.find('/') == std::string::npos ? "tools/packages/" + file : file;
        return "{\"body_file\": " + JsonText(std::string(kTestBuildDir) + "/" + path);
    }
    std::string PackageUrl(const std::string& file) const {
        return kHttp + base_ + "files/" + file;
    }

    // The installer, its edit box filled with the test's install root unless told not to.
    std::unique_ptr<InstallerWindow> Start(
        std::map<std::wstring, std::wstring> env = {},
        const std::wstring& program = BuildPath("app/VexaBoxInstaller.exe"), bool fill = true) {
        env.emplace(L"VEXA_CLIENT_EXIT_AT_ONCE", L"1");
        auto installer = std::make_unique<InstallerWindow>(program, env);
        if (fill) installer->SetInstallDir(installRoot_.wstring());
        return installer;
    }
    // A whole install of the package through the window, the client started and its note gone.
    void InstallNow(const std::string& package) {
        ServePackage(package);
        auto installer = Start();
        installer->Click(kInstallId);
        ASSERT_TRUE(installer->WaitForLine(L"finished", 20s)) << Narrow(installer->Text(kStatusId));
        ASSERT_TRUE(WaitUntil([&] { return ClientStarted(); }, 10s));
        ASSERT_EQ(installer->WaitForExit(10s), 0);
        fs::remove(InstallDir() / L"client-started.txt");
    }

    fs::path InstallDir() const { return installRoot_ / L"Vexa游戏盒子"; }
    // A file that lets the PowerShell stand-in go on once it exists (VEXA_POWERSHELL_STANDIN_
    // WAIT_FOR): the test looks at the window while it unpacks.
    fs::path UnpackGate() const { return kTemp / (L"vexa-e2e-gate-" + Widen(name_)); }
    // The members of a package response that hold its body after that many bytes, until the
    // test lets it go (ReleaseHold(HoldName())).
    std::string HeldAfter(int bytes) const {
        return ", \"hold_after\": " + std::to_string(bytes) + ", \"hold\": " + JsonText(HoldName());
    }
    std::string HoldName() const { return base_; }  // one for each back end
    bool ClientStarted() const { return fs::exists(InstallDir() / L"client-started.txt"); }

    std::string name_, base_;
    fs::path installRoot_;
    const ComApartment apartment_;  // for reading shortcuts back
};

// Runs the program with the arguments (after its quoted path) to its end, as a deployment tool
// would; its exit code (-1: it did not end within a minute). With windowSeen, whether a window of
// it ever showed meanwhile.
inline int RunToEnd(const fs::path& program, const std::wstring& arguments,
                    bool* windowSeen = nullptr) {
    UniqueProcess process;
    {
        const Finally variables = SetVariables({{L"VEXA_CLIENT_EXIT_AT_ONCE", L"1"}});
        if (!StartDetached(program.wstring(), L"\"" + program.wstring() + L"\" " + arguments,
                           process)) {
            return -1;
        }
    }
    const Finally ended([&] { TerminateProcess(process.info.hProcess, 1); });
    const auto shows = [&](HWND window) {
        DWORD owner = 0;
        GetWindowThreadProcessId(window, &owner);
        return owner == process.info.dwProcessId && IsWindowVisible(window);
    };
    if (windowSeen) *windowSeen = false;
    for (int waited = 0; WaitForSingleObject(process.info.hProcess, 20) == WAIT_TIMEOUT;
         waited += 20) {
        for (HWND window = GetTopWindow(nullptr); windowSeen && window;
             window = GetWindow(window, GW_HWNDNEXT)) {
            *windowSeen = *windowSeen || shows(window);
        }
        if (waited > 60000) return -1;
    }
    DWORD code = 0;
    return GetExitCodeProcess(process.info.hProcess, &code) ? static_cast<int>(code) : -1;
}

// The lines of the log's last run (from its heading on), without their time stamps unless asked.
inline std::vector<std::wstring> LastRunLog(bool stamped = false) {
    std::vector<std::wstring> lines;
    std::ifstream file(kTemp / L"VexaBoxInstaller.log", std::ios::binary);
    for (std::string line; std::getline(file, line);) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        const std::wstring text = line.size() > 24 ? Widen(line.substr(24)) : L"";
        if (text.starts_with(L"VexaBoxInstaller ")) lines.clear();
        lines.push_back(stamped ? Widen(line) : text);
    }
    return lines;
}

// Whether a line of the log's last run holds the text.
inline bool LastRunLogged(const std::wstring& text) {
    const std::vector<std::wstring> lines = LastRunLog();
    return std::any_of(lines.begin(), lines.end(), [&](const std::wstring& line) {
        return line.find(text) != std::wstring::npos;
    });
}

inline int LastProgress(const std::vector<std::wstring>& trace) {
    for (auto line = trace.rbegin(); line != trace.rend(); ++line)
        if (line->starts_with(L"progress ")) return std::stoi(line->substr(9));
    return -1;
}

// Every file below the folder, with its bytes.
inline std::string TreeWithContents(const fs::path& root) {
    std::string tree = Narrow(ListTree(root));
    for (const auto& entry : fs::recursive_directory_iterator(root))
        if (entry.is_regular_file()) tree += ReadWholeFile(entry.path());
    return tree;
}
