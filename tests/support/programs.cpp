#include "support/programs.h"

#include <tlhelp32.h>

#include <cstdio>

#include "support/test_files.h"
#include "test_config.h"

std::wstring BuildPath(const std::string& relative) {
    return WindowsPathOfHost(std::string(kTestBuildDir) + "/" + relative);
}

bool WaitUntil(const std::function<bool()>& condition, std::chrono::milliseconds timeout) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (!condition()) {
        if (std::chrono::steady_clock::now() > deadline) return false;
        Sleep(20);
    }
    return true;
}

bool StartDetached(const std::wstring& program, std::wstring commandLine, UniqueProcess& process) {
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    // A start has failed under Wine, once, while the machine was busy building, with nothing to
    // tell why. A start that failed made no process, so it is asked again; when it keeps failing,
    // the error is told.
    DWORD error = 0;
    for (int tries = 0; tries < 3; ++tries) {
        if (CreateProcessW(program.c_str(), commandLine.data(), nullptr, nullptr, FALSE,
                           DETACHED_PROCESS, nullptr, nullptr, &startup, &process.info)) {
            return true;
        }
        error = GetLastError();
    }
    std::fprintf(stderr, "could not start %ls: error %lu\n", program.c_str(), error);
    return false;
}

int ChildProcessCount(DWORD parentId) {
    const UniqueHandle snapshot{ValidHandle(CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0))};
    PROCESSENTRY32W entry{};
    entry.dwSize = sizeof(entry);
    int children = 0;
    for (BOOL more = snapshot && Process32FirstW(snapshot.get(), &entry); more;
         more = Process32NextW(snapshot.get(), &entry)) {
        children += entry.th32ParentProcessID == parentId;
    }
    return children;
}
