// The real VexaBoxInstaller.exe against the loopback back end, driven through its window.

#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>

#include "app/layout.h"
#include "e2e/installer_fixture.h"
#include "install/client_signature.h"
#include "install/messages.h"
#include "support/shortcuts.h"
#include "support/test_files.h"
#include "support/test_server.h"
#include "test_config.h"

namespace fs = std::filesystem;
using namespace std::chrono_literals;

namespace {

constexpr COLORREF kWhite = RGB(255, 255, 255);
constexpr COLORREF kHeader = RGB(20, 134, 96);
constexpr COLORREF kLabelText = RGB(42, 67, 57);

// Waits until the bar shows the percent (of its 460 pixels, rounded) and the label its number.
bool ShowsProgress(const InstallerWindow& installer, int percent) {
    return WaitUntil(
        [&] {
            const Screenshot shot = installer.Capture();
            const Screenshot bar = shot.Part({kProgressRect.left, 362, kProgressRect.right, 363});
            return std::count(bar.pixels.begin(), bar.pixels.end(), RGB(28, 151, 108)) ==
                       MulDiv(460, percent, 100) &&
                   shot.Part(kPercentRect) ==
                       ExpectedText(std::to_wstring(percent) + L"%", kPercentRect, 17, FW_NORMAL,
                                    kLabelText, kWhite, DT_SINGLELINE | DT_VCENTER | DT_RIGHT);
        },
        10s);
}

// The icon's images (width x bits a pixel) and the version strings.
std::wstring IconAndVersion(const std::wstring& program) {
    const UniqueModule module{
        LoadLibraryExW(program.c_str(), nullptr, LOAD_LIBRARY_AS_IMAGE_RESOURCE)};
    const HRSRC group = FindResourceW(module.get(), MAKEINTRESOURCEW(kAppIconId), RT_GROUP_ICON);
    const auto* icons = static_cast<const BYTE*>(LockResource(LoadResource(module.get(), group)));
    if (!icons) return L"no icon";
    // A 6-byte header, then 14-byte entries: the width (0 for 256) first, the bit count at 6.
    std::wstring found;
    for (const BYTE* entry = icons + 6; entry < icons + 6 + 14 * icons[4]; entry += 14)
        found +=
            std::to_wstring(entry[0] ? entry[0] : 256) + L"x" + std::to_wstring(entry[6]) + L" ";
    DWORD ignored = 0;
    std::vector<BYTE> info(GetFileVersionInfoSizeW(program.c_str(), &ignored));
    if (!GetFileVersionInfoW(program.c_str(), 0, static_cast<DWORD>(info.size()), info.data()))
        return found;
    for (const wchar_t* name : {L"ProductName", L"OriginalFilename", L"FileVersion"}) {
        void* text = nullptr;
        UINT length = 0;
        const std::wstring path = L"\\StringFileInfo\\080404B0\\" + std::wstring(name);
        if (VerQueryValueW(info.data(), path.c_str(), &text, &length))
            found += L"|" + std::wstring(static_cast<const wchar_t*>(text));
    }
    return found;
}

// The copy that the signing fixture signed through the build's signing step: Windows can name
// its signer, and its resources are those of the installer.
TEST(InstallerProgram, CarriesItsIconAndVersionSignedOrNot) {
    const std::wstring program = BuildPath("app/VexaBoxInstaller.exe");
    const std::wstring signedCopy = BuildPath("signing/signed/VexaBoxInstaller.exe");
    EXPECT_EQ(IconAndVersion(program),
              L"16x4 16x8 16x32 32x4 32x8 32x32 48x4 48x8 48x32 256x32 "
              L"|Vexa盒子安装器|VexaBoxInstaller.exe|1.0.0");
    EXPECT_EQ(IconAndVersion(signedCopy), IconAndVersion(program));
    std::wstring signer = L"none";
    EXPECT_FALSE(ReadSigner(OpenUnchangeable(program).get(), program, signer));
    const UniqueHandle held = OpenUnchangeable(signedCopy);
    ASSERT_TRUE(ReadSigner(held.get(), signedCopy, signer));
    EXPECT_EQ(signer, L"Vexa Test Publisher");
    // While the checked file is held, nobody can write, replace or delete it.
    const fs::path moved = signedCopy + L".moved";
    EXPECT_FALSE(UniqueHandle{ValidHandle(CreateFileW(
        signedCopy.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
        nullptr, OPEN_EXISTING, 0, nullptr))});
    EXPECT_FALSE(MoveFileW(signedCopy.c_str(), moved.c_str()));
    EXPECT_FALSE(DeleteFileW(signedCopy.c_str()));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SHARING_VIOLATION));
}

