#include "install/worker.h"

#include <windows.h>

#include <new>
#include <optional>
#include <string>
#include <vector>

#include "common/log.h"
#include "common/owners.h"
#include "config/package_config.h"
#include "config/package_link.h"
#include "config/server_config.h"
#include "install/apps_entry.h"
#include "install/client_search.h"
#include "install/client_signature.h"
#include "install/client_start.h"
#include "install/download_target.h"
#include "install/extraction.h"
#include "install/files_in_use.h"
#include "install/folder_check.h"
#include "install/install_folder.h"
#include "install/install_record.h"
#include "install/log_heading.h"
#include "install/messages.h"
#include "install/package_download.h"
#include "install/package_signature.h"
#include "install/shortcut.h"
#include "install/zip_listing.h"

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

// The install directory is the user's own (or not there yet), so is everything in it, and no
// file in it is held by another process; `folder` holds it open from then on.
bool CheckInstallDir(const std::wstring& directory, UniqueHandle& folder, std::wstring* error) {
    return CheckInstallFolder(directory, folder, error) &&
           CheckFolderContents(directory, folder && KeepsPermissions(folder.get()), L"", error);
}

// The endings' names in the log.
const wchar_t* EndingName(InstallEnding ending) {
    switch (ending) {
        case InstallEnding::kCompleted:
            return L"completed";
        case InstallEnding::kNoServerConfig:
            return L"no server configuration";
        case InstallEnding::kNoSettings:
            return L"no package in the settings";
        case InstallEnding::kLinkService:
            return L"no link from the link service";
        case InstallEnding::kDownload:
            return L"download failed";
        case InstallEnding::kSignature:
            return L"package signature refused";
        case InstallEnding::kFolder:
            return L"install folder refused";
        case InstallEnding::kInUse:
            return L"files in use";
        case InstallEnding::kUnpacking:
            return L"unpacking failed";
        case InstallEnding::kClientMissing:
            return L"client missing";
        case InstallEnding::kClientUntrusted:
            return L"client signature refused";
        case InstallEnding::kShortcut:
            return L"shortcut failed";
        case InstallEnding::kClientNotStarted:
            return L"client not started";
        case InstallEnding::kUnexpected:
            return L"unexpected error";
        case InstallEnding::kAlreadyRunning:
            return L"another installer runs";
    }
    return L"?";
}

InstallEnding FolderEnding(const std::wstring& error) {
    return error == kTextFilesInUse ? InstallEnding::kInUse : InstallEnding::kFolder;
}

