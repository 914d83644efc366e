#pragma once
// The installer without a window, for deployment tools and package managers.

#include <string>

// One run as a click would make it, with no window and no message box, into the directory as
// the edit box completes it (typed: what /D= gave; empty: the Apps & features entry's folder when
// there is one, else the default). The shortcuts and the entry are made; the client is not
// started. The exit code: the run's InstallEnding.
int RunSilentInstall(const std::wstring& typed);