// The settings name a package only the link service knows, and its key; the service answers with
// a signed address. Neither secret reaches the log.
TEST_F(Installer, CompleteInstallThroughTheLinkService) {
    ServePackage("client-top.zip");
    SetRoute(base_ + "api/setting",
             Body("{\"app_package_url\": \"https://elsewhere.example/box.zip\", "
                  "\"download_api_key\": \"k3y-s3cr3t\", \"download_api_base_url\": \"" +
                  kHttp + base_ + "svc\"}"));
    SetRoute(base_ + "svc/json/parser",
             Body("{\"directLink\": \"" + PackageUrl("client-top.zip") + "?sig=s1gn-s3cr3t\"}"));

    auto installer = Start({{L"VEXA_POWERSHELL_STANDIN_WAIT_FOR", UnpackGate().wstring()}});
    const Screenshot ready = installer->Capture();
    EXPECT_EQ(installer->Text(kStatusId), L"准备安装");
    EXPECT_EQ(installer->Text(kInstallId), L"立即安装");
    EXPECT_TRUE(ShowsProgress(*installer, 0));
    // A centred window that can be minimised, not resized.
    RECT frame;
    GetWindowRect(installer->Window(), &frame);
    EXPECT_EQ(frame.left + frame.right, GetSystemMetrics(SM_CXSCREEN));
    EXPECT_EQ(frame.top + frame.bottom, GetSystemMetrics(SM_CYSCREEN));
    EXPECT_EQ(GetWindowLongW(installer->Window(), GWL_STYLE) &
                  (WS_MINIMIZEBOX | WS_MAXIMIZEBOX | WS_THICKFRAME | WS_SYSMENU),
              WS_MINIMIZEBOX | WS_SYSMENU);
    const int requests = RequestCount("/primary/version.json");
    installer->Click(kInstallId, 2);  // a double click starts one run
    ASSERT_TRUE(installer->WaitForLine(L"status 正在解压安装...", 20s));
    EXPECT_TRUE(ShowsProgress(*installer, 75));
    const Screenshot running = installer->Capture();
    for (const int id : {kInstallDirId, kChooseId, kInstallId})
        EXPECT_FALSE(installer->Enabled(id)) << id;
    WriteWholeFile(UnpackGate(), "go on");
    ASSERT_TRUE(installer->WaitForLine(L"finished", 20s));
    EXPECT_EQ(installer->WaitForExit(10s), 0);

    // The messages in the order the contract fixes; the download's steps and the edit box's
    // text apart. The window writes the run's directory back before the worker starts.
    const std::vector<std::wstring> trace = installer->Trace();
    std::wstring sequence;
    std::vector<int> steps;
    const auto downloading = std::find(trace.begin(), trace.end(), L"status 正在下载安装包...");
    const auto saved = std::find(trace.begin(), trace.end(), L"progress 75");
    for (auto line = trace.begin(); line != trace.end(); ++line) {
        if (line > downloading && line < saved) {
            steps.push_back(std::stoi(line->substr(9)));
        } else if (!line->starts_with(L"directory ") && !line->starts_with(L"closed ")) {
            sequence += *line + L"|";
        }
    }
    EXPECT_EQ(
        sequence,
        L"busy 1|button 正在安装|progress 0|status 正在连接服务器...|status 正在读取安装包配置...|"
        L"status 正在解析安装包地址...|status 正在下载安装包...|progress 75|status 正在解压安装...|"
        L"progress 90|status 正在创建桌面快捷方式...|progress 100|status 安装完成|busy 0|"
        L"button 安装完成|finished|");
    ASSERT_FALSE(steps.empty());
    EXPECT_TRUE(std::is_sorted(steps.begin(), steps.end()));
    EXPECT_EQ(steps.back(), 70);
    EXPECT_EQ(RequestCount("/primary/version.json") - requests, 1);
    const auto used = std::find(trace.begin(), trace.end(), L"directory " + InstallDir().wstring());
    EXPECT_LT(used, std::find(trace.begin(), trace.end(), L"busy 1"));
    // About a second after the window took WM_APP_FINISHED it closed, its inputs still off.
    ASSERT_TRUE(trace.back().starts_with(L"closed ")) << Narrow(trace.back());
    EXPECT_GE(std::stoi(trace.back().substr(7)), 950);
    EXPECT_LE(std::stoi(trace.back().substr(7)), 3000);
    EXPECT_TRUE(trace.back().ends_with(L" 000 安装完成")) << Narrow(trace.back());

    const fs::path exe = InstallDir() / L"Vexa盒子.exe";
    const SavedShortcut shortcut = LoadShortcut(ShortcutPath());
    EXPECT_EQ(shortcut.target, exe.wstring());
    EXPECT_EQ(shortcut.workingDirectory, InstallDir().wstring());
    EXPECT_EQ(shortcut.description, L"Vexa盒子");
    ASSERT_TRUE(WaitUntil([&] { return ClientStarted(); }, 10s));
    EXPECT_EQ(ReadWholeFile(InstallDir() / L"client-started.txt"),
              Narrow(exe.wstring() + L"\n" + InstallDir().wstring() + L"\nshow 1\n"));
    EXPECT_FALSE(fs::exists(kTemp / L"client-top.zip")) << "the archive is deleted";
    const auto asked = RequestHeads(base_ + "svc/");
    ASSERT_EQ(asked.size(), 1u);
    EXPECT_EQ(std::count(asked[0].begin(), asked[0].end(), "X-API-Key: k3y-s3cr3t"), 1);
    EXPECT_TRUE(RequestLog(base_ + "files/").find("?sig=s1gn-s3cr3t") != std::string::npos);
    EXPECT_TRUE(LastRunLogged(Widen(PackageUrl("client-top.zip")) + L" by"));
    EXPECT_FALSE(LastRunLogged(L"s3cr3t"));

    // Painting, read back from the screen: header, background, card, its border, the edit
    // frame, the track and the buttons, enabled and then disabled; the painted texts.
    const struct {
        const Screenshot& shot;
        int x, y;
        COLORREF colour;
    } pixels[] = {{ready, 600, 100, kHeader},
                  {ready, 10, 200, RGB(246, 248, 247)},
                  {ready, 60, 300, kWhite},
                  {ready, 42, 250, RGB(219, 229, 224)},
                  {ready, 78, 196, RGB(250, 252, 251)},
                  {ready, 220, 290, RGB(28, 145, 104)},
                  {running, 472, 362, RGB(228, 238, 233)},
                  {running, 220, 290, RGB(224, 228, 226)},
                  {running, 460, 196, RGB(224, 228, 226)}};
    for (const auto& p : pixels)
        EXPECT_EQ(p.shot.At(p.x, p.y), p.colour) << p.x << "," << p.y;
    const int w = ready.width;
    constexpr UINT kLine = DT_SINGLELINE | DT_VCENTER;
    const struct {
        RECT rect;
        const wchar_t* text;
        int height, weight;
        COLORREF colour, background;
        UINT format;
    } texts[] = {{kTitleBand.In(w), L"Vexa盒子安装器", 28, FW_BOLD, kWhite, kHeader, kLine},
                 {kSubtitleBand.In(w), L"自动下载最新版，安装完成后创建桌面快捷方式", 15, FW_NORMAL,
                  RGB(220, 246, 236), kHeader, kLine},
                 {kFieldLabelRect, L"安装位置", 15, FW_NORMAL, kLabelText, kWhite, kLine},
                 {kHintBand.In(w), L"默认安装到 Vexa游戏盒子 专用目录", 15, FW_NORMAL,
                  RGB(121, 91, 36), kWhite, kLine | DT_CENTER}};
    for (const auto& t : texts) {
        EXPECT_TRUE(ready.Part(t.rect) == ExpectedText(t.text, t.rect, t.height, t.weight, t.colour,
                                                       t.background, t.format))
            << Narrow(t.text);
    }
    const Screenshot status = ready.Part(kStatusRect);  // the system draws it in our colours
    EXPECT_GT(std::count(status.pixels.begin(), status.pixels.end(), RGB(38, 67, 55)), 10);
    EXPECT_EQ(status.At(status.width - 1, 0), kWhite);
}

