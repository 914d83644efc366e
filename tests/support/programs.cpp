#include "support/programs.h"

#include <tlhelp32.h>

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
    return CreateProcessW(program.c_str(), commandLine.data(), nullptr, nullptr, FALSE,
                          DETACHED_PROCESS, nullptr, nullptr, &startup, &process.info) != FALSE;
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
