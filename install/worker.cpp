#include "install/worker.h"

#include <windows.h>

#include <new>
#include <optional>
#include <string>

#include "common/owners.h"
#include "config/package_config.h"
#include "config/package_link.h"
#include "config/server_config.h"
#include "install/client_search.h"
#include "install/client_signature.h"
#include "install/client_start.h"
#include "install/download_target.h"
#include "install/extraction.h"
#include "install/files_in_use.h"
#include "install/folder_check.h"
#include "install/install_folder.h"
#include "install/messages.h"
#include "install/package_download.h"
#include "install/package_signature.h"
#include "install/shortcut.h"

namespace {

constexpr wchar_t kInstallFailed[] = L"安装失败：";
constexpr wchar_t kDownloadFailed[] = L"下载失败：";
constexpr wchar_t kCompletedBut[] = L"安装完成，但";

constexpr wchar_t kTextReadingSettings[] = L"正在读取安装包配置...";
constexpr wchar_t kTextExtracting[] = L"正在解压安装...";
constexpr wchar_t kTextCreatingShortcut[] = L"正在创建桌面快捷方式...";
constexpr wchar_t kTextCompleted[] = L"安装完成";
constexpr wchar_t kTextNoServerConfig[] = L"无法获取服务器配置";
constexpr wchar_t kTextClientMissing[] = L"未找到 Vexa盒子.exe";
// Whole texts: they are posted where memory may have run out, so they are not put together.
constexpr wchar_t kTextOutOfMemory[] = L"安装失败：内存不足";
constexpr wchar_t kTextUnexpected[] = L"安装失败：发生意外错误";

void Post(HWND window, UINT message, WPARAM wParam) {
    PostMessageW(window, message, wParam, 0);
}

// Ends a run that an exception broke off: even when the text cannot be posted, the run still
// ends, and it never counts as completed.
void PostFailureWithoutThrowing(HWND window, const wchar_t* text) noexcept {
    InstallCompleted = false;
    try {
        PostStatus(window, text);
    } catch (...) {
    }
}

// The install directory is the user's own (or not there yet), so is everything in it, and no
// file in it is held by another process; `folder` holds it open from then on.
bool CheckInstallDir(const std::wstring& directory, UniqueHandle& folder, std::wstring* error) {
    return CheckInstallFolder(directory, folder, error) &&
           CheckFolderContents(directory, folder && KeepsPermissions(folder.get()), L"", error);
}

// The steps of one run up to its ending's status; the caller posts what every ending shares.
void RunInstall(HWND window, const std::wstring& directory, const InstallPins& pins) {
    const StatusFunction status = [window](std::wstring_view text) { PostStatus(window, text); };
    std::wstring error;
    // Before the first request, so that the user learns it before the download: the folder is
    // the user's own, and nothing in it is in use.
    UniqueHandle folder;
    if (!CheckInstallDir(directory, folder, &error)) return status(kInstallFailed + error);
    folder.reset();
    // The user's proxy settings, as they stand when the run starts.
    const ProxySettings proxies = ReadProxySettings();
    const std::wstring apiBase = FetchServerConfig(proxies, status);
    if (apiBase.empty()) return status(kInstallFailed + std::wstring(kTextNoServerConfig));
    status(kTextReadingSettings);
    const PackageConfig config = ReadPackageConfig(proxies, apiBase);
    std::wstring url;
    if (!ResolvePackageLink(proxies, config, url, &error, status)) {
        return status(kInstallFailed + error);
    }

    const std::wstring archive = TempDownloadPath(PackageFileName(url));
    // With a key pinned at build time the package is hashed as it arrives, and its signature
    // decides before it becomes the archive.
    std::optional<Sha256> hash;
    if (!pins.packagePublicKey.empty()) hash.emplace();
    const PackageDownload download{url, config.app_package_url, archive, directory};
    UniqueHandle partial;
    if (!DownloadPackage(proxies, download, status, ProgressCallback(window),
                         hash ? &*hash : nullptr, partial, &error)) {
        return status(kDownloadFailed + error);
    }
    if (hash && !VerifyPackageSignature(*hash, config.app_package_signature, pins.packagePublicKey,
                                        &error)) {
        DiscardDownload(archive, partial);
        return status(kInstallFailed + error);
    }
    UniqueHandle heldArchive;  // unchangeable until PowerShell has ended
    if (!KeepAsArchive(archive, partial, heldArchive, &error)) {
        return status(kInstallFailed + error);
    }
    Post(window, WM_APP_PROGRESS, kProgressSaved);

    status(kTextExtracting);
    // Again right before anything is unpacked, the folder made first: the client may have been
    // started meanwhile. The folder is held, as it was checked, until the client has started
    // (the run's end): it cannot be moved away and another put in its place meanwhile.
    if (!CreateInstallFolder(directory, &error) || !CheckInstallDir(directory, folder, &error)) {
        return status(kInstallFailed + error);
    }
    const bool extracted = ExtractPackage(archive, directory, &error);
    heldArchive.reset();
    if (!extracted) return status(kInstallFailed + error);
    DeleteFileW(archive.c_str());
    Post(window, WM_APP_PROGRESS, kProgressUnpacked);

    status(kTextCreatingShortcut);
    std::wstring exe;
    if (FindClientExecutable(directory, exe, &error) && exe.empty()) error = kTextClientMissing;
    // With a publisher pinned at build time, a client that others signed is not started, and
    // the file checked is held unchangeable until it has been started.
    UniqueHandle checkedClient;
    if (!exe.empty() && !pins.clientPublisher.empty()) {
        checkedClient = OpenUnchangeable(exe);
        if (!VerifyPublisher(checkedClient.get(), exe, std::wstring(pins.clientPublisher),
                             &error)) {
            return status(kInstallFailed + error);
        }
    }
    // The client is installed, but without a shortcut to it the run is not complete.
    if (exe.empty() || !CreateDesktopShortcut(exe, &error)) {
        status(kCompletedBut + error);
        return Post(window, WM_APP_PROGRESS, kProgressDone);
    }

    Post(window, WM_APP_PROGRESS, kProgressDone);
    // Complete only once the client has started.
    if (!StartClient(exe, &error)) return status(kCompletedBut + error);
    InstallCompleted = true;
    status(kTextCompleted);
}

}  // namespace

void InstallWorker(HWND window, std::wstring installDir, InstallPins pins) {
    InstallRunning = true;
    InstallCompleted = false;
    Post(window, WM_APP_BUSY, 1);
    Post(window, WM_APP_PROGRESS, 0);
    // The worker's own single-threaded apartment, for the shell link and for starting the
    // client.
    const ComApartment apartment;
    // Every step reports its ordinary failures by result; what escapes one still ends the run
    // like a failure, never the process.
    try {
        RunInstall(window, installDir, pins);
    } catch (const std::bad_alloc&) {
        PostFailureWithoutThrowing(window, kTextOutOfMemory);
    } catch (...) {
        PostFailureWithoutThrowing(window, kTextUnexpected);
    }
    Post(window, WM_APP_BUSY, 0);
    if (InstallCompleted) Post(window, WM_APP_FINISHED, 0);
    InstallRunning = false;
}
