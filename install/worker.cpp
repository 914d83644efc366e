#include "install/worker.h"

#include <windows.h>
#include <shellapi.h>

#include <new>
#include <string>
#include <vector>

#include "app/install_location.h"
#include "common/owners.h"
#include "config/package_config.h"
#include "config/package_link.h"
#include "config/server_config.h"
#include "install/client_search.h"
#include "install/client_signature.h"
#include "install/download_target.h"
#include "install/extraction.h"
#include "install/messages.h"
#include "install/shortcut.h"
#include "net/http_get.h"

namespace {

constexpr wchar_t kInstallFailed[] = L"安装失败：";
constexpr wchar_t kDownloadFailed[] = L"下载失败：";
constexpr wchar_t kCompletedBut[] = L"安装完成，但";

constexpr wchar_t kTextReadingSettings[] = L"正在读取安装包配置...";
constexpr wchar_t kTextDownloading[] = L"正在下载安装包...";
constexpr wchar_t kTextExtracting[] = L"正在解压安装...";
constexpr wchar_t kTextCreatingShortcut[] = L"正在创建桌面快捷方式...";
constexpr wchar_t kTextCompleted[] = L"安装完成";
constexpr wchar_t kTextNoServerConfig[] = L"无法获取服务器配置";
constexpr wchar_t kTextClientMissing[] = L"未找到 Vexa盒子.exe";
// Whole texts: they are posted where memory may have run out, so they are not put together.
constexpr wchar_t kTextOutOfMemory[] = L"安装失败：内存不足";
constexpr wchar_t kTextUnexpected[] = L"安装失败：发生意外错误";

void Post(UINT message, WPARAM wParam) {
    PostMessageW(MainWindow, message, wParam, 0);
}

// Ends a run that an exception broke off: even when the text cannot be posted, the run still
// ends, and it never counts as completed.
void PostFailureWithoutThrowing(const wchar_t* text) noexcept {
    InstallCompleted = false;
    try {
        PostStatus(text);
    } catch (...) {
    }
}

// Reads the edit box, completes its directory to one absolute path and writes that back, so
// that the box shows the directory the run uses.
std::wstring CompleteInstallDirInEditBox() {
    const int length = GetWindowTextLengthW(InstallDirEdit);
    std::wstring text(static_cast<size_t>(length > 0 ? length : 0), L'\0');
    GetWindowTextW(InstallDirEdit, text.data(), length + 1);
    text.resize(text.find(L'\0') == std::wstring::npos ? text.size() : text.find(L'\0'));
    std::wstring directory = ComposeInstallDir(text);
    if (directory.empty()) directory = DefaultInstallDir();
    directory = AbsoluteInstallDir(directory);
    SetWindowTextW(InstallDirEdit, directory.c_str());
    return directory;
}

// The steps of one run up to its ending's status; the caller posts what every ending shares.
void RunInstall() {
    const std::wstring directory = CompleteInstallDirInEditBox();

    const std::wstring apiBase = FetchServerConfig();
    if (apiBase.empty()) return PostStatus(kInstallFailed + std::wstring(kTextNoServerConfig));
    PostStatus(kTextReadingSettings);
    const PackageConfig config = ReadPackageConfig(apiBase);
    std::wstring url;
    std::wstring error;
    if (!ResolvePackageLink(config, url, &error)) return PostStatus(kInstallFailed + error);

    const std::wstring archive = TempDownloadPath(PackageFileName(url));
    PostStatus(kTextDownloading);
    std::vector<char> body;
    if (!HttpGet(url, body, &error, ProgressCallback, L"")) {
        return PostStatus(kDownloadFailed + error);
    }
    if (!SavePackageFile(archive, body, &error)) return PostStatus(kInstallFailed + error);
    std::vector<char>().swap(body);  // the archive is on disk now; give its memory back
    Post(WM_APP_PROGRESS, kProgressSaved);

    PostStatus(kTextExtracting);
    if (!ExtractPackage(archive, directory, &error)) return PostStatus(kInstallFailed + error);
    DeleteFileW(archive.c_str());
    Post(WM_APP_PROGRESS, kProgressUnpacked);

    PostStatus(kTextCreatingShortcut);
    std::wstring exe;
    if (FindClientExecutable(directory, exe, &error) && exe.empty()) error = kTextClientMissing;
    // With a publisher set at build time, a client that others signed is not started.
    if (!exe.empty() && kClientPublisher[0] && !VerifyPublisher(exe, kClientPublisher, &error)) {
        return PostStatus(kInstallFailed + error);
    }
    // The client is installed, but without a shortcut to it the run is not complete.
    if (exe.empty() || !CreateDesktopShortcut(exe, &error)) {
        PostStatus(kCompletedBut + error);
        return Post(WM_APP_PROGRESS, kProgressDone);
    }

    Post(WM_APP_PROGRESS, kProgressDone);
    InstallCompleted = true;
    PostStatus(kTextCompleted);
    ShellExecuteW(nullptr, L"open", exe.c_str(), nullptr, ParentDirectory(exe).c_str(),
                  SW_SHOWNORMAL);
}

}  // namespace

void InstallWorker() {
    InstallRunning = true;
    InstallCompleted = false;
    Post(WM_APP_BUSY, 1);
    Post(WM_APP_PROGRESS, 0);
    // The worker's own single-threaded apartment, for the shell link and for starting the
    // client.
    const ComApartment apartment;
    // Every step reports its ordinary failures by result; what escapes one still ends the run
    // like a failure, never the process.
    try {
        RunInstall();
    } catch (const std::bad_alloc&) {
        PostFailureWithoutThrowing(kTextOutOfMemory);
    } catch (...) {
        PostFailureWithoutThrowing(kTextUnexpected);
    }
    Post(WM_APP_BUSY, 0);
    if (InstallCompleted) Post(WM_APP_FINISHED, 0);
    InstallRunning = false;
}
