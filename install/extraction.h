#pragma once
// Unpacking the package with the system's PowerShell (Expand-Archive); no unzip code of ours.

#include <string>

#include "common/owners.h"

// The text as a PowerShell single-quoted literal: enclosed in ', every quote character that
// PowerShell reads as a single quote (' and the typographic ‘ ’ ‚ ‛) written twice.
std::wstring QuotePowerShellLiteral(const std::wstring& text);

// Starts the system's own PowerShell (by its full path in the system directory, never one
// beside this program) without a window, in the system directory, running the script. False
// when it cannot be started.
bool StartPowerShell(const std::wstring& script, UniqueProcess& process);

// Creates the destination with its missing parents (CreateInstallFolder), runs Expand-Archive
// -Force on the archive into it, in the system directory, and waits for the end. True when
// PowerShell ended with exit code 0. On failure the error text (when given) is one of
// "无法创建安装目录", "无法启动系统解压组件" and "解压失败，请确认安装包是 zip 格式"; on success it
// is left untouched.
bool ExtractPackage(const std::wstring& archivePath, const std::wstring& destinationDir,
                    std::wstring* error);
