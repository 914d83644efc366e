#pragma once
// One install run, from the completed directory to the started client: the steps, and the
// window's thread that runs them.

#include <windows.h>

#include <functional>
#include <string>
#include <string_view>

#include "config/status.h"

// What a build pins down about what it installs; an empty pin is not checked.
struct InstallPins {
    std::wstring_view clientPublisher;  // the common name that must have signed the client
    std::string_view packagePublicKey;  // P-256 key (SubjectPublicKeyInfo, DER) that signs packages
};

// How a run ended. The silent mode ends the process with these numbers as its exit code.
enum class InstallEnding : int {
    kCompleted = 0,          // the client installed, its shortcut made (and started, but silent)
    kNoServerConfig = 1,     // neither configuration endpoint gave a base address
    kNoSettings = 2,         // the package settings name no package
    kLinkService = 3,        // the link service gave no link
    kDownload = 4,           // the package could not be downloaded or written
    kSignature = 5,          // the package's signature does not verify
    kFolder = 6,             // the install folder is a link, another account's, or cannot be made
    kInUse = 7,              // a file in the install folder is in use
    kUnpacking = 8,          // PowerShell could not be started, or could not unpack the package
    kClientMissing = 9,      // no client in the package
    kClientUntrusted = 10,   // the client is not signed by the pinned publisher
    kShortcut = 11,          // the desktop shortcut could not be made
    kClientNotStarted = 12,  // the client did not start
    kUnexpected = 13,        // an error that no step reports (out of memory, say)
    kAlreadyRunning = 14,    // another installer runs in this logon session: no run was started
};

// One run's directory and how it reports.
struct InstallRun {
    std::wstring directory;  // completed and made absolute
    InstallPins pins;
    StatusFunction status;                      // every status text, as the step posts it
    std::function<void(int percent)> progress;  // the bar: 0 to 100
    bool startClient = true;  // false: installed, shortcuts made, not started (silent mode)
};

// The steps of one run. Reports a status text at every step and a failure text at every ending
// but success; never throws.
InstallEnding RunInstall(const InstallRun& run);

// The window's thread: one run into installDir, which the window has completed and made
// absolute. Reports to the window only through posted messages; ends every run, whatever fails,
// with InstallRunning cleared.
void InstallWorker(HWND window, std::wstring installDir, InstallPins pins);