TEST_F(Installer, AFailedRunKeepsTheBarAndTheWindowThenASecondRunSucceeds) {
    ServePackage("not-a-zip.zip");
    auto installer = Start();
    installer->Click(kInstallId);
    ASSERT_TRUE(installer->WaitForLine(L"button 立即安装", 20s));
    EXPECT_EQ(installer->Text(kStatusId), L"安装失败：解压失败，请确认安装包是 zip 格式");
    for (const int id : {kInstallDirId, kChooseId, kInstallId})
        EXPECT_TRUE(installer->Enabled(id)) << id;
    EXPECT_TRUE(ShowsProgress(*installer, 75)) << "the bar keeps its value";
    EXPECT_TRUE(fs::remove(kTemp / L"not-a-zip.zip")) << "a failed archive stays";
    // Held down, the install button is drawn pressed; let go elsewhere, it starts nothing.
    installer->Press(kInstallId);
    EXPECT_TRUE(
        WaitUntil([&] { return installer->Capture().At(220, 290) == RGB(22, 122, 87); }, 10s));
    installer->Release();
    EXPECT_TRUE(
        WaitUntil([&] { return installer->Capture().At(220, 290) == RGB(28, 145, 104); }, 10s));

    // A timer other than the close timer (1) closes nothing; every progress message repaints.
    PostMessageW(installer->Window(), WM_TIMER, 2, 0);
    PostMessageW(installer->Window(), WM_APP_PROGRESS, 33, 0);
    EXPECT_TRUE(ShowsProgress(*installer, 33));
    PostMessageW(installer->Window(), WM_APP_PROGRESS, 100, 0);
    EXPECT_TRUE(ShowsProgress(*installer, 100));
    // At 100 the fill covers the whole track, whatever the frame: the window is made for the
    // client area its layout is drawn for.
    const Screenshot full = installer->Capture();
    EXPECT_EQ(full.width, kClientWidth);
    EXPECT_EQ(full.height, kClientHeight);
    const Screenshot barRow = full.Part({0, 362, full.width, 363});
    EXPECT_EQ(std::count(barRow.pixels.begin(), barRow.pixels.end(), RGB(228, 238, 233)), 0);
    EXPECT_EQ(installer->WaitForExit(0ms), -1);
    // A path longer than the edit box can still be typed.
    installer->SetInstallDir(L"");
    for (int i = 0; i < 100; ++i)
        PostMessageW(GetDlgItem(installer->Window(), kInstallDirId), WM_CHAR, L'W', 0);
    EXPECT_TRUE(WaitUntil([&] { return installer->Text(kInstallDirId).size() == 100; }, 10s));
    installer->SetInstallDir(installRoot_.wstring());
    // The folder picker, found by its title, starts at the desktop: cancelled, it changes
    // nothing; confirmed, the box holds the desktop's folder with the dedicated one.
    const auto picker = [] {
        const HWND dialog = FindWindowW(L"#32770", nullptr);
        return dialog && FindWindowExW(dialog, nullptr, nullptr, L"选择盒子安装位置") ? dialog
                                                                                      : nullptr;
    };
    for (const int button : {IDCANCEL, IDOK}) {
        installer->Click(kChooseId);
        ASSERT_TRUE(WaitUntil([&] { return picker() != nullptr; }, 10s));
        PostMessageW(picker(), WM_COMMAND, button, 0);
        const std::wstring chosen =
            button == IDOK ? DesktopPath() + L"\\Vexa游戏盒子" : installRoot_.wstring();
        EXPECT_TRUE(
            WaitUntil([&] { return !picker() && installer->Text(kInstallDirId) == chosen; }, 10s));
    }
    installer->SetInstallDir(installRoot_.wstring());

    ServePackage("client-nested.zip");  // the client two folders down, under its other name
    installer->Click(kInstallId);
    ASSERT_TRUE(installer->WaitForLine(L"finished", 20s));
    EXPECT_EQ(installer->WaitForExit(10s), 0);
    const std::vector<std::wstring> trace = installer->Trace();
    EXPECT_EQ(std::count(trace.begin(), trace.end(), L"busy 1"), 2);
    // The bar restarts.
    const auto second = std::find(trace.rbegin(), trace.rend(), L"busy 1").base();
    ASSERT_LT(second + 1, trace.end());
    EXPECT_EQ(*second + L"|" + *(second + 1), L"button 正在安装|progress 0");
    const fs::path exe = InstallDir() / L"VexaBox" / L"bin" / L"Quorin.exe";
    const SavedShortcut shortcut = LoadShortcut(ShortcutPath());
    EXPECT_EQ(shortcut.target, exe.wstring());
    EXPECT_EQ(shortcut.workingDirectory, exe.parent_path().wstring());
    EXPECT_TRUE(
        WaitUntil([&] { return fs::exists(exe.parent_path() / L"client-started.txt"); }, 10s));
}

