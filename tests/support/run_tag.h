#pragma once
// The test server keeps routes and its request log for as long as it runs; paths that carry
// this tag keep a second run of a program (by hand, against the same server) apart from the
// first.

#include <windows.h>

#include <string>

inline const std::string& RunTag() {
    static const std::string tag = [] {
        FILETIME now;
        GetSystemTimeAsFileTime(&now);
        return "r" + std::to_string((static_cast<unsigned long long>(now.dwHighDateTime) << 32) |
                                    now.dwLowDateTime);
    }();
    return tag;
}
