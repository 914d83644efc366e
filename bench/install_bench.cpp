// A complete install of one package by the real installer, measured from outside: peak memory
// of the installer process and the window's answer times while the install runs (a WM_NULL sent
// every 10 ms) next to those of a bare window in a process of its own; the peak memory of
// installs of a package four times as large; while a package comes in at about 200 KB/s, the
// progress messages and bar repaints the window handled and the longest wait for the bar's next
// step; and, separately, the time from process start to the window's first paint. The installs
// whose answers are timed have the message spy on the window's queue only (see Spy).
// Usage: install_bench.exe PACKAGE_FILE INSTALLS STARTS SLOW_PACKAGE_FILE SLOW_INSTALLS
//                          BIG_PACKAGE_FILE BIG_INSTALLS
//   The files are host paths; the test server serves them (tools/test_server.py).
//        install_bench.exe --bare-window   (the reference window; started by the benchmark)
#include <windows.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <functional>
#include <thread>
#include <tuple>

#include "app/layout.h"
#include "bench_support.h"
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
    std::vector<double> answer_ms;       // every WM_NULL round trip to the installer
    std::vector<double> bare_answer_ms;  // and to the bare window, over the same time
};

// What the window handled of an install on a slow line; -1 each when it did not complete.
struct SlowLineFigures {
    long progress_messages = -1;
    long bar_repaints = -1;
    long longest_gap_ms = -1;       // for the bar's next step
    double status_per_second = -1;  // download texts posted a second while the package came in
};

// One answer-time figure of each install: the installer's, the bare window's over the same time,
// and the difference, which is what the installer itself adds.
struct AnswerFigure {
    std::vector<double> installer, bare, difference;
};

// Adds this install's answer time at the share p (1: the longest, 0.99: the 99th percentile).
void Add(AnswerFigure& figure, const InstallFigures& install, double p) {
    figure.installer.push_back(Percentile(install.answer_ms, p));
    figure.bare.push_back(Percentile(install.bare_answer_ms, p));
    figure.difference.push_back(figure.installer.back() - figure.bare.back());
}

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

constexpr wchar_t kBareWindowClass[] = L"VexaBenchBareWindow";

LRESULT CALLBACK BareWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    return DefWindowProcW(window, message, wParam, lParam);
}

// The reference for the answer times: an idle window that does nothing but answer, so that
// whatever slows it (Wine, the display, the other processes on the machine) slows every window.
int RunBareWindow() {
    WNDCLASSW windowClass{};
    windowClass.lpfnWndProc = BareWindowProc;
    windowClass.hInstance = GetModuleHandleW(nullptr);
    windowClass.lpszClassName = kBareWindowClass;
    if (!RegisterClassW(&windowClass)) return 1;
    const UniqueWindow window{CreateWindowExW(0, kBareWindowClass, L"bare",
                                              WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 320, 200,
                                              nullptr, nullptr, windowClass.hInstance, nullptr)};
    if (!window) return 1;
    MSG message;
    while (GetMessageW(&message, nullptr, 0, 0) > 0)
        DispatchMessageW(&message);
    return 0;
}

// Starts this program again as the bare window and finds that window; null when it never shows.
HWND StartBareWindow(UniqueProcess& process) {
    wchar_t self[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, self, static_cast<DWORD>(std::size(self)));
    if (!StartDetached(self, L"\"" + std::wstring(self) + L"\" --bare-window", process)) {
        return nullptr;
    }
    HWND found = nullptr;
    WaitUntil(
        [&] {
            for (HWND window = FindWindowExW(nullptr, nullptr, kBareWindowClass, nullptr); window;
                 window = FindWindowExW(nullptr, window, kBareWindowClass, nullptr)) {
                DWORD owner = 0;
                GetWindowThreadProcessId(window, &owner);
                if (owner == process.info.dwProcessId) found = window;
            }
            return found != nullptr;
        },
        30s);
    return found;
}

// Sends WM_NULL to the window every 10 ms until stopped and keeps each round trip in ms;
// calls each() after every one.
std::thread Ping(HWND window, const std::atomic<bool>& stop, std::vector<double>& answers,
                 std::function<void()> each) {
    return std::thread([window, &stop, &answers, each] {
        while (!stop) {
            const LARGE_INTEGER start = Now();
            DWORD_PTR result = 0;
            SendMessageTimeoutW(window, WM_NULL, 0, 0, SMTO_NORMAL, 5000, &result);
            answers.push_back(Seconds(start, Now()) * 1000);
            each();
            Sleep(10);
        }
    });
}