// Endings that never start the client, each with its number and what the log names of it (the
// request that failed, the error's name where the window only says "服务器无响应"), its last line
// the text that the window showed. Each click comes as soon as the inputs are back: WM_APP_BUSY
// 0 is posted before InstallRunning clears, and a click then must start a run.
TEST_F(Installer, EndingsThatStartNoClient) {
    const fs::path archive = kTemp / L"client-top.zip";
    const std::wstring http = Widen(kHttp), direct = L" by the machine's WinHTTP setting: ";
    const std::wstring package = http + Widen(base_) + L"files/client-top.zip" + direct;
    const auto packageAt = [&](const std::wstring& url) {
        SetRoute(base_ + "api/setting", Body("{\"app_package_url\": \"" + Narrow(url) + "\"}"));
    };
    const struct {
        std::function<void()> arrange;
        std::wstring status;
        int progress;
        int ending;
        std::wstring logged;
        std::map<std::wstring, std::wstring> env = {};  // not empty: a new installer
    } cases[] = {
        {[&] { ServePackage("no-client.zip"); }, L"安装完成，但未找到 Vexa盒子.exe", 100, 9,
         L"Apps & features entry written"},
        // Installed, with its shortcut, but a client that is no program does not start.
        {[&] { ServePackage("not-a-program.zip"); }, L"安装完成，但无法启动 Vexa盒子", 100, 12,
         L"the client did not start"},
        {[&] {
             ServePackage("client-top.zip");
             fs::remove(ShortcutPath());              // the shortcut the row before saved
             fs::create_directories(ShortcutPath());  // a folder where the shortcut belongs
         },
         L"安装完成，但桌面快捷方式创建失败", 100, 11, L"PowerShell ended with exit code 0"},
        {[&] {
             SetRoute("/primary/version.json", R"({"status": 503})");
             SetRoute("/fallback/version.json", R"({"hangup": true})");
         },
         L"安装失败：无法获取服务器配置", 0, 1,
         HttpsUrl("/primary/version.json") + direct + L"status 503"},
        {[&] {
             SetUp();
             SetRoute(base_ + "api/setting", Body(R"({"download_url": ""})"));
         },
         L"安装失败：后端未配置 app_package_url", 0, 2, http + Widen(base_) + L"api/setting"},
        {[&] { ServePackage("client-top.zip", R"(, "status": 404)"); },
         L"下载失败：服务器返回错误：404", 0, 4, package + L"status 404, 0 bytes"},
        {[&] { packageAt(L"http://vexa-no-such-host.invalid/box.zip"); }, L"下载失败：服务器无响应",
         0, 4, L"error 12007 ERROR_WINHTTP_NAME_NOT_RESOLVED"},
        {[&] { packageAt(RefusedUrl("/box.zip")); }, L"下载失败：服务器无响应", 0, 4,
         L"error 12029 ERROR_WINHTTP_CANNOT_CONNECT"},
        {[&] {
             ServePackage("client-top.zip");
             fs::create_directories(archive);  // a folder where the archive is saved
         },
         L"安装失败：无法写入下载文件", 70, 4,
         package + L"status 200, " +
             std::to_wstring(fs::file_size(BuildPath("tools/packages/client-top.zip"))) +
             L" bytes"},
        {[&] {
             fs::remove(archive);
             std::ofstream(installRoot_) << "a file where the folder belongs";
         },
         L"安装失败：无法创建安装目录", 75, 6, L"install directory " + InstallDir().wstring()},
        // The folder is held while it is unpacked into: what takes its files cannot take it.
        {[&] { fs::remove(installRoot_); },
         L"安装完成，但未找到 Vexa盒子.exe",
         100,
         9,
         L"PowerShell ended with exit code 0",
         {{L"VEXA_POWERSHELL_STANDIN_REMOVE_DESTINATION", L"1"}}}};
    std::unique_ptr<InstallerWindow> installer;
    int runs = 0;
    for (const auto& c : cases) {
        c.arrange();
        if (!installer || !c.env.empty()) {
            installer.reset();  // one installer at a time
            installer = Start(c.env);
            runs = 0;
        }
        if (c.progress == 0) installer->SetInstallDir(L"");  // runs with the default, shows it
        installer->Click(kInstallId);
        ASSERT_TRUE(installer->WaitForLine(L"button 立即安装", 20s, ++runs)) << Narrow(c.status);
        EXPECT_EQ(installer->Text(kStatusId), c.status);
        EXPECT_EQ(LastProgress(installer->Trace()), c.progress);
        EXPECT_TRUE(installer->Enabled(kInstallDirId) && installer->Enabled(kInstallId));
        EXPECT_EQ(installer->Text(kInstallDirId),
                  c.progress == 0 ? L"C:\\Vexa游戏盒子" : InstallDir().wstring());
        installer->SetInstallDir(installRoot_.wstring());
        // A client would have been started before the inputs came back: it would be running
        // now, or have left its file behind.
        EXPECT_EQ(ChildProcessCount(installer->ProcessId()), 0);
        EXPECT_FALSE(ClientStarted());
        const std::vector<std::wstring> log = LastRunLog();
        ASSERT_FALSE(log.empty());
        EXPECT_TRUE(log.back().starts_with(L"ended " + std::to_wstring(c.ending) + L" ("))
            << Narrow(log.back());
        EXPECT_TRUE(log.back().ends_with(L"): " + c.status)) << Narrow(log.back());
        EXPECT_TRUE(LastRunLogged(c.logged)) << Narrow(c.logged);
    }
}

