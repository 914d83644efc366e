#pragma once
// The programs this build made, started as the desktop starts them, and waiting for what they
// do.

#include <windows.h>

#include <chrono>
#include <functional>
#include <string>

#include "common/owners.h"

// Host paths of this build (the tests run under Wine, where Z: is the host's root).
std::wstring BuildPath(const std::string& relative);

// Starts the program as the desktop starts one: detached, without a console to pass on.
bool StartDetached(const std::wstring& program, std::wstring commandLine, UniqueProcess& process);

// The processes whose parent is the given process.
int ChildProcessCount(DWORD parentId);

// Polls the condition until it holds; false when it still does not after the time-out.
bool WaitUntil(const std::function<bool()>& condition, std::chrono::milliseconds timeout);
