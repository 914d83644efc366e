#pragma once
// Unpacking the package with the system's PowerShell (Expand-Archive); no unzip code of ours.

#include <string>

// The text as a PowerShell single-quoted literal: enclosed in ', every quote character that
// PowerShell reads as a single quote (' and the typographic ‘ ’ ‚ ‛) written twice.
std::wstring QuotePowerShellLiteral(const std::wstring& text);

// The command line PowerShell is started with for these two paths.
std::wstring ExtractionCommandLine(const std::wstring& archivePath,
                                   const std::wstring& destinationDir);

// Creates the destination with its missing parents (CreateInstallFolder), runs Expand-Archive
// -Force on the archive into it, in the system directory, and waits for the end. True when
// PowerShell ended with exit code 0. On failure the error text (when given) is one of
// "无法创建安装目录", "无法启动系统解压组件" and "解压失败，请确认安装包是 zip 格式"; on success it
// is left untouched.
bool ExtractPackage(const std::wstring& archivePath, const std::wstring& destinationDir,
                    std::wstring* error);
