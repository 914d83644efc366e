#include "uninstall/self_removal.h"

#include "common/owners.h"
#include "install/extraction.h"

std::wstring SelfRemovalScript(const std::wstring& uninstaller, const std::wstring& folder) {
    // Cmdlets only, which PowerShell's constrained language mode allows too; nothing that could
    // stop and ask (Remove-Item asks before it removes a folder that is not empty).
    return L"$ErrorActionPreference='SilentlyContinue'; $f=" + QuotePowerShellLiteral(uninstaller) +
           L"; $d=" + QuotePowerShellLiteral(folder) +
           L"; for ($i=0; $i -lt 100 -and (Test-Path -LiteralPath $f); $i++) "
           L"{ Remove-Item -LiteralPath $f -Force; Start-Sleep -Milliseconds 100 }; "
           L"if (-not (Get-ChildItem -LiteralPath $d -Force)) { Remove-Item -LiteralPath $d -Force "
           L"}";
}

bool StartSelfRemoval(const std::wstring& uninstaller, const std::wstring& folder) {
    UniqueProcess powerShell;
    return StartPowerShell(SelfRemovalScript(uninstaller, folder), powerShell);
}
