// The real VexaBoxInstaller.exe against the loopback back end, driven through its window.

#include <windows.h>
#include <objbase.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <cstdlib>
#include <functional>
#include <set>

#include "e2e/installer_window.h"
#include "support/shortcuts.h"
#include "support/test_files.h"
#include "support/test_server.h"
#include "test_config.h"

namespace fs = std::filesystem;
using namespace std::chrono_literals;

namespace {

constexpr int kEdit = 1001, kChoose = 1002, kInstall = 1003, kStatus = 1005;

fs::path TempDir() {
    wchar_t temp[MAX_PATH] = {};
    GetTempPathW(MAX_PATH, temp);
    return temp;
}

fs::path ShortcutPath() {
    return fs::path(DesktopPath()) / L"Vexa盒子.lnk";
}

bool WaitForFile(const fs::path& path, std::chrono::milliseconds timeout) {
    return WaitUntil([&] { return fs::exists(path); }, timeout);
}

std::string Port() {
    return std::to_string(kTestHttpPort);
}

// One back end per test: the primary configuration endpoint names an api base of its own.
class Installer : public ::testing::Test {
public:
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
        fs::remove_all(ShortcutPath());
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

// The trace without the edit box's texts. The worker writes the directory back with a message
// sent across threads, which the window takes before any posted message still queued: its
// place among the posted messages is not fixed.
std::vector<std::wstring> WithoutDirectories(const std::vector<std::wstring>& trace) {
    std::vector<std::wstring> rest;
    for (const auto& line : trace)
        if (!line.starts_with(L"directory ")) rest.push_back(line);
    return rest;
}

size_t IndexOf(const std::vector<std::wstring>& trace, const std::wstring& line) {
    return static_cast<size_t>(std::find(trace.begin(), trace.end(), line) - trace.begin());
}

int LastProgress(const std::vector<std::wstring>& trace) {
    for (auto line = trace.rbegin(); line != trace.rend(); ++line) {
        if (line->starts_with(L"progress ")) return std::stoi(line->substr(9));
    }
    return -1;
}

int FilledPixels(const Screenshot& shot) {
    int filled = 0;
    for (int x = 72; x < 72 + 460; ++x)
        filled += shot.At(x, 362) == RGB(28, 151, 108);
    return filled;
}

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

TEST(InstallerProgram, CarriesItsIconInFourSizesAndItsVersion) {
    const std::wstring program = BuildPath("app/VexaBoxInstaller.exe");
    const HMODULE module = LoadLibraryExW(
        program.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
    ASSERT_NE(module, nullptr);
    const HRSRC group = FindResourceW(module, MAKEINTRESOURCEW(101), RT_GROUP_ICON);
    ASSERT_NE(group, nullptr);
    const auto* directory = static_cast<const BYTE*>(LockResource(LoadResource(module, group)));
    ASSERT_NE(directory, nullptr);
    // The group: a 6-byte header, then 14-byte entries (width, height, colours, reserved,
    // planes, bit count, size, id); a width of 0 stands for 256.
    const int count = directory[4] | directory[5] << 8;
    std::set<std::pair<int, int>> images;
    for (int i = 0; i < count; ++i) {
        const BYTE* entry = directory + 6 + 14 * i;
        images.emplace(entry[0] ? entry[0] : 256, entry[6] | entry[7] << 8);
    }
    const std::set<std::pair<int, int>> expected = {{16, 4},  {16, 8},  {16, 32}, {32, 4},
                                                    {32, 8},  {32, 32}, {48, 4},  {48, 8},
                                                    {48, 32}, {256, 32}};
    EXPECT_EQ(images, expected);
    FreeLibrary(module);

    DWORD ignored = 0;
    std::vector<BYTE> info(GetFileVersionInfoSizeW(program.c_str(), &ignored));
    ASSERT_FALSE(info.empty());
    ASSERT_TRUE(
        GetFileVersionInfoW(program.c_str(), 0, static_cast<DWORD>(info.size()), info.data()));
    auto value = [&](const wchar_t* name) {
        void* text = nullptr;
        UINT length = 0;
        const std::wstring path = std::wstring(L"\\StringFileInfo\\080404B0\\") + name;
        if (!VerQueryValueW(info.data(), path.c_str(), &text, &length) || !text)
            return std::wstring();
        return std::wstring(static_cast<const wchar_t*>(text));
    };
    EXPECT_EQ(value(L"ProductName"), L"Vexa盒子安装器");
    EXPECT_EQ(value(L"OriginalFilename"), L"VexaBoxInstaller.exe");
    EXPECT_FALSE(value(L"FileDescription").empty());
    EXPECT_FALSE(value(L"CompanyName").empty());
    EXPECT_FALSE(value(L"FileVersion").empty());
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
    Screenshot ready;
    ASSERT_TRUE(WaitUntil(
        [&] {
            ready = installer->Capture();
            return ready.At(300, 362) == RGB(228, 238, 233);
        },
        10s))
        << "the window is painted";
    EXPECT_EQ(installer->Text(kStatus), L"准备安装");
    EXPECT_EQ(installer->Text(kInstall), L"立即安装");

    installer->Click(kInstall);
    ASSERT_TRUE(installer->WaitForLine(L"status 正在解压安装...", 20s));
    Screenshot running;
    EXPECT_TRUE(WaitUntil(
        [&] {
            running = installer->Capture();
            return FilledPixels(running) == 345;
        },
        10s))
        << "75 percent of the 460-pixel bar";
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
    const std::vector<std::wstring> trace = installer->Trace();
    EXPECT_EQ(WithoutDownloadSteps(WithoutDirectories(trace), steps), expected);
    // The directory the run used is written back once, before the first request.
    const std::wstring used = L"directory " + InstallDir().wstring();
    EXPECT_EQ(std::count(trace.begin(), trace.end(), used), 1);
    EXPECT_LT(IndexOf(trace, used), IndexOf(trace, L"status 正在连接服务器..."));
    ASSERT_FALSE(steps.empty());
    EXPECT_TRUE(std::is_sorted(steps.begin(), steps.end()));
    EXPECT_EQ(steps.back(), 70);

    const fs::path exe = InstallDir() / L"Vexa盒子.exe";
    EXPECT_TRUE(fs::is_regular_file(exe));
    EXPECT_TRUE(fs::is_regular_file(InstallDir() / L"data" / L"config.ini"));
    const SavedShortcut shortcut = LoadShortcut(ShortcutPath());
    EXPECT_EQ(shortcut.target, exe.wstring());
    EXPECT_EQ(shortcut.workingDirectory, InstallDir().wstring());
    EXPECT_EQ(shortcut.description, L"Vexa盒子");
    ASSERT_TRUE(WaitForFile(InstallDir() / L"client-started.txt", 10s));
    EXPECT_EQ(ReadWholeFile(InstallDir() / L"client-started.txt"),
              Narrow(exe.wstring() + L"\n" + InstallDir().wstring() + L"\n"));
    EXPECT_FALSE(fs::exists(TempDir() / L"client-top.zip")) << "the archive is deleted";

    // Painting, read back from the screen.
    const COLORREF header = RGB(20, 134, 96), card = RGB(255, 255, 255);
    const COLORREF track = RGB(228, 238, 233);
    EXPECT_EQ(ready.At(ready.width - 10, 100), header);
    EXPECT_EQ(ready.At(10, 200), RGB(246, 248, 247));
    EXPECT_EQ(ready.At(60, 300), card);
    EXPECT_EQ(ready.At(42, 250), RGB(219, 229, 224));
    EXPECT_EQ(ready.At(78, 196), RGB(250, 252, 251));
    EXPECT_EQ(ready.At(300, 362), track);
    EXPECT_EQ(ready.At(220, 290), RGB(28, 145, 104)) << "install button, enabled";
    EXPECT_EQ(running.At(72 + 400, 362), track);
    EXPECT_EQ(running.At(220, 290), RGB(224, 228, 226)) << "install button, disabled";
    EXPECT_EQ(running.At(460, 196), RGB(224, 228, 226)) << "choose button, disabled";
}

TEST_F(Installer, AFailedRunKeepsTheBarAndASecondRunSucceeds) {
    ServePackage("not-a-zip.zip");
    auto installer = Start();
    installer->Click(kInstall);
    ASSERT_TRUE(installer->WaitForLine(L"button 立即安装", 20s));
    EXPECT_EQ(installer->Text(kStatus), L"安装失败：解压失败，请确认安装包是 zip 格式");
    EXPECT_EQ(installer->Text(kInstall), L"立即安装");
    EXPECT_TRUE(installer->Enabled(kEdit));
    EXPECT_TRUE(installer->Enabled(kChoose));
    EXPECT_TRUE(installer->Enabled(kInstall));
    EXPECT_EQ(LastProgress(installer->Trace()), 75);
    EXPECT_TRUE(WaitUntil([&] { return FilledPixels(installer->Capture()) == 345; }, 10s))
        << "the bar keeps its value";
    EXPECT_TRUE(fs::exists(TempDir() / L"not-a-zip.zip")) << "a failed archive stays";
    fs::remove(TempDir() / L"not-a-zip.zip");

    // The client two folders down, under its other name.
    ServePackage("client-nested.zip");
    installer->Click(kInstall);
    ASSERT_TRUE(installer->WaitForLine(L"finished", 20s));
    EXPECT_EQ(installer->WaitForExit(10s), 0);
    const std::vector<std::wstring> trace = installer->Trace();
    EXPECT_EQ(std::count(trace.begin(), trace.end(), L"busy 1"), 2);
    const auto second = std::find(trace.rbegin(), trace.rend(), L"busy 1").base();
    ASSERT_NE(second, trace.end());
    EXPECT_EQ(*second, L"button 正在安装");
    EXPECT_EQ(*(second + 1), L"progress 0") << "the second run starts the bar again";
    const fs::path exe = InstallDir() / L"VexaBox" / L"bin" / L"Quorin.exe";
    const SavedShortcut shortcut = LoadShortcut(ShortcutPath());
    EXPECT_EQ(shortcut.target, exe.wstring());
    EXPECT_EQ(shortcut.workingDirectory, exe.parent_path().wstring());
    EXPECT_TRUE(WaitForFile(exe.parent_path() / L"client-started.txt", 10s));
}

TEST_F(Installer, EndingsWithoutAShortcutLeaveTheClientAlone) {
    auto installer = Start();

    ServePackage("no-client.zip");
    installer->Click(kInstall);
    ASSERT_TRUE(installer->WaitForLine(L"button 立即安装", 20s));
    EXPECT_EQ(installer->Text(kStatus), L"安装完成，但未找到 Vexa盒子.exe");
    EXPECT_EQ(LastProgress(installer->Trace()), 100);
    EXPECT_TRUE(installer->Enabled(kInstall));
    EXPECT_FALSE(fs::exists(ShortcutPath()));

    // A folder where the shortcut belongs.
    fs::create_directories(ShortcutPath());
    ServePackage("client-top.zip");
    installer->Click(kInstall);
    ASSERT_TRUE(installer->WaitForLine(L"button 立即安装", 20s, 2));
    EXPECT_EQ(installer->Text(kStatus), L"安装完成，但桌面快捷方式创建失败");
    EXPECT_EQ(LastProgress(installer->Trace()), 100);
    EXPECT_TRUE(installer->Enabled(kInstall));
    EXPECT_TRUE(fs::is_regular_file(InstallDir() / L"Vexa盒子.exe"));
    // A client would have been started before the inputs came back: it would be running now,
    // or have left its file behind.
    EXPECT_EQ(ChildProcessCount(GetProcessId(installer->Process())), 0);
    EXPECT_FALSE(fs::exists(InstallDir() / L"client-started.txt")) << "the client is not started";
    EXPECT_EQ(installer->WaitForExit(0ms), -1) << "the window stays open";
}

TEST_F(Installer, FailuresReachTheStatusLine) {
    auto installer = Start();
    const struct {
        std::function<void()> arrange;
        std::wstring status;
    } cases[] = {
        {[&] {
             SetRoute("/primary/version.json", R"([{"status": 503}])");
             SetRoute("/fallback/version.json", R"([{"hangup": true}])");
         },
         L"安装失败：无法获取服务器配置"},
        {[&] {
             SetUp();
             SetRoute(base_ + "api/setting", R"([{"body": "{\"download_url\": \"\"}"}])");
         },
         L"安装失败：后端未配置 app_package_url"},
        {[&] {
             ServePackage("client-top.zip");
             SetRoute(base_ + "files/client-top.zip", R"([{"status": 404}])");
         },
         L"下载失败：服务器返回错误：404"},
        {[&] {
             ServePackage("client-top.zip");
             std::ofstream(install_root_) << "a file where the folder belongs";
         },
         L"安装失败：无法创建安装目录"},
    };
    int runs = 0;
    for (const auto& c : cases) {
        c.arrange();
        installer->Click(kInstall);
        ASSERT_TRUE(installer->WaitForLine(L"button 立即安装", 20s, ++runs)) << Narrow(c.status);
        EXPECT_EQ(installer->Text(kStatus), c.status);
        EXPECT_EQ(installer->Text(kInstall), L"立即安装");
        EXPECT_TRUE(installer->Enabled(kEdit));
        EXPECT_TRUE(installer->Enabled(kInstall));
    }
    fs::remove(install_root_);
}

// Whatever was typed, the run uses one absolute directory: the edit box, the unpacked files and
// the shortcut all name the same folder.
void ExpectOneAbsoluteDirectory(Installer& test, const std::wstring& typed, const fs::path& dir) {
    test.ServePackage("client-top.zip");
    auto installer = test.Start();
    installer->SetInstallDir(typed);
    installer->Click(kInstall);
    ASSERT_TRUE(installer->WaitForLine(L"finished", 20s));
    EXPECT_EQ(installer->WaitForExit(10s), 0);
    const std::vector<std::wstring> trace = installer->Trace();
    EXPECT_EQ(std::count(trace.begin(), trace.end(), L"directory " + dir.wstring()), 1);
    const fs::path exe = dir / L"Vexa盒子.exe";
    EXPECT_TRUE(fs::is_regular_file(exe));
    EXPECT_EQ(LoadShortcut(ShortcutPath()).target, exe.wstring());
}

TEST_F(Installer, ARelativeDirectoryIsMadeAbsolute) {
    fs::create_directories(install_root_);
    const fs::path previous = fs::current_path();
    fs::current_path(install_root_);  // the installer starts in this folder
    ExpectOneAbsoluteDirectory(*this, L"Games", install_root_ / L"Games" / L"Vexa游戏盒子");
    fs::current_path(previous);
}

// Run by scripts/with-drive-d, which gives the prefix a drive D for the duration.
TEST_F(Installer, DriveDBareDriveIsMadeAbsolute) {
    if (!std::getenv("VEXA_DRIVE_D")) GTEST_SKIP() << "runs under scripts/with-drive-d";
    ExpectOneAbsoluteDirectory(*this, L"D:", L"D:\\Vexa游戏盒子");
}

TEST_F(Installer, ADoubleClickStartsOneRun) {
    ServePackage("client-top.zip");
    auto installer = Start();
    const int before = RequestCount("/primary/version.json");
    installer->Click(kInstall, 2);
    ASSERT_TRUE(installer->WaitForLine(L"finished", 20s));
    EXPECT_EQ(installer->WaitForExit(10s), 0);
    const std::vector<std::wstring> trace = installer->Trace();
    EXPECT_EQ(std::count(trace.begin(), trace.end(), L"busy 1"), 1);
    EXPECT_EQ(RequestCount("/primary/version.json") - before, 1);
}

TEST_F(Installer, ClosingTheWindowDuringADownloadEndsTheProcess) {
    ServePackage("client-top.zip");
    SetRoute(base_ + "files/client-top.zip",
             "[{\"body_file\": " +
                 JsonText(std::string(kTestBuildDir) + "/tools/packages/client-top.zip") +
                 ", \"chunk_delay_ms\": 50}]");
    auto installer = Start();
    installer->Click(kInstall);
    ASSERT_TRUE(WaitUntil(
        [&] {
            const std::vector<std::wstring> trace = installer->Trace();
            const auto downloading =
                std::find(trace.begin(), trace.end(), L"status 正在下载安装包...");
            return std::any_of(downloading, trace.end(), [](const std::wstring& line) {
                return line.starts_with(L"progress ") && line != L"progress 0";
            });
        },
        20s))
        << "the download is under way";
    PostMessageW(installer->Window(), WM_CLOSE, 0, 0);
    EXPECT_EQ(installer->WaitForExit(3s), 0);
    EXPECT_FALSE(fs::exists(InstallDir()));
}

// Wine's per-program setting that prefers native winhttp.dll and comctl32.dll, for as long as
// the object lives.
class PreferDllsBesideProgram {
public:
    explicit PreferDllsBesideProgram(const std::wstring& program)
        : key_(L"Software\\Wine\\AppDefaults\\" + program) {
        const std::wstring overrides = key_ + L"\\DllOverrides";
        for (const wchar_t* dll : {L"winhttp", L"comctl32"}) {
            RegSetKeyValueW(HKEY_CURRENT_USER, overrides.c_str(), dll, REG_SZ, L"native,builtin",
                            sizeof(L"native,builtin"));
        }
    }
    ~PreferDllsBesideProgram() { RegDeleteTreeW(HKEY_CURRENT_USER, key_.c_str()); }
    PreferDllsBesideProgram(const PreferDllsBesideProgram&) = delete;
    PreferDllsBesideProgram& operator=(const PreferDllsBesideProgram&) = delete;

private:
    std::wstring key_;
};

TEST_F(Installer, NeverLoadsDllsPlantedBesideIt) {
    const fs::path downloads = TempDir() / L"vexa-e2e-downloads";
    fs::remove_all(downloads);
    fs::create_directories(downloads);
    for (const auto* dll : {L"winhttp.dll", L"comctl32.dll"}) {
        fs::copy_file(BuildPath("tools/planted.dll"), downloads / dll);
    }
    fs::copy_file(BuildPath("tools/dll_probe.exe"), downloads / L"dll_probe.exe");
    fs::copy_file(BuildPath("app/VexaBoxInstaller.exe"), downloads / L"VexaBoxInstaller.exe");
    // As on Windows, a DLL found beside a program wins over the system's own. (Wine takes
    // this per program from its registry; WINEDLLOVERRIDES would not reach a child process.)
    const PreferDllsBesideProgram prefer_probe(L"dll_probe.exe");
    const PreferDllsBesideProgram prefer_installer(L"VexaBoxInstaller.exe");

    // A program without the installer's guard does pick the planted DLL up.
    EXPECT_EQ(RunProgram((downloads / L"dll_probe.exe").wstring(), L"winhttp.dll", {}), 0);
    EXPECT_TRUE(fs::exists(downloads / L"winhttp.dll.loaded"));
    fs::remove(downloads / L"winhttp.dll.loaded");

    ServePackage("client-top.zip");
    auto installer = Start({}, (downloads / L"VexaBoxInstaller.exe").wstring());
    installer->Click(kInstall);
    ASSERT_TRUE(installer->WaitForLine(L"finished", 20s));
    EXPECT_EQ(installer->WaitForExit(10s), 0);
    EXPECT_FALSE(fs::exists(downloads / L"winhttp.dll.loaded"));
    EXPECT_FALSE(fs::exists(downloads / L"comctl32.dll.loaded"));
    installer.reset();
    fs::remove_all(downloads);
}

}  // namespace
