// The real VexaBoxInstaller.exe against the loopback back end, driven through its window.

#include <windows.h>
#include <objbase.h>
#include <shlobj.h>
#include <shobjidl.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "e2e/installer_window.h"
#include "support/test_server.h"
#include "test_config.h"

namespace fs = std::filesystem;
using namespace std::chrono_literals;

namespace {

constexpr int kEdit = 1001, kChoose = 1002, kInstall = 1003, kStatus = 1005;

struct ComInterfaceReleaser {
    void operator()(IUnknown* object) const noexcept { object->Release(); }
};
template <class T>
using ComPtr = std::unique_ptr<T, ComInterfaceReleaser>;

fs::path TempDir() {
    wchar_t temp[MAX_PATH] = {};
    GetTempPathW(MAX_PATH, temp);
    return temp;
}

fs::path DesktopDir() {
    PWSTR path = nullptr;
    EXPECT_TRUE(SUCCEEDED(SHGetKnownFolderPath(FOLDERID_Desktop, 0, nullptr, &path)));
    fs::path desktop = path ? path : L"";
    CoTaskMemFree(path);
    return desktop;
}

fs::path ShortcutPath() {
    return DesktopDir() / L"Vexa盒子.lnk";
}

struct Shortcut {
    std::wstring target, working_directory, description;
};

Shortcut ReadShortcut(const fs::path& path) {
    Shortcut shortcut;
    IShellLinkW* raw_link = nullptr;
    if (FAILED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW,
                                reinterpret_cast<void**>(&raw_link)))) {
        return shortcut;
    }
    ComPtr<IShellLinkW> link{raw_link};
    IPersistFile* raw_file = nullptr;
    if (FAILED(link->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&raw_file)))) {
        return shortcut;
    }
    ComPtr<IPersistFile> file{raw_file};
    if (FAILED(file->Load(path.c_str(), STGM_READ))) return shortcut;
    // The target through its item list: Wine's GetPath loses Chinese characters.
    PIDLIST_ABSOLUTE items = nullptr;
    wchar_t text[MAX_PATH] = {};
    if (SUCCEEDED(link->GetIDList(&items)) && items && SHGetPathFromIDListW(items, text)) {
        shortcut.target = text;
    }
    CoTaskMemFree(items);
    text[0] = L'\0';
    link->GetWorkingDirectory(text, MAX_PATH);
    shortcut.working_directory = text;
    text[0] = L'\0';
    link->GetDescription(text, MAX_PATH);
    shortcut.description = text;
    return shortcut;
}

std::string ReadFile(const fs::path& path) {
    std::ifstream file(path, std::ios::binary);
    std::stringstream bytes;
    bytes << file.rdbuf();
    return bytes.str();
}

bool WaitForFile(const fs::path& path, std::chrono::milliseconds timeout) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (!fs::exists(path)) {
        if (std::chrono::steady_clock::now() > deadline) return false;
        Sleep(50);
    }
    return true;
}

std::string Port() {
    return std::to_string(kTestHttpPort);
}

// One back end per test: the primary configuration endpoint names an api base of its own.
class Installer : public ::testing::Test {
protected:
    void SetUp() override {
        CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
        name_ = ::testing::UnitTest::GetInstance()->current_test_info()->name();
        base_ = "/e2e/" + name_ + "/";
        install_root_ = TempDir() / L"vexa-e2e" / Widen(name_);
        fs::remove_all(install_root_);
        fs::remove(ShortcutPath());
        SetRoute(
            "/primary/version.json",
            "[{\"body\": " +
                JsonText("{\"api_base_url\": \"http://localhost:" + Port() + base_ + "api\"}") +
                "}]");
    }
    void TearDown() override {
        fs::remove(ShortcutPath());
        CoUninitialize();
    }

    // The settings document names the package, served from the build's test packages.
    void ServePackage(const std::string& file, const std::string& extra_settings = "") {
        SetRoute(base_ + "files/" + file,
                 "[{\"body_file\": " +
                     JsonText(std::string(kTestBuildDir) + "/tools/packages/" + file) + "}]");
        SetRoute(base_ + "api/setting", "[{\"body\": " +
                                            JsonText("{\"app_package_url\": \"" + PackageUrl(file) +
                                                     "\"" + extra_settings + "}") +
                                            "}]");
    }
    std::string PackageUrl(const std::string& file) const {
        return "http://localhost:" + Port() + base_ + "files/" + file;
    }

    std::unique_ptr<InstallerWindow> Start(std::map<std::wstring, std::wstring> env = {},
                                           const std::wstring& program = L"") {
        env.emplace(L"VEXA_CLIENT_EXIT_AT_ONCE", L"1");
        auto installer = std::make_unique<InstallerWindow>(
            program.empty() ? BuildPath("app/VexaBoxInstaller.exe") : program, env);
        installer->SetInstallDir(install_root_.wstring());
        return installer;
    }

    fs::path InstallDir() const { return install_root_ / L"Vexa游戏盒子"; }

    std::string name_;
    std::string base_;
    fs::path install_root_;
};

// The trace without the progress steps of the download, which are checked on their own.
std::vector<std::wstring> WithoutDownloadSteps(const std::vector<std::wstring>& trace,
                                               std::vector<int>& steps) {
    std::vector<std::wstring> rest;
    bool downloading = false;
    for (const auto& line : trace) {
        if (line == L"status 正在下载安装包...") downloading = true;
        if (line == L"progress 75") downloading = false;
        if (downloading && line.starts_with(L"progress ")) {
            steps.push_back(std::stoi(line.substr(9)));
        } else {
            rest.push_back(line);
        }
    }
    return rest;
}

