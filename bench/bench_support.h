#pragma once
// What the benchmark and soak programs share: statistics, process counters and table rows.

#include <windows.h>
#include <psapi.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

inline double Median(std::vector<double> values) {
    if (values.empty()) return 0;
    std::sort(values.begin(), values.end());
    const size_t middle = values.size() / 2;
    return values.size() % 2 ? values[middle] : (values[middle - 1] + values[middle]) / 2;
}

// The value below which the share p (0..1) of the values lie (nearest rank).
inline double Percentile(std::vector<double> values, double p) {
    if (values.empty()) return 0;
    std::sort(values.begin(), values.end());
    const size_t rank = static_cast<size_t>(p * static_cast<double>(values.size()) + 0.999999);
    return values[std::clamp<size_t>(rank, 1, values.size()) - 1];
}

inline double Seconds(LARGE_INTEGER from, LARGE_INTEGER to) {
    LARGE_INTEGER frequency;
    QueryPerformanceFrequency(&frequency);
    return static_cast<double>(to.QuadPart - from.QuadPart) /
           static_cast<double>(frequency.QuadPart);
}

inline LARGE_INTEGER Now() {
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    return now;
}

inline double MiB(SIZE_T bytes) {
    return static_cast<double>(bytes) / (1024.0 * 1024.0);
}

struct ProcessCounters {
    DWORD handles = 0;
    DWORD gdi_objects = 0;
    DWORD user_objects = 0;
    SIZE_T private_bytes = 0;
    SIZE_T peak_pagefile = 0;
    SIZE_T peak_working_set = 0;
};

inline ProcessCounters ReadCounters(HANDLE process) {
    ProcessCounters counters;
    GetProcessHandleCount(process, &counters.handles);
    counters.gdi_objects = GetGuiResources(process, GR_GDIOBJECTS);
    counters.user_objects = GetGuiResources(process, GR_USEROBJECTS);
    PROCESS_MEMORY_COUNTERS_EX memory{};
    memory.cb = sizeof(memory);
    if (GetProcessMemoryInfo(process, reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&memory),
                             sizeof(memory))) {
        counters.private_bytes = memory.PrivateUsage;
        counters.peak_pagefile = memory.PeakPagefileUsage;
        counters.peak_working_set = memory.PeakWorkingSetSize;
    }
    return counters;
}

inline std::string Format(const char* format, double value) {
    char text[64];
    std::snprintf(text, sizeof(text), format, value);
    return text;
}

// One row of the benchmark's Markdown table.
inline void PrintRow(const std::string& figure, const std::string& value,
                     const std::string& target = "", int met = -1) {
    std::printf("| %s | %s | %s | %s |\n", figure.c_str(), value.c_str(),
                target.empty() ? "(context)" : target.c_str(),
                met < 0 ? ""
                : met   ? "met"
                        : "MISSED");
    std::fflush(stdout);
}