// The steps of one run up to its ending's status.
InstallEnding RunSteps(const InstallRun& run) {
    const StatusFunction& status = run.status;
    const std::wstring& directory = run.directory;
    const auto fail = [&](InstallEnding ending, const wchar_t* prefix, const std::wstring& text) {
        status(prefix + text);
        return ending;
    };
    std::wstring error;
    // Before the first request, so that the user learns it before the download: the folder is
    // the user's own, and nothing in it is in use.
    UniqueHandle folder;
    if (!CheckInstallDir(directory, folder, &error)) {
        return fail(FolderEnding(error), kInstallFailed, error);
    }
    folder.reset();
    // The user's proxy settings, as they stand when the run starts.
    const ProxySettings proxies = ReadProxySettings();
    const std::wstring apiBase = FetchServerConfig(proxies, status);
    if (apiBase.empty())
        return fail(InstallEnding::kNoServerConfig, kInstallFailed, kTextNoServerConfig);
    status(kTextReadingSettings);
    const PackageConfig config = ReadPackageConfig(proxies, apiBase);
    std::wstring url;
    if (!ResolvePackageLink(proxies, config, url, &error, status)) {
        return fail(config.app_package_url.empty() ? InstallEnding::kNoSettings
                                                   : InstallEnding::kLinkService,
                    kInstallFailed, error);
    }

    const std::wstring archive = TempDownloadPath(PackageFileName(url));
    // With a key pinned at build time the package is hashed as it arrives, and its signature
    // decides before it becomes the archive.
    std::optional<Sha256> hash;
    if (!run.pins.packagePublicKey.empty()) hash.emplace();
    const PackageDownload download{url, config.app_package_url, archive, directory};
    UniqueHandle partial;
    if (!DownloadPackage(proxies, download, status, DownloadProgress(run.progress),
                         hash ? &*hash : nullptr, partial, &error)) {
        return fail(InstallEnding::kDownload, kDownloadFailed, error);
    }
    if (hash && !VerifyPackageSignature(*hash, config.app_package_signature,
                                        run.pins.packagePublicKey, &error)) {
        DiscardDownload(archive, partial);
        return fail(InstallEnding::kSignature, kInstallFailed, error);
    }
    UniqueHandle heldArchive;  // unchangeable until PowerShell has ended
    if (!KeepAsArchive(archive, partial, heldArchive, &error)) {
        return fail(InstallEnding::kDownload, kInstallFailed, error);
    }
    run.progress(kProgressSaved);

    status(kTextExtracting);
    // Again right before anything is unpacked, the folder made first: the client may have been
    // started meanwhile. The folder is held, as it was checked, until the client has started
    // (the run's end): it cannot be moved away and another put in its place meanwhile.
    if (!CreateInstallFolder(directory, &error)) {
        return fail(InstallEnding::kFolder, kInstallFailed, error);
    }
    if (!CheckInstallDir(directory, folder, &error)) {
        return fail(FolderEnding(error), kInstallFailed, error);
    }
    // What the package holds is what an uninstall removes; a package whose list cannot be read
    // leaves its files to the user.
    std::vector<std::wstring> unpacked;
    if (!ListZipFiles(heldArchive.get(), unpacked))
        Log(L"the package's list of files is unreadable");
    const bool extracted = ExtractPackage(archive, directory, &error);
    heldArchive.reset();
    if (!extracted) return fail(InstallEnding::kUnpacking, kInstallFailed, error);
    DeleteFileW(archive.c_str());
    if (!AddToInstallRecord(directory, unpacked))
        Log(L"the record of unpacked files is not written");
    run.progress(kProgressUnpacked);

    status(kTextCreatingShortcut);
    std::wstring exe;
    if (FindClientExecutable(directory, exe, &error) && exe.empty()) error = kTextClientMissing;
    // Whatever ends the run from here on, what was unpacked can be removed from Apps & features.
    Log(RegisterInstall(directory, exe) ? L"Apps & features entry written"
                                        : L"Apps & features entry or uninstaller not written");
    if (exe.empty()) {
        status(kCompletedBut + error);
        run.progress(kProgressDone);
        return InstallEnding::kClientMissing;
    }
    // With a publisher pinned at build time, a client that others signed is not started, and
    // the file checked is held unchangeable until it has been started.
    UniqueHandle checkedClient;
    if (!run.pins.clientPublisher.empty()) {
        checkedClient = OpenUnchangeable(exe);
        if (!VerifyPublisher(checkedClient.get(), exe, std::wstring(run.pins.clientPublisher),
                             &error)) {
            return fail(InstallEnding::kClientUntrusted, kInstallFailed, error);
        }
    }
    // The client is installed, but without a shortcut to it the run is not complete.
    const bool shortcut = CreateDesktopShortcut(exe, &error);
    if (!CreateStartMenuShortcut(exe)) Log(L"no Start menu shortcut");
    if (!shortcut) {
        status(kCompletedBut + error);
        run.progress(kProgressDone);
        return InstallEnding::kShortcut;
    }
    run.progress(kProgressDone);
    // Complete only once the client has started.
    if (run.startClient && !StartClient(exe, &error)) {
        return fail(InstallEnding::kClientNotStarted, kCompletedBut, error);
    }
    status(kTextCompleted);
    return InstallEnding::kCompleted;
}

}  // namespace

InstallEnding RunInstall(const InstallRun& run) {
    // Every text the user is shown is in the log too, the last one with the ending.
    std::wstring shown;
    const auto report = [&](std::wstring_view text) {
        shown = text;
        Log(L"status " + shown);
        run.status(text);
    };
    // Every step reports its ordinary failures by result; what escapes one still ends the run
    // like a failure, never the process. Even when its text cannot be posted, the run ends.
    const auto failWithoutThrowing = [&](const wchar_t* text) noexcept {
        try {
            report(text);
        } catch (...) {
        }
        return InstallEnding::kUnexpected;
    };
    InstallEnding ending = InstallEnding::kUnexpected;
    try {
        const auto yesNo = [](bool pinned) { return pinned ? L"yes" : L"no"; };
        BeginLog(LogHeading(L"install", std::wstring(L"package key pinned: ") +
                                            yesNo(!run.pins.packagePublicKey.empty()) +
                                            L", publisher pinned: " +
                                            yesNo(!run.pins.clientPublisher.empty())));
        Log(L"install directory " + run.directory);
        InstallRun logged = run;
        logged.status = report;
        ending = RunSteps(logged);
    } catch (const std::bad_alloc&) {
        ending = failWithoutThrowing(kTextOutOfMemory);
    } catch (...) {
        ending = failWithoutThrowing(kTextUnexpected);
    }
    try {
        Log(L"ended " + std::to_wstring(static_cast<int>(ending)) + L" (" + EndingName(ending) +
            L"): " + shown);
    } catch (...) {  // no memory left even for the line
    }
    return ending;
}

void InstallWorker(HWND window, std::wstring installDir, InstallPins pins) {
    InstallRunning = true;
    InstallCompleted = false;
    const auto progress = [window](int percent) { PostProgress(window, percent); };
    PostMessageW(window, WM_APP_BUSY, 1, 0);
    progress(0);
    // The worker's own single-threaded apartment, for the shell links and for starting the
    // client.
    const ComApartment apartment;
    const InstallEnding ending =
        RunInstall({std::move(installDir), pins,
                    [window](std::wstring_view text) { PostStatus(window, text); }, progress});
    InstallCompleted = ending == InstallEnding::kCompleted;
    PostMessageW(window, WM_APP_BUSY, 0, 0);
    if (InstallCompleted) PostMessageW(window, WM_APP_FINISHED, 0, 0);
    InstallRunning = false;
}