TEST_F(Installer, CompleteInstallThroughTheLinkService) {
    ServePackage("client-top.zip",
                 ", \"download_api_base_url\": \"http://localhost:" + Port() + base_ + "svc\"");
    SetRoute(base_ + "svc/json/parser",
             "[{\"body\": " +
                 JsonText("{\"directLink\": \"" + PackageUrl("client-top.zip") + "\"}") + "}]");
    // The first settings answer is replaced, so that only the link service knows the package.
    SetRoute(base_ + "api/setting",
             "[{\"body\": " +
                 JsonText("{\"app_package_url\": \"https://elsewhere.example/box.zip\", " +
                          std::string("\"download_api_base_url\": \"http://localhost:") + Port() +
                          base_ + "svc\"}") +
                 "}]");

    auto installer = Start({{L"VEXA_POWERSHELL_STANDIN_DELAY_MS", L"1500"}});
    Sleep(300);
    const Screenshot ready = installer->Capture();
    EXPECT_EQ(installer->Text(kStatus), L"准备安装");
    EXPECT_EQ(installer->Text(kInstall), L"立即安装");

    installer->Click(kInstall);
    ASSERT_TRUE(installer->WaitForLine(L"status 正在解压安装...", 20s));
    Sleep(300);
    const Screenshot running = installer->Capture();
    EXPECT_FALSE(installer->Enabled(kEdit));
    EXPECT_FALSE(installer->Enabled(kChoose));
    EXPECT_FALSE(installer->Enabled(kInstall));

    ASSERT_TRUE(installer->WaitForLine(L"finished", 20s));
    const auto finished = std::chrono::steady_clock::now();
    EXPECT_EQ(installer->WaitForExit(10s), 0);
    const auto open_for = std::chrono::steady_clock::now() - finished;
    EXPECT_GE(open_for, 900ms);
    EXPECT_LE(open_for, 5s);

    std::vector<int> steps;
    const std::vector<std::wstring> expected = {
        L"busy 1",
        L"button 正在安装",
        L"progress 0",
        L"directory " + InstallDir().wstring(),
        L"status 正在连接服务器...",
        L"status 正在读取安装包配置...",
        L"status 正在解析安装包地址...",
        L"status 正在下载安装包...",
        L"progress 75",
        L"status 正在解压安装...",
        L"progress 90",
        L"status 正在创建桌面快捷方式...",
        L"progress 100",
        L"status 安装完成",
        L"busy 0",
        L"button 安装完成",
        L"finished",
    };
    std::vector<std::wstring> trace = installer->Trace();
    std::erase(trace, L"directory " + install_root_.wstring());  // the test's own typing
    EXPECT_EQ(WithoutDownloadSteps(trace, steps), expected);
    ASSERT_FALSE(steps.empty());
    EXPECT_TRUE(std::is_sorted(steps.begin(), steps.end()));
    EXPECT_EQ(steps.back(), 70);

    const fs::path exe = InstallDir() / L"Vexa盒子.exe";
    EXPECT_TRUE(fs::is_regular_file(exe));
    EXPECT_TRUE(fs::is_regular_file(InstallDir() / L"data" / L"config.ini"));
    const Shortcut shortcut = ReadShortcut(ShortcutPath());
    EXPECT_EQ(shortcut.target, exe.wstring());
    EXPECT_EQ(shortcut.working_directory, InstallDir().wstring());
    EXPECT_EQ(shortcut.description, L"Vexa盒子");
    ASSERT_TRUE(WaitForFile(InstallDir() / L"client-started.txt", 10s));
    EXPECT_EQ(ReadFile(InstallDir() / L"client-started.txt"),
              Narrow(exe.wstring() + L"\n" + InstallDir().wstring() + L"\n"));
    EXPECT_FALSE(fs::exists(TempDir() / L"client-top.zip")) << "the archive is deleted";

    // Painting, read back from the screen.
    const COLORREF header = RGB(20, 134, 96), card = RGB(255, 255, 255);
    const COLORREF track = RGB(228, 238, 233), fill = RGB(28, 151, 108);
    EXPECT_EQ(ready.At(ready.width - 10, 100), header);
    EXPECT_EQ(ready.At(10, 200), RGB(246, 248, 247));
    EXPECT_EQ(ready.At(60, 300), card);
    EXPECT_EQ(ready.At(42, 250), RGB(219, 229, 224));
    EXPECT_EQ(ready.At(78, 196), RGB(250, 252, 251));
    EXPECT_EQ(ready.At(300, 362), track);
    EXPECT_EQ(ready.At(220, 290), RGB(28, 145, 104)) << "install button, enabled";
    int filled = 0;
    for (int x = 72; x < 72 + 460; ++x)
        filled += running.At(x, 362) == fill;
    EXPECT_EQ(filled, 345) << "75 percent of the 460-pixel bar";
    EXPECT_EQ(running.At(72 + 400, 362), track);
    EXPECT_EQ(running.At(220, 290), RGB(224, 228, 226)) << "install button, disabled";
    EXPECT_EQ(running.At(460, 196), RGB(224, 228, 226)) << "choose button, disabled";
}

}  // namespace