// An install directory that is a link, another account's folder, or the user's folder with
// another account's folder inside, ends the run before the first request: nothing downloaded,
// nothing written where the link leads or into the folder.
TEST_F(Installer, ALinkOrAnotherUsersFolderIsNeverInstalledInto) {
    const std::string folders = std::string(kTestBuildDir) + "/test-folders/";
    const struct {
        const char* root;
        std::wstring status;
        const char* inside;  // that account's folder inside the user's
    } cases[] = {{"e2e-link", L"安装失败：安装目录是一个链接", ""},
                 {"e2e-foreign", L"安装失败：安装目录属于其他用户", ""},
                 {"e2e-foreign-inside", L"安装失败：安装目录属于其他用户", "plugins"}};
    ServePackage("client-top.zip");
    for (const auto& c : cases) {
        SCOPED_TRACE(c.root);
        const std::wstring root = WindowsPathOfHost(folders + c.root);
        const fs::path folder = fs::path(root) / L"Vexa游戏盒子";
        if (!fs::is_directory(folder / Widen(c.inside))) {
            std::printf("skipped: scripts/test-folders made no %s (it needs root)\n", c.root);
            continue;
        }
        auto installer = Start();
        installer->SetInstallDir(root);
        installer->Click(kInstallId);
        ASSERT_TRUE(installer->WaitForLine(L"button 立即安装", 20s));
        EXPECT_EQ(installer->Text(kStatusId), c.status);
        EXPECT_EQ(RequestCount(base_), 0);
        EXPECT_EQ(ListTree(folder), *c.inside ? Widen(c.inside) + L"\\\n" : L"");
    }
}

