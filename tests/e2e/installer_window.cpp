#include "e2e/installer_window.h"

#include <tlhelp32.h>

#include <algorithm>
#include <atomic>
#include <cwctype>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>

#include "support/test_files.h"
#include "support/test_server.h"
#include "test_config.h"

namespace {

constexpr wchar_t kWindowClass[] = L"BoxVexaDownloaderWindow";

std::wstring Upper(std::wstring text) {
    for (auto& c : text)
        c = static_cast<wchar_t>(std::towupper(c));
    return text;
}

// This process's environment with the given variables added or replaced, as a block for
// CreateProcessW.
std::vector<wchar_t> EnvironmentWith(const std::map<std::wstring, std::wstring>& extra) {
    std::map<std::wstring, std::wstring> variables;  // upper-case name -> "Name=value"
    if (wchar_t* block = GetEnvironmentStringsW()) {
        for (const wchar_t* entry = block; *entry; entry += wcslen(entry) + 1) {
            const std::wstring text = entry;
            const size_t equals = text.find(L'=', 1);
            if (equals != std::wstring::npos) variables[Upper(text.substr(0, equals))] = text;
        }
        FreeEnvironmentStringsW(block);
    }
    for (const auto& [name, value] : extra)
        variables[Upper(name)] = name + L"=" + value;
    std::vector<wchar_t> result;
    for (const auto& [key, entry] : variables) {
        result.insert(result.end(), entry.begin(), entry.end());
        result.push_back(L'\0');
    }
    result.push_back(L'\0');
    return result;
}

struct WindowSearch {
    DWORD process_id;
    HWND found;
};

BOOL CALLBACK FindInstallerWindow(HWND window, LPARAM lParam) {
    auto& search = *reinterpret_cast<WindowSearch*>(lParam);
    wchar_t window_class[64] = {};
    GetClassNameW(window, window_class, 64);
    DWORD process_id = 0;
    GetWindowThreadProcessId(window, &process_id);
    if (process_id == search.process_id && wcscmp(window_class, kWindowClass) == 0 &&
        IsWindowVisible(window)) {
        search.found = window;
        return FALSE;
    }
    return TRUE;
}

HOOKPROC HookProcedure(HMODULE spy, const char* name) {
    return reinterpret_cast<HOOKPROC>(reinterpret_cast<void*>(GetProcAddress(spy, name)));
}

std::wstring UniqueTracePath() {
    static std::atomic<int> counter{0};
    wchar_t temp[MAX_PATH] = {};
    GetTempPathW(MAX_PATH, temp);
    return std::wstring(temp) + L"vexa-trace-" + std::to_wstring(GetCurrentProcessId()) + L"-" +
           std::to_wstring(++counter) + L".log";
}

}  // namespace

COLORREF Screenshot::At(int x, int y) const {
    if (x < 0 || y < 0 || x >= width || y >= height) return CLR_INVALID;
    return pixels[static_cast<size_t>(y) * static_cast<size_t>(width) + static_cast<size_t>(x)];
}

std::wstring BuildPath(const std::string& relative) {
    return WindowsPathOfHost(std::string(kTestBuildDir) + "/" + relative);
}

InstallerWindow::InstallerWindow(const std::wstring& program,
                                 const std::map<std::wstring, std::wstring>& env)
    : trace_path_(UniqueTracePath()) {
    DeleteFileW(trace_path_.c_str());
    auto variables = env;
    variables[L"VEXA_MESSAGE_SPY_LOG"] = trace_path_;
    std::vector<wchar_t> block = EnvironmentWith(variables);
    std::wstring command_line = L"\"" + program + L"\"";
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    if (!CreateProcessW(program.c_str(), command_line.data(), nullptr, nullptr, FALSE,
                        CREATE_UNICODE_ENVIRONMENT, block.data(), nullptr, &startup, &process_)) {
        throw std::runtime_error("cannot start the installer: " + Narrow(program));
    }
    WindowSearch search{process_.dwProcessId, nullptr};
    for (int i = 0; i < 400 && !search.found; ++i) {
        EnumWindows(FindInstallerWindow, reinterpret_cast<LPARAM>(&search));
        if (!search.found) Sleep(50);
    }
    window_ = search.found;
    if (!window_) throw std::runtime_error("the installer's window did not appear");

    spy_ = LoadLibraryW(BuildPath("tools/message_spy.dll").c_str());
    if (!spy_) throw std::runtime_error("cannot load message_spy.dll");
    const DWORD thread = GetWindowThreadProcessId(window_, nullptr);
    message_hook_ =
        SetWindowsHookExW(WH_GETMESSAGE, HookProcedure(spy_, "SpyGetMessage"), spy_, thread);
    call_hook_ =
        SetWindowsHookExW(WH_CALLWNDPROC, HookProcedure(spy_, "SpyCallWindow"), spy_, thread);
    if (!message_hook_ || !call_hook_) throw std::runtime_error("cannot hook the installer");
}

InstallerWindow::~InstallerWindow() {
    if (call_hook_) UnhookWindowsHookEx(call_hook_);
    if (message_hook_) UnhookWindowsHookEx(message_hook_);
    if (process_.hProcess) {
        if (WaitForSingleObject(process_.hProcess, 0) == WAIT_TIMEOUT) {
            TerminateProcess(process_.hProcess, 1);
            WaitForSingleObject(process_.hProcess, 5000);
        }
        CloseHandle(process_.hThread);
        CloseHandle(process_.hProcess);
    }
    if (spy_) FreeLibrary(spy_);
    DeleteFileW(trace_path_.c_str());
}

