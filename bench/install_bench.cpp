// A complete install of one package by the real installer, measured from outside: peak memory
// of the installer process, the window's answer times while the install runs (a WM_NULL sent
// every 10 ms), the progress messages and bar repaints it handled; and, separately, the time
// from process start to the window's first paint.
// Usage: install_bench.exe PACKAGE_FILE INSTALLS STARTS
//   PACKAGE_FILE is a host path; the test server serves it (tools/test_server.py).
#include <windows.h>

#include <atomic>
#include <filesystem>
#include <thread>

#include "app/layout.h"
#include "bench/bench_support.h"
#include "e2e/installer_window.h"
#include "support/test_server.h"
#include "test_config.h"

namespace fs = std::filesystem;
using namespace std::chrono_literals;

namespace {

struct InstallFigures {
    bool completed = false;
    double peak_private_mib = 0;  // PeakPagefileUsage, or the highest sample when that is higher
    double peak_working_set_mib = 0;
    std::vector<double> answer_ms;  // every WM_NULL round trip
    long progress_messages = 0;
    long bar_repaints = 0;
};

fs::path TempDir() {
    wchar_t temp[MAX_PATH] = {};
    GetTempPathW(MAX_PATH, temp);
    return temp;
}

long CountAfter(const std::vector<std::wstring>& trace, const std::wstring& prefix) {
    for (const auto& line : trace) {
        if (line.starts_with(prefix)) return std::stol(line.substr(prefix.size()));
    }
    return -1;
}

InstallFigures MeasureInstall(int run) {
    InstallFigures figures;
    const fs::path root = TempDir() / L"vexa-bench" / std::to_wstring(run);
    fs::remove_all(root);
    InstallerWindow installer(
        BuildPath("app/VexaBoxInstaller.exe"),
        {{L"VEXA_CLIENT_EXIT_AT_ONCE", L"1"}, {L"VEXA_MESSAGE_SPY_COUNT", L"1"}});
    installer.SetInstallDir(root.wstring());

    // Wine keeps no peak of another process's private bytes: sample them with every probe.
    SIZE_T sampledPrivate = 0;
    std::atomic<bool> stop{false};
    std::thread probe([&] {
        while (!stop) {
            const LARGE_INTEGER start = Now();
            DWORD_PTR result = 0;
            SendMessageTimeoutW(installer.Window(), WM_NULL, 0, 0, SMTO_NORMAL, 5000, &result);
            const LARGE_INTEGER end = Now();
            figures.answer_ms.push_back(Seconds(start, end) * 1000);
            PROCESS_MEMORY_COUNTERS_EX memory{};
            memory.cb = sizeof(memory);
            if (GetProcessMemoryInfo(installer.Process(),
                                     reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&memory),
                                     sizeof(memory))) {
                sampledPrivate =
                    std::max(sampledPrivate,
                             memory.PrivateUsage ? memory.PrivateUsage : memory.PagefileUsage);
            }
            Sleep(10);
        }
    });
    installer.Click(IDC_INSTALL);
    figures.completed = installer.WaitForLine(L"finished", 300s);
    stop = true;
    probe.join();
    const ProcessCounters counters = ReadCounters(installer.Process());
    figures.peak_private_mib = MiB(std::max(counters.peak_pagefile, sampledPrivate));
    figures.peak_working_set_mib = MiB(counters.peak_working_set);
    const std::vector<std::wstring> trace = installer.Trace();
    figures.progress_messages = CountAfter(trace, L"progress-count ");
    figures.bar_repaints = CountAfter(trace, L"draw-count ");
    installer.WaitForExit(10s);
    fs::remove_all(root);
    return figures;
}