// The installer copy pinned to the signing fixture's publisher starts only a client that this
// publisher signed; any other ends the run before the shortcut and leaves the files.
// A name that only looks like the publisher's is another publisher's: one that goes on, one that
// differs in case only, and one that goes on after a zero.
TEST_F(Installer, APinnedPublisherIsTheOnlyOneStarted) {
    for (const std::string kind :
         {"publisher", "unsigned", "other", "changed", "extended", "case", "cut"}) {
        SCOPED_TRACE(kind);
        UseInstallRoot(name_ + "-" + kind);
        const std::string package = "signing/client-" + kind + ".zip";
        ServePackage(package, "", ReadWholeFile(BuildPath(package + ".sig")));
        auto installer = Start({}, BuildPath("tests/pinned/VexaBoxInstaller.exe"));
        installer->Click(kInstallId);
        const bool trusted = kind == "publisher";
        ASSERT_TRUE(installer->WaitForLine(trusted ? L"finished" : L"button 立即安装", 20s));
        EXPECT_EQ(installer->Text(kStatusId),
                  trusted ? L"安装完成" : L"安装失败：客户端签名校验失败");
        EXPECT_EQ(LastProgress(installer->Trace()), trusted ? 100 : 90);
        EXPECT_TRUE(fs::is_regular_file(InstallDir() / L"Vexa盒子.exe"));
        EXPECT_EQ(fs::exists(ShortcutPath()), trusted);
        EXPECT_EQ(ChildProcessCount(installer->ProcessId()) > 0 || ClientStarted(), trusted);
    }
}

