#pragma once
// One install run, from the completed directory to the started client, on its own thread.

#include <windows.h>

#include <string>
#include <string_view>

// What a build pins down about what it installs; an empty pin is not checked.
struct InstallPins {
    std::wstring_view clientPublisher;  // the common name that must have signed the client
    std::string_view packagePublicKey;  // P-256 key (SubjectPublicKeyInfo, DER) that signs packages
};

// The thread's entry: one run into installDir, which the window has completed and made
// absolute. Reports to the window only through posted messages; ends every run, whatever fails,
// with InstallRunning cleared.
void InstallWorker(HWND window, std::wstring installDir, InstallPins pins);