// Seconds from CreateProcess to the header's green on the screen, or 0 when it never shows.
double TimeToFirstPaint() {
    const std::wstring program = BuildPath("app/VexaBoxInstaller.exe");
    std::wstring commandLine = L"\"" + program + L"\"";
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    UniqueProcess process;
    const LARGE_INTEGER start = Now();
    if (!CreateProcessW(program.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr,
                        nullptr, &startup, &process.info)) {
        return 0;
    }
    double seconds = 0;
    const UniqueScreenDc screen{GetDC(nullptr)};
    while (Seconds(start, Now()) < 30) {
        HWND window = FindWindowW(kMainWindowClass, nullptr);
        POINT point{20, 10};
        if (window && ClientToScreen(window, &point) &&
            GetPixel(screen.get(), point.x, point.y) == RGB(20, 134, 96)) {
            seconds = Seconds(start, Now());
            break;
        }
        Sleep(1);
    }
    TerminateProcess(process.info.hProcess, 0);
    WaitForSingleObject(process.info.hProcess, 5000);
    Sleep(2500);  // another process still sees a destroyed window for a while
    return seconds;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc != 4) return 2;
    const std::string package = Narrow(argv[1]);
    const int installs = _wtoi(argv[2]);
    const int starts = _wtoi(argv[3]);
    const double packageMib = MiB(static_cast<SIZE_T>(fs::file_size(Widen("Z:" + package))));

    const std::string port = std::to_string(kTestHttpPort);
    SetRoute("/primary/version.json",
             "[{\"body\": " +
                 JsonText("{\"api_base_url\": \"http://localhost:" + port + "/bench/api\"}") +
                 "}]");
    SetRoute("/bench/api/setting", "[{\"body\": " +
                                       JsonText("{\"app_package_url\": \"http://localhost:" + port +
                                                "/bench/files/package.zip\"}") +
                                       "}]");
    SetRoute("/bench/files/package.zip", "[{\"body_file\": " + JsonText(package) + "}]");

    std::vector<double> privateBytes, workingSet, longest, p99, progress, repaints;
    bool allCompleted = true;
    for (int run = 0; run < installs; ++run) {
        const InstallFigures figures = MeasureInstall(run);
        allCompleted = allCompleted && figures.completed;
        privateBytes.push_back(figures.peak_private_mib);
        workingSet.push_back(figures.peak_working_set_mib);
        longest.push_back(*std::max_element(figures.answer_ms.begin(), figures.answer_ms.end()));
        p99.push_back(Percentile(figures.answer_ms, 0.99));
        progress.push_back(static_cast<double>(figures.progress_messages));
        repaints.push_back(static_cast<double>(figures.bar_repaints));
    }
    std::vector<double> firstPaint;
    for (int i = 0; i < starts; ++i)
        firstPaint.push_back(TimeToFirstPaint() * 1000);

    const std::string runs = " (median of " + std::to_string(installs) + ")";
    const double memoryLimit = 1.1 * packageMib + 40;
    const std::string limit = Format("<= %.0f MiB", memoryLimit);
    PrintRow("Install of a " + Format("%.0f", packageMib) + " MiB package",
             allCompleted ? "completed" : "FAILED", "completes", allCompleted);
    PrintRow("Peak memory, private bytes (PeakPagefileUsage or 10 ms samples)" + runs,
             Format("%.1f MiB", Median(privateBytes)), limit,
             Median(privateBytes) > 0 && Median(privateBytes) <= memoryLimit);
    PrintRow("Peak memory, PeakWorkingSetSize" + runs, Format("%.1f MiB", Median(workingSet)),
             limit, Median(workingSet) > 0 && Median(workingSet) <= memoryLimit);
    PrintRow("Window answer during the install, longest" + runs, Format("%.1f ms", Median(longest)),
             "< 50 ms", Median(longest) < 50);
    PrintRow("Window answer during the install, 99th percentile" + runs,
             Format("%.2f ms", Median(p99)), "< 10 ms", Median(p99) < 10);
    PrintRow("Progress messages per download" + runs, Format("%.0f", Median(progress)));
    PrintRow("Progress bar repaints per install" + runs, Format("%.0f", Median(repaints)));
    PrintRow("Process start to first paint (median of " + std::to_string(starts) + ")",
             Format("%.0f ms", Median(firstPaint)));
    return allCompleted ? 0 : 1;
}