// The pinned installer unpacks only a package its key signed, also when the configuration came
// over the plain-HTTP fallback, and also one that was picked up after a break: it is verified
// whole. Any other package ends the run before a byte of it is written: no archive, no partial
// download, no PowerShell, no shortcut, no client, and the earlier install as it was.
TEST_F(Installer, OnlyAPackageSignedByThePinnedKeyIsUnpacked) {
    const auto signature = [](const std::string& file) {
        return ReadWholeFile(BuildPath("signing/" + file));
    };
    const std::string etag = R"(, "etag": "\"e2e\"")";
    const std::string half =
        ", \"send\": " +
        std::to_string(fs::file_size(BuildPath("signing/client-publisher.zip")) / 2);
    const struct {
        std::string package, signature;
        std::string rest = "";  // not empty: cut at half, then the second half of this package
    } cases[] = {
        {"client-publisher.zip", signature("client-publisher.zip.sig"), "client-publisher.zip"},
        {"package-changed.zip", signature("package-changed.zip.sig")},
        {"client-publisher.zip", signature("client-publisher.zip.other-sig")},
        {"client-publisher.zip", ""},
        {"client-publisher.zip", "not base64: *!"},
        {"client-publisher.zip", signature("client-publisher.zip.sig"), "package-changed.zip"}};
    const fs::path powerShellStarted = kTemp / L"vexa-e2e-powershell-started";
    SetRoute("/primary/version.json", R"({"status": 503})");
    SetRoute("/fallback/version.json", Body("{\"api_base_url\": \"" + kHttp + base_ + "api\"}"));
    std::unique_ptr<InstallerWindow> installer;
    std::string installed;
    int failures = 0;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.package + " " + c.signature);
        std::error_code ignored;
        fs::remove(kTemp / Widen(c.package), ignored);  // what an earlier run may have left
        ServePackage("signing/" + c.package, "", c.signature);
        if (!c.rest.empty()) {
            SetRoute(base_ + "files/signing/" + c.package,
                     "[" + BodyFile("signing/" + c.package) + etag + half + "}, " +
                         BodyFile("signing/" + c.rest) + etag + "}]");
        }
        if (!installer) {
            installer = Start({{L"VEXA_POWERSHELL_STANDIN_STARTED", powerShellStarted.wstring()}},
                              BuildPath("tests/pinned/VexaBoxInstaller.exe"));
        }
        installer->Click(kInstallId);
        if (installed.empty()) {
            ASSERT_TRUE(installer->WaitForLine(L"finished", 20s));
            EXPECT_TRUE(installer->WaitForLine(L"status 网络中断，正在重新连接...", 0ms));
            ASSERT_TRUE(WaitUntil([&] { return ClientStarted(); }, 10s));
            EXPECT_EQ(installer->WaitForExit(10s), 0);
            installer.reset();
            ASSERT_TRUE(fs::remove(InstallDir() / L"client-started.txt"));
            ASSERT_TRUE(fs::remove(ShortcutPath()) && fs::remove(powerShellStarted));
            installed = TreeWithContents(InstallDir());
            continue;
        }
        ASSERT_TRUE(installer->WaitForLine(L"button 立即安装", 20s, ++failures));
        EXPECT_EQ(installer->Text(kStatusId), L"安装失败：安装包签名校验失败");
        EXPECT_EQ(LastProgress(installer->Trace()), 70);
        EXPECT_FALSE(fs::exists(kTemp / Widen(c.package)));
        EXPECT_FALSE(fs::exists(kTemp / Widen(c.package + ".partial")));
        EXPECT_FALSE(fs::exists(powerShellStarted));
        EXPECT_FALSE(fs::exists(ShortcutPath()));
        EXPECT_EQ(TreeWithContents(InstallDir()), installed);
        EXPECT_EQ(ChildProcessCount(installer->ProcessId()), 0);
    }
}

// The installers' windows on the screen.
int InstallerWindows() {
    int windows = 0;
    for (HWND window = FindWindowW(kMainWindowClass, nullptr); window;
         window = FindWindowExW(nullptr, window, kMainWindowClass, nullptr)) {
        windows += IsWindowVisible(window) != FALSE;
    }
    return windows;
}

// One installer at a time: a second start, while the first is idle and minimised and again while
// it installs, brings the first window to the front, restored, and ends without one of its own.
TEST_F(Installer, ASecondStartShowsTheFirstWindowAndEnds) {
    ServePackage("client-top.zip");
    auto installer = Start({{L"VEXA_POWERSHELL_STANDIN_WAIT_FOR", UnpackGate().wstring()}});
    const HWND first = installer->Window();
    PostMessageW(first, WM_SYSCOMMAND, SC_MINIMIZE, 0);
    ASSERT_TRUE(WaitUntil([&] { return IsIconic(first) != FALSE; }, 10s));
    for (const bool installing : {false, true}) {
        SCOPED_TRACE(installing ? "installing" : "idle");
        if (installing) {
            installer->Click(kInstallId);
            ASSERT_TRUE(installer->WaitForLine(L"status 正在解压安装...", 20s));
        }
        const std::wstring program = BuildPath("app/VexaBoxInstaller.exe");
        UniqueProcess second;
        ASSERT_TRUE(StartDetached(program, L"\"" + program + L"\"", second));
        ASSERT_EQ(WaitForSingleObject(second.info.hProcess, 20000), WAIT_OBJECT_0);
        DWORD code = 1;
        EXPECT_TRUE(GetExitCodeProcess(second.info.hProcess, &code) && code == 0);
        EXPECT_EQ(InstallerWindows(), 1);
        EXPECT_TRUE(
            WaitUntil([&] { return !IsIconic(first) && GetForegroundWindow() == first; }, 10s));
    }
    WriteWholeFile(UnpackGate(), "go on");
    ASSERT_TRUE(installer->WaitForLine(L"finished", 20s));
    EXPECT_EQ(installer->WaitForExit(10s), 0);
    const std::vector<std::wstring> trace = installer->Trace();
    EXPECT_EQ(std::count(trace.begin(), trace.end(), L"busy 1"), 1);
    EXPECT_TRUE(ClientStarted());
}

