#include "app/command_line.h"

#include "common/text.h"
#include "install/apps_entry.h"

namespace {

constexpr std::wstring_view kDirectory = L"/D=";

bool IsBlank(wchar_t c) {
    return c == L' ' || c == L'\t' || c == L'\r' || c == L'\n';
}

}  // namespace

Invocation ParseCommandLine(std::wstring_view arguments) {
    bool silent = false, uninstall = false;
    std::wstring directory;
    for (size_t at = 0; at < arguments.size();) {
        if (IsBlank(arguments[at])) {
            ++at;
            continue;
        }
        size_t end = at;
        while (end < arguments.size() && !IsBlank(arguments[end]))
            ++end;
        const std::wstring_view token = arguments.substr(at, end - at);
        if (token.starts_with(kDirectory)) {
            directory = TrimWide(std::wstring(arguments.substr(at + kDirectory.size())));
            if (directory.size() >= 2 && directory.front() == L'"' && directory.back() == L'"') {
                directory = directory.substr(1, directory.size() - 2);
            }
            break;
        }
        silent = silent || token == kQuietSwitch;
        uninstall = uninstall || EqualIgnoringAsciiCase(token, kUninstallSwitch);
        at = end;
    }
    if (uninstall) {
        return {silent ? Invocation::Mode::kQuietUninstall : Invocation::Mode::kUninstall, L""};
    }
    if (silent) return {Invocation::Mode::kSilentInstall, directory};
    return {};
}