std::wstring InstallerWindow::Text(int id) const {
    wchar_t text[512] = {};
    GetWindowTextW(Control(id), text, 512);
    return text;
}

void InstallerWindow::SetInstallDir(const std::wstring& directory) {
    DWORD_PTR result = 0;
    SendMessageTimeoutW(Control(1001), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(directory.c_str()),
                        SMTO_ABORTIFHUNG, 5000, &result);
}

void InstallerWindow::Click(int id, int times) {
    RECT rect;
    GetWindowRect(Control(id), &rect);
    const int x = (rect.left + rect.right) / 2;
    const int y = (rect.top + rect.bottom) / 2;
    std::vector<INPUT> inputs;
    INPUT move{};
    move.type = INPUT_MOUSE;
    move.mi.dx = MulDiv(x, 65536, GetSystemMetrics(SM_CXSCREEN));
    move.mi.dy = MulDiv(y, 65536, GetSystemMetrics(SM_CYSCREEN));
    move.mi.dwFlags = MOUSEEVENTF_MOVE | MOUSEEVENTF_ABSOLUTE;
    inputs.push_back(move);
    for (int i = 0; i < times; ++i) {
        INPUT press{};
        press.type = INPUT_MOUSE;
        press.mi.dwFlags = MOUSEEVENTF_LEFTDOWN;
        inputs.push_back(press);
        press.mi.dwFlags = MOUSEEVENTF_LEFTUP;
        inputs.push_back(press);
    }
    SendInput(static_cast<UINT>(inputs.size()), inputs.data(), sizeof(INPUT));
}

std::vector<std::wstring> InstallerWindow::Trace() const {
    std::ifstream file(std::filesystem::path(trace_path_), std::ios::binary);
    std::stringstream bytes;
    bytes << file.rdbuf();
    std::vector<std::wstring> lines;
    std::string line;
    while (std::getline(bytes, line))
        lines.push_back(Widen(line));
    return lines;
}

bool InstallerWindow::WaitForLine(const std::wstring& line, std::chrono::milliseconds timeout,
                                  int times) const {
    return WaitUntil(
        [&] {
            const std::vector<std::wstring> trace = Trace();
            return std::count(trace.begin(), trace.end(), line) >= times;
        },
        timeout);
}

bool WaitUntil(const std::function<bool()>& condition, std::chrono::milliseconds timeout) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (!condition()) {
        if (std::chrono::steady_clock::now() > deadline) return false;
        Sleep(20);
    }
    return true;
}

int ChildProcessCount(DWORD parentId) {
    const HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snapshot == INVALID_HANDLE_VALUE) return -1;
    int children = 0;
    PROCESSENTRY32W entry{};
    entry.dwSize = sizeof(entry);
    for (BOOL more = Process32FirstW(snapshot, &entry); more;
         more = Process32NextW(snapshot, &entry))
        children += entry.th32ParentProcessID == parentId;
    CloseHandle(snapshot);
    return children;
}

int InstallerWindow::WaitForExit(std::chrono::milliseconds timeout) const {
    if (WaitForSingleObject(process_.hProcess, static_cast<DWORD>(timeout.count())) !=
        WAIT_OBJECT_0) {
        return -1;
    }
    DWORD code = 0;
    GetExitCodeProcess(process_.hProcess, &code);
    return static_cast<int>(code);
}

Screenshot InstallerWindow::Capture() const {
    Screenshot shot;
    RECT client;
    GetClientRect(window_, &client);
    POINT origin{0, 0};
    ClientToScreen(window_, &origin);
    shot.width = client.right;
    shot.height = client.bottom;

    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof(info.bmiHeader);
    info.bmiHeader.biWidth = shot.width;
    info.bmiHeader.biHeight = -shot.height;  // top-down
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    HDC screen = GetDC(nullptr);
    HDC memory = CreateCompatibleDC(screen);
    void* bits = nullptr;
    HBITMAP bitmap = CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    HGDIOBJ previous = SelectObject(memory, bitmap);
    BitBlt(memory, 0, 0, shot.width, shot.height, screen, origin.x, origin.y, SRCCOPY);
    GdiFlush();
    const auto* bgra = static_cast<const BYTE*>(bits);
    shot.pixels.resize(static_cast<size_t>(shot.width) * static_cast<size_t>(shot.height));
    for (size_t i = 0; i < shot.pixels.size(); ++i) {
        shot.pixels[i] = RGB(bgra[4 * i + 2], bgra[4 * i + 1], bgra[4 * i]);
    }
    SelectObject(memory, previous);
    DeleteObject(bitmap);
    DeleteDC(memory);
    ReleaseDC(nullptr, screen);
    return shot;
}

int RunProgram(const std::wstring& program, const std::wstring& arguments,
               const std::map<std::wstring, std::wstring>& env) {
    std::vector<wchar_t> block = EnvironmentWith(env);
    std::wstring command_line = L"\"" + program + L"\" " + arguments;
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION process{};
    if (!CreateProcessW(program.c_str(), command_line.data(), nullptr, nullptr, FALSE,
                        CREATE_UNICODE_ENVIRONMENT, block.data(), nullptr, &startup, &process)) {
        return -1;
    }
    DWORD code = static_cast<DWORD>(-1);
    if (WaitForSingleObject(process.hProcess, 30000) == WAIT_OBJECT_0) {
        GetExitCodeProcess(process.hProcess, &code);
    }
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return static_cast<int>(code);
}