// Whatever was typed, the run uses one absolute directory: the edit box, the unpacked files and
// the shortcut all name the same folder.
void ExpectOneAbsoluteDirectory(Installer& test, const std::wstring& typed, const fs::path& dir) {
    test.ServePackage("client-top.zip");
    auto installer = test.Start();
    installer->SetInstallDir(typed);
    installer->Click(kInstallId);
    ASSERT_TRUE(installer->WaitForLine(L"finished", 20s));
    EXPECT_EQ(installer->WaitForExit(10s), 0);
    EXPECT_TRUE(installer->WaitForLine(L"directory " + dir.wstring(), 0ms));
    EXPECT_TRUE(fs::is_regular_file(dir / L"Vexa盒子.exe"));
    EXPECT_EQ(LoadShortcut(ShortcutPath()).target, (dir / L"Vexa盒子.exe").wstring());
}

TEST_F(Installer, ARelativeDirectoryIsMadeAbsolute) {
    fs::create_directories(installRoot_);
    const fs::path previous = fs::current_path();
    fs::current_path(installRoot_);  // the installer starts in this folder
    ExpectOneAbsoluteDirectory(*this, L"Games", installRoot_ / L"Games" / L"Vexa游戏盒子");
    fs::current_path(previous);
}

// Run by scripts/with-drive-d, which gives the prefix a drive D for the duration: a bare drive
// and an empty box (the default, on drive D when there is one) give its dedicated folder.
TEST_F(Installer, DriveDBareDriveOrDefaultIsMadeAbsolute) {
    if (!std::getenv("VEXA_DRIVE_D")) GTEST_SKIP() << "runs under scripts/with-drive-d";
    for (const wchar_t* typed : {L"D:", L""})
        ExpectOneAbsoluteDirectory(*this, typed, L"D:\\Vexa游戏盒子");
}

TEST_F(Installer, NeverLoadsDllsPlantedBesideIt) {
    const fs::path downloads = kTemp / L"vexa-e2e-downloads";
    fs::remove_all(downloads);
    fs::create_directories(downloads);
    fs::copy_file(BuildPath("tools/dll_probe.exe"), downloads / L"dll_probe.exe");
    fs::copy_file(BuildPath("app/VexaBoxInstaller.exe"), downloads / L"VexaBoxInstaller.exe");
    // As on Windows, a DLL beside a program then wins over the system's own. (Wine takes this
    // per program from its registry; WINEDLLOVERRIDES would not reach a child.)
    const std::wstring kDefaults = L"Software\\Wine\\AppDefaults\\";
    for (const wchar_t* dll : {L"winhttp", L"comctl32"}) {
        fs::copy_file(BuildPath("tools/planted.dll"), downloads / (dll + std::wstring(L".dll")));
        for (const wchar_t* program : {L"dll_probe.exe", L"VexaBoxInstaller.exe"}) {
            RegSetKeyValueW(HKEY_CURRENT_USER, (kDefaults + program + L"\\DllOverrides").c_str(),
                            dll, REG_SZ, L"native,builtin", sizeof(L"native,builtin"));
        }
    }
    // A program without the installer's guard does pick the planted DLL up.
    UniqueProcess probe;
    DWORD loaded = 1;
    EXPECT_TRUE(
        StartDetached((downloads / L"dll_probe.exe").wstring(), L"probe winhttp.dll", probe));
    WaitForSingleObject(probe.info.hProcess, 30000);
    EXPECT_TRUE(GetExitCodeProcess(probe.info.hProcess, &loaded) && loaded == 0) << loaded;
    EXPECT_TRUE(fs::remove(downloads / L"winhttp.dll.loaded"));

    ServePackage("client-top.zip");
    auto installer = Start({}, (downloads / L"VexaBoxInstaller.exe").wstring());
    installer->Click(kInstallId);
    EXPECT_TRUE(installer->WaitForLine(L"finished", 20s));
    EXPECT_EQ(installer->WaitForExit(10s), 0);
    EXPECT_FALSE(fs::exists(downloads / L"winhttp.dll.loaded"));
    EXPECT_FALSE(fs::exists(downloads / L"comctl32.dll.loaded"));
    installer.reset();
    for (const wchar_t* program : {L"dll_probe.exe", L"VexaBoxInstaller.exe"})
        RegDeleteTreeW(HKEY_CURRENT_USER, (kDefaults + program).c_str());
    fs::remove_all(downloads);
}

}  // namespace