InstallFigures MeasureInstall(int run, HWND bareWindow) {
    InstallFigures figures;
    const fs::path root = TempDir() / L"vexa-bench" / std::to_wstring(run);
    fs::remove_all(root);
    // Counting, the spy writes no line for each progress message from the window's thread.
    InstallerWindow installer(
        BuildPath("app/VexaBoxInstaller.exe"),
        {{L"VEXA_CLIENT_EXIT_AT_ONCE", L"1"}, {L"VEXA_MESSAGE_SPY_COUNT", L"1"}}, Spy::kQueueOnly);
    installer.SetInstallDir(root.wstring());

    // Wine keeps no peak of another process's private bytes: sample them with every probe.
    SIZE_T sampledPrivate = 0;
    std::atomic<bool> stop{false};
    std::thread probe = Ping(installer.Window(), stop, figures.answer_ms, [&] {
        PROCESS_MEMORY_COUNTERS_EX memory{};
        memory.cb = sizeof(memory);
        if (GetProcessMemoryInfo(installer.Process(),
                                 reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&memory),
                                 sizeof(memory))) {
            sampledPrivate = std::max(
                sampledPrivate, memory.PrivateUsage ? memory.PrivateUsage : memory.PagefileUsage);
        }
    });
    std::thread bareProbe = Ping(bareWindow, stop, figures.bare_answer_ms, [] {});
    installer.Click(kInstallId);
    figures.completed = installer.WaitForLine(L"finished", 300s);
    if (!figures.completed) {
        std::fprintf(stderr, "install %d did not complete: %s\n", run,
                     Narrow(installer.Text(kStatusId)).c_str());
    }
    stop = true;
    probe.join();
    bareProbe.join();
    const ProcessCounters counters = ReadCounters(installer.Process());
    figures.peak_private_mib = MiB(std::max(counters.peak_pagefile, sampledPrivate));
    figures.peak_working_set_mib = MiB(counters.peak_working_set);
    installer.WaitForExit(10s);
    fs::remove_all(root);
    return figures;
}

// Points the configuration at a package, served as the response given (JSON members).
void ServePackage(const std::string& name, const std::string& package, const std::string& sending) {
    const std::string http = "http://localhost:" + std::to_string(kTestHttpPort);
    SetRoute("/primary/version.json",
             Body("{\"api_base_url\": \"" + http + "/bench/" + name + "/\"}"));
    SetRoute("/bench/" + name + "/setting",
             Body("{\"app_package_url\": \"" + http + "/bench/files/" + name + ".zip\"}"));
    SetRoute("/bench/files/" + name + ".zip",
             "{\"body_file\": " + JsonText(package) + sending + "}");
}

// Milliseconds since midnight of a log line's time stamp ("2026-12-08 08:36:43.961 ...").
long StampOf(const std::string& line) {
    return ((std::stol(line.substr(11, 2)) * 60 + std::stol(line.substr(14, 2))) * 60 +
            std::stol(line.substr(17, 2))) *
               1000 +
           std::stol(line.substr(20, 3));
}

// The download's status texts in the log's last run, counted from its first text (which has no
// figures) to the unpacking's, a second.
double StatusPerSecond() {
    std::ifstream log(TempDir() / L"VexaBoxInstaller.log", std::ios::binary);
    long began = -1, ended = -1, texts = 0;
    for (std::string line; std::getline(log, line);) {
        if (line.find(" VexaBoxInstaller ") == 23) {  // a run's heading
            began = ended = -1;
            texts = 0;
        }
        if (line.find(" status 正在下载安装包...") != 23) {
            if (line.find(" status 正在解压安装...") == 23 && began >= 0) ended = StampOf(line);
            continue;
        }
        if (began < 0) began = StampOf(line);
        texts += line.find("... ") != std::string::npos;
    }
    return began >= 0 && ended > began ? texts * 1000.0 / static_cast<double>(ended - began) : -1;
}

