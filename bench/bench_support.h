#pragma once
// What the benchmark and soak programs share: statistics, process counters and table rows.

#include <windows.h>
#include <psapi.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "common/owners.h"

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
    SIZE_T private_bytes = 0;
    SIZE_T working_set = 0;
    SIZE_T peak_pagefile = 0;
    SIZE_T peak_working_set = 0;
};

// Open handles, counted by asking for a copy of every possible handle value: the system's own
// count (GetProcessHandleCount) is always 0 under Wine.
inline DWORD CountHandles(HANDLE process) {
    DWORD count = 0;
    for (ULONG_PTR value = 4; value < 0x10000; value += 4) {
        HANDLE copy = nullptr;
        if (DuplicateHandle(process, reinterpret_cast<HANDLE>(value), GetCurrentProcess(), &copy, 0,
                            FALSE, DUPLICATE_SAME_ACCESS)) {
            const UniqueHandle owned{copy};
            ++count;
        }
    }
    return count;
}

// GDI objects, counted in the process's GDI handle table (its PEB's GdiSharedHandleTable):
// GetGuiResources is always 0 under Wine. Entries are 24 bytes; the owner's process id is at
// offset 8 (0 under Wine, whose table is per process), the type byte at offset 14.
inline DWORD CountGdiObjects(HANDLE process, DWORD process_id) {
    using QueryProcess = LONG(WINAPI*)(HANDLE, int, void*, ULONG, ULONG*);
    const auto query = reinterpret_cast<QueryProcess>(reinterpret_cast<void*>(
        GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "NtQueryInformationProcess")));
    struct {
        void* reserved1;
        BYTE* peb;
        void* reserved2[4];
    } basic{};
    BYTE* table = nullptr;
    constexpr size_t kEntries = 65536, kEntrySize = 24;
    if (!query || query(process, 0, &basic, sizeof(basic), nullptr) != 0 ||
        !ReadProcessMemory(process, basic.peb + 0xF8, &table, sizeof(table), nullptr) || !table) {
        return 0;
    }
    std::vector<BYTE> entries(kEntries * kEntrySize);
    SIZE_T read = 0;
    ReadProcessMemory(process, table, entries.data(), entries.size(), &read);
    DWORD count = 0;
    for (size_t offset = 0; offset + kEntrySize <= read; offset += kEntrySize) {
        const USHORT owner = static_cast<USHORT>(entries[offset + 8] | entries[offset + 9] << 8);
        if (entries[offset + 14] != 0 && (owner == 0 || owner == static_cast<USHORT>(process_id))) {
            ++count;
        }
    }
    return count;
}

inline ProcessCounters ReadCounters(HANDLE process) {
    ProcessCounters counters;
    counters.handles = CountHandles(process);
    counters.gdi_objects = CountGdiObjects(process, GetProcessId(process));
    PROCESS_MEMORY_COUNTERS_EX memory{};
    memory.cb = sizeof(memory);
    if (GetProcessMemoryInfo(process, reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&memory),
                             sizeof(memory))) {
        // Wine leaves PrivateUsage at 0 and reports the private commit as PagefileUsage.
        counters.private_bytes = memory.PrivateUsage ? memory.PrivateUsage : memory.PagefileUsage;
        counters.working_set = memory.WorkingSetSize;
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

// "median (lowest .. highest)", each in the format.
inline std::string MedianAndRange(const std::vector<double>& values, const char* format) {
    if (values.empty()) return "none";
    const auto [lowest, highest] = std::minmax_element(values.begin(), values.end());
    return Format(format, Median(values)) + " (" + Format(format, *lowest) + " .. " +
           Format(format, *highest) + ")";
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