// The progress messages, the bar's repaints and the longest wait for its next step during the
// download of a package that the test server sends at about 200 KB/s (it waits 5 ms before
// every 1 KiB).
SlowLineFigures SlowLine(int run) {
    const fs::path root = TempDir() / L"vexa-bench" / (L"slow-" + std::to_wstring(run));
    fs::remove_all(root);
    InstallerWindow installer(
        BuildPath("app/VexaBoxInstaller.exe"),
        {{L"VEXA_CLIENT_EXIT_AT_ONCE", L"1"}, {L"VEXA_MESSAGE_SPY_COUNT", L"1"}});
    installer.SetInstallDir(root.wstring());
    installer.Click(kInstallId);
    SlowLineFigures figures;
    if (installer.WaitForLine(L"finished", 300s)) {
        const std::vector<std::wstring> trace = installer.Trace();
        figures = {CountAfter(trace, L"progress-count "), CountAfter(trace, L"draw-count "),
                   CountAfter(trace, L"progress-gap "), StatusPerSecond()};
    }
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
    const WindowDc screen(nullptr);
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
    if (argc == 2 && std::wstring(argv[1]) == L"--bare-window") return RunBareWindow();
    if (argc != 8) return 2;
    const std::string package = Narrow(argv[1]);
    const int installs = _wtoi(argv[2]);
    const int starts = _wtoi(argv[3]);
    const std::string slowPackage = Narrow(argv[4]);
    const int slowInstalls = _wtoi(argv[5]);
    const std::string bigPackage = Narrow(argv[6]);
    const int bigInstalls = _wtoi(argv[7]);
    const double packageMib = MiB(static_cast<SIZE_T>(fs::file_size(Widen("Z:" + package))));
    const double slowMib = MiB(static_cast<SIZE_T>(fs::file_size(Widen("Z:" + slowPackage))));
    const double bigMib = MiB(static_cast<SIZE_T>(fs::file_size(Widen("Z:" + bigPackage))));
    ServePackage("package", package, "");

    UniqueProcess bareProcess;
    const HWND bareWindow = StartBareWindow(bareProcess);
    std::vector<double> privateBytes, workingSet;
    AnswerFigure longest, p99;
    bool allCompleted = bareWindow != nullptr;
    for (int run = 0; run < installs && bareWindow; ++run) {
        const InstallFigures figures = MeasureInstall(run, bareWindow);
        allCompleted = allCompleted && figures.completed;
        privateBytes.push_back(figures.peak_private_mib);
        workingSet.push_back(figures.peak_working_set_mib);
        Add(longest, figures, 1);
        Add(p99, figures, 0.99);
    }
    // The package on disk, not in memory: four times the package, the same peak.
    ServePackage("big", bigPackage, "");
    std::vector<double> bigPrivateBytes;
    for (int run = 0; run < bigInstalls && bareWindow; ++run) {
        const InstallFigures figures = MeasureInstall(installs + run, bareWindow);
        allCompleted = allCompleted && figures.completed;
        bigPrivateBytes.push_back(figures.peak_private_mib);
    }
    // The same answers while a package comes in at about 200 KB/s: the status line changes once
    // a second with the figures of the download.
    ServePackage("slow", slowPackage, R"(, "chunk_delay_ms": 5)");
    AnswerFigure slowLongest, slowP99;
    for (int run = 0; run < slowInstalls && bareWindow; ++run) {
        const InstallFigures figures = MeasureInstall(installs + bigInstalls + run, bareWindow);
        allCompleted = allCompleted && figures.completed;
        Add(slowLongest, figures, 1);
        Add(slowP99, figures, 0.99);
    }
    if (bareWindow) PostMessageW(bareWindow, WM_QUIT, 0, 0);
    if (WaitForSingleObject(bareProcess.info.hProcess, 5000) != WAIT_OBJECT_0) {
        TerminateProcess(bareProcess.info.hProcess, 1);
    }
    std::vector<double> firstPaint;
    for (int i = 0; i < starts; ++i)
        firstPaint.push_back(TimeToFirstPaint() * 1000);
    std::vector<double> progress, repaints, slowGaps, statusRates;
    for (int run = 0; run < slowInstalls; ++run) {
        const SlowLineFigures figures = SlowLine(run);
        progress.push_back(static_cast<double>(figures.progress_messages));
        repaints.push_back(static_cast<double>(figures.bar_repaints));
        slowGaps.push_back(static_cast<double>(figures.longest_gap_ms));
        statusRates.push_back(figures.status_per_second);
    }
    const double longestGap =
        slowGaps.empty() ? -1 : *std::max_element(slowGaps.begin(), slowGaps.end());
    const bool slowCompleted =
        !slowGaps.empty() && *std::min_element(slowGaps.begin(), slowGaps.end()) >= 0;

    const std::string runs = " (median of " + std::to_string(installs) + ")";
    const std::string ranges =
        " (median of " + std::to_string(installs) + " installs, lowest .. highest)";
    constexpr double kMemoryLimit = 64, kMemoryGap = 16;
    const std::string limit = Format("< %.0f MiB", kMemoryLimit);
    const std::string bigRuns = " (median of " + std::to_string(bigInstalls) + ")";
    PrintRow("Install of a " + Format("%.0f", packageMib) + " MiB and of a " +
                 Format("%.0f", bigMib) + " MiB package",
             allCompleted ? "completed" : "FAILED", "completes", allCompleted);
    PrintRow("Peak memory, private bytes (PeakPagefileUsage or 10 ms samples), " +
                 Format("%.0f", packageMib) + " MiB install" + runs,
             Format("%.1f MiB", Median(privateBytes)), limit,
             Median(privateBytes) > 0 && Median(privateBytes) < kMemoryLimit);
    PrintRow("Peak memory, private bytes, " + Format("%.0f", bigMib) + " MiB install" + bigRuns,
             Format("%.1f MiB", Median(bigPrivateBytes)), limit,
             Median(bigPrivateBytes) > 0 && Median(bigPrivateBytes) < kMemoryLimit);
    const double gap = Median(bigPrivateBytes) - Median(privateBytes);
    PrintRow("Peak memory, private bytes, the larger install minus the smaller",
             Format("%+.1f MiB", gap), Format("within %.0f MiB", kMemoryGap),
             std::abs(gap) <= kMemoryGap);
    PrintRow(
        "Peak memory, PeakWorkingSetSize, " + Format("%.0f", packageMib) + " MiB install" + runs,
        Format("%.1f MiB", Median(workingSet)));
    const std::string slowRanges = " (median of " + std::to_string(slowInstalls) +
                                   " installs at about 200 KB/s, lowest .. highest)";
    for (auto [name, figure, format, signedFormat, allowance, during] :
         {std::tuple{"longest", &longest, "%.1f", "%+.1f", 10.0, &ranges},
          std::tuple{"99th percentile", &p99, "%.2f", "%+.2f", 2.0, &ranges},
          std::tuple{"longest", &slowLongest, "%.1f", "%+.1f", 10.0, &slowRanges},
          std::tuple{"99th percentile", &slowP99, "%.2f", "%+.2f", 2.0, &slowRanges}}) {
        const std::string row = "Window answer during the install, " + std::string(name) + ", ";
        PrintRow(row + "installer" + *during, MedianAndRange(figure->installer, format) + " ms");
        PrintRow(row + "bare window" + *during, MedianAndRange(figure->bare, format) + " ms");
        PrintRow(row + "installer minus bare window" + *during,
                 MedianAndRange(figure->difference, signedFormat) + " ms",
                 Format("<= %+.0f ms", allowance),
                 !figure->difference.empty() && Median(figure->difference) <= allowance);
    }
    const std::string slowRuns = " (" + Format("%.0f", slowMib) +
                                 " MiB at about 200 KB/s, median of " +
                                 std::to_string(slowInstalls) + ")";
    PrintRow("Progress messages per download" + slowRuns, Format("%.0f", Median(progress)), "<= 71",
             slowCompleted && Median(progress) <= 71);
    PrintRow("Progress bar repaints per install" + slowRuns, Format("%.0f", Median(repaints)),
             ">= 50", slowCompleted && Median(repaints) >= 50);
    const double mostStatus =
        statusRates.empty() ? -1 : *std::max_element(statusRates.begin(), statusRates.end());
    PrintRow("Download status texts a second (" + Format("%.0f", slowMib) +
                 " MiB at about 200 KB/s, highest of " + std::to_string(slowInstalls) + ")",
             mostStatus >= 0 ? Format("%.2f", mostStatus) : "FAILED", "<= 1",
             mostStatus >= 0 && mostStatus <= 1);
    PrintRow("Download at about 200 KB/s (" + Format("%.0f", slowMib) +
                 " MiB), longest wait for the bar's next step (longest of " +
                 std::to_string(slowInstalls) + " installs)",
             slowCompleted ? Format("%.0f ms", longestGap) : "FAILED", "<= 1000 ms",
             slowCompleted && longestGap <= 1000);
    PrintRow("Process start to first paint (median of " + std::to_string(starts) + ")",
             Format("%.0f ms", Median(firstPaint)));
    return allCompleted && slowCompleted ? 0 : 1;
}
